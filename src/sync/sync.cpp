#include "sync/sync.h"

#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "remote/server.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "store/tables.h"
#include "store/transaction.h"
#include "sync/records.h"
#include "sync/refusals.h"
#include "sync/statements.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QSet>

#include <algorithm>

namespace zelvano {

namespace {

using syncrecords::ServerHeader;
using Side = SyncRefusals::Side;

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
const QString kAlreadyRunning =
    QStringLiteral("Ya hay una sincronizacion de produccion en curso, no se inicia otra ");

// Local ids per statement when rows are marked or deleted by id.
constexpr size_t kIdsPerStatement = 500;

// A WEB statement the server did not accept (a status other than 200, or an
// answer that could not be read whole): the step's message is logged once
// the local work is rolled back.
struct StepRefused
{
    QString message;
};

// What the download learnt about the server that the upload relies on.
struct ServerState
{
    bool known = false;    // the ids below were read
    QSet<qint64> complete; // this client's records that have their details
};

// A local reading on its way up.
struct Reading
{
    qint64 id = 0;
    syncsql::Header header;
    std::vector<syncsql::Detail> details;
    qint64 serverId = kUnknown;

    // This database does not know the reading's server id.
    static constexpr qint64 kUnknown = -1;
    // Another run stored one while this run was under way: this run leaves it.
    static constexpr qint64 kTakenElsewhere = -2;
};

// The server's refusal of a read, or an answer that could not be read whole,
// as an error of the procedure.
[[noreturn]] void raiseRefusedRead(const RemoteAnswer &answer)
{
    if (answer.status == 200)
        raiseUnaccepted(answer);
    raise(answer.status,
          QStringLiteral("El servidor respondio con el estado %1").arg(answer.status));
}

// Logs in; false when the server refused the farm's id and password. An
// answer that is not the script's whole answer (a refusal, a cut or foreign
// page) fails the run: it says nothing about the password.
bool authenticated(AppContext &ctx, RemoteServer &remote)
{
    const RemoteAnswer auth = remote.query(authenticationSql(ctx.settings));
    if (!auth.accepted())
        raiseUnaccepted(auth);
    return auth.hasRows;
}

syncsql::Header headerOf(const Recordset &rs)
{
    namespace P = ProduccionLactea;
    return {rs.value(P::Id),      rs.value(P::Fecha),        rs.value(P::Usuario),
            rs.value(P::Turno),   rs.value(P::TotalCabezas), rs.value(P::TotalLitros),
            rs.value(P::IdRemoto)};
}

std::vector<syncsql::Detail> localDetails(LocalConnection &db, qint64 localId)
{
    namespace P = DetalleProduccionLactea;
    std::vector<syncsql::Detail> details;
    Recordset rs = db.openRecordset(syncsql::localDetailsSql(localId));
    details.reserve(size_t(rs.recordCount()));
    for (; !rs.eof(); rs.moveNext())
        details.push_back({rs.value(P::Rodeo), rs.value(P::Cabezas), rs.value(P::Litros)});
    return details;
}

std::vector<Reading> localReadings(LocalConnection &db, const QString &sql)
{
    std::vector<Reading> readings;
    Recordset rs = db.openRecordset(sql);
    readings.reserve(size_t(rs.recordCount()));
    for (; !rs.eof(); rs.moveNext()) {
        Reading r;
        r.header = headerOf(rs);
        r.id = r.header.id.toLongLong();
        r.serverId = syncrecords::wholeNumberOf(r.header.idRemoto);
        readings.push_back(std::move(r));
    }
    for (Reading &r : readings)
        r.details = localDetails(db, r.id);
    return readings;
}

QSet<qint64> heldServerIds(LocalConnection &db)
{
    QSet<qint64> held;
    Recordset rs = db.openRecordset(syncsql::heldServerIdsSql());
    held.reserve(rs.recordCount());
    for (; !rs.eof(); rs.moveNext())
        held.insert(syncrecords::wholeNumberOf(rs.value(0)));
    return held;
}

void sendOrRefuse(RemoteServer &remote, const QString &sql, const QString &message)
{
    if (!remote.execute(sql).accepted())
        throw StepRefused{message};
}

// Runs a local statement over ids, a few hundred at a time.
template <typename Make> void byIds(LocalConnection &db, const std::vector<qint64> &ids, Make make)
{
    for (size_t at = 0; at < ids.size(); at += kIdsPerStatement) {
        const std::vector<qint64> part(ids.begin() + qsizetype(at),
                                       ids.begin() +
                                           qsizetype(std::min(ids.size(), at + kIdsPerStatement)));
        db.execute(make(part));
    }
}

enum class Naming {
    Logged,     // named in an event
    Silent,     // a silent run: neither named nor remembered, the next run names it
    SilentKept, // a silent run, but remembered all the same: sending it again would do harm
};

// Names a record that will not move, once: the refusal and its event are
// committed together.
void nameOnce(AppContext &ctx, SyncRefusals &refusals, Side side, qint64 id,
              const QString &fingerprint, const QString &text, Naming naming)
{
    if (naming == Naming::Silent || refusals.known(side, id, fingerprint))
        return;
    Transaction transaction(ctx.db());
    refusals.remember(side, id, fingerprint);
    if (naming == Naming::Logged)
        logEvent(ctx, text);
    transaction.commit();
}

// True when a local reading must not go up: values the server cannot take
// (named once), or an earlier insert of exactly these values that the server
// did not give back (see sendAdditions).
bool heldBack(AppContext &ctx, SyncRefusals &refusals, const Reading &r, bool silent)
{
    const QString fingerprint = syncrecords::fingerprint(r.header, r.details);
    const QString problem = syncrecords::uploadProblem(r.header, r.details);
    if (problem.isEmpty())
        return r.serverId < 0 && refusals.known(Side::Local, r.id, fingerprint);
    nameOnce(ctx, refusals, Side::Local, r.id, fingerprint,
             QStringLiteral("Lectura de produccion %1 no enviada al servidor: %2 ")
                 .arg(r.id)
                 .arg(problem),
             silent ? Naming::Silent : Naming::Logged);
    return true;
}

// --- download ------------------------------------------------------------------

// A server record about to be stored: its values converted for the local
// columns, or why they cannot be.
struct LocalRecord
{
    std::vector<QVariant> header;               // by ProduccionLactea position
    std::vector<std::vector<QVariant>> details; // by DetalleProduccionLactea position
    QString problem;
};

LocalRecord convertRecord(LocalConnection &db, const ServerHeader &h,
                          const std::vector<RemoteRow> &details)
{
    namespace P = ProduccionLactea;
    namespace D = DetalleProduccionLactea;
    LocalRecord record;
    const TableInfo &headerTable = db.tableInfo(QStringLiteral("produccion_lactea"));
    const TableInfo &detailTable = db.tableInfo(QStringLiteral("detalle_produccion_lactea"));
    auto convert = [&](const TableInfo &table, int position, const QVariant &value,
                       const QString &what) {
        try {
            return convertForColumn(table.columns[size_t(position)].kind, value);
        } catch (const AppError &) {
            if (record.problem.isEmpty())
                record.problem = QStringLiteral("el valor '%1' de %2 no se puede guardar")
                                     .arg(vb::joinText(value), what);
            return QVariant();
        }
    };

    const QDate fecha = syncrecords::dateOf(h.fecha);
    if (!fecha.isValid())
        record.problem =
            QStringLiteral("la fecha '%1' no es una fecha valida").arg(vb::joinText(h.fecha));
    record.header.resize(size_t(headerTable.columns.size()));
    record.header[P::Fecha] = fecha;
    record.header[P::Usuario] =
        convert(headerTable, P::Usuario, h.usuario, QStringLiteral("usuario"));
    record.header[P::Turno] = convert(headerTable, P::Turno, h.turno, QStringLiteral("turno"));
    record.header[P::TotalCabezas] =
        convert(headerTable, P::TotalCabezas, h.cabezas, QStringLiteral("total_cabezas"));
    record.header[P::TotalLitros] =
        convert(headerTable, P::TotalLitros, h.litros, QStringLiteral("total_litros"));
    record.header[P::Actualizado] = true;
    record.header[P::Proceso] = kDescargado;
    record.header[P::IdRemoto] = convert(headerTable, P::IdRemoto, h.id, QStringLiteral("id"));

    for (const RemoteRow &row : details) {
        const QVariant rodeo = row.field(RemoteProductionDetail::Rodeo);
        std::vector<QVariant> detail(size_t(detailTable.columns.size()));
        detail[D::Rodeo] = convert(detailTable, D::Rodeo, rodeo, QStringLiteral("rodeo"));
        detail[D::Cabezas] =
            convert(detailTable, D::Cabezas, row.field(RemoteProductionDetail::Cabezas),
                    QStringLiteral("cabezas del rodeo '%1'").arg(vb::joinText(rodeo)));
        detail[D::Litros] =
            convert(detailTable, D::Litros, row.field(RemoteProductionDetail::Litros),
                    QStringLiteral("litros del rodeo '%1'").arg(vb::joinText(rodeo)));
        record.details.push_back(std::move(detail));
    }
    return record;
}

QString serverFingerprint(const ServerHeader &h, const std::vector<RemoteRow> &details)
{
    QStringList values{vb::joinText(h.fecha), vb::joinText(h.usuario), vb::joinText(h.turno),
                       vb::joinText(h.cabezas), vb::joinText(h.litros)};
    for (const RemoteRow &d : details)
        values << vb::joinText(d.field(RemoteProductionDetail::Rodeo))
               << vb::joinText(d.field(RemoteProductionDetail::Cabezas))
               << vb::joinText(d.field(RemoteProductionDetail::Litros));
    return syncrecords::fingerprint(values);
}

// The herd lines of one server record, each once. An answer may hold a row
// twice (a server or a cache in between replaying rows), and every line
// carries its own server id. Two different rows under one id, or a row of
// another record, are no answer to this statement: the step fails and the
// record is fetched again by a later run.
std::vector<RemoteRow> herdLinesOf(const std::vector<RemoteRow> &rows, qint64 serverId)
{
    std::vector<RemoteRow> lines;
    QHash<QString, QStringList> seen;
    for (const RemoteRow &row : rows) {
        const QString lineId = vb::joinText(row.field(RemoteProductionDetail::IdDetalle));
        const QStringList values{vb::joinText(row.field(RemoteProductionDetail::Rodeo)),
                                 vb::joinText(row.field(RemoteProductionDetail::Cabezas)),
                                 vb::joinText(row.field(RemoteProductionDetail::Litros))};
        const auto known = seen.constFind(lineId);
        if (syncrecords::wholeNumberOf(row.field(RemoteProductionDetail::Id)) != serverId ||
            (known != seen.constEnd() && *known != values))
            raise(ErrNo::HttpConnectionError,
                  QStringLiteral("The server's answer holds herd lines that are not those of "
                                 "record %1 (line %2)")
                      .arg(serverId)
                      .arg(lineId));
        if (known == seen.constEnd()) {
            seen.insert(lineId, values);
            lines.push_back(row);
        }
    }
    return lines;
}

// True when a server header is one of this site's own readings (not one it
// downloaded): it is never stored as a new record. A reading of ours that does
// not know its server id yet learns it here.
bool ownReading(LocalConnection &db, const ServerHeader &h, qint64 serverId, QSet<qint64> &held)
{
    const qint64 localId = syncrecords::wholeNumberOf(h.idPrg);
    if (localId < 0)
        return false;
    Recordset rs = db.openRecordset(syncsql::localReadingSql(localId));
    if (rs.eof() || vb::joinText(rs.value(ProduccionLactea::Proceso))
                            .compare(kDescargado, Qt::CaseInsensitive) == 0)
        return false;
    const syncsql::Header local = headerOf(rs);
    if (!syncrecords::sentFrom(local, h))
        return false;
    if (vb::isNull(local.idRemoto)) {
        Transaction transaction(db);
        db.execute(syncsql::storeRemoteIdSql(QString::number(serverId), localId));
        transaction.commit();
        held.insert(serverId);
    }
    return true;
}

struct Downloader
{
    AppContext &ctx;
    RemoteServer &remote;
    SyncReport &out;
    SyncRefusals refusals;
    QSet<qint64> held;

    void store(const RemoteRow &row)
    {
        LocalConnection &db = ctx.db();
        const ServerHeader h = syncrecords::productionHeaderOf(row);
        const qint64 serverId = syncrecords::wholeNumberOf(h.id);
        if (serverId < 0 || held.contains(serverId) || ownReading(db, h, serverId, held))
            return;

        const RemoteAnswer details =
            remote.query(syncsql::remoteDetailsSql(QString::number(serverId), remote.way()));
        if (!details.accepted())
            raiseRefusedRead(details);
        // Its details went away since they were counted (a change under way at
        // the site that owns it): it is picked up once they are back.
        if (details.rows.empty())
            return;
        const std::vector<RemoteRow> lines = herdLinesOf(details.rows, serverId);

        const QString fingerprint = serverFingerprint(h, lines);
        if (refusals.known(Side::Server, serverId, fingerprint))
            return;
        const LocalRecord record = convertRecord(db, h, lines);
        if (!record.problem.isEmpty()) {
            nameOnce(ctx, refusals, Side::Server, serverId, fingerprint,
                     QStringLiteral("Registro de produccion %1 del servidor no descargado: %2 ")
                         .arg(serverId)
                         .arg(record.problem),
                     Naming::Logged);
            return;
        }

        // A record and its details are stored together or not at all.
        Transaction transaction(db);
        TableWriter header = db.openTable(QStringLiteral("produccion_lactea"));
        header.addNew();
        const QVariant localId = header.value(ProduccionLactea::Id);
        for (int p = ProduccionLactea::Fecha; p <= ProduccionLactea::IdRemoto; ++p)
            header.setValue(p, record.header[size_t(p)]);
        header.update();
        TableWriter detail = db.openTable(QStringLiteral("detalle_produccion_lactea"));
        for (const std::vector<QVariant> &values : record.details) {
            detail.addNew();
            detail.setValue(DetalleProduccionLactea::Id, localId);
            for (int p = DetalleProduccionLactea::Rodeo; p <= DetalleProduccionLactea::Litros; ++p)
                detail.setValue(p, values[size_t(p)]);
            detail.update();
        }
        transaction.commit();
        held.insert(serverId);
        ++out.recordsDownloaded;
        out.detailsDownloaded += int(record.details.size());
    }
};

// Sincronizar_nuevos: the records of this client that are complete on the
// server (they have their details) and that this database does not hold
// yet, whatever their id, in ascending id.
void downloadNew(AppContext &ctx, const RemoteOptions &options, SyncReport &out, ServerState *state)
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
        Downloader downloader{ctx, *remote, out, SyncRefusals(db), heldServerIds(db)};

        const RemoteAnswer ids = remote->query(syncsql::completeIdsSql(ctx.settings.ClientId));
        if (!ids.accepted())
            raiseRefusedRead(ids);
        std::vector<qint64> missing;
        QSet<qint64> complete;
        for (const RemoteRow &row : ids.rows) {
            const qint64 id = syncrecords::wholeNumberOf(row.field(syncsql::CompleteId::Id));
            if (id < 0)
                continue;
            complete.insert(id);
            if (!downloader.held.contains(id))
                missing.push_back(id);
        }
        if (state) {
            state->complete = complete;
            state->known = true;
        }
        std::sort(missing.begin(), missing.end());

        for (size_t at = 0; at < missing.size(); at += kIdsPerStatement) {
            const std::vector<qint64> part(
                missing.begin() + qsizetype(at),
                missing.begin() + qsizetype(std::min(missing.size(), at + kIdsPerStatement)));
            RemoteAnswer heads =
                remote->query(syncsql::headersByIdSql(ctx.settings.ClientId, part));
            if (!heads.accepted())
                raiseRefusedRead(heads);
            std::stable_sort(heads.rows.begin(), heads.rows.end(),
                             [](const RemoteRow &a, const RemoteRow &b) {
                                 return syncrecords::wholeNumberOf(a.field(RemoteProduction::Id)) <
                                        syncrecords::wholeNumberOf(b.field(RemoteProduction::Id));
                             });
            for (const RemoteRow &row : heads.rows)
                downloader.store(row);
        }
    } catch (const AppError &error) {
        out.fail(error);
        logEvent(ctx, ErrorText::inProcedure(error, QStringLiteral("Sincronizar_nuevos"),
                                             QStringLiteral("Módulo Module1")));
    }
}

// --- upload --------------------------------------------------------------------

// This client's headers that have no details yet. The answer always carries
// the client's own row, so an empty one was cut short.
std::vector<ServerHeader> unsentHeaders(AppContext &ctx, RemoteServer &remote)
{
    const RemoteAnswer answer = remote.query(syncsql::unsentHeadersSql(ctx.settings.ClientId));
    if (!answer.accepted() || answer.rows.empty())
        throw StepRefused{kHeaderFailed};
    std::vector<ServerHeader> headers;
    headers.reserve(answer.rows.size());
    for (const RemoteRow &row : answer.rows) {
        ServerHeader h = syncrecords::unsentHeaderOf(row);
        if (syncrecords::wholeNumberOf(h.id) >= 0)
            headers.push_back(std::move(h));
    }
    std::sort(headers.begin(), headers.end(), [](const ServerHeader &a, const ServerHeader &b) {
        return syncrecords::wholeNumberOf(a.id) < syncrecords::wholeNumberOf(b.id);
    });
    return headers;
}

// Gives each reading that does not know its server id the header it was sent
// as, when the server has one that holds every value sent for it; a header
// whose id this database holds already is never taken. The ids are committed
// at once, whatever happens to the rest of the run: a reading that knows its
// id is never inserted again.
void mapServerIds(LocalConnection &db, const std::vector<ServerHeader> &headers,
                  std::vector<Reading> &readings)
{
    QHash<qint64, Reading *> open;
    for (Reading &r : readings)
        if (r.serverId == Reading::kUnknown)
            open.insert(r.id, &r);
    if (open.isEmpty() || headers.empty())
        return;
    QSet<qint64> held = heldServerIds(db);
    std::vector<std::pair<Reading *, qint64>> chosen;
    for (const ServerHeader &h : headers) {
        const qint64 serverId = syncrecords::wholeNumberOf(h.id);
        if (held.contains(serverId))
            continue;
        const auto it = open.constFind(syncrecords::wholeNumberOf(h.idPrg));
        if (it == open.constEnd() || !syncrecords::sentFrom(it.value()->header, h))
            continue;
        chosen.emplace_back(it.value(), serverId);
        held.insert(serverId);
        open.erase(it);
    }
    if (chosen.empty())
        return;
    std::vector<qint64> stored;
    Transaction transaction(db);
    for (const auto &[reading, serverId] : chosen)
        stored.push_back(
            db.execute(syncsql::storeRemoteIdSql(QString::number(serverId), reading->id)) == 1
                ? serverId
                : Reading::kTakenElsewhere);
    transaction.commit();
    for (size_t i = 0; i < chosen.size(); ++i)
        chosen[i].first->serverId = stored[i];
}

// The additions: headers go up only for readings whose header the server does
// not hold yet (looked for before the insert, since an earlier run may have
// lost the insert's answer), then each reading learns its header's id, then
// the details of the headers that have none go up. A reading is marked sent
// only once its header is known to have its details.
void sendAdditions(AppContext &ctx, RemoteServer &remote, SyncReport &out, const ServerState &state,
                   bool silent)
{
    LocalConnection &db = ctx.db();
    SyncRefusals refusals(db);
    std::vector<Reading> readings;
    for (Reading &r : localReadings(db, syncsql::pendingAdditionsSql()))
        if (!heldBack(ctx, refusals, r, silent))
            readings.push_back(std::move(r));

    const auto unmapped = [&] {
        return std::any_of(readings.begin(), readings.end(),
                           [](const Reading &r) { return r.serverId == Reading::kUnknown; });
    };
    if (unmapped())
        mapServerIds(db, unsentHeaders(ctx, remote), readings);

    std::vector<Reading *> inserted;
    QString groups;
    for (Reading &r : readings) {
        if (r.serverId != Reading::kUnknown)
            continue;
        groups += syncsql::headerGroup(ctx.settings.ClientId, r.header);
        inserted.push_back(&r);
    }
    if (!groups.isEmpty()) {
        sendOrRefuse(remote, syncsql::headerInsertSql(groups), kHeaderInsertFailed);
        out.headersAdded += int(inserted.size());
    }

    const std::vector<ServerHeader> unsent = unsentHeaders(ctx, remote);
    mapServerIds(db, unsent, readings);

    // The server took the insert but does not give back a header holding what
    // was sent (it changed a value on the way in): inserting it again would
    // only add another such header on every run.
    for (const Reading *r : inserted)
        if (r->serverId == Reading::kUnknown)
            nameOnce(ctx, refusals, Side::Local, r->id,
                     syncrecords::fingerprint(r->header, r->details),
                     QStringLiteral("Lectura de produccion %1 enviada al servidor pero no "
                                    "reconocida en su respuesta, no se enviara otra vez ")
                         .arg(r->id),
                     silent ? Naming::SilentKept : Naming::Logged);

    QSet<qint64> waiting;
    for (const ServerHeader &h : unsent)
        waiting.insert(syncrecords::wholeNumberOf(h.id));
    QString detailGroups;
    std::vector<qint64> sent;
    for (const Reading &r : readings) {
        if (r.serverId < 0)
            continue;
        if (waiting.contains(r.serverId)) {
            const QString serverId = QString::number(r.serverId);
            for (const syncsql::Detail &d : r.details)
                detailGroups += syncsql::detailGroup(serverId, d);
            out.detailsSent += int(r.details.size());
            sent.push_back(r.id);
        } else if (state.known && state.complete.contains(r.serverId)) {
            // Its details went up in an earlier run whose end was lost.
            sent.push_back(r.id);
        }
    }
    if (!detailGroups.isEmpty())
        sendOrRefuse(remote, syncsql::detailInsertSql(detailGroups), kDetailFailed);
    if (!sent.empty()) {
        Transaction transaction(db);
        byIds(db, sent, syncsql::markSentSql);
        transaction.commit();
    }
}

// Changes and deletions of rows the server has, in one local transaction with
// the success event. A deletion of a row the server never had is local only.
void sendChangesAndDeletions(AppContext &ctx, RemoteServer &remote, SyncReport &out, bool silent)
{
    LocalConnection &db = ctx.db();
    SyncRefusals refusals(db);
    std::vector<Reading> changes;
    for (Reading &r : localReadings(db, syncsql::pendingSql(kModificar)))
        if (r.serverId >= 0 && !heldBack(ctx, refusals, r, silent))
            changes.push_back(std::move(r));

    Transaction transaction(db);
    std::vector<qint64> changed;
    for (const Reading &r : changes) {
        const QString serverId = QString::number(r.serverId);
        sendOrRefuse(remote, syncsql::headerUpdateSql(ctx.settings.ClientId, r.header),
                     kHeaderFailed);
        sendOrRefuse(remote, syncsql::remoteDetailDeleteSql(serverId), kDetailFailed);
        QString groups;
        for (const syncsql::Detail &d : r.details)
            groups += syncsql::detailGroup(serverId, d);
        if (!groups.isEmpty())
            sendOrRefuse(remote, syncsql::detailInsertSql(groups), kDetailFailed);
        out.detailsSent += int(r.details.size());
        ++out.headersChanged;
        changed.push_back(r.id);
    }

    std::vector<qint64> deleted;
    Recordset rs = db.openRecordset(syncsql::pendingSql(kEliminar));
    for (; !rs.eof(); rs.moveNext()) {
        const qint64 serverId = syncrecords::wholeNumberOf(rs.value(ProduccionLactea::IdRemoto));
        if (serverId >= 0) {
            sendOrRefuse(remote, syncsql::remoteHeaderDeleteSql(ctx.settings.ClientId, serverId),
                         kHeaderFailed);
            sendOrRefuse(remote, syncsql::remoteDetailDeleteSql(serverId), kDetailFailed);
            ++out.headersDeleted;
        }
        deleted.push_back(rs.value(ProduccionLactea::Id).toLongLong());
    }

    byIds(db, changed, syncsql::markSentSql);
    byIds(db, deleted, syncsql::deleteSentSql);
    logEvent(ctx, kSuccess);
    transaction.commit();
}

// One synchronisation of a database at a time on this computer (the program
// and a command started by hand, say): two runs would insert the same headers
// twice. The lock lives in the temporary folder, never beside the suite's
// database, and one left by a killed run is taken over.
class RunLock
{
public:
    explicit RunLock(const QString &databasePath)
        : m_file(QDir::temp().filePath(
              QStringLiteral("zelvano-sync-%1.lock")
                  .arg(QString::fromLatin1(
                      QCryptographicHash::hash(QFileInfo(databasePath).absoluteFilePath().toUtf8(),
                                               QCryptographicHash::Sha1)
                          .toHex()
                          .left(16)))))
    {
        m_file.setStaleLockTime(0);
        m_locked = m_file.tryLock(0);
    }
    bool locked() const { return m_locked; }

private:
    QLockFile m_file;
    bool m_locked = false;
};

bool connectionFailure(long number)
{
    return number == ErrNo::ProviderFailure || number == ErrNo::HttpTimeout ||
           number == ErrNo::HttpNameNotResolved;
}

} // namespace

SyncReport Sincronizar_nuevos(AppContext &ctx, const RemoteOptions &options)
{
    SyncReport report;
    try {
        const RunLock lock(ctx.db().path());
        if (!lock.locked()) {
            report.fail(ErrNo::ProviderFailure, kAlreadyRunning.trimmed());
            logEvent(ctx, kAlreadyRunning);
            return report;
        }
        downloadNew(ctx, options, report, nullptr);
    } catch (const AppError &error) {
        report.fail(error);
        logEvent(ctx, ErrorText::inProcedure(error, QStringLiteral("Sincronizar_nuevos"),
                                             QStringLiteral("Módulo Module1")));
    }
    return report;
}

SyncReport Sincronizar_CabProd(AppContext &ctx, bool silent, const RemoteOptions &options)
{
    SyncReport out;
    try {
        // A farm id or host that could bend a statement: nothing is sent.
        checkRemoteSettings(ctx.settings);
        const RunLock lock(ctx.db().path());
        if (!lock.locked()) {
            out.fail(ErrNo::ProviderFailure, kAlreadyRunning.trimmed());
            if (!silent)
                logEvent(ctx, kAlreadyRunning);
            return out;
        }
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

        ServerState state;
        downloadNew(ctx, options, out, &state);
        sendAdditions(ctx, *remote, out, state, silent);
        sendChangesAndDeletions(ctx, *remote, out, silent);
    } catch (const StepRefused &refused) {
        out.fail(ErrNo::SqlError, refused.message.trimmed());
        if (!silent)
            logEvent(ctx, refused.message);
    } catch (const AppError &error) {
        out.fail(error);
        if (!silent)
            logEvent(ctx,
                     connectionFailure(error.number())
                         ? kNoConnection
                         : ErrorText::inProcedure(error, QStringLiteral("Sincronizar_CabProd")) +
                               u' ');
    }
    return out;
}

} // namespace zelvano
