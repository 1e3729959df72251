#include "milk/pittrip.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "milk/crashpoint.h"
#include "milk/importbook.h"
#include "store/appcontext.h"
#include "store/tables.h"
#include "store/transaction.h"

#include <limits>
#include <optional>

namespace zelvano {

namespace {

const QString kPitTablet = QStringLiteral("Fosa Delpro");

// A quantity written with the mask "0".
QString wholeText(double value)
{
    return vb::numberText(vb::roundHalfEven(value));
}

// A code written as a whole number ("12", "-3"): a herd's id, or a group
// code that may name one. "3A" or "G4" name none.
bool isWholeNumber(const QString &code)
{
    qsizetype i = (code.startsWith(u'-') || code.startsWith(u'+')) ? 1 : 0;
    if (i >= code.size())
        return false;
    for (; i < code.size(); ++i)
        if (code[i] < u'0' || code[i] > u'9')
            return false;
    return true;
}

// The trip's part of a transaction already under way: its rows go or stay
// together, while what the transaction wrote before stays.
class Savepoint
{
public:
    explicit Savepoint(LocalConnection &db) : m_db(db)
    {
        m_db.execute(QStringLiteral("savepoint viaje_fosa"), {});
    }
    ~Savepoint()
    {
        if (!m_active)
            return;
        try {
            m_db.execute(QStringLiteral("rollback to viaje_fosa"), {});
            m_db.execute(QStringLiteral("release viaje_fosa"), {});
        } catch (...) {
            // The enclosing transaction fails with the connection and takes the trip along.
        }
    }
    Savepoint(const Savepoint &) = delete;
    Savepoint &operator=(const Savepoint &) = delete;
    void release()
    {
        m_db.execute(QStringLiteral("release viaje_fosa"), {});
        m_active = false;
    }

private:
    LocalConnection &m_db;
    bool m_active = true;
};

} // namespace

void Buscar_Cab(AppContext &ctx, QString &text, qint16 &category, qint16 &activity, qint16 &pen)
{
    try {
        QString quoted = text;
        quoted.replace(u'\'', QStringLiteral("''"));
        Recordset herd = ctx.db().openRecordset(
            QStringLiteral("select * from rodeos where val(id) = '") + quoted + QStringLiteral("' "));
        if (herd.eof()) {
            text = QStringLiteral("sin descripcion");
            category = activity = pen = 0;
        } else {
            const QString name = vb::toText(herd.value(Rodeos::Descripcion));
            const qint16 c = vb::toInteger(herd.value(Rodeos::IdCat));
            const qint16 a = vb::toInteger(herd.value(Rodeos::Actividad));
            const qint16 p = vb::toInteger(herd.value(Rodeos::Corral));
            text = name;
            category = c;
            activity = a;
            pen = p;
        }
    } catch (const AppError &error) {
        ctx.notices.messageBox(ErrorText::inProcedure(error, QStringLiteral("Buscar_Cab"),
                                                      QStringLiteral("Formulario FrmRodeos")),
                               UserNotices::Icon::Critical, QStringLiteral("Error en Buscar_Nom "));
        text = QStringLiteral("sin descripcion");
        category = activity = pen = 0;
    }
}

Outcome Dar_Viaje_Fosa(AppContext &ctx, const QDate &fecha, const PitDiet &diet,
                       const std::vector<MilkGroup> &groups)
{
    Outcome outcome;
    bool insideReading = false;
    try {
        LocalConnection &db = ctx.db();
        insideReading = db.inTransaction();
        // Inside the reading's transaction the trip is a part of it that a
        // failure takes back alone; on its own it is a transaction.
        std::optional<Savepoint> part;
        std::optional<Transaction> own;
        if (db.inTransaction())
            part.emplace(db);
        else
            own.emplace(db);

        qint32 tripId = -1;
        {
            const Recordset lowest = db.openRecordset(
                QStringLiteral("select * from lectura_viajes where id < 0 order by id"));
            if (!lowest.eof()) {
                const qint64 below = qint64(vb::toLong(lowest.value(LecturaViajes::Id))) - 1;
                if (below < std::numeric_limits<qint32>::min())
                    raise(ErrNo::Overflow);
                tripId = qint32(below);
            }
        }

        double totalHeads = 0;
        qint32 totalKg = 0;
        for (const MilkGroup &group : groups) {
            totalHeads += group.heads;
            totalKg = vb::toLong(vb::roundHalfEven(double(totalKg) + group.pitKg));
        }
        const QString hour = DateTexts::hoursMinutes(diet.tripTime);

        TableWriter trip = db.openTable(QStringLiteral("Lectura_viajes"));
        trip.addNew();
        trip.setValue(LecturaViajes::Id, tripId);
        trip.setValue(LecturaViajes::Turno, diet.shift);
        trip.setValue(LecturaViajes::IdReceta, diet.dietId);
        trip.setValue(LecturaViajes::DesReceta, diet.recipeName);
        trip.setValue(LecturaViajes::Fecha, fecha);
        if (!groups.empty())
            trip.setValue(LecturaViajes::CabTot, totalHeads); // no groups: no head total at all
        trip.setValue(LecturaViajes::KgTotSug, totalKg);
        trip.setValue(LecturaViajes::KgTotReal, totalKg);
        trip.setValue(LecturaViajes::IdPrg, diet.programmedTripId);
        trip.setValue(LecturaViajes::IdPres, diet.prescriptionId);
        trip.setValue(LecturaViajes::KgTotPres, 0);
        trip.update();

        // One row set for all the unloads: the rows are saved one by one, as if
        // the table were opened afresh for each.
        TableWriter unload = db.openTable(QStringLiteral("Lectura_descarga"));
        for (const MilkGroup &group : groups) {
            unload.addNew();
            unload.setValue(LecturaDescarga::IdViaje, tripId);
            QString name = group.code;
            qint16 category = 0, activity = 0, pen = 0;
            if (isWholeNumber(group.code)) {
                unload.setValue(LecturaDescarga::IdRodeo, group.code);
                Buscar_Cab(ctx, name, category, activity, pen);
                // The look-up's failure is its own, unless it took the transaction along.
                requireTransactionAlive(db);
            } else {
                // A group no herd claimed, with a code that is no herd's id.
                unload.setValue(LecturaDescarga::IdRodeo, 0);
                name = QStringLiteral("sin descripcion");
            }
            unload.setValue(LecturaDescarga::Descripcion, name);
            unload.setValue(LecturaDescarga::Cabezas, group.heads);
            unload.setValue(LecturaDescarga::Categoria, category);
            unload.setValue(LecturaDescarga::Actividad, activity);
            unload.setValue(LecturaDescarga::Corral, pen);
            unload.setValue(LecturaDescarga::KgSug, wholeText(group.pitKg));
            unload.setValue(LecturaDescarga::KgReal, wholeText(group.pitKg));
            unload.setValue(LecturaDescarga::Hora, hour);
            unload.setValue(LecturaDescarga::Operario, 0);
            unload.setValue(LecturaDescarga::IdTablet, kPitTablet);
            unload.setValue(LecturaDescarga::NomTablet, kPitTablet);
            unload.setValue(LecturaDescarga::KgPrescriptos, 0);
            unload.update();
            crashPoint("unload");
            ctx.window.yieldToEvents();
        }

        TableWriter load = db.openTable(QStringLiteral("Lectura_carga"));
        load.addNew();
        load.setValue(LecturaCarga::IdViaje, tripId);
        load.setValue(LecturaCarga::IdAlim, diet.foodId);
        load.setValue(LecturaCarga::DesAlim, diet.foodName);
        load.setValue(LecturaCarga::Cantidad, 0);
        load.setValue(LecturaCarga::KgSug, wholeText(totalKg));
        load.setValue(LecturaCarga::KgReal, wholeText(totalKg));
        load.setValue(LecturaCarga::Hora, hour);
        load.setValue(LecturaCarga::Operario, 0);
        load.setValue(LecturaCarga::IdTablet, kPitTablet);
        load.setValue(LecturaCarga::NomTablet, kPitTablet);
        load.setValue(LecturaCarga::KgPrescriptos, 0);
        load.update();
        ctx.window.yieldToEvents();

        if (part)
            part->release();
        else
            own->commit();
    } catch (const AppError &error) {
        outcome.fail(error);
        ctx.notices.messageBox(ErrorText::inProcedureEnglish(error, QStringLiteral("Dar_Viaje_Fosa"),
                                                             QStringLiteral("Formulario MdiPrincipal")),
                               UserNotices::Icon::None, QStringLiteral("Zelvano"));
        // A failure that took the reading's whole transaction back is the
        // reading's failure too.
        if (insideReading && !transactionAlive(ctx.db()))
            throw;
    }
    return outcome;
}

} // namespace zelvano
