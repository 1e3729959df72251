#pragma once

#include "common/outcome.h"
#include "sync/sync.h"

#include <QString>

#include <optional>
#include <vector>

namespace zelvano {

struct AppContext;

// One file of a scan: the name it arrived with and the name it got.
struct ImportedFile
{
    QString name;
    QString readName;
};

// A file whose import failed, and why.
struct FailedFile
{
    QString name;
    QString reason;
};

// What one scan of the import folder did. The synchronisation that follows
// the files is a job of its own: its report comes along, its failure is not
// the scan's.
struct ImportOutcome : Outcome
{
    std::vector<ImportedFile> files;     // given their read name, in order
    std::vector<ImportedFile> setAside;  // too large to read: moved aside under a name that says so
    std::vector<FailedFile> failedFiles; // whose import failed or is incomplete
    int stored = 0;                      // readings committed by this scan
    std::optional<SyncReport> sync;      // when files were read
};

// A file whose size or last change is younger than this is still being written.
inline constexpr qint64 kSettleMs = 10000;

// Scans the import folder and imports the new milking files: each file once,
// or not yet. A file is read only when it is finished (unchanged for a while,
// held open for writing by no process); its reading and the record of the
// file commit together, and the file gets its read name after the commit. A
// scan after a crash finds a file that was committed and not renamed, and
// only renames it.
ImportOutcome Abrir(AppContext &ctx);

// The name a file gets once read: "--leido--" before the name (Delpro) or
// before the day and time of the reading (Dairycomp).
QString readFileName(AppContext &ctx, const QString &name, bool dairy);

// The name a file too large to be an export gets: "--rechazado--" before it.
QString asideFileName(const QString &name);

} // namespace zelvano
