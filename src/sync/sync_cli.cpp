#include "sync/sync_cli.h"

#include "app/cli.h"
#include "store/connection.h"
#include "sync/sync.h"

#include <QTextStream>

#include <cstdio>

namespace zelvano {

namespace {

// The events written since the run began, oldest first.
QStringList newEvents(LocalConnection &db, qint64 after)
{
    QStringList texts;
    Recordset rs = db.openRecordset(
        QStringLiteral("select descripcion from sucesos where id > %1 order by id").arg(after));
    for (; !rs.eof(); rs.moveNext())
        texts << rs.value(0).toString();
    return texts;
}

} // namespace

int cmdSync(CliEnv &env, const QStringList &args)
{
    if (!args.isEmpty()) {
        std::fprintf(stderr, "usage: zelvano sync\n");
        return 2;
    }
    if (!env.connect())
        return 1;
    LocalConnection &db = env.ctx.db();
    qint64 lastEvent = 0;
    {
        Recordset rs = db.openRecordset(QStringLiteral("select max(id) from sucesos"));
        if (!rs.eof())
            lastEvent = rs.value(0).toLongLong();
    }

    SyncReport report;
    Sincronizar_CabProd(env.ctx, false, &report);
    const QStringList events = newEvents(db, lastEvent);
    closeLocalConnection(env.ctx);

    QTextStream out(stdout);
    out << "Up:   " << report.headersAdded << " added, " << report.headersChanged << " changed, "
        << report.headersDeleted << " deleted, " << report.detailsSent << " detail rows\n";
    out << "Down: " << report.recordsDownloaded << " records, " << report.detailsDownloaded
        << " detail rows\n";
    out << "Remote statements: " << report.remoteStatements.size() << '\n';
    for (const QString &text : events)
        out << "Event: " << text << '\n';
    out.flush();

    const bool succeeded =
        !events.isEmpty() && events.last().startsWith(QStringLiteral(
                                 "Datos de cabezas y produccion Sincronizados correctamente"));
    return succeeded ? 0 : 1;
}

} // namespace zelvano
