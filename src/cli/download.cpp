#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/dateoptions.h"
#include "cli/gridtext.h"

#include "app/jobrecord.h"
#include "app/jobresults.h"
#include "download/download.h"
#include "store/connection.h"

#include <QTextStream>

namespace zelvano {

// zelvano download [--from dd/MM/yyyy --to dd/MM/yyyy] [--json]
// One download on the home's database; prints the grid. Without dates it
// fetches new trips only. Exit 1 when the download failed.
int cmdDownload(CliEnv &env, const QStringList &args)
{
    DownloadOptions options;
    QString problem;
    if (!readDownloadOptions(args, {QStringLiteral("--json")}, {}, &options, &problem)) {
        printError(QStringLiteral("download: ") + problem);
        printError(QStringLiteral("usage: zelvano download [--from dd/MM/yyyy --to dd/MM/yyyy] [--json]"));
        return 2;
    }
    applyDownloadOptions(env.ctx, options);
    if (!env.connect())
        return 1;

    const EventEcho echo(env.ctx);
    const QDateTime started = env.ctx.clock.now();
    const DownloadOutcome outcome = CmdDescargar_Click(env.ctx);
    recordDownload(env.ctx, started, &outcome, nullptr);
    echo.printNewEvents();
    QTextStream out(stdout);
    out << (options.flags.contains(QStringLiteral("--json")) ? tripGridJson(env.ctx.grid)
                                                            : tripGridText(env.ctx.grid));
    out.flush();
    closeLocalConnection(env.ctx);
    if (!outcome.ok())
        printError(QStringLiteral("download: ") +
                   explainedError(outcome, env.ctx.settings.ServerHost));
    return outcome.ok() ? 0 : 1;
}

} // namespace zelvano
