#include "cli/cli.h"
#include "cli/commands.h"

#include "app/jobrecord.h"
#include "milk/import.h"
#include "store/connection.h"

#include <QTextStream>

namespace zelvano {

// zelvano import: one scan of the import folder; one line per file read or
// set aside. Exit 1 when the scan or any file failed, each failed file named
// with its reason on standard error.
int cmdImport(CliEnv &env, const QStringList &args)
{
    if (!args.isEmpty()) {
        printError(QStringLiteral("usage: zelvano import"));
        return 2;
    }
    if (!env.connect())
        return 1;
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
