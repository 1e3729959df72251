#include "milk/pittrip.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/vb.h"
#include "store/appcontext.h"

#include <limits>

namespace zelvano {

namespace {

const QString kPitTablet = QStringLiteral("Fosa Delpro");

// A quantity written with the mask "0".
QString wholeText(double value)
{
    return vb::numberText(vb::roundHalfEven(value));
}

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
            const QString name = vb::toText(herd.value(2));
            const qint16 c = vb::toInteger(herd.value(1));
            const qint16 a = vb::toInteger(herd.value(8));
            const qint16 p = vb::toInteger(herd.value(9));
            text = name;
            category = c;
            activity = a;
            pen = p;
        }
        herd.close();
    } catch (const AppError &error) {
        ctx.notices.messageBox(QStringLiteral("Error %1 (%2) en procedimiento Buscar_Cab de Formulario FrmRodeos")
                                   .arg(error.number())
                                   .arg(error.description()),
                               UserNotices::Icon::Critical, QStringLiteral("Error en Buscar_Nom "));
        text = QStringLiteral("sin descripcion");
        category = activity = pen = 0;
    }
}

void Dar_Viaje_Fosa(AppContext &ctx, const QDate &fecha, qint32 dietId, qint32 foodId,
                    qint32 prescriptionId, qint32 programmedTripId, const QString &foodName,
                    qint32 shift, const QString &recipeName, const QString &tripTime)
{
    LocalConnection *db = nullptr;
    try {
        db = &ctx.db();
        db->beginTrans();

        qint32 tripId = -1;
        {
            Recordset lowest = db->openRecordset(
                QStringLiteral("select * from lectura_viajes where id < 0 order by id"));
            if (!lowest.eof()) {
                const qint64 below = qint64(vb::toLong(lowest.value(0))) - 1;
                if (below < std::numeric_limits<qint32>::min())
                    raise(ErrNo::Overflow);
                tripId = qint32(below);
            }
        }

        const auto &rows = ctx.ProductionRows;
        double totalHeads = 0;
        qint32 totalKg = 0;
        for (const auto &row : rows) {
            totalHeads += row.heads;
            totalKg = vb::toLong(vb::roundHalfEven(double(totalKg) + row.pitKg));
        }
        const QString hour = DateTexts::hoursMinutes(tripTime);

        TableWriter trip = db->openTable(QStringLiteral("Lectura_viajes"));
        trip.addNew();
        trip.setValue(0, tripId);
        trip.setValue(1, shift);
        trip.setValue(2, dietId);
        trip.setValue(3, recipeName);
        trip.setValue(4, fecha);
        if (!rows.empty())
            trip.setValue(5, totalHeads); // no groups: no head total at all
        trip.setValue(6, totalKg);
        trip.setValue(7, totalKg);
        trip.setValue(8, programmedTripId);
        trip.setValue(9, prescriptionId);
        trip.setValue(10, 0);
        trip.update();
        trip.close();

        // One row set for all the unloads: the rows are saved one by one, as if
        // the table were opened afresh for each.
        TableWriter unload = db->openTable(QStringLiteral("Lectura_descarga"));
        for (const auto &row : rows) {
            unload.addNew();
            unload.setValue(0, tripId);
            QString name = row.code;
            qint16 category = 0, activity = 0, pen = 0;
            bool herdCode = true;
            try {
                unload.setValue(1, row.code);
            } catch (const AppError &error) {
                if (error.number() != ErrNo::TypeMismatch)
                    throw;
                // A group no herd claimed, with a code that is no number.
                unload.setValue(1, vb::val(row.code));
                herdCode = false;
            }
            if (herdCode)
                Buscar_Cab(ctx, name, category, activity, pen);
            else
                name = QStringLiteral("sin descripcion");
            unload.setValue(2, name);
            unload.setValue(3, row.heads);
            unload.setValue(4, category);
            unload.setValue(5, activity);
            unload.setValue(6, pen);
            unload.setValue(7, wholeText(row.pitKg));
            unload.setValue(8, wholeText(row.pitKg));
            unload.setValue(9, hour);
            unload.setValue(10, 0);
            unload.setValue(11, kPitTablet);
            unload.setValue(12, kPitTablet);
            unload.setValue(14, 0);
            unload.update();
            ctx.window.yieldToEvents();
        }
        unload.close();

        TableWriter load = db->openTable(QStringLiteral("Lectura_carga"));
        load.addNew();
        load.setValue(0, tripId);
        load.setValue(1, foodId);
        load.setValue(2, foodName);
        load.setValue(3, 0);
        load.setValue(4, wholeText(totalKg));
        load.setValue(5, wholeText(totalKg));
        load.setValue(6, hour);
        load.setValue(7, 0);
        load.setValue(8, kPitTablet);
        load.setValue(9, kPitTablet);
        load.setValue(10, 0);
        load.update();
        ctx.window.yieldToEvents();
        load.close();

        db->commitTrans();
    } catch (const AppError &error) {
        ctx.notices.messageBox(QStringLiteral("Error %1 (%2) in procedure Dar_Viaje_Fosa of Formulario MdiPrincipal")
                                   .arg(error.number())
                                   .arg(error.description()),
                               UserNotices::Icon::None, QStringLiteral("Zelvano"));
        if (db && db->isOpen() && db->inTransaction())
            db->rollbackTrans();
    }
}

} // namespace zelvano
