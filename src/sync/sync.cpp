#include "sync/sync.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/vb.h"
#include "download/remote.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "sync/statements.h"
#include "sync/syncremote.h"

#include <QHash>

#include <algorithm>
#include <map>

namespace zelvano {

namespace {

const QString kAgregar = QStringLiteral("AGREGAR");
const QString kModificar = QStringLiteral("MODIFICAR");
const QString kEliminar = QStringLiteral("ELIMINAR");
const QString kDescargado = QStringLiteral("DESCARGADO");

const QString kAuthRefused =
    QStringLiteral("Los datos de usuario o password remotos, no son correctos ");
const QString kHeaderInsertFailed =
    QStringLiteral("error de sincronizacion en tabla Cabezas_produccion ");
const QString kHeaderFailed =
    QStringLiteral("error de sincronizacion en tabla cabezas_produccion ");
const QString kDetailFailed =
    QStringLiteral("error de sincronizacion en tabla detalle_cabezas_produccion ");
const QString kNoConnection = QStringLiteral(
    "No se pudo conectar con el servidor, la sincronizacion se hará mas tarde automaticamente");
const QString kSuccess =
    QStringLiteral("Datos de cabezas y produccion Sincronizados correctamente con el servidor web");

// A WEB statement the server did not accept (status other than 200): the
// step's message is logged once the local work is rolled back.
struct StepRefused
{
    QString message;
};

void logEvent(AppContext &ctx, const QString &text)
{
    Grabar_Suceso(ctx, ctx.today(), text + ctx.timeText());
}

qint64 serverIdOf(const QVariant &value)
{
    bool ok = false;
    const qint64 id = vb::joinText(value).trimmed().toLongLong(&ok);
    return ok ? id : -1;
}

// A server date ("2026-12-07" from the script, a date from ODBC) as the local
// day-first text; any other text is handed on for the database to judge.
QVariant localDateText(const QVariant &value)
{
    if (vb::isNull(value))
        return QVariant();
    if (value.typeId() == QMetaType::QDate)
        return DateTexts::date(value.toDate());
    if (value.typeId() == QMetaType::QDateTime)
        return DateTexts::date(value.toDateTime().date());
    const QString text = value.toString();
    const QDate d = DateTexts::parseDate(text.section(u' ', 0, 0));
    return d.isValid() ? QVariant(DateTexts::date(d)) : QVariant(text);
}

// The server's refusal of a read, as an error of the procedure.
[[noreturn]] void raiseRefusedRead(const RemoteAnswer &answer)
{
    raise(answer.status, QStringLiteral("El servidor respondio con el estado %1").arg(answer.status));
}

struct DownloadedRecord
{
    qint64 serverId = 0;
    QString serverIdText;
    RemoteRow header;
};

syncsql::Header headerOf(const Recordset &rs)
{
    return {rs.value(0), rs.value(1), rs.value(2), rs.value(3),
            rs.value(4), rs.value(5), rs.value(8)};
}

// The value groups of one reading's local detail rows, under the given server id.
int appendDetailGroups(LocalConnection &db, const QVariant &localId, const QString &serverId,
                       QString *groups)
{
    Recordset rs = db.openRecordset(syncsql::localDetailsSql(localId));
    int n = 0;
    for (; !rs.eof(); rs.moveNext(), ++n)
        *groups += syncsql::detailGroup(serverId, {rs.value(1), rs.value(2), rs.value(3)});
    rs.close();
    return n;
}

void sendOrRefuse(SyncRemote &remote, const QString &sql, const QString &message)
{
    const RemoteAnswer answer = remote.run(sql, false);
    if (!answer.accepted())
        throw StepRefused{message};
}

// The pending additions that the server does not hold yet go up in
// one statement. Returns every pending addition with the server id it already
// knows (Null while none).
QHash<qint64, QVariant> sendAdditions(AppContext &ctx, SyncRemote &remote, SyncReport &report)
{
    LocalConnection &db = ctx.db();
    QHash<qint64, QVariant> pending;
    QString groups;
    Recordset rs = db.openRecordset(syncsql::pendingSql(kAgregar));
    for (; !rs.eof(); rs.moveNext()) {
        const syncsql::Header header = headerOf(rs);
        pending.insert(header.id.toLongLong(), header.idRemoto);
        // A header whose server id is known reached the server in an earlier run.
        if (!vb::isNull(header.idRemoto))
            continue;
        groups += syncsql::headerGroup(ctx.settings.ClientId, header);
        ++report.headersAdded;
    }
    rs.close();
    if (!groups.isEmpty())
        sendOrRefuse(remote, syncsql::headerInsertSql(groups), kHeaderInsertFailed);
    return pending;
}

// Which server rows without details are our pending additions. A row
// is taken only for a pending addition, never when its id is held by another
// local row (a record of another site brought down earlier, whose id_prg may
// equal one of our ids), and a pending addition that knows its server id takes
// only that one. Several candidates for one addition: the newest is ours.
std::map<qint64, std::pair<QString, qint64>> matchAdditions(LocalConnection &db,
                                                            const std::vector<RemoteRow> &rows,
                                                            const QHash<qint64, QVariant> &pending)
{
    QHash<qint64, qint64> holder; // server id -> local id holding it
    Recordset held = db.openRecordset(
        QStringLiteral("select id, id_remoto from Produccion_Lactea where id_remoto is not null"));
    for (; !held.eof(); held.moveNext())
        holder.insert(serverIdOf(held.value(1)), held.value(0).toLongLong());
    held.close();

    std::map<qint64, std::pair<QString, qint64>> chosen; // local id -> (server id text, id)
    for (const RemoteRow &row : rows) {
        const QString serverText = vb::joinText(row.field(0, QStringLiteral("id"))).trimmed();
        const qint64 serverId = serverIdOf(serverText);
        const qint64 localId = serverIdOf(row.field(1, QStringLiteral("id_prg")));
        if (serverId < 0 || localId < 0)
            continue;
        const auto add = pending.constFind(localId);
        if (add == pending.constEnd())
            continue;
        if (const auto h = holder.constFind(serverId);
            h != holder.constEnd() && h.value() != localId)
            continue;
        if (!vb::isNull(add.value()) && serverIdOf(add.value()) != serverId)
            continue;
        auto it = chosen.find(localId);
        if (it == chosen.end() || it->second.second < serverId)
            chosen[localId] = {serverText, serverId};
    }
    return chosen;
}

void sendAdditionDetails(AppContext &ctx, SyncRemote &remote, SyncReport &report,
                         const QHash<qint64, QVariant> &pending)
{
    LocalConnection &db = ctx.db();
    // A refused read cannot be told from "no rows": marking the additions
    // sent then would leave headers on the server that never get details.
    RemoteAnswer answer =
        remote.run(syncsql::headersWithoutDetailsSql(ctx.settings.ClientId), true);
    if (!answer.accepted())
        throw StepRefused{kHeaderFailed};
    const auto chosen = matchAdditions(db, answer.rows, pending);

    // The server ids are kept at once, whatever happens to the rest of the run:
    // a row that knows its id is never inserted on the server again.
    if (!chosen.empty()) {
        for (const auto &[localId, server] : chosen)
            db.execute(syncsql::storeRemoteIdSql(server.first, localId));
        db.commitTrans();
        db.beginTrans();
    }

    QString groups;
    for (const auto &[localId, server] : chosen)
        report.detailsSent += appendDetailGroups(db, localId, server.first, &groups);
    if (!groups.isEmpty())
        sendOrRefuse(remote, syncsql::detailInsertSql(groups), kDetailFailed);
    db.execute(syncsql::markSentSql(kAgregar));
}

void sendChanges(AppContext &ctx, SyncRemote &remote, SyncReport &report)
{
    LocalConnection &db = ctx.db();
    Recordset rs = db.openRecordset(syncsql::pendingSql(kModificar));
    for (; !rs.eof(); rs.moveNext()) {
        const syncsql::Header header = headerOf(rs);
        sendOrRefuse(remote, syncsql::headerUpdateSql(ctx.settings.ClientId, header),
                     kHeaderFailed);
        sendOrRefuse(remote, syncsql::remoteDetailDeleteSql(header.idRemoto), kDetailFailed);
        QString groups;
        report.detailsSent +=
            appendDetailGroups(db, header.id, vb::joinText(header.idRemoto), &groups);
        if (!groups.isEmpty())
            sendOrRefuse(remote, syncsql::detailInsertSql(groups), kDetailFailed);
        ++report.headersChanged;
    }
    rs.close();
    db.execute(syncsql::markSentSql(kModificar));
}

void sendDeletions(AppContext &ctx, SyncRemote &remote, SyncReport &report)
{
    LocalConnection &db = ctx.db();
    Recordset rs = db.openRecordset(syncsql::pendingSql(kEliminar));
    for (; !rs.eof(); rs.moveNext()) {
        const QVariant serverId = rs.value(8);
        sendOrRefuse(remote, syncsql::remoteHeaderDeleteSql(ctx.settings.ClientId, serverId),
                     kHeaderFailed);
        sendOrRefuse(remote, syncsql::remoteDetailDeleteSql(serverId), kDetailFailed);
        ++report.headersDeleted;
    }
    rs.close();
    db.execute(syncsql::deleteSentSql());
}

bool connectionFailure(long number)
{
    return number == ErrNo::ProviderFailure || number == ErrNo::HttpTimeout ||
           number == ErrNo::HttpNameNotResolved;
}

// The event log must not take the procedure down with it.
void logFailure(AppContext &ctx, const QString &text, const QString &procedure)
{
    try {
        logEvent(ctx, text);
    } catch (const AppError &error) {
        reportUnlogged(error, procedure);
    }
}

} // namespace

void Sincronizar_nuevos(AppContext &ctx, SyncReport *report)
{
    SyncReport unused;
    SyncReport &out = report ? *report : unused;
    bool began = false;
    try {
        std::unique_ptr<SyncRemote> remote = openSyncRemote(ctx);
        remote->setTrace(&out.remoteStatements);
        const RemoteAnswer auth = remote->run(authenticationSql(ctx.settings), true);
        if (!auth.hasRows) {
            logFailure(ctx, kAuthRefused, QStringLiteral("Sincronizar_nuevos"));
            return;
        }

        LocalConnection &db = ctx.db();
        qint64 threshold = 0;
        {
            Recordset rs = db.openRecordset(syncsql::maxRemoteIdSql());
            if (!rs.eof() && !vb::isNull(rs.value(0)))
                threshold = rs.value(0).toLongLong();
            rs.close();
        }

        RemoteAnswer heads =
            remote->run(syncsql::newHeadersSql(ctx.settings.ClientId, threshold), true);
        if (!heads.accepted())
            raiseRefusedRead(heads);

        // In ascending server id, so that the threshold of the next run never
        // passes over a record that was not stored.
        std::vector<DownloadedRecord> records;
        records.reserve(heads.rows.size());
        for (RemoteRow &row : heads.rows) {
            const QVariant id = row.field(1, QStringLiteral("id"));
            records.push_back({serverIdOf(id), vb::joinText(id).trimmed(), std::move(row)});
        }
        std::stable_sort(records.begin(), records.end(),
                         [](const DownloadedRecord &a, const DownloadedRecord &b) {
                             return a.serverId < b.serverId;
                         });

        TableWriter header = db.openTable(QStringLiteral("produccion_lactea"));
        TableWriter detail = db.openTable(QStringLiteral("detalle_produccion_lactea"));
        for (const DownloadedRecord &record : records) {
            RemoteAnswer details =
                remote->run(syncsql::remoteDetailsSql(record.serverIdText, remote->odbc()), true);
            if (!details.accepted())
                raiseRefusedRead(details);

            // A record and its details are stored together or not at all.
            db.beginTrans();
            began = true;
            const RemoteRow &h = record.header;
            header.addNew();
            const QVariant localId = header.value(0);
            header.setValue(1, localDateText(h.field(2, QStringLiteral("fecha"))));
            header.setValue(2, h.field(3, QStringLiteral("usuario")));
            header.setValue(3, h.field(4, QStringLiteral("turno")));
            header.setValue(4, h.field(5, QStringLiteral("total_cabezas")));
            header.setValue(5, h.field(6, QStringLiteral("total_litros")));
            header.setValue(6, true);
            header.setValue(7, kDescargado);
            header.setValue(8, h.field(1, QStringLiteral("id")));
            header.update();
            for (const RemoteRow &d : details.rows) {
                detail.addNew();
                detail.setValue(0, localId);
                detail.setValue(1, d.field(1, QStringLiteral("rodeo")));
                detail.setValue(2, d.field(2, QStringLiteral("cabezas")));
                detail.setValue(3, d.field(3, QStringLiteral("litros")));
                detail.update();
            }
            db.commitTrans();
            began = false;
            ++out.recordsDownloaded;
            out.detailsDownloaded += int(details.rows.size());
        }
        header.close();
        detail.close();
    } catch (const AppError &error) {
        if (began && ctx.connection && ctx.connection->inTransaction())
            ctx.connection->rollbackTrans();
        logFailure(
            ctx,
            QStringLiteral("Error %1 (%2) en procedimiento Sincronizar_nuevos de Módulo Module1")
                .arg(error.number())
                .arg(error.description()),
            QStringLiteral("Sincronizar_nuevos"));
    }
}

void Sincronizar_CabProd(AppContext &ctx, bool silent)
{
    Sincronizar_CabProd(ctx, silent, nullptr);
}

void Sincronizar_CabProd(AppContext &ctx, bool silent, SyncReport *report)
{
    SyncReport unused;
    SyncReport &out = report ? *report : unused;
    const QString procedure = QStringLiteral("Sincronizar_CabProd");
    bool began = false;
    auto rollback = [&] {
        if (began && ctx.connection && ctx.connection->inTransaction())
            ctx.connection->rollbackTrans();
        began = false;
    };
    try {
        std::unique_ptr<SyncRemote> remote = openSyncRemote(ctx);
        remote->setTrace(&out.remoteStatements);
        const RemoteAnswer auth = remote->run(authenticationSql(ctx.settings), true);
        if (!auth.hasRows) {
            remote.reset();
            if (!silent)
                logFailure(ctx, kAuthRefused, procedure);
            return;
        }

        Sincronizar_nuevos(ctx, &out);

        LocalConnection &db = ctx.db();
        db.beginTrans();
        began = true;
        const QHash<qint64, QVariant> pending = sendAdditions(ctx, *remote, out);
        sendAdditionDetails(ctx, *remote, out, pending);
        sendChanges(ctx, *remote, out);
        sendDeletions(ctx, *remote, out);
        logEvent(ctx, kSuccess);
        db.commitTrans();
        began = false;
    } catch (const StepRefused &refused) {
        rollback();
        if (!silent)
            logFailure(ctx, refused.message, procedure);
    } catch (const AppError &error) {
        rollback();
        if (!silent)
            logFailure(ctx,
                       connectionFailure(error.number())
                           ? kNoConnection
                           : QStringLiteral("Error %1 (%2) en procedimiento Sincronizar_CabProd ")
                                 .arg(error.number())
                                 .arg(error.description()),
                       procedure);
    }
}

} // namespace zelvano
