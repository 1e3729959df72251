#include "trips/save.h"

#include "common/error.h"
#include "common/errortext.h"
#include "common/gridcolumns.h"
#include "common/vb.h"
#include "store/appcontext.h"
#include "store/connection.h"
#include "store/eventlog.h"
#include "store/tables.h"
#include "store/transaction.h"
#include "trips/headcounts.h"
#include "trips/prescribed.h"

#include <QHash>
#include <QPair>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace zelvano {

namespace {

// Grid cell -> table position of each row kind.
using Mapping = std::vector<std::pair<int, int>>; // (position, cell)
// The cell of a child row that takes the id of its trip.
constexpr int kTripIdCell = -1;

const Mapping kTripMapping{
    {LecturaViajes::Id, TripCell::Id},           {LecturaViajes::Turno, TripCell::Turno},
    {LecturaViajes::IdReceta, TripCell::IdReceta}, {LecturaViajes::DesReceta, TripCell::Receta},
    {LecturaViajes::Fecha, TripCell::Fecha},     {LecturaViajes::CabTot, TripCell::Cabezas},
    {LecturaViajes::KgTotSug, TripCell::KgSug},  {LecturaViajes::KgTotReal, TripCell::KgReal},
    {LecturaViajes::IdPrg, TripCell::IdPrg},     {LecturaViajes::IdPres, TripCell::IdPres},
};
const Mapping kLoadMapping{
    {LecturaCarga::IdViaje, kTripIdCell},         {LecturaCarga::IdAlim, LoadCell::IdAlim},
    {LecturaCarga::DesAlim, LoadCell::Alimento},  {LecturaCarga::KgSug, LoadCell::KgSug},
    {LecturaCarga::KgReal, LoadCell::KgReal},     {LecturaCarga::Hora, LoadCell::Hora},
    {LecturaCarga::Operario, LoadCell::OperarioId}, {LecturaCarga::IdTablet, LoadCell::IdTablet},
    {LecturaCarga::NomTablet, LoadCell::NomTablet}, {LecturaCarga::Suceso, LoadCell::Suceso},
};
const Mapping kUnloadMapping{
    {LecturaDescarga::IdViaje, kTripIdCell},
    {LecturaDescarga::IdRodeo, UnloadCell::IdRodeo},
    {LecturaDescarga::Descripcion, UnloadCell::Rodeo},
    {LecturaDescarga::Cabezas, UnloadCell::Cabezas},
    {LecturaDescarga::Categoria, UnloadCell::Categoria},
    {LecturaDescarga::Actividad, UnloadCell::Actividad},
    {LecturaDescarga::Corral, UnloadCell::Corral},
    {LecturaDescarga::KgSug, UnloadCell::KgSug},
    {LecturaDescarga::KgReal, UnloadCell::KgReal},
    {LecturaDescarga::Hora, UnloadCell::Hora},
    {LecturaDescarga::Operario, UnloadCell::OperarioId},
    {LecturaDescarga::IdTablet, UnloadCell::IdTablet},
    {LecturaDescarga::NomTablet, UnloadCell::NomTablet},
    {LecturaDescarga::Gps, UnloadCell::Gps},
    {LecturaDescarga::Suceso, UnloadCell::Suceso},
};

// The trip position whose empty cell means 0: the prescription, as the ODBC
// way reads the number of an empty text. An empty shift is no shift at all,
// and an empty programmed trip none: both stay empty.
bool zeroWhenEmpty(int tripPosition)
{
    return tripPosition == LecturaViajes::IdPres;
}

bool isEmptyCell(const QVariant &v)
{
    return vb::isNull(v) || vb::joinText(v).trimmed().isEmpty();
}

bool isBlank(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isSpace(); });
}

// The cell as the column receives it: its text. An empty cell leaves a column
// that is not a text empty, as the download leaves cells it had no value for.
QVariant cellForColumn(const QVariant &cell, ColumnKind kind)
{
    if (cell.typeId() == QMetaType::QString && !cell.isNull()) {
        // The cell itself, as a text: what the download leaves in most cells.
        if (kind == ColumnKind::Text)
            return cell;
        return isBlank(*static_cast<const QString *>(cell.constData())) ? QVariant() : cell;
    }
    QString text = vb::joinText(cell);
    if (kind != ColumnKind::Text && text.trimmed().isEmpty())
        return QVariant();
    return text;
}

// An operator id as the tablet sent it: a whole number in plain notation
// ("3", "03", "3.0", blanks around) within 32 bits, the rule by which the
// download names the operator in the grid (download/storedtrips.cpp), so that
// grid and stored row agree; anything else is no id.
QVariant operatorId(const QVariant &cell)
{
    const std::optional<qint32> number = vb::plainWholeNumber(vb::joinText(cell));
    return number ? QVariant(*number) : QVariant();
}

qint32 tripNumber(const TripGrid::Row &trip, int cell)
{
    const QVariant v = trip.value(cell);
    return isEmptyCell(v) ? 0 : vb::toLong(vb::joinText(v));
}

double numberOrZero(const QVariant &v)
{
    return vb::isNull(v) ? 0.0 : vb::toDouble(v);
}

// What one save asks once and keeps: answers that cannot change while it runs,
// because the save itself writes none of the tables they come from, or because
// it knows every row it writes to them.
class SaveRun
{
public:
    // Asks, for the unmarked trips of the grid, which are stored already and
    // which have unloads in the database without being stored.
    SaveRun(LocalConnection &db, const std::vector<TripGrid::Row> &rows);

    bool isStored(qint32 tripId) const { return m_stored.contains(tripId); }
    void tripAdded(qint32 tripId) { m_stored.insert(tripId); }

    // Every unload row this save writes, by its converted trip and herd; told
    // while the row is being added.
    void unloadAdded(const TableWriter &unloads);
    // Whether the trip has an unload of the herd; false when only the
    // database can tell (unloads stored before this save).
    bool knowsUnloadsOf(qint32 tripId) const { return !m_unloadsBefore.contains(tripId); }
    bool hasUnload(qint32 tripId, double herd) const;

    // A prescribed unload: the herd as a number, and the values an added
    // unload row takes, in the order of the statement that reads them.
    enum PrescribedColumn { IdCorral, NomCorral, Cabezas, IdCat, Actividad, Corral, Kilos, Count };
    struct PrescribedHerd
    {
        double number;
        std::array<QVariant, Count> values;
    };
    // The prescribed unloads of a programmed trip, from the first statement
    // or, when that has no row, the second.
    const std::vector<PrescribedHerd> &prescribedUnloads(LocalConnection &db, qint32 idPrg,
                                                         qint32 idPres);

    ConcentrateCompositions concentrates;

private:
    QSet<qint32> m_stored;
    QSet<qint32> m_unloadsBefore;
    QHash<qint32, std::vector<double>> m_herds; // herds of the unloads written, by trip
    QHash<QPair<qint32, qint32>, std::vector<PrescribedHerd>> m_prescribed;
};

// The trip id as the walk converts it; no id when it does not convert, and the
// walk then fails on that trip as before.
std::optional<qint32> gridTripId(const TripGrid::Row &trip)
{
    try {
        return vb::toLong(vb::joinText(trip.value(TripCell::Id)));
    } catch (const AppError &) {
        return std::nullopt;
    }
}

// The ids of the rows of `sql` + a list of ids, asked in slices of ids.
QSet<qint32> idsAmong(LocalConnection &db, const QString &sql, const std::vector<qint32> &ids)
{
    constexpr size_t kSlice = 500;
    QSet<qint32> found;
    for (size_t from = 0; from < ids.size(); from += kSlice) {
        QStringList list;
        for (size_t i = from; i < std::min(ids.size(), from + kSlice); ++i)
            list << QString::number(ids[i]);
        Recordset rs = db.openRecordset(sql + list.join(u',') + QLatin1Char(')'));
        for (; !rs.eof(); rs.moveNext())
            found.insert(vb::toLong(rs.value(0)));
    }
    return found;
}

SaveRun::SaveRun(LocalConnection &db, const std::vector<TripGrid::Row> &rows)
{
    std::vector<qint32> ids;
    for (const TripGrid::Row &trip : rows)
        if (trip.cells.at(TripCell::Id).icon != TripGrid::kStoredIcon)
            if (const auto id = gridTripId(trip))
                ids.push_back(*id);
    if (ids.empty())
        return;
    m_stored = idsAmong(db, QStringLiteral("select id from lectura_viajes where id in ("), ids);
    m_unloadsBefore = idsAmong(
        db, QStringLiteral("select distinct id_viaje from lectura_descarga where id_viaje in ("),
        ids);
}

void SaveRun::unloadAdded(const TableWriter &unloads)
{
    const QVariant trip = unloads.value(LecturaDescarga::IdViaje);
    const QVariant herd = unloads.value(LecturaDescarga::IdRodeo);
    if (!vb::isNull(trip) && !vb::isNull(herd))
        m_herds[vb::toLong(trip)].push_back(vb::toDouble(herd));
}

bool SaveRun::hasUnload(qint32 tripId, double herd) const
{
    const auto it = m_herds.constFind(tripId);
    return it != m_herds.constEnd() && std::find(it->begin(), it->end(), herd) != it->end();
}

const std::vector<SaveRun::PrescribedHerd> &SaveRun::prescribedUnloads(LocalConnection &db,
                                                                        qint32 idPrg, qint32 idPres)
{
    const QPair<qint32, qint32> key(idPres, idPrg);
    if (auto it = m_prescribed.constFind(key); it != m_prescribed.constEnd())
        return it.value();
    const QString pres = QString::number(idPres);
    const QString prg = QString::number(idPrg);
    Recordset herds = db.openRecordset(
        QStringLiteral("select d.id_corral, d.nom_corral, r.cabezas, r.id_cat, r.actividad, "
                       "r.corral, d.kilos  from prescripcion_descarga d, prescripcion_rodeos r "
                       "where d.id_prescripcion = d.id_prescripcion and r.id = d.id_corral and  "
                       "d.id_prescripcion = ") +
        pres + QStringLiteral(" and id_viaje = ") + prg);
    if (herds.eof())
        herds = db.openRecordset(
            QStringLiteral("select d.id_corral, d.nom_corral, r.cabezas, r.id_cat, r.actividad, "
                           "r.corral, d.kilos from prescripcion_descarga d, rodeos r where r.id = "
                           "d.id_corral and  d.id_prescripcion = ") +
            pres + QStringLiteral(" and id_viaje = ") + prg);
    std::vector<PrescribedHerd> rows;
    for (; !herds.eof(); herds.moveNext()) {
        PrescribedHerd herd{vb::val(vb::joinText(herds.value(IdCorral))), {}};
        for (int i = 0; i < Count; ++i)
            herd.values[size_t(i)] = herds.value(i);
        rows.push_back(std::move(herd));
    }
    return m_prescribed.insert(key, std::move(rows)).value();
}

// Adds the trip row with its cells; the save writes it before its loads and unloads.
void startTrip(TableWriter &trips, const TripGrid::Row &trip)
{
    trips.addNew();
    for (const auto &[position, cell] : kTripMapping) {
        const QVariant &v = trip.value(cell);
        if (zeroWhenEmpty(position) && isEmptyCell(v))
            trips.setValue(position, 0);
        else
            trips.setValue(position, cellForColumn(v, trips.info().columns[size_t(position)].kind));
    }
}

// A sum as the totals' update stores it: every load's kilograms are within
// the stored range, so the sum is a number; never 0 for one that is not.
QString storedTotal(double sum)
{
    if (!vb::isStorableNumber(sum))
        raise(ErrNo::Overflow);
    return vb::numberText(sum);
}

// Whether the trip gets the unload comparison: it has a shift, and not 99.
bool comparesUnloads(const TripGrid::Row &trip)
{
    const QVariant shift = trip.value(TripCell::Turno);
    return !isEmptyCell(shift) && vb::toDouble(vb::joinText(shift)) != 99.0;
}

// Sets a column from a cell as cellForColumn gives it, without copying a
// text cell on the way.
void setCell(TableWriter &table, int position, const QVariant &cell)
{
    const ColumnKind kind = table.info().columns[size_t(position)].kind;
    if (cell.typeId() != QMetaType::QString || cell.isNull()) {
        table.setValue(position, cellForColumn(cell, kind));
        return;
    }
    const QString &text = *static_cast<const QString *>(cell.constData());
    if (kind != ColumnKind::Text && isBlank(text))
        table.setValue(position, QVariant());
    else
        table.setText(position, text);
}

void fillChild(TableWriter &table, const Mapping &mapping, const TripGrid::Row &child,
               const QVariant &tripId, int operatorPosition)
{
    for (const auto &[position, cell] : mapping) {
        if (cell < 0)
            table.setValue(position, tripId);
        else if (position == operatorPosition)
            table.setValue(position, operatorId(child.value(cell)));
        else
            setCell(table, position, child.value(cell));
    }
}

struct Tables
{
    TableWriter trips;
    TableWriter loads;
    TableWriter unloads;
};

// Why a trip cannot be stored: the cell (named by the column it goes to) of
// the trip or of one of its rows, and its value.
struct Refusal
{
    enum Row { Trip, Load, Unload };
    enum Kind { Invalid, Empty, NotUtf8, Fault };
    QString column;
    Row row = Trip;
    int number = 0; // of the load or unload, from 1
    QString value;  // as received, invalid bytes shown as \xNN; the fault's text for a Fault
    Kind kind = Invalid;

    // "del viaje", "de la carga 2", "de la descarga 3"
    QString rowText() const
    {
        return row == Trip   ? QStringLiteral("del viaje")
               : row == Load ? QStringLiteral("de la carga %1").arg(number)
                             : QStringLiteral("de la descarga %1").arg(number);
    }
};

// Whether a cell gives its column a value: the same conversion the row takes
// when it is written. A text column takes only valid text.
bool converts(const TableWriter &table, int position, const QVariant &cell)
{
    const ColumnKind kind = table.info().columns[size_t(position)].kind;
    if (kind == ColumnKind::Text)
        return !vb::hasInvalidText(vb::joinText(cell));
    // Most cells are number texts: read them as the column would, without
    // making the value (a blank one goes in as null).
    if (cell.typeId() == QMetaType::QString && !cell.isNull() &&
        (kind == ColumnKind::Integer || kind == ColumnKind::Number)) {
        const QString &text = *static_cast<const QString *>(cell.constData());
        double n = 0;
        if (isBlank(text))
            return true;
        if (!vb::parseNumber(text, &n))
            return false;
        if (kind == ColumnKind::Number)
            return vb::isStorableNumber(n);
        const double whole = vb::roundHalfEven(n);
        return whole >= -2147483648.0 && whole <= 2147483647.0;
    }
    try {
        convertForColumn(kind, cellForColumn(cell, kind));
        return true;
    } catch (const AppError &) {
        return false;
    }
}

Refusal refusalOf(const TableWriter &table, int position, Refusal::Row row, int number,
                  const QVariant &cell, bool empty)
{
    const ColumnInfo &column = table.info().columns[size_t(position)];
    const QString text = vb::joinText(cell);
    const Refusal::Kind kind = empty ? Refusal::Empty
                               : column.kind == ColumnKind::Text && vb::hasInvalidText(text)
                                   ? Refusal::NotUtf8
                                   : Refusal::Invalid;
    return Refusal{column.name, row, number, empty ? QString() : vb::visibleText(text), kind};
}

// Whether the save can store the trip whole: every cell it writes converts to
// its column (a key, a number, a date or a time that is not one cannot), and
// every load names its ingredient and its kilograms, without which the trip's
// totals and its concentrate breakdown would be wrong. Asked before anything
// of the trip is written, so a refused trip leaves nothing behind.
std::optional<Refusal> vetTrip(const Tables &tables, const TripGrid::Row &trip)
{
    if (!trip.fault.isEmpty())
        return Refusal{QString(), Refusal::Trip, 0, trip.fault, Refusal::Fault};
    const QVariant &id = trip.value(TripCell::Id);
    if (isEmptyCell(id))
        return refusalOf(tables.trips, LecturaViajes::Id, Refusal::Trip, 0, id, true);
    for (const auto &[position, cell] : kTripMapping) {
        const QVariant &v = trip.value(cell);
        if (zeroWhenEmpty(position) && isEmptyCell(v))
            continue;
        if (!converts(tables.trips, position, v))
            return refusalOf(tables.trips, position, Refusal::Trip, 0, v, false);
    }
    // A trip without a date cannot be listed by day. The ODBC driver gives a
    // zero date ("0000-00-00") as no date at all: both are left out.
    if (isEmptyCell(trip.value(TripCell::Fecha)))
        return refusalOf(tables.trips, LecturaViajes::Fecha, Refusal::Trip, 0,
                         trip.value(TripCell::Fecha), true);
    // A downloaded trip's id is positive: the negative ones are the pit trips'.
    if (vb::toDouble(vb::joinText(id)) <= 0)
        return refusalOf(tables.trips, LecturaViajes::Id, Refusal::Trip, 0, id, false);
    // The unload comparison looks the programmed trip up: it must have one.
    if (comparesUnloads(trip) && isEmptyCell(trip.value(TripCell::IdPrg)))
        return refusalOf(tables.trips, LecturaViajes::IdPrg, Refusal::Trip, 0,
                         trip.value(TripCell::IdPrg), true);
    int loads = 0;
    int unloads = 0;
    for (const TripGrid::Row &child : trip.children) {
        const QString kind = vb::joinText(child.value(kChildKindCell));
        if (kind == QLatin1String("Carga")) {
            ++loads;
            for (const auto &[position, cell] : kLoadMapping) {
                if (cell < 0 || position == LecturaCarga::Operario)
                    continue;
                const QVariant &v = child.value(cell);
                const bool required = position == LecturaCarga::IdAlim ||
                                      position == LecturaCarga::KgSug ||
                                      position == LecturaCarga::KgReal;
                if (required && isEmptyCell(v))
                    return refusalOf(tables.loads, position, Refusal::Load, loads, v, true);
                if (!converts(tables.loads, position, v))
                    return refusalOf(tables.loads, position, Refusal::Load, loads, v, false);
            }
        } else if (kind == QLatin1String("Descarga")) {
            ++unloads;
            for (const auto &[position, cell] : kUnloadMapping) {
                if (cell < 0 || position == LecturaDescarga::Operario)
                    continue;
                const QVariant &v = child.value(cell);
                if (!converts(tables.unloads, position, v))
                    return refusalOf(tables.unloads, position, Refusal::Unload, unloads, v, false);
            }
        }
    }
    return std::nullopt;
}

// Leaves the trip out of the save with one event, the first time only: its id
// is remembered in the same transaction as the trips stored beside it, and the
// next download of new trips starts past it.
void refuseTrip(AppContext &ctx, const TripGrid::Row &trip, const Refusal &refusal,
                SaveOutcome &outcome)
{
    LocalConnection &db = ctx.db();
    ++outcome.refusedTrips;
    const QString idText = vb::visibleText(vb::joinText(trip.value(TripCell::Id)).trimmed());
    bool whole = false;
    const qint64 number = idText.toLongLong(&whole);
    const std::optional<qint64> id = whole ? std::optional<qint64>(number) : std::nullopt;
    if (id &&
        !db.openRecordset(QStringLiteral("select id from zelvano_viajes_rechazados where id = ") +
                          QString::number(*id))
             .eof())
        return;
    QString reason;
    switch (refusal.kind) {
    case Refusal::Empty:
        reason = QStringLiteral("la celda %1 %2 está vacía").arg(refusal.column, refusal.rowText());
        break;
    case Refusal::Invalid:
        reason = QStringLiteral("la celda %1 %2 ('%3') no es un valor válido")
                     .arg(refusal.column, refusal.rowText(), refusal.value);
        break;
    case Refusal::NotUtf8:
        reason = QStringLiteral("la celda %1 %2 ('%3') no es texto UTF-8 válido")
                     .arg(refusal.column, refusal.rowText(), refusal.value);
        break;
    case Refusal::Fault:
        reason = refusal.value;
        break;
    }
    const QString text = QStringLiteral("Viaje %1 no guardado: %2 ")
                             .arg(idText.isEmpty() ? QStringLiteral("''") : idText, reason);
    if (id)
        db.execute(
            QStringLiteral("insert into zelvano_viajes_rechazados (id, motivo) values (?, ?)"),
            {QVariant(*id), QVariant(reason)});
    Grabar_Suceso(ctx, ctx.today(), text + ctx.timeText());
    // Left out, not failed: the others are stored, and the event says why.
    ++outcome.newRefusals;
}

// Comparar_Descarga; within a save, `run` answers what the save already knows
// and `unloads` is the save's own writer of the table. Returns the rows added.
int compareUnloads(AppContext &ctx, SaveRun *run, TableWriter *unloads, qint32 idViaje,
                   qint32 idPrg, qint32 idPres)
{
    LocalConnection &db = ctx.db();
    SaveRun alone(db, {});
    SaveRun &known = run ? *run : alone;
    const auto &herds = known.prescribedUnloads(db, idPrg, idPres);
    if (herds.empty())
        return 0;
    const bool fromMemory = run && run->knowsUnloadsOf(idViaje);
    std::optional<TableWriter> own;
    if (!unloads)
        unloads = &own.emplace(db.openTable(QStringLiteral("lectura_descarga")));
    int added = 0;
    for (const SaveRun::PrescribedHerd &herd : herds) {
        bool recorded = false;
        if (fromMemory) {
            recorded = run->hasUnload(idViaje, herd.number);
        } else {
            const Recordset rs = db.openRecordset(
                QStringLiteral("select * from lectura_descarga where id_viaje = ") +
                QString::number(idViaje) + QStringLiteral(" and id_rodeo = ") +
                vb::numberText(herd.number));
            recorded = !rs.eof();
        }
        if (recorded)
            continue;
        using P = SaveRun::PrescribedColumn;
        auto value = [&](P column) { return herd.values[size_t(column)]; };
        unloads->addNew();
        unloads->setValue(LecturaDescarga::IdViaje, idViaje);
        unloads->setValue(LecturaDescarga::IdRodeo, value(P::IdCorral));
        unloads->setValue(LecturaDescarga::Descripcion, value(P::NomCorral));
        unloads->setValue(LecturaDescarga::Cabezas, value(P::Cabezas));
        unloads->setValue(LecturaDescarga::Categoria, value(P::IdCat));
        unloads->setValue(LecturaDescarga::Actividad, value(P::Actividad));
        unloads->setValue(LecturaDescarga::Corral, value(P::Corral));
        for (int position : {LecturaDescarga::KgSug, LecturaDescarga::KgReal,
                             LecturaDescarga::Hora, LecturaDescarga::Operario})
            unloads->setValue(position, 0);
        unloads->setValue(LecturaDescarga::KgPrescriptos, value(P::Kilos));
        unloads->setValue(LecturaDescarga::Suceso, QStringLiteral("E"));
        if (run)
            run->unloadAdded(*unloads);
        unloads->update();
        ++added;
    }
    return added;
}

void saveTrip(AppContext &ctx, SaveRun &run, Tables &tables, const TripGrid::Row &trip,
              qint32 tripId, SaveOutcome &outcome)
{
    LocalConnection &db = ctx.db();
    const QVariant id = tripId;
    double suggested = 0;
    double real = 0;
    for (const TripGrid::Row &child : trip.children) {
        const QString kind = vb::joinText(child.value(kChildKindCell));
        if (kind == QLatin1String("Carga")) {
            TableWriter &loads = tables.loads;
            loads.addNew();
            qint32 idMod = vb::isNull(loads.value(LecturaCarga::IdMod))
                               ? 0
                               : vb::toLong(loads.value(LecturaCarga::IdMod));
            fillChild(loads, kLoadMapping, child, id, LecturaCarga::Operario);
            const QVariant ingredient = loads.value(LecturaCarga::IdAlim);
            const double kgReal = numberOrZero(loads.value(LecturaCarga::KgReal));
            const double kgSug = numberOrZero(loads.value(LecturaCarga::KgSug));
            suggested += kgSug;
            real += kgReal;
            loads.update();
            ++outcome.loads;
            if (idMod == 0) {
                const Recordset rs = db.openRecordset(
                    QStringLiteral("select id_mod from lectura_carga order by id_mod desc"));
                if (!rs.eof())
                    idMod = vb::toLong(rs.value(0));
            }
            const ConcentrateOutcome concentrate = Inserta_Composicion_Concentrado(
                ctx, tripNumber(trip, TripCell::IdPres),
                vb::isNull(ingredient) ? 0 : vb::toLong(ingredient), kgReal, idMod, tripId, kgSug,
                &run.concentrates);
            outcome.concentrateRows += concentrate.rows;
            outcome.take(concentrate);
        } else if (kind == QLatin1String("Descarga")) {
            tables.unloads.addNew();
            fillChild(tables.unloads, kUnloadMapping, child, id, LecturaDescarga::Operario);
            run.unloadAdded(tables.unloads);
            tables.unloads.update();
            ++outcome.unloads;
        }
    }
    ++outcome.trips;
    // A trip without a shift has no prescribed unloads to compare with.
    if (comparesUnloads(trip))
        outcome.addedUnloads +=
            compareUnloads(ctx, &run, &tables.unloads, tripId, tripNumber(trip, TripCell::IdPrg),
                           tripNumber(trip, TripCell::IdPres));
    // Last, the trip's totals: the sums of its loads, whatever its own cells said.
    db.execute(QStringLiteral("update lectura_viajes set kg_tot_sug = ") + storedTotal(suggested) +
               QStringLiteral(", kg_tot_real = ") + storedTotal(real) +
               QStringLiteral(" where id = ") + QString::number(tripId));
}

// Counts into `outcome` only what its transaction committed.
void saveGrid(AppContext &ctx, const std::vector<TripGrid::Row> &rows, SaveOutcome &committed)
{
    SaveOutcome outcome;
    LocalConnection &db = ctx.db();
    Transaction transaction(db);
    ctx.overlay.setVisible(true);
    ctx.overlay.setText(QStringLiteral("Guardando datos... ESPERE"));
    ctx.overlay.setMaximum(int(rows.size()) - 1);
    ctx.overlay.setValue(0);
    ctx.window.yieldToEvents();

    SaveRun run(db, rows);
    Tables tables{db.openTable(QStringLiteral("lectura_viajes")),
                  db.openTable(QStringLiteral("lectura_Carga")),
                  db.openTable(QStringLiteral("lectura_descarga"))};
    for (const TripGrid::Row &trip : rows) {
        if (trip.cells.at(TripCell::Id).icon == TripGrid::kStoredIcon)
            continue;
        const std::optional<qint32> id = gridTripId(trip);
        // Marked or not: a stored trip is never stored twice.
        if (id && run.isStored(*id))
            continue;
        // One trip that cannot be stored does not hold back the others.
        std::optional<Refusal> refusal = vetTrip(tables, trip);
        if (!refusal && !id)
            refusal = refusalOf(tables.trips, LecturaViajes::Id, Refusal::Trip, 0,
                                trip.value(TripCell::Id), false);
        if (refusal) {
            refuseTrip(ctx, trip, *refusal, outcome);
            continue;
        }
        const qint32 tripId = *id;
        // The trip row first, then its loads and unloads: a database that
        // holds loads to their trip finds the trip there.
        startTrip(tables.trips, trip);
        tables.trips.update();
        run.tripAdded(tripId);
        ctx.overlay.setValue(ctx.overlay.value() + 1);
        ctx.overlay.setText(QStringLiteral("Guardando viaje ") +
                            vb::joinText(trip.value(TripCell::Receta)) +
                            QStringLiteral(" ... ESPERE"));
        ctx.window.yieldToEvents();
        saveTrip(ctx, run, tables, trip, tripId, outcome);
    }
    transaction.commit();
    committed = outcome;
}

void finishSave(AppContext &ctx, bool hadTrips, SaveOutcome &outcome)
{
    Setear_Prescriptos(ctx);
    if (!hadTrips) {
        ctx.overlay.setVisible(false);
        return;
    }
    const QString now = ctx.timeText();
    ctx.overlay.setText(QStringLiteral("Finalizo la descarga de datos exitosamente a las ") + now);
    const QString status = QStringLiteral("Ultima descarga a las ") + now;
    ctx.window.setCaption(windowCaption(status));
    ctx.window.setTrayTip(QStringLiteral("Zelvano - ") + status);
    Grabar_Suceso(ctx, ctx.today(),
                  QStringLiteral("Finalizo la descarga de datos Web exitosamente a las ") + now);
    if (ctx.settings.HeadCountFromFeeding)
        outcome.take(Actualizar_Cabezas_Nube(ctx));
}

} // namespace

int Comparar_Descarga(AppContext &ctx, qint32 idViaje, qint32 idPrg, qint32 idPres)
{
    return compareUnloads(ctx, nullptr, nullptr, idViaje, idPrg, idPres);
}

SaveOutcome CmdGrabar_Click(AppContext &ctx)
{
    SaveOutcome outcome;
    // A save pressed between two ticks finds the connection closed: open it
    // for this save only.
    const bool openedHere = !ctx.connection || !ctx.connection->isOpen();
    if (openedHere)
        Conectar_Base(ctx);

    // The save reads a snapshot: yielding lets the window run, and nothing it
    // does may reshape the rows under the walk.
    const std::shared_ptr<const std::vector<TripGrid::Row>> snapshot = ctx.grid.snapshot();
    const std::vector<TripGrid::Row> &rows = *snapshot;
    try {
        saveGrid(ctx, rows, outcome);
        finishSave(ctx, !rows.empty(), outcome);
    } catch (const AppError &error) {
        outcome.fail(error);
        ctx.overlay.setVisible(false);
        logEvent(ctx, ErrorText::inWindow(error, QStringLiteral("CmdGrabar_Click")));
    }
    if (openedHere)
        closeLocalConnection(ctx);
    return outcome;
}

} // namespace zelvano
