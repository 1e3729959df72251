#include "trips/prescribed.h"

#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "store/appcontext.h"
#include "store/localconnection.h"
#include "store/tables.h"
#include "store/transaction.h"

#include <cmath>
#include <map>
#include <optional>
#include <tuple>

namespace zelvano {

namespace {

// A key pasted into a statement: plain decimal, no grouping.
QString number(double v)
{
    return vb::numberText(v);
}

// The prescription lookups of one fill. The fill writes only the trip tables,
// so a lookup's answer cannot change while it runs: each is asked once, kept
// under the numbers its statement text is made of.
class Lookups
{
public:
    enum Table { Trips, Loads, Unloads };
    using Key = std::tuple<int, double, double, double>;

    explicit Lookups(LocalConnection &db) : m_db(db) {}

    // The first row's kilos as stored (null stays null), 0 when there is none.
    // makeSql gives the statement; it is only built when the key is new.
    template <typename MakeSql>
    QVariant firstValue(const Key &key, MakeSql makeSql)
    {
        const bool keyed = std::isfinite(std::get<1>(key)) && std::isfinite(std::get<2>(key)) &&
                           std::isfinite(std::get<3>(key));
        if (keyed)
            if (auto it = m_values.find(key); it != m_values.end())
                return it->second;
        const Recordset rs = m_db.openRecordset(makeSql());
        const QVariant kilos = rs.eof() ? QVariant(0) : rs.value(0);
        if (keyed)
            m_values.emplace(key, kilos);
        return kilos;
    }

    // The same as a double. A null kilos counts as 0 too: it cannot stop the
    // fill of the rows after it.
    template <typename MakeSql>
    double firstKilos(const Key &key, MakeSql makeSql)
    {
        const QVariant kilos = firstValue(key, makeSql);
        return vb::isNull(kilos) ? 0.0 : vb::toDouble(kilos);
    }

private:
    LocalConnection &m_db;
    std::map<Key, QVariant> m_values;
};

// The rows of one pass that receive the same value, written together: one
// statement per value and group of keys instead of one per row.
class GroupedUpdate
{
public:
    GroupedUpdate(LocalConnection &db, QString table, QString column, QString key)
        : m_db(db), m_table(std::move(table)), m_column(std::move(column)), m_key(std::move(key))
    {
    }

    // A null value stays null.
    void add(const QVariant &value, qint64 key)
    {
        group(vb::isNull(value) ? std::nullopt : std::optional<double>(vb::toDouble(value)), key);
    }

    void add(double value, qint64 key) { group(value, key); }

    void flush()
    {
        for (auto &[value, keys] : m_keys)
            if (!keys.empty())
                write(value, keys);
        m_keys.clear();
    }

private:
    static constexpr size_t kGroup = 500;

    void group(std::optional<double> value, qint64 key)
    {
        if (value && !std::isfinite(*value))
            value = 0.0; // as its text would be
        auto &keys = m_keys[value];
        keys.push_back(key);
        if (keys.size() >= kGroup) {
            write(value, keys);
            keys.clear();
        }
    }

    // The keys go in as bound values: a statement of hundreds of literals
    // would cost more to read than to run.
    void write(std::optional<double> value, const std::vector<qint64> &keys)
    {
        std::vector<QVariant> parameters;
        parameters.reserve(keys.size() + 1);
        parameters.push_back(value ? QVariant(*value) : QVariant());
        QString marks;
        marks.reserve(qsizetype(keys.size()) * 2);
        for (qint64 k : keys) {
            marks += marks.isEmpty() ? u"?" : u",?";
            parameters.push_back(qlonglong(k));
        }
        m_db.execute(QStringLiteral("update %1 set %2 = ? where %3 in (%4)")
                         .arg(m_table, m_column, m_key, marks),
                     parameters);
    }

    LocalConnection &m_db;
    QString m_table, m_column, m_key;
    std::map<std::optional<double>, std::vector<qint64>> m_keys;
};

// Runs the body for every row of a pass. A row whose values do not convert
// (a text where a number belongs, a number out of range) keeps its missing
// value for the next fill, and the pass goes on with the rows after it; any
// other failure ends the pass, but only after the values found before it are
// written: what the fill found so far is never lost.
template <typename Body> void eachRow(Recordset &rows, GroupedUpdate &update, Body body)
{
    for (; !rows.eof(); rows.moveNext()) {
        try {
            body();
        } catch (const AppError &error) {
            const long n = error.number();
            if (n == ErrNo::TypeMismatch || n == ErrNo::Overflow || n == ErrNo::InvalidUseOfNull)
                continue;
            update.flush();
            throw;
        }
    }
    update.flush();
}

// A missing value that is 0 already and gets 0 again: a row without a
// prescription, met again at every fill. Writing it would change nothing.
bool staysZero(const QVariant &current, const QVariant &kg)
{
    return !vb::isNull(current) && !vb::isNull(kg) && vb::toDouble(kg) == 0.0;
}

void fillTrips(LocalConnection &db, Lookups &lookups)
{
    enum { KgTotPres, IdPres, IdPrg, Id, Turno };
    Recordset trips = db.openRecordset(
        QStringLiteral("select Kg_Tot_Pres, id_pres, id_prg, id, Turno from lectura_viajes where "
                       "(Kg_Tot_Pres = 0 or Kg_Tot_Pres is null)"));
    GroupedUpdate update(db, QStringLiteral("lectura_viajes"), QStringLiteral("Kg_Tot_Pres"),
                         QStringLiteral("id"));
    eachRow(trips, update, [&] {
        const QVariant shift = trips.value(Turno);
        const bool lookedUp = !vb::isNull(shift) && vb::toDouble(shift) != 99.0;
        QVariant kg = 0;
        // A trip without prescription keys has nothing to look up.
        if (lookedUp && !vb::isNull(trips.value(IdPres)) && !vb::isNull(trips.value(IdPrg))) {
            const double pres = vb::toDouble(trips.value(IdPres));
            const double prg = vb::toDouble(trips.value(IdPrg));
            kg = lookups.firstValue({Lookups::Trips, pres, prg, 0.0}, [&] {
                return QStringLiteral("select kilos from prescripcion_viajes where "
                                      "id_prescripcion = ") +
                       number(pres) + QStringLiteral(" and id_viaje = ") + number(prg);
            });
        }
        const QVariant current = trips.value(KgTotPres);
        if (!staysZero(current, kg) && !(vb::isNull(current) && vb::isNull(kg)))
            update.add(kg, qint64(vb::toDouble(trips.value(Id))));
    });
}

void fillLoads(LocalConnection &db, Lookups &lookups)
{
    enum { KgPrescriptos, IdPres, IdPrg, IdAlim, IdMod, Turno };
    Recordset loads = db.openRecordset(QStringLiteral(
        "select c.Kg_Prescriptos, v.id_pres, v.id_prg, c.Id_alim, c.id_mod, v.turno  from "
        "lectura_viajes v, lectura_Carga c where v.id = c.id_viaje and (Kg_Prescriptos = 0 or "
        "Kg_Prescriptos is null)"));
    GroupedUpdate update(db, QStringLiteral("lectura_Carga"), QStringLiteral("kg_prescriptos"),
                         QStringLiteral("id_mod"));
    eachRow(loads, update, [&] {
        double kg = 0;
        if (!vb::isNull(loads.value(IdPres)) && !vb::isNull(loads.value(IdPrg)) &&
            !vb::isNull(loads.value(IdAlim)))
        {
            const double pres = vb::toDouble(loads.value(IdPres));
            const double prg = vb::toDouble(loads.value(IdPrg));
            const double alim = vb::toDouble(loads.value(IdAlim));
            kg = lookups.firstKilos({Lookups::Loads, pres, prg, alim}, [&] {
                return QStringLiteral("select kilos from Prescripcion_detalle_alimentos where "
                                      "id_prescripcion = ") +
                       number(pres) + QStringLiteral(" and id_viaje = ") + number(prg) +
                       QStringLiteral(" and id_alimento = ") + number(alim);
            });
        }
        const QVariant shift = loads.value(Turno);
        if (!vb::isNull(shift) && vb::toDouble(shift) == 99.0)
            kg = 0;
        if (staysZero(loads.value(KgPrescriptos), kg))
            return;
        update.add(kg, qint64(vb::toDouble(loads.value(IdMod))));
    });
}

void fillUnloads(LocalConnection &db, Lookups &lookups)
{
    enum { KgPrescriptos, IdPres, IdPrg, IdRodeo, IdMod };
    Recordset unloads = db.openRecordset(QStringLiteral(
        "select Kg_Prescriptos, id_pres, id_prg, Id_Rodeo, id_mod from lectura_viajes v, "
        "lectura_descarga c where v.id = c.id_viaje and (Kg_Prescriptos = 0 or Kg_Prescriptos is "
        "null)"));
    GroupedUpdate update(db, QStringLiteral("lectura_descarga"), QStringLiteral("kg_prescriptos"),
                         QStringLiteral("id_mod"));
    eachRow(unloads, update, [&] {
        double kg = 0;
        if (!vb::isNull(unloads.value(IdPres)) && !vb::isNull(unloads.value(IdPrg)) &&
            !vb::isNull(unloads.value(IdRodeo)))
        {
            const double pres = vb::toDouble(unloads.value(IdPres));
            const double prg = vb::toDouble(unloads.value(IdPrg));
            const double herd = vb::toDouble(unloads.value(IdRodeo));
            kg = lookups.firstKilos({Lookups::Unloads, pres, prg, herd}, [&] {
                return QStringLiteral("select kilos from prescripcion_descarga where "
                                      "id_prescripcion = ") +
                       number(pres) + QStringLiteral(" and id_viaje = ") + number(prg) +
                       QStringLiteral(" and val(id_corral) = ") + number(herd);
            });
        }
        if (staysZero(unloads.value(KgPrescriptos), kg))
            return;
        update.add(kg, qint64(vb::toDouble(unloads.value(IdMod))));
    });
}

} // namespace

void Setear_Prescriptos(AppContext &ctx)
{
    // Silent: the next save looks the missing values up again.
    try {
        LocalConnection &db = ctx.db();
        // One commit for the whole fill instead of one per row; it is committed
        // on failure too, so whatever was filled stays, as with separate rows.
        std::optional<Transaction> own;
        if (!db.inTransaction())
            own.emplace(db);
        try {
            Lookups lookups(db);
            fillTrips(db, lookups);
            fillLoads(db, lookups);
            fillUnloads(db, lookups);
        } catch (const AppError &) {
        }
        if (own)
            own->commit();
    } catch (const AppError &) {
    }
}

const std::vector<ConcentrateCompositions::Ingredient> &
ConcentrateCompositions::of(LocalConnection &db, qint32 idPres, qint32 idAlim)
{
    const QPair<qint32, qint32> key(idPres, idAlim);
    if (auto it = m_known.constFind(key); it != m_known.constEnd())
        return it.value();
    const QString pres = QString::number(idPres);
    Recordset rs = db.openRecordset(
        QStringLiteral("select d.Id_Ali, (select nombre from prescripcion_alimentos pd where "
                       "pd.id_prescripcion = ") +
        pres +
        QStringLiteral(" and pd.id_alim = d.id_ali), d.prop from "
                       "prescripcion_detalle_concentrado d, prescripcion_alimentos a where "
                       "a.id_prescripcion = d.id_prescripcion and a.id_alim = d.id_con and "
                       "a.tipo = 'Concentrado' and d.id_prescripcion = ") +
        pres + QStringLiteral(" and id_con = ") + QString::number(idAlim));
    enum { IdAli, Nombre, Prop };
    std::vector<Ingredient> rows;
    for (; !rs.eof(); rs.moveNext())
        rows.push_back({rs.value(IdAli), rs.value(Nombre), rs.value(Prop)});
    return m_known.insert(key, std::move(rows)).value();
}

TableWriter &ConcentrateCompositions::detailTable(LocalConnection &db)
{
    if (!m_detail)
        m_detail = db.openTable(QStringLiteral("lectura_carga_detalle_conc"));
    return *m_detail;
}

ConcentrateOutcome Inserta_Composicion_Concentrado(AppContext &ctx, qint32 idPres, qint32 idAlim,
                                                   double kgReal, qint32 idMod, qint32 idViaje,
                                                   double kgSug, ConcentrateCompositions *known)
{
    ConcentrateOutcome outcome;
    try {
        ConcentrateCompositions once;
        ConcentrateCompositions &compositions = known ? *known : once;
        const auto &ingredients = compositions.of(ctx.db(), idPres, idAlim);
        TableWriter &detail = compositions.detailTable(ctx.db());
        for (const auto &ingredient : ingredients) {
            const double share = vb::toDouble(ingredient.share);
            const double real = vb::roundHalfAway(share * kgReal / 100.0);
            const double suggested = vb::roundHalfAway(share * kgSug / 100.0);
            detail.addNew();
            detail.setValue(LecturaCargaDetalleConc::IdMod, idMod);
            detail.setValue(LecturaCargaDetalleConc::IdViaje, idViaje);
            detail.setValue(LecturaCargaDetalleConc::IdAlim, idAlim);
            detail.setValue(LecturaCargaDetalleConc::IdAli, ingredient.id);
            detail.setValue(LecturaCargaDetalleConc::Nombre, ingredient.name);
            detail.setValue(LecturaCargaDetalleConc::Prop, ingredient.share);
            detail.setValue(LecturaCargaDetalleConc::KgSug, suggested);
            detail.setValue(LecturaCargaDetalleConc::KgReal, real);
            detail.update();
            ++outcome.rows;
        }
    } catch (const AppError &error) {
        outcome.fail(error);
        ctx.notices.messageBox(ErrorText::descriptionFirst(
                                   error, QStringLiteral("Procedimiento Inserta_Composicion_Concentrado")),
                               UserNotices::Icon::Critical, QString::number(error.number()));
    }
    return outcome;
}

} // namespace zelvano
