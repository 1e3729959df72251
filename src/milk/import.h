#pragma once

#include "common/outcome.h"
#include "sync/sync.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace zelvano {

struct AppContext;

// One file of a scan: the name it arrived with and the name it was read under.
struct ImportedFile
{
    QString name;
    QString readName;
};

// What one scan of the import folder did. The synchronisation that follows
// the files is a job of its own: its report comes along, its failure is not
// the scan's.
struct ImportOutcome : Outcome
{
    std::vector<ImportedFile> files; // read, in order
    QStringList failedFiles;         // names of the files whose import failed
    std::optional<SyncReport> sync;  // when files were read
};

// Scans the import folder and imports the new milking files.
ImportOutcome Abrir(AppContext &ctx);

// The name a file gets once read: "--leido--" before the name (Delpro) or
// before the day and time of the reading (Dairycomp).
QString readFileName(AppContext &ctx, const QString &name, bool dairy);

} // namespace zelvano
