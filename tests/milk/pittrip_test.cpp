#include "milkhome.h"

#include "milk/csvreader.h"
#include "milk/pittrip.h"

namespace zelvano {
namespace {

using test::MilkHome;

class PitTrip : public ::testing::TestWithParam<const char *>
{
protected:
    PitTrip() : home(QString::fromLatin1(GetParam()))
    {
        home.addHerd("12", "Alta", "G1", 4, 5, 6);
        home.addHerd("7", "Siete", "", 1, 2, 3);
    }

    void read(const QByteArray &bytes, const QString &name = "ordene_20260312.csv")
    {
        home.writeExport(name, bytes);
        LeerDatos_CSV(home.ctx, home.exportPath(name), name);
    }

    QString unload(int row, const QString &columns) const
    {
        return home.scalar(QString("select %1 from lectura_descarga where id_mod = "
                                   "(select min(id_mod) from lectura_descarga) + %2")
                               .arg(columns)
                               .arg(row))
            .toString();
    }

    MilkHome home;
};

INSTANTIATE_TEST_SUITE_P(Locales, PitTrip, ::testing::Values(".", ","));

TEST_P(PitTrip, TripUnloadsAndLoadOfTheReading)
{
    home.addPitDiet();
    read("t\r\nG1;a;40;800;0;2,5\r\n7;b;10;100;0;3,5\r\nGX;c;5;50;0;4,2\r\n");
    ASSERT_EQ(home.count("lectura_viajes"), 1);
    EXPECT_EQ(home.scalar("select id || '|' || Turno || '|' || id_receta || '|' || des_receta || '|' || "
                          "fecha || '|' || cab_tot || '|' || kg_tot_sug || '|' || kg_tot_real || '|' || "
                          "id_prg || '|' || id_pres || '|' || Kg_Tot_Pres from lectura_viajes")
                  .toString(),
              "-1|2|7|Racion fosa|2026-03-12|55.0|10.0|10.0|2|30|0.0");
    ASSERT_EQ(home.count("lectura_descarga"), 3);
    // Claimed by herd 12; unclaimed numeric 7 finds herd 7; "GX" is no herd.
    EXPECT_EQ(unload(0, "id_viaje || '|' || id_rodeo || '|' || descripcion || '|' || cabezas || '|' || "
                        "categoria || '|' || actividad || '|' || corral || '|' || kg_sug || '|' || "
                        "kg_real || '|' || hora || '|' || operario || '|' || id_tablet || '|' || "
                        "nom_tablet || '|' || coalesce(gps, 'null') || '|' || Kg_Prescriptos || '|' "
                        "|| coalesce(suceso, 'null')"),
              "-1|12|Alta|40|4|5|6|2.0|2.0|06:30:00|0|Fosa Delpro|Fosa Delpro|null|0.0|null");
    EXPECT_EQ(unload(1, "id_rodeo || '|' || descripcion || '|' || categoria || actividad || corral || "
                        "'|' || kg_sug"),
              "7|Siete|123|4.0");
    EXPECT_EQ(unload(2, "id_rodeo || '|' || descripcion || '|' || categoria || actividad || corral || "
                        "'|' || kg_sug"),
              "0|sin descripcion|000|4.0");
    EXPECT_EQ(home.scalar("select id_viaje || '|' || Id_alim || '|' || des_alim || '|' || cantidad || "
                          "'|' || kg_sug || '|' || kg_real || '|' || hora || '|' || operario || '|' || "
                          "id_tablet || '|' || nom_tablet || '|' || Kg_Prescriptos from lectura_Carga")
                  .toString(),
              "-1|501|Balanceado fosa|0.0|10.0|10.0|06:30:00|0|Fosa Delpro|Fosa Delpro|0.0");
    EXPECT_TRUE(home.notices.notices().empty());
    EXPECT_EQ(test::eventTexts(home).last(),
              "La importacion del archivo ordene_20260312.csv ha sido guardada correctamente - 10:00:00");
}

TEST_P(PitTrip, IdsCountDownBelowTheSmallest)
{
    home.addPitDiet();
    read("t\nG1;a;40;800;0;1\n");
    EXPECT_EQ(home.scalar("select min(id) from lectura_viajes").toInt(), -1);
    home.exec("insert into lectura_viajes (id) values (-4)");
    home.exec("insert into lectura_viajes (id) values (50)");
    read("t\nG1;a;40;800;0;1\n");
    EXPECT_EQ(home.scalar("select min(id) from lectura_viajes").toInt(), -5);
    EXPECT_EQ(home.scalar("select count(*) from lectura_descarga where id_viaje = -5").toInt(), 1);
}

TEST_P(PitTrip, ReadingWithoutGroupsGivesTripAndLoadOnly)
{
    home.addPitDiet();
    read("t\nG1;a;0;800;0;1\nG2;a;0;800;0;1\n");
    ASSERT_EQ(home.count("lectura_viajes"), 1);
    EXPECT_TRUE(home.scalar("select cab_tot from lectura_viajes").isNull());
    EXPECT_DOUBLE_EQ(home.scalar("select kg_tot_sug from lectura_viajes").toDouble(), 0);
    EXPECT_EQ(home.count("lectura_descarga"), 0);
    EXPECT_EQ(home.count("lectura_Carga"), 1);
}

TEST_P(PitTrip, DairycompTripCarriesHeadsAndNoKilograms)
{
    home.addPitDiet();
    home.ctx.settings.ImportSoftware = "dairy";
    read("t\nG1;a;40;20\n", "leche.csv");
    EXPECT_DOUBLE_EQ(home.scalar("select cab_tot from lectura_viajes").toDouble(), 40);
    EXPECT_DOUBLE_EQ(home.scalar("select kg_tot_real from lectura_viajes").toDouble(), 0);
    EXPECT_DOUBLE_EQ(home.scalar("select kg_real from lectura_Carga").toDouble(), 0);
}

TEST_P(PitTrip, AFailureAmongTheUnloadsRollsTheWholeTripBack)
{
    home.addPitDiet();
    QByteArray file = "t\n";
    for (int i = 1; i <= 8; ++i)
        file += "H" + QByteArray::number(i) + (i == 5 ? ";a;1e12;1;0;1\n" : ";a;1;1;0;1\n");
    read(file);
    EXPECT_EQ(home.count("lectura_viajes"), 0);
    EXPECT_EQ(home.count("lectura_descarga"), 0);
    EXPECT_EQ(home.count("lectura_Carga"), 0);
    ASSERT_EQ(home.notices.notices().size(), 1u);
    const auto &box = home.notices.notices()[0];
    EXPECT_EQ(box.text, "Error 6 (Overflow) in procedure Dar_Viaje_Fosa of Formulario MdiPrincipal");
    EXPECT_EQ(box.title, "Zelvano");
    EXPECT_EQ(box.icon, UserNotices::Icon::None);
    // The reading itself stays, and the import still reports success.
    EXPECT_EQ(home.count("Produccion_Lactea"), 1);
    EXPECT_TRUE(test::eventTexts(home).last().startsWith("La importacion del archivo"));
    EXPECT_FALSE(home.ctx.db().inTransaction());
}

TEST_P(PitTrip, MissingPrescriptionOrPitFood)
{
    home.exec("insert into dietas (id, nombre, delpro) values (7, 'Fosa', true)");
    read("t\nG1;a;40;800;0;1\n");
    QStringList texts = test::eventTexts(home);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "No se pudo importar la lectura de racion en fosa por no estar presente la "
                        "receta en una prescripcion");
    EXPECT_TRUE(texts[1].startsWith("La importacion del archivo ordene_20260312.csv ha sido"));

    home.exec("delete from dietas");
    home.addPitDiet(false);
    read("t\nG1;a;40;800;0;1\n");
    texts = test::eventTexts(home);
    ASSERT_EQ(texts.size(), 4);
    EXPECT_EQ(texts[2], "No se pudo importar la lectura de racion en fosa por no estar presente en "
                        "una prescripcion el alimento de fosa");
    EXPECT_EQ(home.count("lectura_viajes"), 0);
}

TEST_P(PitTrip, NoPitDietNoTrip)
{
    home.exec("insert into dietas (id, nombre, delpro) values (7, 'Comun', false)");
    read("t\nG1;a;40;800;0;1\n");
    EXPECT_EQ(home.count("lectura_viajes"), 0);
    EXPECT_EQ(test::eventTexts(home).size(), 1);
}

TEST_P(PitTrip, ANameWithoutADayGivesTheTripTheDayTheFileChanged)
{
    home.addPitDiet();
    home.writeExport("ordene_2026xx12.csv", "t\nG1;a;40;800;0;1\n");
    home.setChanged("ordene_2026xx12.csv", QDateTime(QDate(2026, 11, 29), QTime(23, 59, 59)));
    LeerDatos_CSV(home.ctx, home.exportPath("ordene_2026xx12.csv"), "ordene_2026xx12.csv");
    EXPECT_EQ(home.scalar("select fecha from lectura_viajes").toString(), "2026-11-29");
    EXPECT_EQ(home.scalar("select fecha from Produccion_Lactea").toString(), "2026-11-29");
}

// A group no herd claimed goes to herd 0 unless its code is a whole number,
// however it begins: "3A" is not herd 3.
TEST_P(PitTrip, UnclaimedCodesThatAreNoWholeNumberGoToHerdZero)
{
    home.addPitDiet();
    home.addHerd("3", "Tres", "", 1, 1, 1);
    read("t\n3A;a;1;10;0;1\nG4;a;2;10;0;1\n12B;a;3;10;0;1\n-3;a;4;10;0;1\n3;a;5;10;0;1\n");
    ASSERT_EQ(home.count("lectura_descarga"), 5);
    EXPECT_EQ(unload(0, "id_rodeo || '|' || descripcion || '|' || categoria || actividad || corral"),
              "0|sin descripcion|000");
    EXPECT_EQ(unload(1, "id_rodeo || '|' || descripcion"), "0|sin descripcion");
    EXPECT_EQ(unload(2, "id_rodeo || '|' || descripcion"), "0|sin descripcion");
    EXPECT_EQ(unload(3, "id_rodeo || '|' || descripcion"), "-3|sin descripcion");
    EXPECT_EQ(unload(4, "id_rodeo || '|' || descripcion || '|' || categoria || actividad || corral"),
              "3|Tres|111");
    EXPECT_TRUE(home.notices.notices().empty());
}

TEST_P(PitTrip, BuscarCabQuotesAndFallsBackToNoHerd)
{
    QString text = "7";
    qint16 a = 9, b = 9, c = 9;
    Buscar_Cab(home.ctx, text, a, b, c);
    EXPECT_EQ(text, "Siete");
    EXPECT_EQ(a * 100 + b * 10 + c, 123);

    text = "O'Brien";
    Buscar_Cab(home.ctx, text, a, b, c);
    EXPECT_EQ(text, "sin descripcion");
    EXPECT_EQ(a + b + c, 0);
    EXPECT_TRUE(home.notices.notices().empty());

    // A category beyond 16 bits: the message box, then the no-herd result,
    // not the numbers of the herd before.
    home.addHerd("8", "Ocho", "", 40000, 2, 3);
    text = "7";
    Buscar_Cab(home.ctx, text, a, b, c);
    text = "8";
    Buscar_Cab(home.ctx, text, a, b, c);
    EXPECT_EQ(text, "sin descripcion");
    EXPECT_EQ(a + b + c, 0);
    ASSERT_EQ(home.notices.notices().size(), 1u);
    const auto &box = home.notices.notices()[0];
    EXPECT_EQ(box.title, "Error en Buscar_Nom ");
    EXPECT_EQ(box.icon, UserNotices::Icon::Critical);
    EXPECT_EQ(box.text, "Error 6 (Overflow) en procedimiento Buscar_Cab de Formulario FrmRodeos");
}

TEST_P(PitTrip, AHerdThatCannotBeReadStillGetsItsUnload)
{
    home.addPitDiet();
    home.addHerd("8", "Ocho", "G8", 40000, 2, 3);
    read("t\nG8;a;40;800;0;1\n");
    ASSERT_EQ(home.count("lectura_descarga"), 1);
    EXPECT_EQ(unload(0, "id_rodeo || '|' || descripcion || '|' || categoria"), "8|sin descripcion|0");
    EXPECT_EQ(home.notices.notices().size(), 1u);
}

} // namespace
} // namespace zelvano
