#include "trips/headcounts.h"

#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "store/appcontext.h"
#include "store/eventlog.h"

#include <functional>
#include <optional>

namespace zelvano {

namespace {

// What differs between the two refreshes: where a herd's new count comes from
// and what the user reads meanwhile.
struct HeadCountSource
{
    // The lookup for one herd; nullopt when the herd has no newer count.
    std::function<std::optional<qint32>(AppContext &, const QString &herd)> lookup;
    QString progressPrefix;
    QString progressSuffix;
};

// The columns of the herd walk's statement.
enum { HerdId, HerdHeads, HerdName };

void walkHerds(AppContext &ctx, const HeadCountSource &source, Recordset &herds)
{
    int value = 0;
    while (!herds.eof()) {
        const QString herd = vb::numberText(vb::val(vb::joinText(herds.value(HerdId))));
        if (const std::optional<qint32> count = source.lookup(ctx, herd)) {
            ctx.overlay.setText(source.progressPrefix + vb::joinText(herds.value(HerdName)) +
                                source.progressSuffix);
            ctx.window.yieldToEvents();
            herds.setValue(HerdHeads, *count);
            herds.update();
        }
        ctx.overlay.setValue(++value);
        herds.moveNext();
    }
}

Recordset openHerds(AppContext &ctx)
{
    ctx.overlay.setVisible(true);
    ctx.overlay.setText(QStringLiteral("Espere...Actualizando Cabezas de Rodeos"));
    ctx.window.yieldToEvents();
    Recordset herds =
        ctx.db().openRecordset(QStringLiteral("select id, cabezas, Descripcion from rodeos"), true);
    ctx.overlay.setVisible(true);
    ctx.overlay.setText(QStringLiteral("Espere...Sincronizando con la ultima lectura de Cabezas"));
    if (herds.recordCount() > 0)
        ctx.overlay.setMaximum(herds.recordCount());
    ctx.overlay.setValue(0);
    return herds;
}

Outcome logFailure(AppContext &ctx, const AppError &error, const QString &procedure)
{
    logEvent(ctx, ErrorText::inProcedure(error, procedure) + u' ');
    ctx.overlay.setVisible(false);
    Outcome outcome;
    outcome.fail(error);
    return outcome;
}

} // namespace

Outcome Actualizar_Cabezas_Nube(AppContext &ctx)
{
    try {
        Recordset herds = openHerds(ctx);
        HeadCountSource source;
        source.lookup = [](AppContext &c, const QString &herd) -> std::optional<qint32> {
            Recordset rs = c.db().openRecordset(
                QStringLiteral("select top 1 v.id, d.descripcion as Rodeo, cabezas, fecha,  hora, "
                               "id_mod from lectura_viajes v, lectura_descarga d Where V.Id = "
                               "d.ID_Viaje and id_rodeo = ") +
                herd + QStringLiteral(" order by fecha desc, id_mod desc"));
            enum { Id, Rodeo, Cabezas };
            if (rs.eof())
                return std::nullopt;
            return vb::toLong(rs.value(Cabezas));
        };
        source.progressPrefix = QStringLiteral("Sincronizando cabezas de rodeo ");
        source.progressSuffix = QStringLiteral(" con la ultima descarga de la nube ");
        walkHerds(ctx, source, herds);
        Grabar_Suceso(ctx, ctx.today(),
                      QStringLiteral("Se Actualizaron las cabezas de los rodeos correctamente con "
                                     "las cabezas de la ultima ronda de alimentacion  ") +
                          ctx.timeText());
        ctx.overlay.setVisible(false);
    } catch (const AppError &error) {
        return logFailure(ctx, error, QStringLiteral("Actualizar cabezas de la nube"));
    }
    return Outcome();
}

Outcome Actualizar_Cabezas_Litros(AppContext &ctx)
{
    try {
        Recordset herds = openHerds(ctx);
        Recordset newest = ctx.db().openRecordset(QStringLiteral(
            "select id, Fecha from produccion_lactea p where exists  (select id from "
            "detalle_produccion_lactea d where p.id = d.id ) order by fecha desc"));
        if (newest.eof()) {
            ctx.overlay.setVisible(false);
            return Outcome();
        }
        // A 32-bit id: readings are numbered past 32767 on long-running farms.
        const QString reading = QString::number(vb::toLong(newest.value(0)));

        HeadCountSource source;
        source.lookup = [reading](AppContext &c, const QString &herd) -> std::optional<qint32> {
            Recordset rs = c.db().openRecordset(
                QStringLiteral("select p.id, d.cabezas from produccion_lactea p, "
                               "detalle_produccion_lactea d where p.id = d.id and p.id = ") +
                reading + QStringLiteral(" and VAL(Rodeo) = ") + herd +
                QStringLiteral(" order by p.fecha desc"));
            enum { Id, Cabezas };
            if (rs.eof())
                return std::nullopt;
            return vb::toLong(rs.value(Cabezas));
        };
        source.progressPrefix = QStringLiteral("Sincronizando rodeo ");
        source.progressSuffix = QStringLiteral(" con la ultima lectura de Cabezas");
        walkHerds(ctx, source, herds);
        ctx.overlay.setVisible(false);
        Grabar_Suceso(ctx, ctx.today(),
                      QStringLiteral("Se Actualizaron las cabezas de los rodeos correctamente con "
                                     "las cabezas del ordeñe  ") +
                          ctx.timeText());
    } catch (const AppError &error) {
        return logFailure(ctx, error,
                          QStringLiteral("Actualizar cabezas desde lectura de litros producidos"));
    }
    return Outcome();
}

} // namespace zelvano
