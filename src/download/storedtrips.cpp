#include "download/storedtrips.h"

#include "common/error.h"
#include "common/errortext.h"
#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "common/vb.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "store/tables.h"

#include <limits>

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
    const std::optional<qint32> number = vb::plainWholeNumber(id);
    if (!number) {
        id = QStringLiteral("ANONIMO");
        return;
    }
    Recordset rs = ctx.db().openRecordset(QStringLiteral("select * from usuario where id = ") +
                                          QString::number(*number) + QStringLiteral(" "));
    if (rs.eof())
        id = QStringLiteral("ANONIMO");
    else
        id = vb::joinText(rs.value(Usuario::Apellido)) + QStringLiteral(", ") +
             vb::joinText(rs.value(Usuario::Nombre));
}

Outcome Comparar_Guardados(AppContext &ctx, TripGrid &grid)
{
    Outcome outcome;
    try {
        for (int row = 0; row < grid.rowCount(); ++row) {
            const QString id = vb::toText(grid.row(row).value(TripCell::Id));
            Recordset rs = ctx.db().openRecordset(
                QStringLiteral("select * from lectura_viajes where id = ") + id +
                QStringLiteral(" "));
            if (!rs.eof())
                grid.setIcon(row, TripCell::Id, TripGrid::kStoredIcon);
        }
    } catch (const AppError &e) {
        outcome.fail(e);
        logEvent(ctx, ErrorText::inWindow(e, QStringLiteral("Comparar_Guardados")));
    }
    return outcome;
}

} // namespace zelvano
