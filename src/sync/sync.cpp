#include "sync/sync.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "remote/server.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "sync/statements.h"
#include "store/tables.h"
#include "store/transaction.h"

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

// The server's refusal of a read, or an answer that could not be read whole,
// as an error of the procedure.
[[noreturn]] void raiseRefusedRead(const RemoteAnswer &answer)
{
    if (answer.status == 200)
        raiseUnaccepted(answer);
    raise(answer.status, QStringLiteral("El servidor respondio con el estado %1").arg(answer.status));
}

// Logs in; false when the server refused the farm's id and password.
bool authenticated(AppContext &ctx, RemoteServer &remote)
{
    const RemoteAnswer auth = remote.query(authenticationSql(ctx.settings));
    if (auth.status == 200 && !auth.whole)
        raiseUnaccepted(auth);
    return auth.hasRows;
}

struct DownloadedRecord
{
    qint64 serverId = 0;
    QString serverIdText;
    RemoteRow header;
};

syncsql::Header headerOf(const Recordset &rs)
{
    namespace P = ProduccionLactea;
    return {rs.value(P::Id),      rs.value(P::Fecha),        rs.value(P::Usuario),
            rs.value(P::Turno),   rs.value(P::TotalCabezas), rs.value(P::TotalLitros),
            rs.value(P::IdRemoto)};
}

// The value groups of one reading's local detail rows, under the given server id.
int appendDetailGroups(LocalConnection &db, const QVariant &localId, const QString &serverId,
                       QString *groups)
{
    namespace P = DetalleProduccionLactea;
    Recordset rs = db.openRecordset(syncsql::localDetailsSql(localId));
    int n = 0;
    for (; !rs.eof(); rs.moveNext(), ++n)
        *groups += syncsql::detailGroup(
            serverId, {rs.value(P::Rodeo), rs.value(P::Cabezas), rs.value(P::Litros)});
    return n;
}

void sendOrRefuse(RemoteServer &remote, const QString &sql, const QString &message)
{
    if (!remote.execute(sql).accepted())
        throw StepRefused{message};
}

// The pending additions that the server does not hold yet go up in
// one statement. Returns every pending addition with the server id it already
// knows (Null while none).
QHash<qint64, QVariant> sendAdditions(AppContext &ctx, RemoteServer &remote, SyncReport &report)
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
    enum { Id, IdRemoto };
    Recordset held = db.openRecordset(
        QStringLiteral("select id, id_remoto from Produccion_Lactea where id_remoto is not null"));
    for (; !held.eof(); held.moveNext())
        holder.insert(serverIdOf(held.value(IdRemoto)), held.value(Id).toLongLong());

    std::map<qint64, std::pair<QString, qint64>> chosen; // local id -> (server id text, id)
    for (const RemoteRow &row : rows) {
        const QString serverText = vb::joinText(row.field(RemoteUnsentHeader::Id)).trimmed();
        const qint64 serverId = serverIdOf(serverText);
        const qint64 localId = serverIdOf(row.field(RemoteUnsentHeader::IdPrg));
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

void sendAdditionDetails(AppContext &ctx, RemoteServer &remote, SyncReport &report,
                         const QHash<qint64, QVariant> &pending, Transaction &transaction)
{
    LocalConnection &db = ctx.db();
    // A refused read cannot be told from "no rows": marking the additions
    // sent then would leave headers on the server that never get details.
    RemoteAnswer answer = remote.query(syncsql::headersWithoutDetailsSql(ctx.settings.ClientId));
    if (!answer.accepted())
        throw StepRefused{kHeaderFailed};
    const auto chosen = matchAdditions(db, answer.rows, pending);

    // The server ids are kept at once, whatever happens to the rest of the run:
    // a row that knows its id is never inserted on the server again.
    if (!chosen.empty()) {
        for (const auto &[localId, server] : chosen)
            db.execute(syncsql::storeRemoteIdSql(server.first, localId));
        transaction.commitAndContinue();
    }

    QString groups;
    for (const auto &[localId, server] : chosen)
        report.detailsSent += appendDetailGroups(db, localId, server.first, &groups);
    if (!groups.isEmpty())
        sendOrRefuse(remote, syncsql::detailInsertSql(groups), kDetailFailed);
    db.execute(syncsql::markSentSql(kAgregar));
}

void sendChanges(AppContext &ctx, RemoteServer &remote, SyncReport &report)
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
    db.execute(syncsql::markSentSql(kModificar));
}

void sendDeletions(AppContext &ctx, RemoteServer &remote, SyncReport &report)
{
    LocalConnection &db = ctx.db();
    Recordset rs = db.openRecordset(syncsql::pendingSql(kEliminar));
    for (; !rs.eof(); rs.moveNext()) {
        const QVariant serverId = rs.value(ProduccionLactea::IdRemoto);
        sendOrRefuse(remote, syncsql::remoteHeaderDeleteSql(ctx.settings.ClientId, serverId),
                     kHeaderFailed);
        sendOrRefuse(remote, syncsql::remoteDetailDeleteSql(serverId), kDetailFailed);
        ++report.headersDeleted;
    }
    db.execute(syncsql::deleteSentSql());
}

bool connectionFailure(long number)
{
    return number == ErrNo::ProviderFailure || number == ErrNo::HttpTimeout ||
           number == ErrNo::HttpNameNotResolved;
}

} // namespace

namespace {

// Sincronizar_nuevos on an open server: the records go into `out`.
void downloadNew(AppContext &ctx, const RemoteOptions &options, SyncReport &out)
{
    try {
        // A farm id or host that could bend a statement: nothing is sent.
        checkRemoteSettings(ctx.settings);
        std::unique_ptr<RemoteServer> remote = RemoteServer::open(ctx.settings, options);
        remote->setTrace(&out.remoteStatements);
        if (!authenticated(ctx, *remote)) {
            out.loginRefused = true;
            out.fail(ErrNo::LoginRefused, kAuthRefused.trimmed());
            logEvent(ctx, kAuthRefused);
            return;
        }

        LocalConnection &db = ctx.db();
        qint64 threshold = 0;
        {
            const Recordset rs = db.openRecordset(syncsql::maxRemoteIdSql());
            if (!rs.eof() && !vb::isNull(rs.value(0)))
                threshold = rs.value(0).toLongLong();
        }

        RemoteAnswer heads =
            remote->query(syncsql::newHeadersSql(ctx.settings.ClientId, threshold));
        if (!heads.accepted())
            raiseRefusedRead(heads);

        // In ascending server id, so that the threshold of the next run never
        // passes over a record that was not stored.
        std::vector<DownloadedRecord> records;
        records.reserve(heads.rows.size());
        for (RemoteRow &row : heads.rows) {
            const QVariant id = row.field(RemoteProduction::Id);
            records.push_back({serverIdOf(id), vb::joinText(id).trimmed(), std::move(row)});
        }
        std::stable_sort(records.begin(), records.end(),
                         [](const DownloadedRecord &a, const DownloadedRecord &b) {
                             return a.serverId < b.serverId;
                         });

        TableWriter header = db.openTable(QStringLiteral("produccion_lactea"));
        TableWriter detail = db.openTable(QStringLiteral("detalle_produccion_lactea"));
        for (const DownloadedRecord &record : records) {
            const RemoteAnswer details =
                remote->query(syncsql::remoteDetailsSql(record.serverIdText, remote->odbc()));
            if (!details.accepted())
                raiseRefusedRead(details);

            // A record and its details are stored together or not at all.
            Transaction transaction(db);
            const RemoteRow &h = record.header;
            header.addNew();
            const QVariant localId = header.value(ProduccionLactea::Id);
            header.setValue(ProduccionLactea::Fecha,
                            localDateText(h.field(RemoteProduction::Fecha)));
            header.setValue(ProduccionLactea::Usuario, h.field(RemoteProduction::Usuario));
            header.setValue(ProduccionLactea::Turno, h.field(RemoteProduction::Turno));
            header.setValue(ProduccionLactea::TotalCabezas,
                            h.field(RemoteProduction::TotalCabezas));
            header.setValue(ProduccionLactea::TotalLitros, h.field(RemoteProduction::TotalLitros));
            header.setValue(ProduccionLactea::Actualizado, true);
            header.setValue(ProduccionLactea::Proceso, kDescargado);
            header.setValue(ProduccionLactea::IdRemoto, h.field(RemoteProduction::Id));
            header.update();
            for (const RemoteRow &d : details.rows) {
                detail.addNew();
                detail.setValue(DetalleProduccionLactea::Id, localId);
                detail.setValue(DetalleProduccionLactea::Rodeo,
                                d.field(RemoteProductionDetail::Rodeo));
                detail.setValue(DetalleProduccionLactea::Cabezas,
                                d.field(RemoteProductionDetail::Cabezas));
                detail.setValue(DetalleProduccionLactea::Litros,
                                d.field(RemoteProductionDetail::Litros));
                detail.update();
            }
            transaction.commit();
            ++out.recordsDownloaded;
            out.detailsDownloaded += int(details.rows.size());
        }
    } catch (const AppError &error) {
        out.fail(error);
        logEvent(ctx, ErrorText::inProcedure(error, QStringLiteral("Sincronizar_nuevos"),
                                             QStringLiteral("Módulo Module1")));
    }
}

} // namespace

SyncReport Sincronizar_nuevos(AppContext &ctx, const RemoteOptions &options)
{
    SyncReport report;
    downloadNew(ctx, options, report);
    return report;
}

SyncReport Sincronizar_CabProd(AppContext &ctx, bool silent, const RemoteOptions &options)
{
    SyncReport out;
    try {
        // A farm id or host that could bend a statement: nothing is sent.
        checkRemoteSettings(ctx.settings);
        std::unique_ptr<RemoteServer> remote = RemoteServer::open(ctx.settings, options);
        remote->setTrace(&out.remoteStatements);
        if (!authenticated(ctx, *remote)) {
            out.loginRefused = true;
            out.fail(ErrNo::LoginRefused, kAuthRefused.trimmed());
            remote.reset();
            if (!silent)
                logEvent(ctx, kAuthRefused);
            return out;
        }

        downloadNew(ctx, options, out);

        LocalConnection &db = ctx.db();
        Transaction transaction(db);
        const QHash<qint64, QVariant> pending = sendAdditions(ctx, *remote, out);
        sendAdditionDetails(ctx, *remote, out, pending, transaction);
        sendChanges(ctx, *remote, out);
        sendDeletions(ctx, *remote, out);
        logEvent(ctx, kSuccess);
        transaction.commit();
    } catch (const StepRefused &refused) {
        out.fail(ErrNo::SqlError, refused.message.trimmed());
        if (!silent)
            logEvent(ctx, refused.message);
    } catch (const AppError &error) {
        out.fail(error);
        if (!silent)
            logEvent(ctx, connectionFailure(error.number())
                              ? kNoConnection
                              : ErrorText::inProcedure(error, QStringLiteral("Sincronizar_CabProd")) +
                                    u' ');
    }
    return out;
}

} // namespace zelvano
