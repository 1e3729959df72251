#pragma once

#include <QString>

#include <vector>

namespace zelvano {

struct AppContext;

// Scans the import folder and imports the new milking files.
void Abrir(AppContext &ctx);

// One file of a scan: the name it arrived with and the name it was read under.
struct ImportedFile
{
    QString name;
    QString readName;
};

// Abrir, telling which files it read, in order.
std::vector<ImportedFile> scanImportFolder(AppContext &ctx);

// The name a file gets once read: "--leido--" before the name (Delpro) or
// before the day and time of the reading (Dairycomp).
QString readFileName(AppContext &ctx, const QString &name, bool dairy);

} // namespace zelvano
