#include "common/error.h"
#include "store/connection.h"
#include "store/eventlog.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace zelvano;
using zelvano::test::TestHome;

TEST(EventLog, StatementTexts)
{
    EXPECT_EQ(sucesoInsertSql(QDate(2026, 12, 7), "Fin"),
              "insert into sucesos (fecha, descripcion) values ('07/12/2026', 'Fin');");
    EXPECT_EQ(sucesoInsertSql(QDate(2026, 12, 7), "l'orage"),
              "insert into sucesos (fecha, descripcion) values ('07/12/2026', 'l''orage');");
    EXPECT_EQ(sucesosWeekSql(QDate(2026, 12, 7)),
              "Select * from sucesos where fecha between #30/11/2026# and #07/12/2026# order by "
              "fecha desc, id desc ");
}

TEST(EventLog, WritesAsWrittenAndNeverOpensAConnection)
{
    TestHome home;
    EXPECT_THROW(Grabar_Suceso(home.ctx, home.ctx.today(), "Fin"), AppError);
    home.connect();
    Grabar_Suceso(home.ctx, home.ctx.today(), "Fin de la descarga a las 10:00:00");
    Grabar_Suceso(home.ctx, home.ctx.today(), "Rodeo 'Las Marías'");
    EXPECT_EQ(test::eventTexts(home),
              QStringList({"Fin de la descarga a las 10:00:00", "Rodeo 'Las Marías'"}));
    EXPECT_EQ(home.scalar("select fecha from sucesos where id = 1").toDate(), QDate(2026, 12, 7));
}

TEST(EventLog, TheWeekNewestFirstAndTheConnectionClosed)
{
    TestHome home;
    home.connect();
    auto log = [&](const QDate &d, const QString &text) { Grabar_Suceso(home.ctx, d, text); };
    log(QDate(2026, 11, 29), "too old");
    log(QDate(2026, 11, 30), "first day");
    log(QDate(2026, 12, 7), "today 1");
    log(QDate(2026, 12, 3), "middle");
    log(QDate(2026, 12, 7), "today 2");
    log(QDate(2026, 12, 8), "tomorrow");

    Cargar_Sucesos(home.ctx);
    QStringList texts;
    for (const EventRow &row : home.ctx.events)
        texts << row.descripcion.toString();
    EXPECT_EQ(texts, QStringList({"today 2", "today 1", "middle", "first day"}));
    EXPECT_EQ(home.ctx.events.front().fecha.toDate(), QDate(2026, 12, 7));
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_EQ(home.ctx.connection, nullptr);
}

TEST(EventLog, AClosedConnectionIsOpenedOnceForTheList)
{
    TestHome home;
    home.connect();
    Grabar_Suceso(home.ctx, home.ctx.today(), "kept");
    closeLocalConnection(home.ctx);
    Cargar_Sucesos(home.ctx);
    ASSERT_EQ(home.ctx.events.size(), 1u);
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_TRUE(home.notices.notices().empty());
}

TEST(EventLog, OtherErrorsAreShownAndTheConnectionLeftAsItWas)
{
    TestHome home;
    home.connect();
    home.ctx.db().execute("drop table sucesos");
    Cargar_Sucesos(home.ctx);
    ASSERT_EQ(home.notices.notices().size(), 1u);
    EXPECT_EQ(home.notices.notices()[0].title, "Error en Cargar_Sucesos ");
    EXPECT_TRUE(home.notices.notices()[0].text.endsWith(
        ") en procedimiento Cargar_Sucesos de Formulario MdiPrincipal"));
    EXPECT_TRUE(home.ctx.Connected);
}
