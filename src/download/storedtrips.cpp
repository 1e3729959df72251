#include "download/storedtrips.h"

#include "common/error.h"
#include "common/tripgrid.h"
#include "common/vb.h"
#include "store/appcontext.h"
#include "store/eventlog.h"

namespace zelvano {

bool isWholeNumberText(const QString &text)
{
    const QString t = text.trimmed();
    int i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    if (i >= t.size() || t.size() - i > 18)
        return false;
    for (; i < t.size(); ++i) {
        if (t[i] < QLatin1Char('0') || t[i] > QLatin1Char('9'))
            return false;
    }
    return true;
}

void Buscar_Usuario(AppContext &ctx, QString &id)
{
    if (!isWholeNumberText(id)) {
        id = QStringLiteral("ANONIMO");
        return;
    }
    Recordset rs = ctx.db().openRecordset(QStringLiteral("select * from usuario where id = ") +
                                          id.trimmed() + QStringLiteral(" "));
    if (rs.eof())
        id = QStringLiteral("ANONIMO");
    else
        id = vb::joinText(rs.value(1)) + QStringLiteral(", ") + vb::joinText(rs.value(2));
}

void Comparar_Guardados(AppContext &ctx, TripGrid &grid)
{
    try {
        for (int row = 0; row < grid.rowCount(); ++row) {
            const QString id = vb::toText(grid.row(row).value(0));
            Recordset rs = ctx.db().openRecordset(
                QStringLiteral("select * from lectura_viajes where id = ") + id +
                QStringLiteral(" "));
            if (!rs.eof())
                grid.setIcon(row, 0, TripGrid::kStoredIcon);
        }
    } catch (const AppError &e) {
        const QString text = procedureErrorText(e, QStringLiteral("Comparar_Guardados")) +
                             ctx.timeText();
        try {
            Grabar_Suceso(ctx, ctx.today(), text);
        } catch (const AppError &) {
            reportUnlogged(e, QStringLiteral("Comparar_Guardados"));
        }
    }
}

} // namespace zelvano
