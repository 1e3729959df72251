#include "store/eventlog.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "store/appcontext.h"
#include "store/connection.h"

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

QString procedureErrorText(const AppError &error, const QString &procedure)
{
    return QStringLiteral("Error %1 (%2) en procedimiento %3 de Formulario FrmSucesos ")
        .arg(error.number())
        .arg(error.description(), procedure);
}

void reportUnlogged(const AppError &error, const QString &procedure)
{
    std::fprintf(stderr, "%s\n",
                 procedureErrorText(error, procedure).toLocal8Bit().constData());
}

namespace {

void loadWeek(AppContext &ctx)
{
    Recordset rs = ctx.db().openRecordset(sucesosWeekSql(ctx.today()));
    while (!rs.eof()) {
        ctx.events.push_back({rs.value(0), rs.value(1), rs.value(2)});
        rs.moveNext();
    }
    rs.close();
    closeLocalConnection(ctx);
}

} // namespace

void Cargar_Sucesos(AppContext &ctx)
{
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
        ctx.notices.messageBox(
            QStringLiteral("Error %1 (%2) en procedimiento Cargar_Sucesos de Formulario MdiPrincipal")
                .arg(error.number())
                .arg(error.description()),
            UserNotices::Icon::Critical, QStringLiteral("Error en Cargar_Sucesos "));
    }
}

} // namespace zelvano
