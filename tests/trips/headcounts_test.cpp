#include "support/testsupport.h"
#include "trips/headcounts.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <functional>

using namespace zelvano;

namespace {

// Records every change made to the overlay, so the order of hide and event shows.
class TracingOverlay : public HeadlessOverlay
{
public:
    TracingOverlay(QStringList &trace, std::function<int()> eventCount)
        : m_trace(trace), m_eventCount(std::move(eventCount))
    {
    }
    void setVisible(bool visible) override
    {
        HeadlessOverlay::setVisible(visible);
        m_trace << (visible ? QStringLiteral("show")
                            : QStringLiteral("hide after %1 events").arg(m_eventCount()));
    }
    void setText(const QString &text) override
    {
        HeadlessOverlay::setText(text);
        m_trace << QStringLiteral("text:") + text;
    }

private:
    QStringList &m_trace;
    std::function<int()> m_eventCount;
};

class HeadCountTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        home.exec("insert into rodeos (id, Descripcion, cabezas) values ('4', 'Vaquillonas', 50)");
        home.exec("insert into rodeos (id, Descripcion, cabezas) values ('7', 'Secas', 70)");
        home.exec("insert into rodeos (id, Descripcion, cabezas) values ('9', 'Toros', 9)");
        home.connect();
    }

    QVariant heads(const QString &id) const
    {
        return home.scalar("select cabezas from rodeos where id = '" + id + "'");
    }

    void addUnload(int trip, const QString &fecha, int herd, int cabezas)
    {
        if (!home.scalar("select id from lectura_viajes where id = " + QString::number(trip))
                 .isValid())
            home.exec(QStringLiteral("insert into lectura_viajes (id, fecha) values (%1, #%2#)")
                          .arg(trip)
                          .arg(fecha));
        home.exec(QStringLiteral("insert into lectura_descarga (id_viaje, id_rodeo, descripcion, "
                                 "cabezas) values (%1, %2, 'R', %3)")
                      .arg(trip)
                      .arg(herd)
                      .arg(cabezas));
    }

    test::TestHome home;
};

TEST_F(HeadCountTest, FeedingTakesTheLatestDateThenTheUnloadStoredLast)
{
    addUnload(1, "10/03/2026", 4, 120);
    addUnload(2, "12/03/2026", 4, 118);
    addUnload(3, "01/03/2026", 7, 66);
    Actualizar_Cabezas_Nube(home.ctx);
    EXPECT_EQ(heads("4").toInt(), 118);
    EXPECT_EQ(heads("7").toInt(), 66);
    EXPECT_EQ(heads("9").toInt(), 9) << "a herd never fed keeps its count";

    addUnload(4, "12/03/2026", 4, 117);
    Actualizar_Cabezas_Nube(home.ctx);
    EXPECT_EQ(heads("4").toInt(), 117) << "same date: the unload stored last wins";

    const QStringList events = test::eventTexts(home);
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0], "Se Actualizaron las cabezas de los rodeos correctamente con las "
                         "cabezas de la ultima ronda de alimentacion  10:00:00");
    EXPECT_FALSE(home.overlay.isVisible());
    EXPECT_EQ(home.overlay.maximum(), 3);
    EXPECT_EQ(home.overlay.value(), 3);
}

TEST_F(HeadCountTest, FrameOrderAndProgressTexts)
{
    addUnload(1, "10/03/2026", 7, 71);
    QStringList trace;
    TracingOverlay overlay(trace, [this] { return int(test::eventTexts(home).size()); });
    AppContext ctx(home.clock, home.notices, overlay, home.window);
    ctx.connection = std::move(home.ctx.connection);
    ctx.Connected = true;

    Actualizar_Cabezas_Nube(ctx);
    const QStringList expected{
        "show",
        "text:Espere...Actualizando Cabezas de Rodeos",
        "show",
        "text:Espere...Sincronizando con la ultima lectura de Cabezas",
        "text:Sincronizando cabezas de rodeo Secas con la ultima descarga de la nube ",
        "hide after 1 events"};
    EXPECT_EQ(trace, expected);

    // The milking refresh hides before it writes its event; the feeding one after.
    home.exec("insert into Produccion_Lactea (id, fecha) values (1, #01/12/2026#)");
    home.exec("insert into detalle_Produccion_Lactea (id, Rodeo, cabezas) values (1, '7', 80)");
    trace.clear();
    Actualizar_Cabezas_Litros(ctx);
    EXPECT_EQ(trace.last(), "hide after 1 events");
    EXPECT_TRUE(trace.contains("text:Sincronizando rodeo Secas con la ultima lectura de Cabezas"));
    EXPECT_EQ(test::eventTexts(home).size(), 2);
    EXPECT_EQ(heads("7").toInt(), 80);
}

TEST_F(HeadCountTest, MilkUsesOnlyTheNewestReadingThatHasLines)
{
    home.exec("insert into Produccion_Lactea (id, fecha) values (40000, #01/12/2026#)");
    home.exec("insert into Produccion_Lactea (id, fecha) values (40001, #02/12/2026#)");
    home.exec("insert into Produccion_Lactea (id, fecha) values (40002, #03/12/2026#)"); // no lines
    home.exec("insert into detalle_Produccion_Lactea (id, Rodeo, cabezas) values (40000, '4', 44)");
    home.exec("insert into detalle_Produccion_Lactea (id, Rodeo, cabezas) values (40000, '9', 99)");
    home.exec("insert into detalle_Produccion_Lactea (id, Rodeo, cabezas) values (40001, '4', 41)");
    home.exec("insert into detalle_Produccion_Lactea (id, Rodeo, cabezas) values (40001, '7', 77)");

    Actualizar_Cabezas_Litros(home.ctx);
    EXPECT_EQ(heads("4").toInt(), 41);
    EXPECT_EQ(heads("7").toInt(), 77);
    EXPECT_EQ(heads("9").toInt(), 9) << "no line in the newest reading: keeps its count";
    const QStringList events = test::eventTexts(home);
    ASSERT_EQ(events.size(), 1);
    EXPECT_EQ(events[0], QString::fromUtf8("Se Actualizaron las cabezas de los rodeos "
                                           "correctamente con las cabezas del ordeñe  10:00:00"));
    EXPECT_FALSE(home.overlay.isVisible());
}

TEST_F(HeadCountTest, MilkWithoutReadingsChangesNothingAndWritesNoEvent)
{
    home.exec("insert into Produccion_Lactea (id, fecha) values (1, #01/12/2026#)");
    Actualizar_Cabezas_Litros(home.ctx);
    EXPECT_EQ(heads("4").toInt(), 50);
    EXPECT_TRUE(test::eventTexts(home).isEmpty());
    EXPECT_FALSE(home.overlay.isVisible());
}

TEST_F(HeadCountTest, EmptyHerdTableKeepsTheMaximumAndStillLogsSuccess)
{
    home.exec("delete from rodeos");
    home.overlay.setMaximum(42);
    Actualizar_Cabezas_Nube(home.ctx);
    EXPECT_EQ(home.overlay.maximum(), 42);
    EXPECT_EQ(test::eventTexts(home).size(), 1);
}

TEST_F(HeadCountTest, FailuresAreLoggedWithTheProcedureName)
{
    // A head count too big for 32 bits cannot be taken.
    addUnload(1, "10/03/2026", 4, 0);
    home.exec("update lectura_descarga set cabezas = 5000000000");
    Actualizar_Cabezas_Nube(home.ctx);
    QStringList events = test::eventTexts(home);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith("Error 6 (")) << events[0].toStdString();
    EXPECT_TRUE(events[0].endsWith(") en procedimiento Actualizar cabezas de la nube 10:00:00"))
        << events[0].toStdString();
    EXPECT_EQ(heads("4").toInt(), 50);
    EXPECT_FALSE(home.overlay.isVisible());

    home.exec("insert into Produccion_Lactea (id, fecha) values (1, #01/12/2026#)");
    home.exec("insert into detalle_Produccion_Lactea (id, Rodeo, cabezas) values (1, '7', null)");
    Actualizar_Cabezas_Litros(home.ctx);
    events = test::eventTexts(home);
    ASSERT_EQ(events.size(), 2);
    EXPECT_TRUE(events[1].endsWith(") en procedimiento Actualizar cabezas desde lectura de litros "
                                   "producidos 10:00:00"))
        << events[1].toStdString();
}

} // namespace
