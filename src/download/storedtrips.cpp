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

std::optional<qint32> operatorNumber(const QString &text)
{
    // The save reads operator ids by the same rule (trips/save.cpp).
    const QString t = text.trimmed();
    qsizetype i = 0;
    const bool negative = t.startsWith(u'-');
    if (negative || t.startsWith(u'+'))
        ++i;
    const qsizetype first = i;
    qint64 n = 0;
    for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
        n = n * 10 + (t[i].unicode() - u'0');
        if (n > qint64(1) << 31)
            return std::nullopt;
    }
    if (i == first)
        return std::nullopt;
    if (i < t.size() && t[i] == u'.')
        for (++i; i < t.size() && t[i] == u'0';)
            ++i;
    if (i != t.size())
        return std::nullopt;
    n = negative ? -n : n;
    if (n > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(n);
}

void Buscar_Usuario(AppContext &ctx, QString &id)
{
    const std::optional<qint32> number = operatorNumber(id);
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
