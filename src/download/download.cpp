#include "download/download.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/tripgrid.h"
#include "common/vb.h"
#include "download/remote.h"
#include "download/storedtrips.h"
#include "json/json.h"
#include "json/recordwalk.h"
#include "store/appcontext.h"
#include "store/eventlog.h"

#include <QHash>

#include <memory>

namespace zelvano {

namespace {

const QString kProcedure = QStringLiteral("CmdDescargar_Click");

// The rows of one remote answer, read by key in the WEB way and by position
// in the ODBC way, so that one walk fills the grid for both.
class RemoteRows
{
public:
    virtual ~RemoteRows() = default;
    // Moves to the next row (the first one on the first call); false at the end.
    virtual bool next() = 0;
    virtual QVariant field(const QString &key, int position) const = 0;
};

class OdbcRows final : public RemoteRows
{
public:
    explicit OdbcRows(OdbcResult result) : m_result(std::move(result)) {}
    bool next() override
    {
        if (m_started)
            m_result.moveNext();
        m_started = true;
        return !m_result.eof();
    }
    QVariant field(const QString &, int position) const override
    {
        return m_result.value(position);
    }
    int count() const { return m_result.recordCount(); }

private:
    OdbcResult m_result;
    bool m_started = false;
};

class WebRows final : public RemoteRows
{
public:
    explicit WebRows(const QString &answer) : m_walk(answer) {}
    bool hasRows() const { return m_walk.hasRows(); }
    bool next() override { return m_walk.next(); }
    QVariant field(const QString &key, int) const override
    {
        return m_walk.row().item(key).toVariant();
    }

private:
    json::RecordWalk m_walk;
};

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

class TripDownload
{
public:
    explicit TripDownload(AppContext &ctx) : m_ctx(ctx), m_grid(ctx.grid) {}

    void run();
    // The trip row being filled when an error ends the download, or -1.
    int currentTrip() const { return m_currentTrip; }

private:
    void runOdbc(const QString &trips);
    void runWeb(const QString &trips);
    WebAnswer send(const QString &statement);
    std::unique_ptr<RemoteRows> query(const QString &statement);
    void readTrip(const RemoteRows &trip);
    void addChildren(int row, const QString &statement, bool loads);
    QString operatorName(const QVariant &id);

    AppContext &m_ctx;
    TripGrid &m_grid;
    std::unique_ptr<OdbcConnection> m_db;
    WebRequest *m_web = nullptr;
    int m_currentTrip = -1;
    // Operator names already looked up in this download: a farm has a handful
    // of operators and every row repeats one of them.
    QHash<QString, QString> m_operators;
};

void TripDownload::run()
{
    resetTripGrid(m_grid);
    m_grid.refresh();

    WebRequest::Options options = WebRequest::tripDownloadOptions();
    options.connectTimeoutMs = m_ctx.downloadConnectTimeoutMs;
    options.sendTimeoutMs = m_ctx.downloadSendTimeoutMs;
    options.receiveTimeoutMs = m_ctx.downloadReceiveTimeoutMs;
    m_ctx.tripRequest = std::make_shared<WebRequest>(options);
    m_web = m_ctx.tripRequest.get();

    const QString trips = tripStatement(m_ctx);
    if (isOdbcMode(m_ctx.settings))
        runOdbc(trips);
    else
        runWeb(trips);
}

void TripDownload::runOdbc(const QString &trips)
{
    m_db = std::make_unique<OdbcConnection>(odbcConnectionString(m_ctx.settings.ServerHost));
    if (m_db->openRecordset(authenticationSql(m_ctx.settings)).eof()) {
        m_db->close();
        writeEvent(m_ctx,
                   QStringLiteral("Los datos de usuario o password remotos, no son correctos "));
        return;
    }
    OdbcRows rows(m_db->openRecordset(trips));
    if (rows.count() == 0) {
        m_db->close();
        return;
    }
    m_ctx.overlay.setVisible(true);
    m_ctx.overlay.setText(QStringLiteral("Descargando datos... ESPERE"));
    m_ctx.overlay.setMaximum(rows.count());
    m_ctx.overlay.setValue(0);
    m_ctx.window.yieldToEvents();
    while (rows.next()) {
        m_ctx.overlay.setValue(m_ctx.overlay.value() + 1);
        readTrip(rows);
    }
    m_ctx.overlay.setVisible(false);
    Comparar_Guardados(m_ctx, m_grid);
}

void TripDownload::runWeb(const QString &trips)
{
    m_web->open(webUrl(m_ctx.settings.ServerHost));
    if (!send(authenticationSql(m_ctx.settings)).text.contains(QLatin1Char('{')))
        return; // refused: the trip download ends silently
    WebRows rows(send(trips).text);
    if (!rows.hasRows())
        return;
    m_ctx.overlay.setVisible(true);
    m_ctx.overlay.setText(QStringLiteral("Descargando datos... ESPERE"));
    m_ctx.overlay.setMaximum(100);
    m_ctx.overlay.setValue(0);
    m_ctx.window.yieldToEvents();
    while (rows.next()) {
        // The number of trips is not known in advance: the bar wraps.
        const int value = m_ctx.overlay.value();
        m_ctx.overlay.setValue(value == 100 ? 1 : value + 1);
        readTrip(rows);
    }
    m_ctx.overlay.setVisible(false);
    Comparar_Guardados(m_ctx, m_grid);
}

WebAnswer TripDownload::send(const QString &statement)
{
    WebAnswer answer = m_web->send(statement);
    // A failed statement is an error, not an answer without rows: a trip whose
    // loads could not be read must not be saved without them.
    if (answer.status != 200)
        raise(ErrNo::ProviderFailure, QStringLiteral("The server answered status %1: %2")
                                          .arg(answer.status)
                                          .arg(answer.text.left(300).trimmed()));
    return answer;
}

std::unique_ptr<RemoteRows> TripDownload::query(const QString &statement)
{
    if (m_db)
        return std::make_unique<OdbcRows>(m_db->openRecordset(statement));
    return std::make_unique<WebRows>(send(statement).text);
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

void TripDownload::readTrip(const RemoteRows &trip)
{
    const bool odbc = m_db != nullptr;
    const QVariant idValue = trip.field(QStringLiteral("id_viaje"), 1);
    const QString id = vb::joinText(idValue).trimmed();
    // The id is pasted into statements as a number.
    if (vb::isNull(idValue) || !isWholeNumberText(id)) {
        writeEvent(m_ctx, QStringLiteral("Viaje con id '") + id +
                              QStringLiteral("' no descargado: el id no es un número entero "));
        return;
    }

    const int row = m_grid.addRow();
    m_currentTrip = row;
    m_grid.setValue(row, 0, idValue);
    m_grid.setValue(row, 1, trip.field(QStringLiteral("fecha"), 5));
    const QVariant recipe = trip.field(QStringLiteral("des_receta"), 4);
    m_grid.setValue(row, 2, recipe);
    m_grid.setValue(row, 3, trip.field(QStringLiteral("cab_tot"), 6));
    m_grid.setValue(row, 4, trip.field(QStringLiteral("kg_tot_sug"), 7));
    m_grid.setValue(row, 5, trip.field(QStringLiteral("kg_tot_real"), 8));
    m_grid.setValue(row, 6, trip.field(QStringLiteral("id_receta"), 3));
    m_grid.setValue(row, 7, trip.field(QStringLiteral("turno"), 2));
    m_grid.setValue(row, 8, trip.field(QStringLiteral("id_prg"), 9));
    const QVariant prescription = trip.field(QStringLiteral("id_pres"), 10);
    // ODBC keeps the number of the text; a Null or empty one reads as 0.
    m_grid.setValue(row, 9, odbc ? QVariant(vb::val(vb::joinText(prescription))) : prescription);

    m_ctx.overlay.setText(QStringLiteral("Descargando viaje ") + vb::joinText(recipe) +
                          QStringLiteral(" ... ESPERE"));
    m_ctx.window.yieldToEvents();
    m_grid.refresh();

    addChildren(row, loadsStatement(id), true);
    addChildren(row, unloadsStatement(id), false);

    m_currentTrip = -1;
    if (m_grid.childCount(row) == 0) {
        m_grid.removeRow(row);
        m_grid.refresh();
    }
}

void TripDownload::addChildren(int row, const QString &statement, bool loads)
{
    std::unique_ptr<RemoteRows> rows = query(statement);
    while (rows->next()) {
        const RemoteRows &r = *rows;
        const int child = m_grid.addChild(row);
        auto set = [&](int column, const QVariant &value) {
            m_grid.setChildValue(row, child, column, value);
        };
        if (loads) {
            m_grid.setChildBackground(row, child, TripGrid::kLoadBackground);
            const QVariant op = r.field(QStringLiteral("operario"), 7);
            set(0, QStringLiteral("Carga"));
            set(1, timeCell(r.field(QStringLiteral("hora"), 6)));
            set(2, r.field(QStringLiteral("des_alim"), 2));
            set(3, operatorName(op));
            set(4, r.field(QStringLiteral("kg_sug"), 4));
            set(5, r.field(QStringLiteral("kg_real"), 5));
            set(6, r.field(QStringLiteral("id_tablet"), 8));
            set(7, r.field(QStringLiteral("nom_tablet"), 9));
            set(8, r.field(QStringLiteral("id_alim"), 1));
            set(9, op);
            set(15, r.field(QStringLiteral("suceso"), 10));
        } else {
            m_grid.setChildBackground(row, child, TripGrid::kUnloadBackground);
            const QVariant op = r.field(QStringLiteral("operario"), 11);
            const QVariant gps = r.field(QStringLiteral("gps"), 14);
            set(0, QStringLiteral("Descarga"));
            set(1, timeCell(r.field(QStringLiteral("hora"), 10)));
            set(2, r.field(QStringLiteral("nom_rodeo"), 2));
            set(3, operatorName(op));
            set(4, r.field(QStringLiteral("kg_sug"), 8));
            set(5, r.field(QStringLiteral("kg_real"), 9));
            set(6, r.field(QStringLiteral("categoria"), 4));
            set(7, r.field(QStringLiteral("actividad"), 5));
            set(8, r.field(QStringLiteral("corral"), 6));
            set(9, r.field(QStringLiteral("cabezas"), 3));
            set(10, r.field(QStringLiteral("id_tablet"), 12));
            set(11, r.field(QStringLiteral("nom_tablet"), 13));
            set(12, r.field(QStringLiteral("id_rodeo"), 1));
            set(13, op);
            set(14, gps);
            set(15, r.field(QStringLiteral("suceso"), 15));
            // A Null position is not "no position": only "," and the empty text are.
            const bool noPosition =
                !vb::isNull(gps) && (gps.toString() == QLatin1String(",") || gps.toString().isEmpty());
            m_grid.setChildIcon(row, child, 14,
                                noPosition ? TripGrid::kNoGpsIcon : TripGrid::kGpsIcon);
        }
        m_grid.refresh();
    }
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
    static const Def defs[16] = {
        {"Id", 50, Align::Left, true},          {"Fecha", 50, Align::Right, true},
        {"Receta", 100, Align::Left, true},     {"Cabezas Total", 40, Align::Right, true},
        {"Kg Sugeridos", 40, Align::Right, true}, {"Kg Reales", 40, Align::Right, true},
        {"id receta", 40, Align::Right, false}, {"turno", 40, Align::Right, false},
        {"id prg", 40, Align::Right, false},    {"id pres", 40, Align::Right, false},
        {"", 40, Align::Right, false},          {"", 40, Align::Right, false},
        {"", 40, Align::Right, false},          {"", 40, Align::Right, false},
        {"GPS", 10, Align::Right, true},        {"Suceso", 10, Align::Right, true},
    };
    for (int i = 0; i < 16; ++i) {
        TripGrid::Column c;
        c.index = i;
        c.caption = QString::fromLatin1(defs[i].caption);
        c.width = defs[i].width;
        c.align = defs[i].align;
        c.visible = defs[i].visible;
        c.tree = i == 0;
        grid.addColumn(c);
    }
}

QString tripFilter(AppContext &ctx)
{
    if (ctx.newTripsOnly) {
        Recordset rs = ctx.db().openRecordset(QStringLiteral("select max(id) from Lectura_viajes "));
        qint64 last = 0;
        if (!rs.eof() && !vb::isNull(rs.value(0)))
            last = qint64(vb::toDouble(rs.value(0)));
        return QStringLiteral(" id_viaje > ") + QString::number(last) + QStringLiteral(" ");
    }
    const QString yyyymmdd = QStringLiteral("yyyyMMdd");
    return QStringLiteral(" fecha between '") + ctx.DTdesde.toString(yyyymmdd) +
           QStringLiteral("' and '") + ctx.DThasta.toString(yyyymmdd) + QStringLiteral("' ");
}

QString tripStatement(AppContext &ctx)
{
    return QStringLiteral("select * from lectura_viajes_feed where cliente = ") +
           ctx.settings.ClientId + QStringLiteral(" and ") + tripFilter(ctx) +
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

void CmdDescargar_Click(AppContext &ctx)
{
    if (ctx.downloadRunning) {
        try {
            writeEvent(ctx, QStringLiteral("Ya hay una descarga de viajes en curso, no se inicia otra "));
        } catch (const AppError &e) {
            reportUnlogged(e, kProcedure);
        }
        return;
    }
    RunningFlag running(ctx.downloadRunning);
    TripDownload download(ctx);
    try {
        download.run();
    } catch (const AppError &e) {
        // No half trip: the save would store it without the rows that failed,
        // and the next download would never fetch it again.
        const int row = download.currentTrip();
        if (row >= 0 && row < ctx.grid.rowCount()) {
            ctx.grid.removeRow(row);
            ctx.grid.refresh();
        }
        try {
            writeEvent(ctx, procedureErrorText(e, kProcedure));
        } catch (const AppError &) {
            reportUnlogged(e, kProcedure);
        }
    }
}

} // namespace zelvano
