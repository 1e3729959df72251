#include "cli/cli.h"
#include "cli/commands.h"

#include "app/jobrecord.h"
#include "milk/import.h"
#include "store/connection.h"

#include <QTextStream>
#include <QThread>

namespace zelvano {

// zelvano import: one scan of the import folder; one line per file read or
// set aside. A file not seen before waits the settling time first. Exit 1 when the scan or any file
// failed, each failed file named with its reason on standard error.
int cmdImport(CliEnv &env, const QStringList &args)
{
    if (!args.isEmpty()) {
        printError(QStringLiteral("usage: zelvano import"));
        return 2;
    }
    if (!env.connect())
        return 1;
    // A file is read once it has stood unchanged between two looks: the
    // first look here, the second by the scan after the settling time.
    if (lookAtImportFolder(env.ctx) > 0 && settleMs() > 0) {
        printError(QStringLiteral("import: waiting %1 s for the files to stand unchanged")
                       .arg(double(settleMs()) / 1000));
        QThread::msleep(quint64(settleMs()));
    }
    const QDateTime started = env.ctx.clock.now();
    const ImportOutcome outcome = Abrir(env.ctx);
    recordImport(env.ctx, started, outcome);
    QTextStream out(stdout);
    for (const ImportedFile &file : outcome.files)
        out << file.name << " -> " << file.readName << '\n';
    for (const ImportedFile &file : outcome.setAside)
        out << file.name << " -> " << file.readName << " (set aside)\n";
    out.flush();
    closeLocalConnection(env.ctx);
    for (const FailedFile &file : outcome.failedFiles)
        printError(QStringLiteral("import: %1 failed: %2").arg(file.name, file.reason));
    if (!outcome.ok() && outcome.failedFiles.empty())
        printError(QStringLiteral("import: ") + outcome.errorText());
    if (outcome.sync && !outcome.sync->ok())
        printError(QStringLiteral("sync: ") + outcome.sync->errorText());
    return outcome.ok() && outcome.failedFiles.empty() ? 0 : 1;
}

} // namespace zelvano
