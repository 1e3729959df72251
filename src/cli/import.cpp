#include "cli/cli.h"
#include "cli/commands.h"

#include "app/jobrecord.h"
#include "milk/import.h"
#include "store/connection.h"

#include <QTextStream>

namespace zelvano {

// zelvano import: one scan of the import folder; one line per file read.
// Exit 1 when the scan or any file failed.
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
    out.flush();
    closeLocalConnection(env.ctx);
    for (const QString &name : outcome.failedFiles)
        printError(QStringLiteral("import: %1 failed").arg(name));
    if (!outcome.ok())
        printError(QStringLiteral("import: ") + outcome.errorText());
    if (outcome.sync && !outcome.sync->ok())
        printError(QStringLiteral("sync: ") + outcome.sync->errorText());
    return outcome.ok() ? 0 : 1;
}

} // namespace zelvano
