#include "cli/cli.h"
#include "cli/commands.h"
#include "cli/dateoptions.h"

#include "app/jobrecord.h"
#include "app/jobresults.h"
#include "download/download.h"
#include "store/connection.h"
#include "trips/save.h"

#include <QTextStream>

namespace zelvano {

// zelvano save [--from dd/MM/yyyy --to dd/MM/yyyy]
// One download-and-save cycle, as the scheduler runs it; prints what its
// transaction stored (all 0 when it rolled back) and the trips it left out.
// Exit 1 when the download or the save failed, or a trip was left out for the
// first time (a new event to read).
int cmdSave(CliEnv &env, const QStringList &args)
{
    DownloadOptions options;
    QString problem;
    if (!readDownloadOptions(args, {}, {}, &options, &problem)) {
        printError(QStringLiteral("save: ") + problem);
        printError(QStringLiteral("usage: zelvano save [--from dd/MM/yyyy --to dd/MM/yyyy]"));
        return 2;
    }
    applyDownloadOptions(env.ctx, options);
    if (!env.connect())
        return 1;

    const EventEcho echo(env.ctx);
    const QDateTime started = env.ctx.clock.now();
    const DownloadOutcome downloaded = CmdDescargar_Click(env.ctx);
    const SaveOutcome saved = CmdGrabar_Click(env.ctx);
    recordDownload(env.ctx, started, &downloaded, &saved);
    // The save closes a connection it opened itself; the echo reads what it logged.
    if (!env.ctx.Connected)
        env.connect();
    for (const QString &event : echo.newEvents())
        if (event.startsWith(QLatin1String("Error ")))
            printError(event);
    closeLocalConnection(env.ctx);

    QTextStream out(stdout);
    out << "downloaded trips\t" << downloaded.trips << '\n'
        << "trips\t" << saved.trips << '\n'
        << "loads\t" << saved.loads << '\n'
        << "unloads\t" << saved.unloads << '\n'
        << "added prescribed unloads\t" << saved.addedUnloads << '\n'
        << "concentrate rows\t" << saved.concentrateRows << '\n'
        << "trips left out\t" << saved.refusedTrips << '\n';
    out.flush();
    if (!downloaded.ok())
        printError(QStringLiteral("download: ") +
                   explainedError(downloaded, env.ctx.settings.ServerHost));
    if (!saved.ok())
        printError(QStringLiteral("save: ") + explainedError(saved, env.ctx.settings.ServerHost));
    return downloaded.ok() && saved.ok() && saved.newRefusals == 0 ? 0 : 1;
}

} // namespace zelvano
