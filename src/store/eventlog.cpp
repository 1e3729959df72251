#include "store/eventlog.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "store/appcontext.h"
#include "store/connection.h"
#include "store/tables.h"

#include <cstdio>

namespace zelvano {

QString sucesoInsertSql(const QDate &fecha, const QString &descripcion)
{
    QString text = descripcion;
    text.replace(QLatin1Char('\''), QLatin1String("''"));
    return QStringLiteral("insert into sucesos (fecha, descripcion) values ('") +
           DateTexts::date(fecha) + QStringLiteral("', '") + text + QStringLiteral("');");
}

QString sucesosWeekSql(const QDate &today)
{
    return QStringLiteral("Select * from sucesos where fecha between #") +
           DateTexts::date(today.addDays(-7)) + QStringLiteral("# and #") + DateTexts::date(today) +
           QStringLiteral("# order by fecha desc, id desc ");
}

void Grabar_Suceso(AppContext &ctx, const QDate &fecha, const QString &descripcion)
{
    ctx.db().execute(sucesoInsertSql(fecha, descripcion));
}

bool logEventText(AppContext &ctx, const QString &text)
{
    try {
        Grabar_Suceso(ctx, ctx.today(), text);
        return true;
    } catch (const AppError &error) {
        std::fprintf(stderr, "%s\n(%s)\n", text.toLocal8Bit().constData(),
                     ErrorText::inProcedure(error, QStringLiteral("Grabar_Suceso"))
                         .toLocal8Bit()
                         .constData());
        return false;
    }
}

bool logEvent(AppContext &ctx, const QString &textBeforeTime)
{
    return logEventText(ctx, textBeforeTime + ctx.timeText());
}

void reportUnlogged(const AppError &error, const QString &procedure)
{
    std::fprintf(stderr, "%s\n", ErrorText::inWindow(error, procedure).toLocal8Bit().constData());
}

namespace {

void loadWeek(AppContext &ctx)
{
    {
        Recordset rs = ctx.db().openRecordset(sucesosWeekSql(ctx.today()));
        for (; !rs.eof(); rs.moveNext())
            ctx.events.push_back(
                {rs.value(Sucesos::Id), rs.value(Sucesos::Fecha), rs.value(Sucesos::Descripcion)});
    }
    closeLocalConnection(ctx);
}

} // namespace

Outcome Cargar_Sucesos(AppContext &ctx)
{
    Outcome outcome;
    ctx.events.clear();
    try {
        try {
            loadWeek(ctx);
        } catch (const AppError &error) {
            if (error.number() != ErrNo::ConnectionClosed)
                throw;
            Conectar_Base(ctx);
            loadWeek(ctx);
        }
    } catch (const AppError &error) {
        outcome.fail(error);
        ctx.notices.messageBox(ErrorText::inProcedure(error, QStringLiteral("Cargar_Sucesos"),
                                                      QStringLiteral("Formulario MdiPrincipal")),
                               UserNotices::Icon::Critical, QStringLiteral("Error en Cargar_Sucesos "));
    }
    return outcome;
}

} // namespace zelvano
