#pragma once

#include "common/outcome.h"
#include "milk/importbook.h"
#include "milk/milkformat.h"
#include "sync/sync.h"

#include <QHash>
#include <QSet>
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
    std::vector<ImportedFile> setAside;  // too large, or a name that is not text: moved aside
                                         // under a name that says so
    std::vector<FailedFile> failedFiles; // whose import failed or is incomplete
    int stored = 0;                      // readings committed by this scan
    int unfinished = 0;                  // not seen unchanged long enough yet, or held open
    std::optional<SyncReport> sync;      // when files were read
};

// A file is finished once the program has seen it unchanged (size and last
// change) for this long on its own monotonic clock, across two looks, and no
// process holds it open for writing. Neither the wall clock nor the file's
// own date play a part: a clock set ahead or behind, or an export computer
// with a wrong date, cannot make a half-written file look finished.
inline constexpr qint64 kSettleMs = 10000;

// kSettleMs, unless ZELVANO_SETTLE_MS (0 to 10000) shortens it for tests and
// the demo. Off unless set.
qint64 settleMs();

// What this process has seen of the files of the import folders: each file's
// stamp and since when (monotonic) it has stood so.
class FileLooks
{
public:
    // A look at a file now: true when it has stood with this very stamp for
    // settleMs() or more since an earlier look.
    bool finished(const QString &path, const FileStamp &stamp, qint64 nowMs);
    // Records a look made at the given time, unless the same stamp was seen earlier.
    void seen(const QString &path, const FileStamp &stamp, qint64 atMs);
    // Forgets the files of a folder that are no longer among the given paths.
    void keepOnly(const QString &folder, const QSet<QString> &paths);

    static FileLooks &ofProcess();

private:
    struct Look
    {
        FileStamp stamp;
        qint64 sinceMs = 0;
    };
    QHash<QString, Look> m_looks;
};

// The first look of a one-shot import: records the files of the import folder
// that are to be read, and returns how many of them are not finished yet for
// want of an earlier look (the caller may wait settleMs() and scan).
int lookAtImportFolder(AppContext &ctx);

// Scans the import folder and imports the new milking files: each file once,
// or not yet. A file is read only when it is finished (unchanged for a while,
// held open for writing by no process); its reading and the record of the
// file commit together, and the file gets its read name after the commit. A
// scan after a crash finds a file that was committed and not renamed, and
// only renames it.
ImportOutcome Abrir(AppContext &ctx);

// The name a file gets once read, as its format names it.
QString readFileName(AppContext &ctx, const QString &name, const MilkFormat &format);

// The name a file too large to be an export gets: "--rechazado--" before it.
QString asideFileName(const QString &name);

} // namespace zelvano
