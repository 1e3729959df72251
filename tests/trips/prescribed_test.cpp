#include "support/testsupport.h"
#include "trips/prescribed.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace zelvano;
using namespace zelvano::test;

namespace {

class PrescribedTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        home.connect();
        home.exec("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (7, 2, 3000)");
        home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 2, 40, 1200)");
        home.exec("insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, kilos) values (7, 2, '12', 450)");
    }

    void trip(int id, const QString &turno, const QString &prg, const QString &pres,
              const QString &kgTotPres = "null")
    {
        home.exec(QStringLiteral("insert into lectura_viajes (id, Turno, id_prg, id_pres, Kg_Tot_Pres) "
                                 "values (%1, %2, %3, %4, %5)")
                      .arg(id)
                      .arg(turno, prg, pres, kgTotPres));
    }
    void load(int trip, int alim, const QString &kg = "null")
    {
        home.exec(QStringLiteral("insert into lectura_Carga (id_viaje, Id_alim, Kg_Prescriptos) values (%1, %2, %3)")
                      .arg(trip)
                      .arg(alim)
                      .arg(kg));
    }
    void unload(int trip, int herd, const QString &kg = "null")
    {
        home.exec(QStringLiteral("insert into lectura_descarga (id_viaje, id_rodeo, Kg_Prescriptos) values (%1, %2, %3)")
                      .arg(trip)
                      .arg(herd)
                      .arg(kg));
    }
    QVariant tripKg(int id) const
    {
        return home.scalar(QStringLiteral("select Kg_Tot_Pres from lectura_viajes where id = %1").arg(id));
    }
    QVariant loadKg(int trip) const
    {
        return home.scalar(QStringLiteral("select Kg_Prescriptos from lectura_Carga where id_viaje = %1").arg(trip));
    }
    QVariant unloadKg(int trip) const
    {
        return home.scalar(QStringLiteral("select Kg_Prescriptos from lectura_descarga where id_viaje = %1").arg(trip));
    }

    TestHome home;
};

TEST_F(PrescribedTest, FillsTripsLoadsAndUnloadsFromTheirPrescription)
{
    trip(1, "1", "2", "7");
    load(1, 40);
    unload(1, 12);
    trip(2, "1", "3", "7"); // programmed trip 3 has no prescription rows
    load(2, 40);
    unload(2, 12);
    Setear_Prescriptos(home.ctx);
    EXPECT_EQ(tripKg(1).toDouble(), 3000);
    EXPECT_EQ(loadKg(1).toDouble(), 1200);
    EXPECT_EQ(unloadKg(1).toDouble(), 450) << "herd 12 finds id_corral '12'";
    EXPECT_EQ(tripKg(2).toDouble(), 0);
    EXPECT_TRUE(tripKg(2).isValid());
    EXPECT_EQ(loadKg(2).toDouble(), 0);
    EXPECT_EQ(unloadKg(2).toDouble(), 0);

    // The zeros are looked up again once the prescription exists.
    home.exec("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (7, 3, 2500)");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 3, 40, 900)");
    home.exec("insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, kilos) values (7, 3, '12', 330)");
    Setear_Prescriptos(home.ctx);
    EXPECT_EQ(tripKg(2).toDouble(), 2500);
    EXPECT_EQ(loadKg(2).toDouble(), 900);
    EXPECT_EQ(unloadKg(2).toDouble(), 330);
    EXPECT_TRUE(home.notices.notices().empty());

    // Zeros that would be 0 again are looked up but not written again.
    trip(3, "1", "9", "7");
    load(3, 40);
    unload(3, 12);
    Setear_Prescriptos(home.ctx);
    EXPECT_EQ(tripKg(3).toDouble(), 0);
    EXPECT_TRUE(loadKg(3).isValid());
    EXPECT_TRUE(unloadKg(3).isValid());
    const qint64 before = home.ctx.db().statementCount();
    Setear_Prescriptos(home.ctx);
    EXPECT_EQ(home.ctx.db().statementCount() - before, 3 + 3) << "three passes, three lookups";
    EXPECT_EQ(tripKg(3).toDouble(), 0);
}

TEST_F(PrescribedTest, EachRowGetsTheValueOfItsOwnKeys)
{
    // One fill meets the same prescription under other programmed trips,
    // ingredients and herds: every row keeps the value of its own keys.
    home.exec("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (7, 3, 2500)");
    home.exec("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (8, 2, 1800)");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 2, 41, 700)");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 3, 40, 900)");
    home.exec("insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, kilos) values (7, 2, '13', 460)");
    home.exec("insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, kilos) values (7, 3, '12', 330)");
    trip(1, "1", "2", "7");
    trip(2, "1", "3", "7");
    trip(3, "1", "2", "8");
    for (int t : {1, 2, 3}) {
        load(t, 40);
        load(t, 41);
        unload(t, 12);
        unload(t, 13);
    }
    Setear_Prescriptos(home.ctx);
    auto kg = [&](const QString &sql) { return home.scalar(sql).toDouble(); };
    EXPECT_EQ(tripKg(1).toDouble(), 3000);
    EXPECT_EQ(tripKg(2).toDouble(), 2500);
    EXPECT_EQ(tripKg(3).toDouble(), 1800);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_Carga where id_viaje = 1 and Id_alim = 40"), 1200);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_Carga where id_viaje = 1 and Id_alim = 41"), 700);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_Carga where id_viaje = 2 and Id_alim = 40"), 900);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_Carga where id_viaje = 2 and Id_alim = 41"), 0);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_Carga where id_viaje = 3 and Id_alim = 40"), 0);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_descarga where id_viaje = 1 and id_rodeo = 12"), 450);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_descarga where id_viaje = 1 and id_rodeo = 13"), 460);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_descarga where id_viaje = 2 and id_rodeo = 12"), 330);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_descarga where id_viaje = 2 and id_rodeo = 13"), 0);
    EXPECT_EQ(kg("select Kg_Prescriptos from lectura_descarga where id_viaje = 3 and id_rodeo = 12"), 0);
}

TEST_F(PrescribedTest, ManyRowsOfInterleavedValuesEachGetTheirOwn)
{
    // More rows of one value than one written group holds, mixed with rows of
    // other values and with rows whose value stays null.
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 2, 41, 700)");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 3, 40, 900)");
    home.exec("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (7, 3, null)");
    for (int t = 1; t <= 700; ++t) {
        trip(t, "1", t % 2 ? "2" : "3", "7");
        load(t, 40);
        load(t, 41);
    }
    Setear_Prescriptos(home.ctx);
    auto count = [&](const QString &sql) { return home.scalar(sql).toInt(); };
    EXPECT_EQ(count("select count(*) from lectura_viajes where Kg_Tot_Pres = 3000"), 350);
    EXPECT_EQ(count("select count(*) from lectura_viajes where Kg_Tot_Pres is null"), 350);
    EXPECT_EQ(count("select count(*) from lectura_viajes v where Kg_Tot_Pres = 3000 and id_prg <> 2"), 0);
    EXPECT_EQ(count("select count(*) from lectura_Carga c, lectura_viajes v where v.id = c.id_viaje and "
                    "v.id_prg = 2 and c.Id_alim = 40 and c.Kg_Prescriptos = 1200"), 350);
    EXPECT_EQ(count("select count(*) from lectura_Carga c, lectura_viajes v where v.id = c.id_viaje and "
                    "v.id_prg = 2 and c.Id_alim = 41 and c.Kg_Prescriptos = 700"), 350);
    EXPECT_EQ(count("select count(*) from lectura_Carga c, lectura_viajes v where v.id = c.id_viaje and "
                    "v.id_prg = 3 and c.Id_alim = 40 and c.Kg_Prescriptos = 900"), 350);
    EXPECT_EQ(count("select count(*) from lectura_Carga c, lectura_viajes v where v.id = c.id_viaje and "
                    "v.id_prg = 3 and c.Id_alim = 41 and c.Kg_Prescriptos = 0"), 350);
}

TEST_F(PrescribedTest, AValueOnceSetIsNeverTouched)
{
    trip(1, "1", "2", "7", "111");
    load(1, 40, "350");
    unload(1, 12, "222");
    Setear_Prescriptos(home.ctx);
    EXPECT_EQ(tripKg(1).toDouble(), 111);
    EXPECT_EQ(loadKg(1).toDouble(), 350);
    EXPECT_EQ(unloadKg(1).toDouble(), 222);
}

TEST_F(PrescribedTest, Shift99GetsZerosButItsUnloadsAreLookedUp)
{
    trip(1, "99", "2", "7");
    load(1, 40);
    unload(1, 12);
    trip(2, "null", "2", "7"); // no shift: the trip gets 0, its loads are looked up
    load(2, 40);
    Setear_Prescriptos(home.ctx);
    EXPECT_EQ(tripKg(1).toDouble(), 0);
    EXPECT_EQ(loadKg(1).toDouble(), 0);
    EXPECT_EQ(unloadKg(1).toDouble(), 450);
    EXPECT_EQ(tripKg(2).toDouble(), 0);
    EXPECT_EQ(loadKg(2).toDouble(), 1200);
}

TEST_F(PrescribedTest, BadRowsDoNotStopTheRowsAfterThem)
{
    trip(1, "1", "null", "7"); // no programmed trip
    load(1, 40);
    unload(1, 12);
    trip(2, "1", "2", "null"); // no prescription
    load(2, 40);
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (8, 2, 40, null)");
    home.exec("insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, kilos) values (8, 2, '12', null)");
    trip(3, "1", "2", "8"); // prescription 8 with null kilos
    load(3, 40);
    unload(3, 12);
    trip(4, "1", "2", "7");
    load(4, 40);
    unload(4, 12);
    Setear_Prescriptos(home.ctx);
    EXPECT_EQ(tripKg(1).toDouble(), 0);
    EXPECT_EQ(loadKg(1).toDouble(), 0);
    EXPECT_EQ(unloadKg(1).toDouble(), 0);
    EXPECT_EQ(loadKg(2).toDouble(), 0);
    EXPECT_TRUE(loadKg(3).isValid());
    EXPECT_EQ(loadKg(3).toDouble(), 0);
    EXPECT_EQ(unloadKg(3).toDouble(), 0);
    EXPECT_EQ(tripKg(4).toDouble(), 3000);
    EXPECT_EQ(loadKg(4).toDouble(), 1200);
    EXPECT_EQ(unloadKg(4).toDouble(), 450);
}

TEST_F(PrescribedTest, ARowThatDoesNotConvertKeepsWhatWasFoundAndTheFillGoesOn)
{
    // Programmed trip 3 of prescription 7 and ingredient 41 have kilos that
    // are no number; the rows before and after them get theirs.
    home.exec(
        "insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (7, 3, 'x')");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, "
              "kilos) values (7, 2, 41, 'abc')");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, "
              "kilos) values (7, 2, 42, 800)");
    trip(1, "1", "2", "7");
    trip(2, "1", "3", "7");
    trip(3, "1", "2", "7");
    for (int alim : {40, 41, 42})
        load(1, alim);
    unload(1, 12);

    Setear_Prescriptos(home.ctx);

    EXPECT_EQ(tripKg(1).toDouble(), 3000);
    EXPECT_FALSE(tripKg(2).isValid());
    EXPECT_EQ(tripKg(3).toDouble(), 3000);
    auto kgOf = [&](int alim) {
        return home.scalar(
            QStringLiteral("select Kg_Prescriptos from lectura_Carga where Id_alim = %1")
                .arg(alim));
    };
    EXPECT_EQ(kgOf(40).toDouble(), 1200);
    EXPECT_FALSE(kgOf(41).isValid()) << "left missing, to be looked up again";
    EXPECT_EQ(kgOf(42).toDouble(), 800);
    EXPECT_EQ(unloadKg(1).toDouble(), 450) << "the later passes ran";
    EXPECT_TRUE(eventTexts(home).isEmpty());
    EXPECT_TRUE(home.notices.notices().empty());

    // Mended, the next fill finds them.
    home.exec("update prescripcion_viajes set kilos = 2500 where id_viaje = 3");
    home.exec("update Prescripcion_detalle_alimentos set kilos = 300 where id_alimento = 41");
    Setear_Prescriptos(home.ctx);
    EXPECT_EQ(tripKg(2).toDouble(), 2500);
    EXPECT_EQ(kgOf(41).toDouble(), 300);
}

TEST_F(PrescribedTest, EndsSilentlyOnADatabaseError)
{
    trip(1, "1", "2", "7");
    load(1, 40);
    home.exec("drop table Prescripcion_detalle_alimentos");
    Setear_Prescriptos(home.ctx);
    EXPECT_EQ(tripKg(1).toDouble(), 3000) << "the trips pass ran before the failure";
    EXPECT_FALSE(loadKg(1).isValid());
    EXPECT_TRUE(home.notices.notices().empty());
    EXPECT_TRUE(eventTexts(home).isEmpty());
    EXPECT_FALSE(home.ctx.db().inTransaction());
}

TEST_F(PrescribedTest, PassesVisitOnlyMissingRowsThroughTheirIndexes)
{
    const QStringList queries{
        "select Kg_Tot_Pres, id_pres, id_prg, id, Turno from lectura_viajes where (Kg_Tot_Pres = 0 or Kg_Tot_Pres is null)",
        "select c.Kg_Prescriptos, v.id_pres, v.id_prg, c.Id_alim, c.id_mod, v.turno  from lectura_viajes v, lectura_Carga c where v.id = c.id_viaje and (Kg_Prescriptos = 0 or Kg_Prescriptos is null)",
        "select Kg_Prescriptos, id_pres, id_prg, Id_Rodeo, id_mod from lectura_viajes v, lectura_descarga c where v.id = c.id_viaje and (Kg_Prescriptos = 0 or Kg_Prescriptos is null)"};
    for (const QString &q : queries) {
        Recordset plan = home.ctx.db().openRecordset("explain query plan " + q);
        QStringList steps;
        for (; !plan.eof(); plan.moveNext())
            steps << plan.value(3).toString();
        const QString text = steps.join(" | ");
        EXPECT_FALSE(text.contains(QRegularExpression("SCAN (v|c|lectura_viajes)\\b")))
            << text.toStdString();
        EXPECT_TRUE(text.contains("kg_tot_pres") || text.contains("kg_prescriptos"))
            << text.toStdString();
    }
}

TEST_F(PrescribedTest, ConcentrateBreakdownRoundsHalvesAwayAndReportsErrors)
{
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 50, 'Balanceado', 'Concentrado')");
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 51, 'Maiz', 'Grano')");
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 53, 'Urea', 'Grano')");
    home.exec("insert into prescripcion_detalle_concentrado (id_prescripcion, id_con, Id_Ali, prop) values (7, 50, 51, 50)");
    home.exec("insert into prescripcion_detalle_concentrado (id_prescripcion, id_con, Id_Ali, prop) values (7, 50, 53, 50)");
    Inserta_Composicion_Concentrado(home.ctx, 7, 50, 5.0, 900, 1, 2469.0);
    EXPECT_EQ(home.scalar("select kg_real from lectura_carga_detalle_conc where id_ali = 51").toDouble(), 3);
    EXPECT_EQ(home.scalar("select kg_sug from lectura_carga_detalle_conc where id_ali = 51").toDouble(), 1235);

    // Not a concentrate of this prescription: nothing.
    Inserta_Composicion_Concentrado(home.ctx, 7, 51, 100, 901, 1, 100);
    Inserta_Composicion_Concentrado(home.ctx, 8, 50, 100, 902, 1, 100);
    EXPECT_EQ(home.scalar("select count(*) from lectura_carga_detalle_conc").toInt(), 2);

    home.exec("update prescripcion_detalle_concentrado set prop = null where Id_Ali = 53");
    Inserta_Composicion_Concentrado(home.ctx, 7, 50, 100, 903, 1, 100);
    EXPECT_EQ(home.scalar("select count(*) from lectura_carga_detalle_conc where id_mod = 903").toInt(), 1)
        << "the row before the failure stays";
    ASSERT_EQ(home.notices.notices().size(), 1u);
    const auto &box = home.notices.notices()[0];
    EXPECT_EQ(box.kind, "message");
    EXPECT_EQ(box.icon, UserNotices::Icon::Critical);
    EXPECT_EQ(box.title, "94");
    EXPECT_TRUE(box.text.endsWith(" en Procedimiento Inserta_Composicion_Concentrado"));
}

} // namespace
