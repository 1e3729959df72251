#include "sync/sync.h"

#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "platform/instancelock.h"
#include "remote/server.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "store/tables.h"
#include "store/transaction.h"
#include "sync/records.h"
#include "sync/refusals.h"
#include "sync/statements.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <optional>

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

// The header id of a detail row ("select *", first column).
const RemoteColumn kDetailHeaderId{QStringLiteral("id"), 0};

// Local ids per statement when rows are marked or deleted by id.
constexpr size_t kIdsPerStatement = 500;

// A WEB statement the server did not accept (a status other than 200, or an
// answer that could not be read whole): the step's message is logged once
// the local work is rolled back.
struct StepRefused
{
    QString message;
};

// How long another site's header stays without lines before it is taken as a
// record without herd lines rather than an upload in flight (server seconds).
constexpr qint64 kSettlingSeconds = 10 * 60;

// What the download learnt about the server that the upload relies on.
struct ServerState
{
    bool known = false;    // the ids below were read
    QSet<qint64> all;      // this client's records
    QSet<qint64> complete; // those that have their details
};

// One header insert a reading went up in: the highest server id read just
// before it, and the values sent. Only a header newer than the mark that holds
// those values can be the one that insert made; an answered insert that said
// which header it made made that one and no other.
struct Send
{
    qint64 mark = 0;
    syncsql::Header sent;
    bool answered = false; // its answer came back: it made no header later
    qint64 row = 0;        // its row in zelvano_sync_envios
    qint64 made = -1;      // the header it made, when its answer said

    bool exact() const { return answered && made > 0; }
};
using Sends = QHash<qint64, std::vector<Send>>; // by local id

Sends readSends(LocalConnection &db)
{
    Sends sends;
    Recordset rs = db.openRecordset(
        QStringLiteral("select id, marca, fecha, usuario, turno, cabezas, litros, respondida, "
                       "rowid, remoto from zelvano_sync_envios"));
    for (; !rs.eof(); rs.moveNext())
        sends[rs.value(0).toLongLong()].push_back(
            {rs.value(1).toLongLong(),
             {rs.value(0), rs.value(2), rs.value(3), rs.value(4), rs.value(5), rs.value(6), {}},
             rs.value(7).toInt() == 1,
             rs.value(8).toLongLong(),
             vb::isNull(rs.value(9)) ? -1 : rs.value(9).toLongLong()});
    return sends;
}

template <typename Test> bool anySend(const Sends &sends, qint64 localId, Test test)
{
    const auto it = sends.constFind(localId);
    return it != sends.constEnd() && std::any_of(it->begin(), it->end(), test);
}

// True when an answered insert of this site made exactly this header for the reading.
bool madeExactly(const Sends &sends, qint64 localId, const ServerHeader &h)
{
    const qint64 serverId = syncrecords::wholeNumberOf(h.id);
    return anySend(sends, localId, [&](const Send &send) {
        return send.exact() && send.made == serverId && syncrecords::sentFrom(send.sent, h);
    });
}

// True when the header may be the one an insert of this site made for the
// reading, as far as order and values tell: an insert that did not say which
// header it made (late: only one whose answer never came, which may still
// make one). A site that never sent the reading never takes a header for it.
bool mayHaveMade(const Sends &sends, qint64 localId, const ServerHeader &h, bool late)
{
    const qint64 serverId = syncrecords::wholeNumberOf(h.id);
    return anySend(sends, localId, [&](const Send &send) {
        return !send.exact() && !(late && send.answered) && serverId > send.mark &&
               syncrecords::sentFrom(send.sent, h);
    });
}

// A local reading on its way up.
struct Reading
{
    qint64 id = 0;
    QString proceso;
    syncsql::Header header;
    std::vector<syncsql::Detail> details;
    qint64 serverId = kUnknown;

    // This database does not know the reading's server id.
    static constexpr qint64 kUnknown = -1;
    // Another run stored one while this run was under way: this run leaves it.
    static constexpr qint64 kTakenElsewhere = -2;
};

// A reading's header in the form an insert sends it.
syncsql::Header sentForm(const Reading &r)
{
    const syncsql::Header &h = r.header;
    return {r.id,
            syncsql::isoDate(h.fecha),
            vb::joinText(h.usuario),
            vb::joinText(h.turno),
            vb::joinText(h.cabezas),
            vb::joinText(h.litros),
            {}};
}

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
        r.proceso = vb::joinText(rs.value(ProduccionLactea::Proceso));
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

// Every server id this database holds, and for the records it downloaded
// their local id and number of lines.
struct HeldRecords
{
    QSet<qint64> ids;
    QHash<qint64, std::pair<qint64, int>> downloaded; // server id -> local id, lines
};

HeldRecords heldRecords(LocalConnection &db)
{
    HeldRecords held;
    held.ids = heldServerIds(db);
    Recordset rs = db.openRecordset(QStringLiteral(
        "select p.id_remoto, p.id, (select count(*) from detalle_Produccion_Lactea d where d.id = "
        "p.id) from Produccion_Lactea p where p.proceso = 'DESCARGADO' and p.id_remoto is not "
        "null"));
    for (; !rs.eof(); rs.moveNext())
        held.downloaded.insert(syncrecords::wholeNumberOf(rs.value(0)),
                               {rs.value(1).toLongLong(), rs.value(2).toInt()});
    return held;
}

// True when the lines are ones this site sent of the reading under that header.
bool sentTheseLines(LocalConnection &db, qint64 localId, qint64 serverId,
                    const std::vector<RemoteRow> &lines)
{
    // The fingerprint is hexadecimal: nothing in it to quote.
    return !db.openRecordset(
                  QStringLiteral("select 1 from zelvano_sync_lineas where id = %1 and remoto = "
                                 "%2 and lineas = '%3'")
                      .arg(localId)
                      .arg(serverId)
                      .arg(syncrecords::fingerprint(syncrecords::keptLines(lines))))
                .eof();
}

// The lines of the farm's records with those server ids, by server id, in one read.
QHash<qint64, std::vector<RemoteRow>> linesOfRecords(AppContext &ctx, RemoteServer &remote,
                                                     const std::vector<qint64> &ids)
{
    const RemoteAnswer answer =
        remote.query(syncsql::linesOfRecordsSql(ctx.settings.ClientId, ids));
    if (!answer.accepted())
        throw StepRefused{kDetailFailed};
    QHash<qint64, std::vector<RemoteRow>> lines;
    for (const RemoteRow &row : answer.rows)
        lines[syncrecords::wholeNumberOf(row.field(kDetailHeaderId))].push_back(row);
    return lines;
}

struct Downloader
{
    AppContext &ctx;
    RemoteServer &remote;
    SyncReport &out;
    SyncRefusals refusals;
    HeldRecords held;
    Sends sends;
    QSet<qint64> settled; // other sites' headers that stayed without lines long enough

    std::vector<RemoteRow> details(qint64 serverId)
    {
        const RemoteAnswer answer =
            remote.query(syncsql::remoteDetailsSql(QString::number(serverId), remote.way()));
        if (!answer.accepted())
            raiseRefusedRead(answer);
        return herdLinesOf(answer.rows, serverId);
    }

    // True when the header is one of this site's own readings, sent or maybe
    // sent: never stored as a new record. A reading of ours that does not know
    // its server id takes a complete header only when its lines are the
    // reading's.
    bool own(const ServerHeader &h, qint64 serverId, int lines,
             std::vector<RemoteRow> *serverDetails)
    {
        LocalConnection &db = ctx.db();
        const qint64 localId = syncrecords::wholeNumberOf(h.idPrg);
        if (localId < 0)
            return false;
        // A header this site made but the reading has not taken (deleted
        // since, or holding another): the upload deletes it. Only an insert
        // whose answer never came can have made one unknown to it; a header
        // that merely looks like what an answered insert sent is another
        // site's equal reading.
        const bool surplus = madeExactly(sends, localId, h) || mayHaveMade(sends, localId, h, true);
        if (!surplus && !mayHaveMade(sends, localId, h, false))
            return false;
        Recordset rs = db.openRecordset(syncsql::localReadingSql(localId));
        if (!surplus && (rs.eof() || !vb::isNull(rs.value(ProduccionLactea::IdRemoto))))
            return false;
        // A reading of ours deleted since: its header never comes back, unless
        // it holds lines this site never sent under it (then another site's
        // equal reading made it, or took it, and it is that site's record).
        if (rs.eof()) {
            if (lines == 0)
                return true;
            *serverDetails = details(serverId);
            return sentTheseLines(db, localId, serverId, *serverDetails);
        }
        if (vb::joinText(rs.value(ProduccionLactea::Proceso))
                .compare(kDescargado, Qt::CaseInsensitive) == 0)
            return false;
        const syncsql::Header local = headerOf(rs);
        if (lines == 0)
            return true; // the upload takes it, or deletes it as a surplus

        *serverDetails = details(serverId);
        if (!syncrecords::sameLines(localDetails(db, localId), *serverDetails))
            return false; // an equal reading of another site, with its own lines
        if (vb::isNull(local.idRemoto)) {
            Transaction transaction(db);
            db.execute(syncsql::storeRemoteIdSql(QString::number(serverId), localId));
            transaction.commit();
            held.ids.insert(serverId);
        }
        return true;
    }

    void store(const RemoteRow &row, int lines)
    {
        LocalConnection &db = ctx.db();
        const ServerHeader h = syncrecords::productionHeaderOf(row);
        const qint64 serverId = syncrecords::wholeNumberOf(h.id);
        std::vector<RemoteRow> serverDetails;
        if (serverId < 0 || held.ids.contains(serverId) || own(h, serverId, lines, &serverDetails))
            return;
        if (lines == 0 && !settled.contains(serverId))
            return; // maybe an upload in flight
        if (lines > 0 && serverDetails.empty())
            serverDetails = details(serverId);
        // Its details went away since they were counted (a change under way at
        // the site that owns it): it is picked up once they are back.
        if (lines > 0 && serverDetails.empty())
            return;

        const std::optional<LocalRecord> record = converted(serverId, h, serverDetails);
        if (!record)
            return;

        // A record and its details are stored together or not at all.
        Transaction transaction(db);
        TableWriter header = db.openTable(QStringLiteral("produccion_lactea"));
        header.addNew();
        const QVariant localId = header.value(ProduccionLactea::Id);
        for (int p = ProduccionLactea::Fecha; p <= ProduccionLactea::IdRemoto; ++p)
            header.setValue(p, record->header[size_t(p)]);
        header.update();
        addDetails(localId, record->details);
        transaction.commit();
        held.ids.insert(serverId);
        ++out.recordsDownloaded;
        out.detailsDownloaded += int(record->details.size());
    }

    // A downloaded record whose lines on the server are not the ones held
    // here (they arrived later): its lines are replaced by the server's.
    void refresh(qint64 serverId, qint64 localId)
    {
        LocalConnection &db = ctx.db();
        const std::vector<RemoteRow> serverDetails = details(serverId);
        ServerHeader h;
        h.fecha = QDate(2000, 1, 1);
        const std::optional<LocalRecord> record = converted(serverId, h, serverDetails);
        if (!record)
            return;
        Transaction transaction(db);
        db.execute(QStringLiteral("delete from detalle_Produccion_Lactea where id = ") +
                   QString::number(localId));
        addDetails(localId, record->details);
        transaction.commit();
        out.detailsDownloaded += int(record->details.size());
    }

    // The server's record as local values, or nothing when it does not
    // convert (named once, until it changes).
    std::optional<LocalRecord> converted(qint64 serverId, const ServerHeader &h,
                                         const std::vector<RemoteRow> &serverDetails)
    {
        const QString fingerprint = serverFingerprint(h, serverDetails);
        if (refusals.known(Side::Server, serverId, fingerprint))
            return std::nullopt;
        LocalRecord record = convertRecord(ctx.db(), h, serverDetails);
        if (!record.problem.isEmpty()) {
            nameOnce(ctx, refusals, Side::Server, serverId, fingerprint,
                     QStringLiteral("Registro de produccion %1 del servidor no descargado: %2 ")
                         .arg(serverId)
                         .arg(record.problem),
                     Naming::Logged);
            return std::nullopt;
        }
        return record;
    }

    void addDetails(const QVariant &localId, const std::vector<std::vector<QVariant>> &rows)
    {
        TableWriter detail = ctx.db().openTable(QStringLiteral("detalle_produccion_lactea"));
        for (const std::vector<QVariant> &values : rows) {
            detail.addNew();
            detail.setValue(DetalleProduccionLactea::Id, localId);
            for (int p = DetalleProduccionLactea::Rodeo; p <= DetalleProduccionLactea::Litros; ++p)
                detail.setValue(p, values[size_t(p)]);
            detail.update();
        }
    }
};

// Other sites' headers seen without lines: remembered with the server's time
// of the first sight; those that got lines or went are forgotten. Returns the
// ones that stayed without lines for the settling time.
QSet<qint64> settledWithoutLines(LocalConnection &db, const QSet<qint64> &withoutLines, qint64 now)
{
    QHash<qint64, qint64> since;
    Recordset rs =
        db.openRecordset(QStringLiteral("select id, desde from zelvano_sync_sin_lineas"));
    for (; !rs.eof(); rs.moveNext())
        since.insert(rs.value(0).toLongLong(), rs.value(1).toLongLong());
    QSet<qint64> settled;
    Transaction transaction(db);
    for (auto it = since.constBegin(); it != since.constEnd(); ++it) {
        if (!withoutLines.contains(it.key()))
            db.execute(QStringLiteral("delete from zelvano_sync_sin_lineas where id = ") +
                       QString::number(it.key()));
        else if (now >= 0 && now - it.value() >= kSettlingSeconds)
            settled.insert(it.key());
    }
    if (now >= 0)
        for (const qint64 id : withoutLines)
            if (!since.contains(id))
                db.execute(QStringLiteral("insert into zelvano_sync_sin_lineas (id, desde) values "
                                          "(?, ?)"),
                           {id, now});
    transaction.commit();
    return settled;
}

// Sincronizar_nuevos: every record of this client that this database does not
// hold yet, whatever its id, in ascending id: those with lines at once, those
// without once they have stayed so for the settling time; and the lines that
// reached the server later for records held here.
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
        Downloader downloader{ctx,           *remote, out, SyncRefusals(db), heldRecords(db),
                              readSends(db), {}};

        const RemoteAnswer records = remote->query(syncsql::recordLinesSql(ctx.settings.ClientId));
        if (!records.accepted())
            raiseRefusedRead(records);
        // The answer always holds the client's own row: an empty one was cut.
        if (records.rows.empty())
            raise(ErrNo::HttpConnectionError,
                  QStringLiteral("El servidor devolvio una respuesta vacia"));
        qint64 now = -1;
        QHash<qint64, int> lines;
        QSet<qint64> complete;
        QSet<qint64> withoutLines;
        std::vector<qint64> missing;
        std::vector<std::pair<qint64, qint64>> refreshed; // server id, local id
        for (const RemoteRow &row : records.rows) {
            now = syncrecords::wholeNumberOf(row.field(syncsql::RecordLines::Now));
            const qint64 id = syncrecords::wholeNumberOf(row.field(syncsql::RecordLines::Id));
            const qint64 n = syncrecords::wholeNumberOf(row.field(syncsql::RecordLines::Lines));
            if (id < 0 || n < 0)
                continue;
            lines.insert(id, int(n));
            if (n > 0)
                complete.insert(id);
            const auto downloaded = downloader.held.downloaded.constFind(id);
            if (!downloader.held.ids.contains(id)) {
                if (n == 0)
                    withoutLines.insert(id);
                else
                    missing.push_back(id);
            } else if (downloaded != downloader.held.downloaded.constEnd() && n > 0 &&
                       downloaded->second != n) {
                refreshed.emplace_back(id, downloaded->first);
            }
        }
        if (state) {
            state->all = QSet<qint64>(lines.keyBegin(), lines.keyEnd());
            state->complete = complete;
            state->known = true;
        }
        downloader.settled = settledWithoutLines(db, withoutLines, now);
        missing.insert(missing.end(), downloader.settled.begin(), downloader.settled.end());
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
                downloader.store(
                    row, lines.value(syncrecords::wholeNumberOf(row.field(RemoteProduction::Id))));
        }
        for (const auto &[serverId, localId] : refreshed)
            downloader.refresh(serverId, localId);
    } catch (const AppError &error) {
        out.fail(error);
        logEvent(ctx, ErrorText::inProcedure(error, QStringLiteral("Sincronizar_nuevos"),
                                             QStringLiteral("Módulo Module1")));
    }
}

// --- upload --------------------------------------------------------------------

// This client's headers that have no details yet, and the highest server id
// when they were read. The answer always carries the client's own row, so an
// empty one was cut short.
struct Unsent
{
    std::vector<ServerHeader> headers;
    qint64 top = 0;
};

Unsent unsentHeaders(AppContext &ctx, RemoteServer &remote)
{
    const RemoteAnswer answer = remote.query(syncsql::unsentHeadersSql(ctx.settings.ClientId));
    if (!answer.accepted() || answer.rows.empty())
        throw StepRefused{kHeaderFailed};
    Unsent unsent;
    unsent.headers.reserve(answer.rows.size());
    for (const RemoteRow &row : answer.rows) {
        unsent.top =
            std::max(unsent.top, syncrecords::wholeNumberOf(row.field(syncsql::UnsentHeader::Top)));
        ServerHeader h = syncrecords::unsentHeaderOf(row);
        if (syncrecords::wholeNumberOf(h.id) >= 0)
            unsent.headers.push_back(std::move(h));
    }
    std::sort(unsent.headers.begin(), unsent.headers.end(),
              [](const ServerHeader &a, const ServerHeader &b) {
                  return syncrecords::wholeNumberOf(a.id) < syncrecords::wholeNumberOf(b.id);
              });
    return unsent;
}

// The server ids chosen, committed at once, whatever happens to the rest of the
// run: a reading that knows its id is never inserted again.
void storeServerIds(LocalConnection &db, const std::vector<std::pair<Reading *, qint64>> &chosen)
{
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

// Gives each reading that does not know its server id the header its answered
// insert made, when that header holds what was sent. Another site's equal
// reading can never be taken this way.
void mapMadeIds(LocalConnection &db, const std::vector<ServerHeader> &headers,
                std::vector<Reading> &readings, const Sends &sends)
{
    QHash<qint64, const ServerHeader *> byId;
    for (const ServerHeader &h : headers)
        byId.insert(syncrecords::wholeNumberOf(h.id), &h);
    const QSet<qint64> held = heldServerIds(db);
    std::vector<std::pair<Reading *, qint64>> chosen;
    for (Reading &r : readings) {
        if (r.serverId != Reading::kUnknown)
            continue;
        for (const Send &send : sends.value(r.id)) {
            const ServerHeader *h = byId.value(send.made);
            if (send.exact() && h && !held.contains(send.made) &&
                syncrecords::sentFrom(send.sent, *h)) {
                chosen.emplace_back(&r, send.made);
                break;
            }
        }
    }
    storeServerIds(db, chosen);
}

// Gives each reading that does not know its server id a header one of its
// inserts may have made, when the server has one: newer than that insert's
// mark and holding what it sent. A header whose id this database holds already is
// never taken. The ids are committed at once, whatever happens to the rest of
// the run: a reading that knows its id is never inserted again.
void mapServerIds(LocalConnection &db, const std::vector<ServerHeader> &headers,
                  std::vector<Reading> &readings, const Sends &sends)
{
    QHash<qint64, Reading *> open;
    for (Reading &r : readings)
        if (r.serverId == Reading::kUnknown && sends.contains(r.id))
            open.insert(r.id, &r);
    if (open.isEmpty() || headers.empty())
        return;
    QSet<qint64> held = heldServerIds(db);
    std::vector<std::pair<Reading *, qint64>> chosen;
    for (const ServerHeader &h : headers) {
        const qint64 serverId = syncrecords::wholeNumberOf(h.id);
        if (held.contains(serverId))
            continue;
        const qint64 localId = syncrecords::wholeNumberOf(h.idPrg);
        const auto it = open.constFind(localId);
        // A reading edited since it was sent takes no guess: it goes up anew,
        // and a header of ours left so is a surplus.
        if (it == open.constEnd() || !mayHaveMade(sends, localId, h, false) ||
            !syncrecords::sentFrom(sentForm(*it.value()), h))
            continue;
        chosen.emplace_back(it.value(), serverId);
        held.insert(serverId);
        open.erase(it);
    }
    storeServerIds(db, chosen);
}

// A header without lines that one of this site's inserts made for a reading
// that has taken another header (the late insert of a killed run), or for a
// reading deleted here before it took its header, is deleted at once,
// before other sites would take it for a record without lines.
void deleteSurplus(AppContext &ctx, RemoteServer &remote, const std::vector<ServerHeader> &headers,
                   const Sends &sends)
{
    LocalConnection &db = ctx.db();
    for (const ServerHeader &h : headers) {
        const qint64 serverId = syncrecords::wholeNumberOf(h.id);
        const qint64 localId = syncrecords::wholeNumberOf(h.idPrg);
        // The header an answered insert made, or one an insert whose answer
        // never came may have made late; any other such header is another
        // site's equal reading.
        if (localId < 0 ||
            !(madeExactly(sends, localId, h) || mayHaveMade(sends, localId, h, true)))
            continue;
        Recordset rs = db.openRecordset(syncsql::localReadingSql(localId));
        const qint64 taken =
            rs.eof() ? -1 : syncrecords::wholeNumberOf(rs.value(ProduccionLactea::IdRemoto));
        // Beside the header the reading took, or left by a reading deleted since.
        if ((taken >= 0 && taken != serverId) || rs.eof())
            remote.execute(syncsql::surplusHeaderDeleteSql(ctx.settings.ClientId, serverId));
    }
}

// Pending readings the server holds an older header of: they go up as changes.
QString asChangesSql(const std::vector<qint64> &ids)
{
    return QStringLiteral("update Produccion_Lactea set proceso = 'MODIFICAR' where "
                          "actualizado = false and proceso <> 'ELIMINAR' and id_remoto is not null "
                          "and id in (") +
           syncsql::idList(ids) + QStringLiteral(")");
}

// The insert's answer came back: it can make no header later, and the first
// id it reports (when the server says) names the one each reading's group
// made, in the order sent.
void markAnswered(LocalConnection &db, const std::vector<Reading *> &readings, qint64 firstId,
                  Sends &sends)
{
    Transaction transaction(db);
    for (size_t i = 0; i < readings.size(); ++i) {
        Send &send = sends[readings[i]->id].back(); // the one recordSends added for this insert
        send.answered = true;
        send.made = firstId > 0 ? firstId + qint64(i) : -1;
        db.execute(QStringLiteral("update zelvano_sync_envios set respondida = 1, remoto = ? where "
                                  "rowid = ?"),
                   {send.made > 0 ? QVariant(send.made) : QVariant(), send.row});
    }
    transaction.commit();
}

// Readings that give up the header they took (local id, server id): unless
// another run changed them meanwhile, they go up again.
void forgetServerIds(LocalConnection &db, const std::vector<std::pair<qint64, qint64>> &taken)
{
    if (taken.empty())
        return;
    Transaction transaction(db);
    for (const auto &[localId, serverId] : taken)
        db.execute(QStringLiteral("update Produccion_Lactea set id_remoto = null where id = %1 and "
                                  "id_remoto = %2 and actualizado = false")
                       .arg(localId)
                       .arg(serverId));
    transaction.commit();
}

// A pending reading whose header the server no longer has (deleted there, or
// by another site that took it for its own late insert) goes up again.
void forgetVanishedHeaders(LocalConnection &db, const ServerState &state,
                           std::vector<Reading> &readings)
{
    if (!state.known)
        return;
    std::vector<std::pair<qint64, qint64>> gone;
    for (Reading &r : readings)
        if (r.serverId >= 0 && !state.all.contains(r.serverId)) {
            gone.emplace_back(r.id, r.serverId);
            r.serverId = Reading::kUnknown;
        }
    forgetServerIds(db, gone);
}

// Before a header insert leaves: each reading's mark (the highest server id
// read before it) and the values that go, committed, so that after a lost
// answer the site knows which headers can be its own.
void recordSends(LocalConnection &db, const std::vector<Reading *> &readings, qint64 mark,
                 Sends &sends)
{
    Transaction transaction(db);
    for (const Reading *r : readings) {
        const syncsql::Header sent = sentForm(*r);
        db.execute(QStringLiteral("insert into zelvano_sync_envios (id, marca, fecha, usuario, "
                                  "turno, cabezas, litros) values (?, ?, ?, ?, ?, ?, ?)"),
                   {r->id, mark, sent.fecha, sent.usuario, sent.turno, sent.cabezas, sent.litros});
        const qint64 row =
            db.openRecordset(QStringLiteral("select last_insert_rowid()")).value(0).toLongLong();
        sends[r->id].push_back({mark, sent, false, row});
    }
    transaction.commit();
}

// Marks readings sent, but only those that still hold exactly what went up,
// read again in the transaction that marks them: a reading edited meanwhile
// stays pending, as a change of the record the server now has.
void markSent(LocalConnection &db, const std::vector<const Reading *> &sent)
{
    if (sent.empty())
        return;
    Transaction transaction(db);
    std::vector<qint64> same;
    std::vector<qint64> edited;
    for (const Reading *r : sent) {
        Recordset rs = db.openRecordset(syncsql::localReadingSql(r->id));
        if (rs.eof() || rs.value(ProduccionLactea::Actualizado).toBool())
            continue;
        const bool unchanged = vb::joinText(rs.value(ProduccionLactea::Proceso)) == r->proceso &&
                               syncrecords::fingerprint(headerOf(rs), localDetails(db, r->id)) ==
                                   syncrecords::fingerprint(r->header, r->details);
        if (unchanged)
            same.push_back(r->id);
        else if (r->proceso != kEliminar &&
                 vb::joinText(rs.value(ProduccionLactea::Proceso)) != kEliminar)
            edited.push_back(r->id);
    }
    byIds(db, same, syncsql::markSentSql);
    byIds(db, edited, asChangesSql);
    transaction.commit();
}

// The lines of each reading, as the server keeps them, recorded before they
// go up under its header.
void recordLines(LocalConnection &db, const std::vector<const Reading *> &readings)
{
    if (readings.empty())
        return;
    Transaction transaction(db);
    for (const Reading *r : readings)
        db.execute(
            QStringLiteral("insert into zelvano_sync_lineas (id, remoto, lineas) values "
                           "(?, ?, ?)"),
            {r->id, r->serverId, syncrecords::fingerprint(syncrecords::keptLines(r->details))});
    transaction.commit();
}

// A reading whose header holds lines this site never sent under it: another
// site's equal reading took the header. Named once and held, never doubled
// nor overwritten.
void nameOtherLines(AppContext &ctx, SyncRefusals &refusals, const Reading &r, bool silent)
{
    nameOnce(ctx, refusals, Side::Local, r.id, syncrecords::fingerprint(r.header, r.details),
             QStringLiteral("Lectura de produccion %1 no enviada al servidor: su registro %2 "
                            "del servidor tiene otras lineas ")
                 .arg(r.id)
                 .arg(r.serverId),
             silent ? Naming::Silent : Naming::Logged);
}

// Pending readings whose header holds lines, or should (not all the lines
// just sent went in): sent when the header and its lines are the reading's; a
// change when they are what this site sent of it before an edit. A header
// without lines is gone, and other lines under a header the reading took after
// a lost answer show the guess was another site's equal reading: either way
// the reading gives it up and goes up again. Other lines under the header its
// own insert made are named once and held (never doubled, never overwritten).
// One read for all of them. Returns how many were held.
int judgeCompleteHeaders(AppContext &ctx, RemoteServer &remote,
                         const std::vector<const Reading *> &readings, const Sends &sends,
                         SyncRefusals &refusals, bool silent, std::vector<const Reading *> &sent,
                         std::vector<qint64> &edited)
{
    if (readings.empty())
        return 0;
    std::vector<qint64> ids;
    for (const Reading *r : readings)
        ids.push_back(r->serverId);
    QHash<qint64, std::vector<RemoteRow>> lines = linesOfRecords(ctx, remote, ids);
    int held = 0;
    std::vector<std::pair<qint64, qint64>> given; // headers the readings give up
    for (const Reading *r : readings) {
        const std::vector<RemoteRow> &onServer = lines[r->serverId];
        const bool sameHeader =
            onServer.empty() ||
            syncrecords::sentFrom(sentForm(*r), syncrecords::headerOfLine(onServer.front()));
        if (sameHeader && syncrecords::sameLines(r->details, onServer)) {
            sent.push_back(r);
            continue;
        }
        // Its lines did not go in and the header holds none: it went (deleted
        // meanwhile, by another site that took it for its own late insert).
        // The reading goes up again.
        if (onServer.empty()) {
            ++held;
            given.emplace_back(r->id, r->serverId);
            continue;
        }
        if (sentTheseLines(ctx.db(), r->id, r->serverId, onServer)) {
            edited.push_back(r->id);
            continue;
        }
        ++held;
        if (!madeExactly(sends, r->id, syncrecords::headerOfLine(onServer.front()))) {
            given.emplace_back(r->id, r->serverId);
            continue;
        }
        nameOtherLines(ctx, refusals, *r, silent);
    }
    forgetServerIds(ctx.db(), given);
    return held;
}

// The additions: headers go up only for readings whose header the server does
// not hold yet (looked for before the insert, since an earlier run may have
// lost the insert's answer), then each reading learns its header's id, then
// the details of the headers that have none go up. A reading is marked sent
// only once its header is known to have its details. Returns how many
// readings were held back.
int sendAdditions(AppContext &ctx, RemoteServer &remote, SyncReport &out, const ServerState &state,
                  Sends &sends, bool silent)
{
    LocalConnection &db = ctx.db();
    SyncRefusals refusals(db);
    int held = 0;
    std::vector<Reading> readings;
    for (Reading &r : localReadings(db, syncsql::pendingAdditionsSql())) {
        if (heldBack(ctx, refusals, r, silent))
            ++held;
        else
            readings.push_back(std::move(r));
    }
    forgetVanishedHeaders(db, state, readings);

    const auto unmapped = [&] {
        return std::any_of(readings.begin(), readings.end(),
                           [](const Reading &r) { return r.serverId == Reading::kUnknown; });
    };
    qint64 mark = 0;
    if (unmapped()) {
        const Unsent before = unsentHeaders(ctx, remote);
        mark = before.top;
        mapMadeIds(db, before.headers, readings, sends);
        mapServerIds(db, before.headers, readings, sends);
    }

    std::vector<Reading *> inserted;
    QString groups;
    for (Reading &r : readings) {
        if (r.serverId != Reading::kUnknown)
            continue;
        groups += syncsql::headerGroup(ctx.settings.ClientId, r.header);
        inserted.push_back(&r);
    }
    if (!groups.isEmpty()) {
        recordSends(db, inserted, mark, sends);
        const RemoteAnswer answer = remote.execute(syncsql::headerInsertSql(groups));
        if (!answer.accepted())
            throw StepRefused{kHeaderInsertFailed};
        markAnswered(db, inserted, answer.insertId, sends);
        out.headersAdded += int(inserted.size());
    }

    const Unsent unsent = unsentHeaders(ctx, remote);
    mapMadeIds(db, unsent.headers, readings, sends);
    mapServerIds(db, unsent.headers, readings, sends);
    deleteSurplus(ctx, remote, unsent.headers, sends);

    // The server took the insert but does not give back a header holding what
    // was sent (it changed a value on the way in): inserting it again would
    // only add another such header on every run.
    for (const Reading *r : inserted)
        if (r->serverId == Reading::kUnknown) {
            ++held;
            nameOnce(ctx, refusals, Side::Local, r->id,
                     syncrecords::fingerprint(r->header, r->details),
                     QStringLiteral("Lectura de produccion %1 enviada al servidor pero no "
                                    "reconocida en su respuesta, no se enviara otra vez ")
                         .arg(r->id),
                     silent ? Naming::SilentKept : Naming::Logged);
        }

    QHash<qint64, const ServerHeader *> waiting;
    for (const ServerHeader &h : unsent.headers)
        waiting.insert(syncrecords::wholeNumberOf(h.id), &h);
    QString detailGroups;
    qint64 linesSent = 0;
    std::vector<std::pair<qint64, qint64>> given; // headers the readings give up
    std::vector<const Reading *> sent;
    std::vector<const Reading *> complete;
    std::vector<qint64> edited;
    for (const Reading &r : readings) {
        if (r.serverId < 0)
            continue;
        if (const ServerHeader *h = waiting.value(r.serverId)) {
            // Edited since its header went up: the lines go with the header's
            // new values, as a change, never under the old ones. Only under
            // the header its own insert made: one taken after a lost answer
            // may be another site's equal reading, so the reading gives it up
            // and goes up again (a header of ours left so is a surplus).
            if (!syncrecords::sentFrom(sentForm(r), *h)) {
                if (madeExactly(sends, r.id, *h)) {
                    edited.push_back(r.id);
                } else {
                    ++held;
                    given.emplace_back(r.id, r.serverId);
                }
                continue;
            }
            for (const syncsql::Detail &d : r.details)
                detailGroups += syncsql::detailGroup(r.serverId, d);
            linesSent += qint64(r.details.size());
            out.detailsSent += int(r.details.size());
            sent.push_back(&r);
        } else if (state.known && state.complete.contains(r.serverId)) {
            // Its details went up in an earlier run whose end was lost, or
            // another's: judged on the lines below.
            complete.push_back(&r);
        }
    }
    forgetServerIds(db, given);
    if (!detailGroups.isEmpty()) {
        recordLines(db, sent);
        const RemoteAnswer answer = remote.execute(syncsql::detailInsertSql(detailGroups));
        if (!answer.accepted())
            throw StepRefused{kDetailFailed};
        // Fewer lines went in than were sent: a header got lines from
        // elsewhere meanwhile. Each is judged on what the server holds.
        if (answer.affectedRows >= 0 && answer.affectedRows < linesSent) {
            complete.insert(complete.end(), sent.begin(), sent.end());
            sent.clear();
        }
    }
    held += judgeCompleteHeaders(ctx, remote, complete, sends, refusals, silent, sent, edited);
    markSent(db, sent);
    byIds(db, edited, asChangesSql);
    return held;
}

// Of the headers this site inserted for readings it now changes or deletes
// (local id, server id), those holding lines it never sent under them:
// another site's equal reading took them, so they are that site's record and
// never changed or deleted as this one's. One read for all of them.
QSet<qint64> othersRecords(AppContext &ctx, RemoteServer &remote, const Sends &sends,
                           const std::vector<std::pair<qint64, qint64>> &readings)
{
    std::vector<std::pair<qint64, qint64>> inserted;
    std::vector<qint64> ids;
    for (const auto &[localId, serverId] : readings)
        if (serverId >= 0 && sends.contains(localId)) {
            inserted.emplace_back(localId, serverId);
            ids.push_back(serverId);
        }
    if (ids.empty())
        return {};
    const QHash<qint64, std::vector<RemoteRow>> lines = linesOfRecords(ctx, remote, ids);
    QSet<qint64> others;
    for (const auto &[localId, serverId] : inserted) {
        const auto it = lines.constFind(serverId);
        if (it != lines.constEnd() && !sentTheseLines(ctx.db(), localId, serverId, *it))
            others.insert(serverId);
    }
    return others;
}

// Changes and deletions of rows the server has, in one local transaction with
// the success event. A deletion of a row the server never had, or that is
// another site's record, is local only. The success event is written only
// when every pending reading went.
void sendChangesAndDeletions(AppContext &ctx, RemoteServer &remote, SyncReport &out,
                             const Sends &sends, bool silent, int held)
{
    LocalConnection &db = ctx.db();
    SyncRefusals refusals(db);
    std::vector<Reading> changes;
    for (Reading &r : localReadings(db, syncsql::pendingSql(kModificar))) {
        if (r.serverId < 0)
            continue;
        if (heldBack(ctx, refusals, r, silent))
            ++held;
        else
            changes.push_back(std::move(r));
    }
    // Read first, then sent: no local lock is held while the server answers,
    // and the statement that deletes them still asks that they are deletions.
    std::vector<std::pair<qint64, qint64>> deletions; // local id, server id
    {
        Recordset rs = db.openRecordset(syncsql::pendingSql(kEliminar));
        for (; !rs.eof(); rs.moveNext())
            deletions.emplace_back(
                rs.value(ProduccionLactea::Id).toLongLong(),
                syncrecords::wholeNumberOf(rs.value(ProduccionLactea::IdRemoto)));
    }
    std::vector<std::pair<qint64, qint64>> ours = deletions;
    for (const Reading &r : changes)
        ours.emplace_back(r.id, r.serverId);
    const QSet<qint64> others = othersRecords(ctx, remote, sends, ours);

    std::vector<const Reading *> changed;
    for (const Reading &r : changes) {
        if (others.contains(r.serverId)) {
            ++held;
            nameOtherLines(ctx, refusals, r, silent);
        } else {
            changed.push_back(&r);
        }
    }
    recordLines(db, changed);
    for (const Reading *r : changed) {
        const QString serverId = QString::number(r->serverId);
        sendOrRefuse(remote, syncsql::headerUpdateSql(ctx.settings.ClientId, r->header),
                     kHeaderFailed);
        sendOrRefuse(remote, syncsql::remoteDetailDeleteSql(serverId), kDetailFailed);
        QString groups;
        for (const syncsql::Detail &d : r->details)
            groups += syncsql::detailGroup(r->serverId, d);
        if (!groups.isEmpty())
            sendOrRefuse(remote, syncsql::detailInsertSql(groups), kDetailFailed);
        out.detailsSent += int(r->details.size());
        ++out.headersChanged;
    }
    markSent(db, changed);

    std::vector<qint64> deleted;
    for (const auto &[localId, serverId] : deletions) {
        if (serverId >= 0 && !others.contains(serverId)) {
            sendOrRefuse(remote, syncsql::remoteHeaderDeleteSql(ctx.settings.ClientId, serverId),
                         kHeaderFailed);
            sendOrRefuse(remote, syncsql::remoteDetailDeleteSql(serverId), kDetailFailed);
            ++out.headersDeleted;
        }
        deleted.push_back(localId);
    }
    Transaction transaction(db);
    byIds(db, deleted, syncsql::deleteSentSql);
    byIds(db, deleted, syncsql::deleteLinesOfDeletedSql);
    if (held == 0)
        logEvent(ctx, kSuccess);
    else
        out.fail(ErrNo::SqlError,
                 QStringLiteral("%1 lecturas de produccion no se pudieron enviar al servidor")
                     .arg(held));
    transaction.commit();
}

// One synchronisation of a database at a time on this computer (the program
// and a command started by hand, say): two runs would insert the same headers
// twice. The lock belongs to the database file, whatever the spelling of its
// path or the environment, and goes with its process however that ends.
class RunLock
{
public:
    explicit RunLock(const QString &databasePath) : m_locked(m_claim.claim(databasePath)) {}
    bool locked() const { return m_locked; }

private:
    FolderInstanceLock m_claim;
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
        // The download logged its failure: the run ends there, without the
        // success event.
        if (!out.ok())
            return out;
        Sends sends = readSends(ctx.db());
        const int held = sendAdditions(ctx, *remote, out, state, sends, silent);
        sendChangesAndDeletions(ctx, *remote, out, sends, silent, held);
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
