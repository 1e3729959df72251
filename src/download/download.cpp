#include "download/download.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "common/vb.h"
#include "common/windowstatus.h"
#include "download/storedtrips.h"
#include "remote/server.h"
#include "store/appcontext.h"
#include "store/eventlog.h"

#include <QHash>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace zelvano {

namespace {

const QString kProcedure = QStringLiteral("CmdDescargar_Click");
const QString kLoginRefused =
    QStringLiteral("Los datos de usuario o password remotos, no son correctos ");

// A time cell: "HH:mm:ss" of a time, or of a text holding one; other texts
// stay as they are, Null gives the empty text.
QVariant timeCell(const QVariant &value)
{
    if (vb::isNull(value))
        return QString();
    if (value.typeId() == QMetaType::QTime)
        return DateTexts::time(value.toTime());
    if (value.typeId() == QMetaType::QDateTime)
        return DateTexts::time(value.toDateTime().time());
    const QString text = vb::joinText(value);
    const QTime t = DateTexts::parseTime(text.trimmed());
    return t.isValid() ? DateTexts::time(t) : text;
}

void writeEvent(AppContext &ctx, const QString &text)
{
    Grabar_Suceso(ctx, ctx.today(), text + ctx.timeText());
}

// The columns that tie a row to the statement that asked for it: the farm of
// a trip, the trip of a load or an unload.
const RemoteColumn kTripClient{QStringLiteral("cliente"), 0};
const RemoteColumn kChildTrip{QStringLiteral("id_viaje"), 0};

// The address is the same for every statement, so anything in between (a
// cache, a portal) could hand back another statement's answer, or something
// that only looks like one: a row that does not carry the value its statement
// asked for fails that statement.
void requireColumn(const RemoteRow &row, const RemoteColumn &column, const QString &expected,
                   const QString &statement)
{
    const QVariant value = row.field(column);
    const QString text = vb::joinText(value).trimmed();
    double number = 0;
    double wanted = 0;
    const bool same = !vb::isNull(value) && vb::parseNumber(text, &number) &&
                      vb::parseNumber(expected, &wanted) && number == wanted;
    if (!same)
        raise(ErrNo::HttpConnectionError,
              QStringLiteral("The server's answer does not belong to its statement: %1 is '%2' "
                             "instead of %3 in the answer to \"%4\"")
                  .arg(column.key, text, expected, statement.left(120)));
}

// A column the server may leave out (an older table): Null when it does.
QVariant optionalField(const RemoteRow &row, const RemoteColumn &column)
{
    if (!row.keyed() && row.size() <= column.position)
        return QVariant();
    return row.field(column);
}

// The server's id of a row as a key: its number when it is a whole number,
// so that "07" and "7" are one id; "" when it has none.
QString idKey(const QVariant &value)
{
    const QString text = vb::joinText(value).trimmed();
    if (isWholeNumberText(text))
        return QString::number(text.toLongLong());
    return text;
}

// One row per server id. A row the answer repeats (a proxy or a server
// replaying rows) is taken once; two rows of one id with different values
// contradict each other: the first is kept, marked, for the save to leave its
// trip out. Rows without an id are all kept.
struct UniqueRow
{
    const RemoteRow *row;
    QString id;
    bool contradicted = false;
};

std::vector<UniqueRow> uniqueRows(const std::vector<RemoteRow> &rows, const RemoteColumn &id)
{
    std::vector<UniqueRow> unique;
    unique.reserve(rows.size());
    QHash<QString, size_t> seen;
    for (const RemoteRow &row : rows) {
        const QString key = idKey(optionalField(row, id));
        if (!key.isEmpty()) {
            const auto known = seen.constFind(key);
            if (known != seen.constEnd()) {
                UniqueRow &first = unique[*known];
                first.contradicted = first.contradicted || !row.sameAs(*first.row);
                continue;
            }
            seen.insert(key, unique.size());
        }
        unique.push_back({&row, key});
    }
    return unique;
}

// The first contradicted id of a trip's loads or unloads, "" when none.
QString contradictedId(const std::vector<UniqueRow> &rows)
{
    for (const UniqueRow &u : rows)
        if (u.contradicted)
            return u.id;
    return QString();
}

// The loads and unloads statements of the trips, in the order a download one
// statement at a time sends them, kept going ahead of the grid: as many at
// once as the server allows, and only a bounded stretch ahead of the row
// being filled, so that what waits for the grid stays small. The grid takes
// the answers in that same order. The first failure (an exchange that failed,
// an answer that is not whole, rows of another trip) stops every new start;
// the statements before it are still waited for, and taking the failed one
// raises its error: the grid ends with the trips a download one statement at
// a time keeps, and the server is asked nothing after the failure is known.
class ChildAnswers
{
public:
    ChildAnswers(RemoteServer &server, WindowStatus &window, qint64 heldLimit)
        : m_server(server), m_window(window), m_heldLimit(heldLimit)
    {
    }
    ~ChildAnswers() { m_server.abandonAll(); }
    ChildAnswers(const ChildAnswers &) = delete;
    ChildAnswers &operator=(const ChildAnswers &) = delete;

    // Adds the next statement, asked on behalf of a trip; its index.
    int add(const QString &sql, const QString &tripId)
    {
        m_statements.push_back({sql, tripId, std::nullopt});
        return int(m_statements.size()) - 1;
    }
    // The answer of a statement, taken in order: waits for it, letting the
    // window run meanwhile; raises the error of the first failed statement
    // when this is the one.
    RemoteAnswer take(int index);

private:
    struct Statement
    {
        QString sql;
        QString tripId;
        std::optional<RemoteAnswer> answer;
    };
    void startMore();
    void receive();
    void fail(int index, const AppError &error);

    RemoteServer &m_server;
    WindowStatus &m_window;
    qint64 m_heldLimit;
    std::vector<Statement> m_statements;
    QHash<RemoteServer::Ticket, int> m_started; // in flight, by ticket
    int m_next = 0;                             // the next statement to start
    int m_taken = 0;                            // the next statement the grid takes
    qint64 m_heldBytes = 0;                     // answers waiting for the grid
    int m_failed = -1;                          // the first statement that failed
    std::optional<AppError> m_failure;
};

RemoteAnswer ChildAnswers::take(int index)
{
    Statement &statement = m_statements.at(size_t(index));
    m_taken = index;
    for (;;) {
        if (statement.answer) {
            RemoteAnswer answer = std::move(*statement.answer);
            statement.answer.reset();
            m_heldBytes -= answer.bytes;
            m_taken = index + 1;
            return answer;
        }
        if (index == m_failed)
            throw *m_failure;
        startMore();
        if (m_started.isEmpty())
            raise(ErrNo::InvalidCall); // nothing that could bring it: a caller out of order
        receive();
    }
}

void ChildAnswers::startMore()
{
    if (m_failed >= 0)
        return;
    // A stretch ahead that rides out an answer slower than the others
    // without holding much: sixteen statements per connection. With one
    // connection (and in the ODBC way) a statement starts only when the grid
    // asks for it, as a download one statement at a time does.
    const int parallel = m_server.parallel();
    const int ahead = parallel > 1 ? 16 * parallel : 1;
    while (m_next < int(m_statements.size()) && m_next < m_taken + ahead &&
           m_heldBytes <= m_heldLimit && m_server.canStart()) {
        m_started.insert(m_server.start(m_statements[size_t(m_next)].sql), m_next);
        ++m_next;
    }
}

void ChildAnswers::receive()
{
    for (RemoteServer::Ended &ended : m_server.answers(20)) {
        const auto found = m_started.constFind(ended.ticket);
        if (found == m_started.constEnd())
            continue;
        const int index = *found;
        m_started.erase(found);
        if (m_failed >= 0 && index > m_failed)
            continue; // past the failure: never taken
        Statement &statement = m_statements[size_t(index)];
        if (ended.error) {
            fail(index, *ended.error);
            continue;
        }
        try {
            // A failed or broken statement is an error, not an answer without
            // rows: a trip whose loads could not be read must not be saved
            // without them.
            if (!ended.answer.accepted())
                raiseUnaccepted(ended.answer);
            for (const RemoteRow &child : ended.answer.rows)
                requireColumn(child, kChildTrip, statement.tripId, statement.sql);
        } catch (const AppError &e) {
            fail(index, e);
            continue;
        }
        m_heldBytes += ended.answer.bytes;
        statement.answer = std::move(ended.answer);
    }
    m_window.yieldToEvents();
}

void ChildAnswers::fail(int index, const AppError &error)
{
    if (m_failed >= 0 && m_failed < index)
        return;
    m_failed = index;
    m_failure = error;
    // What came in for later statements is never taken now.
    for (size_t i = size_t(index) + 1; i < m_statements.size(); ++i) {
        if (m_statements[i].answer) {
            m_heldBytes -= m_statements[i].answer->bytes;
            m_statements[i].answer.reset();
        }
    }
}

class TripDownload
{
public:
    TripDownload(AppContext &ctx, const RemoteOptions &options)
        : m_ctx(ctx), m_grid(ctx.grid), m_options(options)
    {
    }

    void run(DownloadOutcome &outcome);
    double remoteSeconds() const { return m_server ? m_server->waitSeconds() : 0.0; }
    // The trip row being filled when an error ends the download, or -1.
    int currentTrip() const { return m_currentTrip; }

private:
    RemoteAnswer query(const QString &statement);
    void showProgress(int maximum);
    void stepProgress();
    // children: the index of the trip's loads statement (its unloads follow),
    // -1 when its id cannot go into a statement.
    void readTrip(const RemoteRow &trip, int children, ChildAnswers &answers, const QString &fault);
    void addLoads(int row, const RemoteAnswer &loads);
    void addUnloads(int row, const RemoteAnswer &unloads);
    QString operatorName(const QVariant &id);

    AppContext &m_ctx;
    TripGrid &m_grid;
    RemoteOptions m_options;
    std::unique_ptr<RemoteServer> m_server;
    int m_currentTrip = -1;
    // Operator names already looked up in this download: a farm has a handful
    // of operators and every row repeats one of them.
    QHash<QString, QString> m_operators;
};

void TripDownload::run(DownloadOutcome &outcome)
{
    resetTripGrid(m_grid);
    m_grid.setSelection({true, m_ctx.newTripsOnly, m_ctx.DTdesde, m_ctx.DThasta});
    m_grid.refresh();

    // A farm id or host that could bend a statement: nothing is sent.
    checkRemoteSettings(m_ctx.settings);
    const QString trips = tripStatement(m_ctx);
    m_server = RemoteServer::open(m_ctx.settings, m_options);
    if (!query(authenticationSql(m_ctx.settings)).hasRows) {
        outcome.loginRefused = true;
        outcome.fail(ErrNo::LoginRefused, kLoginRefused.trimmed());
        // Both ways say so: a wrong password must not pass for "no new trips".
        writeEvent(m_ctx, kLoginRefused);
        return;
    }
    const RemoteAnswer answer = query(trips);
    if (!answer.hasRows)
        return;
    // Every row must be one of this farm's trips: anything else is not the
    // answer to the statement, and no statement is sent for it.
    for (const RemoteRow &trip : answer.rows)
        requireColumn(trip, kTripClient, clientIdText(m_ctx.settings), trips);
    // One row per trip: a trip sent twice alike is one trip; sent twice with
    // different values, it is left out by the save.
    const std::vector<UniqueRow> rows = uniqueRows(answer.rows, RemoteTrip::IdViaje);
    // The number of trips is known in the ODBC way; in the WEB way the bar wraps.
    showProgress(m_server->countsRowsAhead() ? int(rows.size()) : 100);
    // Every trip's loads and then its unloads, asked ahead of the grid.
    ChildAnswers children(*m_server, m_ctx.window, m_options.limits.maxAnswerBytes);
    std::vector<int> first;
    first.reserve(rows.size());
    for (const UniqueRow &unique : rows) {
        const RemoteRow &trip = *unique.row;
        const QVariant idValue = trip.field(RemoteTrip::IdViaje);
        const QString id = vb::joinText(idValue).trimmed();
        // The id is pasted into statements as a number.
        if (vb::isNull(idValue) || !isWholeNumberText(id)) {
            first.push_back(-1);
            continue;
        }
        first.push_back(children.add(loadsStatement(id), id));
        children.add(unloadsStatement(id), id);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        stepProgress();
        readTrip(*rows[i].row, first[i], children,
                 rows[i].contradicted
                     ? QStringLiteral("el servidor envió el viaje dos veces con valores distintos")
                     : QString());
    }
    m_ctx.overlay.setVisible(false);
    outcome.take(Comparar_Guardados(m_ctx, m_grid));
}

RemoteAnswer TripDownload::query(const QString &statement)
{
    RemoteAnswer answer = m_server->query(statement);
    // A failed or broken statement is an error, not an answer without rows: a
    // trip whose loads could not be read must not be saved without them.
    if (!answer.accepted())
        raiseUnaccepted(answer);
    return answer;
}

void TripDownload::showProgress(int maximum)
{
    m_ctx.overlay.setVisible(true);
    m_ctx.overlay.setText(QStringLiteral("Descargando datos... ESPERE"));
    m_ctx.overlay.setMaximum(maximum);
    m_ctx.overlay.setValue(0);
    m_ctx.window.yieldToEvents();
}

void TripDownload::stepProgress()
{
    const int value = m_ctx.overlay.value();
    if (!m_server->countsRowsAhead() && value == 100)
        m_ctx.overlay.setValue(1);
    else
        m_ctx.overlay.setValue(value + 1);
}

QString TripDownload::operatorName(const QVariant &id)
{
    if (vb::isNull(id))
        return QStringLiteral("ANONIMO");
    const QString key = vb::joinText(id);
    const auto known = m_operators.constFind(key);
    if (known != m_operators.constEnd())
        return *known;
    QString name = key;
    Buscar_Usuario(m_ctx, name);
    m_operators.insert(key, name);
    return name;
}

void TripDownload::readTrip(const RemoteRow &trip, int children, ChildAnswers &answers,
                            const QString &fault)
{
    const QVariant idValue = trip.field(RemoteTrip::IdViaje);
    if (children < 0) {
        const QString id = vb::joinText(idValue).trimmed();
        writeEvent(m_ctx, QStringLiteral("Viaje con id '") + id +
                              QStringLiteral("' no descargado: el id no es un número entero "));
        return;
    }

    const int row = m_grid.addRow();
    m_currentTrip = row;
    auto set = [&](int cell, const QVariant &value) { m_grid.setValue(row, cell, value); };
    set(TripCell::Id, idValue);
    set(TripCell::Fecha, trip.field(RemoteTrip::Fecha));
    const QVariant recipe = trip.field(RemoteTrip::DesReceta);
    set(TripCell::Receta, recipe);
    set(TripCell::Cabezas, trip.field(RemoteTrip::CabTot));
    set(TripCell::KgSug, trip.field(RemoteTrip::KgTotSug));
    set(TripCell::KgReal, trip.field(RemoteTrip::KgTotReal));
    set(TripCell::IdReceta, trip.field(RemoteTrip::IdReceta));
    set(TripCell::Turno, trip.field(RemoteTrip::Turno));
    set(TripCell::IdPrg, trip.field(RemoteTrip::IdPrg));
    const QVariant prescription = trip.field(RemoteTrip::IdPres);
    // ODBC keeps the number of the text; a Null or empty one reads as 0.
    set(TripCell::IdPres,
        m_server->typedValues() ? QVariant(vb::val(vb::joinText(prescription))) : prescription);

    m_ctx.overlay.setText(QStringLiteral("Descargando viaje ") + vb::joinText(recipe) +
                          QStringLiteral(" ... ESPERE"));
    m_ctx.window.yieldToEvents();
    m_grid.refresh();

    if (!fault.isEmpty())
        m_grid.setFault(row, fault);
    addLoads(row, answers.take(children));
    addUnloads(row, answers.take(children + 1));

    m_currentTrip = -1;
    if (m_grid.childCount(row) == 0) {
        m_grid.removeRow(row);
        m_grid.refresh();
    }
}

void TripDownload::addLoads(int row, const RemoteAnswer &loads)
{
    const std::vector<UniqueRow> rows = uniqueRows(loads.rows, RemoteLoad::IdCarga);
    for (const UniqueRow &each : rows) {
        const RemoteRow &load = *each.row;
        const int child = m_grid.addChild(row);
        auto set = [&](int cell, const QVariant &value) {
            m_grid.setChildValue(row, child, cell, value);
        };
        m_grid.setChildBackground(row, child, TripGrid::kLoadBackground);
        const QVariant op = load.field(RemoteLoad::Operario);
        set(LoadCell::Kind, QStringLiteral("Carga"));
        set(LoadCell::Hora, timeCell(load.field(RemoteLoad::Hora)));
        set(LoadCell::Alimento, load.field(RemoteLoad::DesAlim));
        set(LoadCell::Operador, operatorName(op));
        set(LoadCell::KgSug, load.field(RemoteLoad::KgSug));
        set(LoadCell::KgReal, load.field(RemoteLoad::KgReal));
        set(LoadCell::IdTablet, load.field(RemoteLoad::IdTablet));
        set(LoadCell::NomTablet, load.field(RemoteLoad::NomTablet));
        set(LoadCell::IdAlim, load.field(RemoteLoad::IdAlim));
        set(LoadCell::OperarioId, op);
        set(LoadCell::Suceso, load.field(RemoteLoad::Suceso));
        m_grid.refresh();
    }
    if (const QString conflict = contradictedId(rows);
        !conflict.isEmpty() && m_grid.row(row).fault.isEmpty())
        m_grid.setFault(row, QStringLiteral("el servidor envió la carga con id_carga %1 dos veces "
                                            "con valores distintos")
                                 .arg(conflict));
}

void TripDownload::addUnloads(int row, const RemoteAnswer &unloads)
{
    const std::vector<UniqueRow> rows = uniqueRows(unloads.rows, RemoteUnload::IdDescarga);
    for (const UniqueRow &each : rows) {
        const RemoteRow &unload = *each.row;
        const int child = m_grid.addChild(row);
        auto set = [&](int cell, const QVariant &value) {
            m_grid.setChildValue(row, child, cell, value);
        };
        m_grid.setChildBackground(row, child, TripGrid::kUnloadBackground);
        const QVariant op = unload.field(RemoteUnload::Operario);
        const QVariant gps = unload.field(RemoteUnload::Gps);
        set(UnloadCell::Kind, QStringLiteral("Descarga"));
        set(UnloadCell::Hora, timeCell(unload.field(RemoteUnload::Hora)));
        set(UnloadCell::Rodeo, unload.field(RemoteUnload::NomRodeo));
        set(UnloadCell::Operador, operatorName(op));
        set(UnloadCell::KgSug, unload.field(RemoteUnload::KgSug));
        set(UnloadCell::KgReal, unload.field(RemoteUnload::KgReal));
        set(UnloadCell::Categoria, unload.field(RemoteUnload::Categoria));
        set(UnloadCell::Actividad, unload.field(RemoteUnload::Actividad));
        set(UnloadCell::Corral, unload.field(RemoteUnload::Corral));
        set(UnloadCell::Cabezas, unload.field(RemoteUnload::Cabezas));
        set(UnloadCell::IdTablet, unload.field(RemoteUnload::IdTablet));
        set(UnloadCell::NomTablet, unload.field(RemoteUnload::NomTablet));
        set(UnloadCell::IdRodeo, unload.field(RemoteUnload::IdRodeo));
        set(UnloadCell::OperarioId, op);
        set(UnloadCell::Gps, gps);
        set(UnloadCell::Suceso, unload.field(RemoteUnload::Suceso));
        // A Null position is not "no position": only "," and the empty text are.
        const bool noPosition =
            !vb::isNull(gps) && (gps.toString() == QLatin1String(",") || gps.toString().isEmpty());
        m_grid.setChildIcon(row, child, UnloadCell::Gps,
                            noPosition ? TripGrid::kNoGpsIcon : TripGrid::kGpsIcon);
        m_grid.refresh();
    }
    if (const QString conflict = contradictedId(rows);
        !conflict.isEmpty() && m_grid.row(row).fault.isEmpty())
        m_grid.setFault(row, QStringLiteral("el servidor envió la descarga con id_descarga %1 dos "
                                            "veces con valores distintos")
                                 .arg(conflict));
}

// Clears the flag however the download ends.
class RunningFlag
{
public:
    explicit RunningFlag(bool &flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }

private:
    bool &m_flag;
};

int storedTrips(const TripGrid &grid)
{
    int stored = 0;
    for (const TripGrid::Row &trip : grid.rows())
        if (!trip.cells.empty() && trip.cells[TripCell::Id].icon == TripGrid::kStoredIcon)
            ++stored;
    return stored;
}

} // namespace

void resetTripGrid(TripGrid &grid)
{
    using Align = TripGrid::Align;
    grid.clearColumns();
    grid.clearRows();
    struct Def
    {
        const char *caption;
        int width;
        Align align;
        bool visible;
    };
    static const Def defs[kTripGridColumns] = {
        {"Id", 50, Align::Left, true},
        {"Fecha", 50, Align::Right, true},
        {"Receta", 100, Align::Left, true},
        {"Cabezas Total", 40, Align::Right, true},
        {"Kg Sugeridos", 40, Align::Right, true},
        {"Kg Reales", 40, Align::Right, true},
        {"id receta", 40, Align::Right, false},
        {"turno", 40, Align::Right, false},
        {"id prg", 40, Align::Right, false},
        {"id pres", 40, Align::Right, false},
        {"", 40, Align::Right, false},
        {"", 40, Align::Right, false},
        {"", 40, Align::Right, false},
        {"", 40, Align::Right, false},
        {"GPS", 10, Align::Right, true},
        {"Suceso", 10, Align::Right, true},
    };
    for (int i = 0; i < kTripGridColumns; ++i) {
        TripGrid::Column c;
        c.index = i;
        c.caption = QString::fromLatin1(defs[i].caption);
        c.width = defs[i].width;
        c.align = defs[i].align;
        c.visible = defs[i].visible;
        c.tree = i == TripCell::Id;
        grid.addColumn(c);
    }
}

QString tripFilter(AppContext &ctx)
{
    if (ctx.newTripsOnly) {
        // Past the highest stored trip, and past the highest one the save
        // refused: a refused trip is not fetched again at every tick (the
        // user gets it back by asking for its dates).
        auto highest = [&ctx](const QString &sql) -> qint64 {
            Recordset rs = ctx.db().openRecordset(sql);
            return rs.eof() || vb::isNull(rs.value(0)) ? 0 : qint64(vb::toDouble(rs.value(0)));
        };
        qint64 last = highest(QStringLiteral("select max(id) from Lectura_viajes "));
        try {
            last = std::max(
                last, highest(QStringLiteral("select max(id) from zelvano_viajes_rechazados")));
        } catch (const AppError &) {
            // Not created in this database yet: nothing was refused in it.
        }
        return QStringLiteral(" id_viaje > ") + QString::number(last) + QStringLiteral(" ");
    }
    const QString yyyymmdd = QStringLiteral("yyyyMMdd");
    return QStringLiteral(" fecha between '") + ctx.DTdesde.toString(yyyymmdd) +
           QStringLiteral("' and '") + ctx.DThasta.toString(yyyymmdd) + QStringLiteral("' ");
}

QString tripStatement(AppContext &ctx)
{
    return QStringLiteral("select * from lectura_viajes_feed where cliente = ") +
           clientIdText(ctx.settings) + QStringLiteral(" and ") + tripFilter(ctx) +
           QStringLiteral(" order by id_viaje");
}

QString loadsStatement(const QString &tripId)
{
    return QStringLiteral("select * from lectura_carga_feed where id_viaje = ") + tripId +
           QStringLiteral(" order by hora");
}

QString unloadsStatement(const QString &tripId)
{
    return QStringLiteral("select * from lectura_descarga_feed where id_viaje = ") + tripId +
           QStringLiteral(" order by hora");
}

DownloadOutcome CmdDescargar_Click(AppContext &ctx, const RemoteOptions &options)
{
    DownloadOutcome outcome;
    if (ctx.downloadRunning) {
        outcome.fail(ErrNo::InvalidCall,
                     QStringLiteral("Ya hay una descarga de viajes en curso, no se inicia otra"));
        try {
            writeEvent(
                ctx, QStringLiteral("Ya hay una descarga de viajes en curso, no se inicia otra "));
        } catch (const AppError &e) {
            reportUnlogged(e, kProcedure);
        }
        return outcome;
    }
    RunningFlag running(ctx.downloadRunning);
    TripDownload download(ctx, options);
    try {
        download.run(outcome);
    } catch (const AppError &e) {
        outcome.fail(e);
        // No half trip: the save would store it without the rows that failed,
        // and the next download would never fetch it again.
        const int row = download.currentTrip();
        if (row >= 0 && row < ctx.grid.rowCount()) {
            ctx.grid.removeRow(row);
            ctx.grid.refresh();
        }
        try {
            writeEvent(ctx, ErrorText::inWindow(e, kProcedure));
        } catch (const AppError &) {
            reportUnlogged(e, kProcedure);
        }
        // A failure is not work under way: the wait panel goes, and the whole
        // trips kept show whether they are stored, as after a download that
        // ended well.
        ctx.overlay.setVisible(false);
        if (ctx.grid.rowCount() > 0 && ctx.Connected)
            outcome.take(Comparar_Guardados(ctx, ctx.grid));
    }
    ctx.grid.setFailure(outcome.error());
    outcome.remoteSeconds = download.remoteSeconds();
    outcome.trips = ctx.grid.rowCount();
    outcome.alreadyStored = storedTrips(ctx.grid);
    return outcome;
}

} // namespace zelvano
