#include "support/testsupport.h"
#include "trips/save.h"
#include "tripgridbuilder.h"

#include "common/windowstatus.h"
#include "store/connection.h"
#include "store/tables.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDate>
#include <QTime>
#include <QTimer>

#include <functional>

using namespace zelvano;
using namespace zelvano::test;

namespace {

// Every column of one row of a query, by position.
// A column the save writes as 0: a Null would read as 0 too, and is wrong.
void expectZero(const QVariant &value, const char *what)
{
    EXPECT_FALSE(value.isNull()) << what << " is Null";
    EXPECT_TRUE(value.isValid()) << what << " is Null";
    EXPECT_EQ(value.toDouble(), 0.0) << what;
}

std::vector<QVariant> rowOf(const TestHome &home, const QString &sql)
{
    LocalConnection db;
    db.open(home.databasePath());
    Recordset rs = db.openRecordset(sql);
    std::vector<QVariant> row;
    if (!rs.eof())
        for (int i = 0; i < rs.fieldCount(); ++i)
            row.push_back(rs.value(i));
    return row;
}

int count(const TestHome &home, const QString &sql)
{
    return home.scalar(sql).toInt();
}

class SaveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        home.connect();
        setTripColumns(home.ctx.grid);
    }

    TripGrid &grid() { return home.ctx.grid; }

    // A prescription 7 whose programmed trip 2 feeds herds 3, 5 and 7.
    void prescribeHerds357()
    {
        home.exec("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (7, 2, 3000)");
        for (int herd : {3, 5, 7}) {
            home.exec(QStringLiteral("insert into prescripcion_descarga (id_prescripcion, id_viaje, "
                                     "id_corral, nom_corral, kilos) values (7, 2, '%1', 'Corral %1', %2)")
                          .arg(herd)
                          .arg(herd * 100));
            home.exec(QStringLiteral("insert into prescripcion_rodeos (id, cabezas, id_cat, actividad, "
                                     "corral) values ('%1', %2, 4, 5, 6)")
                          .arg(herd)
                          .arg(herd * 10));
        }
    }

    TestHome home;
};

TEST_F(SaveTest, EveryCellLandsInItsPosition)
{
    TripCells t;
    t.id = QStringLiteral("501");
    t.fecha = QStringLiteral("2026-11-30");
    t.receta = QStringLiteral("Engorde");
    t.cabezas = QStringLiteral("120.5");
    t.idReceta = QStringLiteral("33");
    t.turno = QStringLiteral("2");
    t.idPrg = QStringLiteral("4");
    t.idPres = QStringLiteral("9");
    const int r = addTrip(grid(), t);
    LoadCells l;
    l.hora = QStringLiteral("05:10:20");
    l.alimento = QStringLiteral("Silo");
    l.kgSug = QStringLiteral("1000.25");
    l.kgReal = QStringLiteral("990.5");
    l.idTablet = QStringLiteral("TAB-9");
    l.nomTablet = QStringLiteral("Mixer");
    l.idAlim = QStringLiteral("44");
    l.operario = QStringLiteral("12");
    l.suceso = QStringLiteral("P");
    addLoad(grid(), r, l);
    UnloadCells u;
    u.hora = QStringLiteral("06:11:21");
    u.rodeo = QStringLiteral("Lote 8");
    u.kgSug = QStringLiteral("400");
    u.kgReal = QStringLiteral("410.5");
    u.categoria = QStringLiteral("61");
    u.actividad = QStringLiteral("62");
    u.corral = QStringLiteral("63");
    u.cabezas = QStringLiteral("64");
    u.idTablet = QStringLiteral("TAB-8");
    u.nomTablet = QStringLiteral("Otra");
    u.idRodeo = QStringLiteral("8");
    u.operario = QStringLiteral("13");
    u.gps = QStringLiteral("-34.5,-58.4");
    u.suceso = QStringLiteral("X");
    addUnload(grid(), r, u);

    CmdGrabar_Click(home.ctx);

    const auto trip = rowOf(home, "select * from lectura_viajes");
    ASSERT_EQ(trip.size(), 11u);
    EXPECT_EQ(trip[LecturaViajes::Id].toInt(), 501);
    EXPECT_EQ(trip[LecturaViajes::Turno].toInt(), 2);
    EXPECT_EQ(trip[LecturaViajes::IdReceta].toInt(), 33);
    EXPECT_EQ(trip[LecturaViajes::DesReceta].toString(), "Engorde");
    EXPECT_EQ(trip[LecturaViajes::Fecha].toDate(), QDate(2026, 11, 30));
    EXPECT_DOUBLE_EQ(trip[LecturaViajes::CabTot].toDouble(), 120.5);
    EXPECT_DOUBLE_EQ(trip[LecturaViajes::KgTotSug].toDouble(), 1000.25);
    EXPECT_DOUBLE_EQ(trip[LecturaViajes::KgTotReal].toDouble(), 990.5);
    EXPECT_EQ(trip[LecturaViajes::IdPrg].toInt(), 4);
    EXPECT_EQ(trip[LecturaViajes::IdPres].toInt(), 9);
    expectZero(trip[LecturaViajes::KgTotPres], "no prescription: looked up and 0");

    const auto load = rowOf(home, "select * from lectura_Carga");
    ASSERT_EQ(load.size(), 13u);
    EXPECT_EQ(load[LecturaCarga::IdViaje].toInt(), 501);
    EXPECT_EQ(load[LecturaCarga::IdAlim].toInt(), 44);
    EXPECT_EQ(load[LecturaCarga::DesAlim].toString(), "Silo");
    EXPECT_FALSE(load[LecturaCarga::Cantidad].isValid());
    EXPECT_DOUBLE_EQ(load[LecturaCarga::KgSug].toDouble(), 1000.25);
    EXPECT_DOUBLE_EQ(load[LecturaCarga::KgReal].toDouble(), 990.5);
    EXPECT_EQ(load[LecturaCarga::Hora].toTime(), QTime(5, 10, 20));
    EXPECT_EQ(load[LecturaCarga::Operario].toInt(), 12);
    EXPECT_EQ(load[LecturaCarga::IdTablet].toString(), "TAB-9");
    EXPECT_EQ(load[LecturaCarga::NomTablet].toString(), "Mixer");
    EXPECT_GT(load[LecturaCarga::IdMod].toInt(), 0);
    EXPECT_EQ(load[LecturaCarga::Suceso].toString(), "P");

    const auto unload = rowOf(home, "select * from lectura_descarga");
    ASSERT_EQ(unload.size(), 17u);
    EXPECT_EQ(unload[LecturaDescarga::IdViaje].toInt(), 501);
    EXPECT_EQ(unload[LecturaDescarga::IdRodeo].toInt(), 8);
    EXPECT_EQ(unload[LecturaDescarga::Descripcion].toString(), "Lote 8");
    EXPECT_EQ(unload[LecturaDescarga::Cabezas].toInt(), 64);
    EXPECT_EQ(unload[LecturaDescarga::Categoria].toInt(), 61);
    EXPECT_EQ(unload[LecturaDescarga::Actividad].toInt(), 62);
    EXPECT_EQ(unload[LecturaDescarga::Corral].toInt(), 63);
    EXPECT_DOUBLE_EQ(unload[LecturaDescarga::KgSug].toDouble(), 400);
    EXPECT_DOUBLE_EQ(unload[LecturaDescarga::KgReal].toDouble(), 410.5);
    EXPECT_EQ(unload[LecturaDescarga::Hora].toTime(), QTime(6, 11, 21));
    EXPECT_EQ(unload[LecturaDescarga::Operario].toInt(), 13);
    EXPECT_EQ(unload[LecturaDescarga::IdTablet].toString(), "TAB-8");
    EXPECT_EQ(unload[LecturaDescarga::NomTablet].toString(), "Otra");
    EXPECT_EQ(unload[LecturaDescarga::Gps].toString(), "-34.5,-58.4");
    EXPECT_GT(unload[LecturaDescarga::IdMod].toInt(), 0);
    EXPECT_EQ(unload[LecturaDescarga::Suceso].toString(), "X");

    EXPECT_EQ(count(home, "select count(*) from lectura_carga_detalle_conc"), 0);
}

TEST_F(SaveTest, TotalsComeFromTheLoadsWhateverTheTripSaid)
{
    TripCells t;
    t.id = 10;
    t.kgSug = QStringLiteral("7777");
    t.kgReal = QStringLiteral("8888");
    int r = addTrip(grid(), t);
    LoadCells a;
    a.kgSug = QStringLiteral("1000");
    a.kgReal = QStringLiteral("990");
    addLoad(grid(), r, a);
    LoadCells b;
    b.kgSug = QStringLiteral("500");
    b.kgReal = QStringLiteral("505");
    addLoad(grid(), r, b);
    addUnload(grid(), r, UnloadCells{});
    // An unload's kilograms never enter the totals; a trip of unloads only has 0.
    t.id = 11;
    r = addTrip(grid(), t);
    UnloadCells u;
    u.kgSug = QStringLiteral("300");
    u.kgReal = QStringLiteral("300");
    addUnload(grid(), r, u);

    CmdGrabar_Click(home.ctx);

    EXPECT_EQ(home.scalar("select kg_tot_sug from lectura_viajes where id = 10").toDouble(), 1500);
    EXPECT_EQ(home.scalar("select kg_tot_real from lectura_viajes where id = 10").toDouble(), 1495);
    expectZero(home.scalar("select kg_tot_sug from lectura_viajes where id = 11"), "kg_tot_sug");
    expectZero(home.scalar("select kg_tot_real from lectura_viajes where id = 11"), "kg_tot_real");
    EXPECT_TRUE(home.scalar("select kg_tot_real from lectura_viajes where id = 11").isValid());
}

TEST_F(SaveTest, MissingPrescribedUnloadsAreAddedExceptOnShift99)
{
    prescribeHerds357();
    TripCells t;
    t.idPrg = QStringLiteral("2");
    t.idPres = QStringLiteral("7");
    for (const char *shift : {"1", "99", "3"}) {
        t.turno = QString::fromLatin1(shift);
        const int r = addTrip(grid(), t);
        for (int herd : {3, 7}) {
            UnloadCells u;
            u.idRodeo = QString::number(herd);
            u.kgReal = QStringLiteral("111");
            addUnload(grid(), r, u);
        }
        t.id = t.id.toInt() + 1;
    }

    CmdGrabar_Click(home.ctx);

    EXPECT_EQ(count(home, "select count(*) from lectura_descarga where id_viaje = 1"), 3);
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga where id_viaje = 2"), 2)
        << "shift 99 gets no comparison";
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga where id_viaje = 3"), 3);

    const auto added = rowOf(home, "select * from lectura_descarga where id_viaje = 1 and id_rodeo = 5");
    ASSERT_EQ(added.size(), 17u);
    EXPECT_EQ(added[LecturaDescarga::Descripcion].toString(), "Corral 5");
    EXPECT_EQ(added[LecturaDescarga::Cabezas].toInt(), 50);
    EXPECT_EQ(added[LecturaDescarga::Categoria].toInt(), 4);
    EXPECT_EQ(added[LecturaDescarga::Actividad].toInt(), 5);
    EXPECT_EQ(added[LecturaDescarga::Corral].toInt(), 6);
    expectZero(added[LecturaDescarga::KgSug], "kg_sug");
    expectZero(added[LecturaDescarga::KgReal], "kg_real");
    EXPECT_EQ(added[LecturaDescarga::Hora].toTime(), QTime(0, 0));
    expectZero(added[LecturaDescarga::Operario], "operario");
    EXPECT_FALSE(added[LecturaDescarga::IdTablet].isValid());
    EXPECT_FALSE(added[LecturaDescarga::NomTablet].isValid());
    EXPECT_FALSE(added[LecturaDescarga::Gps].isValid());
    EXPECT_EQ(added[LecturaDescarga::KgPrescriptos].toDouble(), 500);
    EXPECT_EQ(added[LecturaDescarga::Suceso].toString(), "E");
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga where suceso = 'E'"), 2);
}

TEST_F(SaveTest, WithoutPrescriptionHerdsTheCurrentHerdsAreUsed)
{
    home.exec("insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, nom_corral, "
              "kilos) values (7, 2, '12', 'Doce', 900)");
    home.exec("insert into rodeos (id, Descripcion, cabezas, id_cat, actividad, corral) "
              "values ('12', 'Doce', 77, 1, 2, 3)");
    TripCells t;
    t.idPrg = QStringLiteral("2");
    t.idPres = QStringLiteral("7");
    const int r = addTrip(grid(), t);
    addLoad(grid(), r, LoadCells{});

    CmdGrabar_Click(home.ctx);

    const auto added = rowOf(home, "select * from lectura_descarga where id_rodeo = 12");
    ASSERT_EQ(added.size(), 17u);
    EXPECT_EQ(added[LecturaDescarga::Cabezas].toInt(), 77);
    EXPECT_EQ(added[LecturaDescarga::KgPrescriptos].toDouble(), 900);
}

TEST_F(SaveTest, ConcentrateLoadsAreBrokenIntoTheirIngredients)
{
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 50, 'Balanceado', 'Concentrado')");
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 51, 'Maiz', 'Grano')");
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 52, 'Soja', 'Grano')");
    home.exec("insert into prescripcion_detalle_concentrado (id_prescripcion, id_con, Id_Ali, prop) values (7, 50, 51, 62.5)");
    home.exec("insert into prescripcion_detalle_concentrado (id_prescripcion, id_con, Id_Ali, prop) values (7, 50, 52, 37.5)");
    TripCells t;
    t.id = 77;
    t.idPres = QStringLiteral("7");
    const int r = addTrip(grid(), t);
    LoadCells maize; // not a concentrate: no breakdown
    maize.idAlim = QStringLiteral("51");
    maize.kgReal = QStringLiteral("200");
    addLoad(grid(), r, maize);
    LoadCells conc;
    conc.idAlim = QStringLiteral("50");
    conc.kgReal = QStringLiteral("1000");
    conc.kgSug = QStringLiteral("1010");
    addLoad(grid(), r, conc);

    CmdGrabar_Click(home.ctx);

    const int loadKey =
        home.scalar("select id_mod from lectura_Carga where Id_alim = 50").toInt();
    EXPECT_EQ(count(home, "select count(*) from lectura_carga_detalle_conc"), 2);
    const auto m = rowOf(home, "select * from lectura_carga_detalle_conc where id_ali = 51");
    ASSERT_EQ(m.size(), 8u);
    EXPECT_EQ(m[0].toInt(), loadKey);
    EXPECT_EQ(m[1].toInt(), 77);
    EXPECT_EQ(m[2].toInt(), 50);
    EXPECT_EQ(m[4].toString(), "Maiz");
    EXPECT_DOUBLE_EQ(m[5].toDouble(), 62.5);
    EXPECT_EQ(m[6].toDouble(), 631);
    EXPECT_EQ(m[7].toDouble(), 625);
    const auto s = rowOf(home, "select * from lectura_carga_detalle_conc where id_ali = 52");
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ(s[4].toString(), "Soja");
    EXPECT_EQ(s[6].toDouble(), 379);
    EXPECT_EQ(s[7].toDouble(), 375);
}

TEST_F(SaveTest, StoredTripsAreNeverStoredTwice)
{
    TripCells t;
    t.id = 1;
    int r = addTrip(grid(), t);
    addLoad(grid(), r, LoadCells{});
    t.id = 2;
    r = addTrip(grid(), t);
    addUnload(grid(), r, UnloadCells{});

    CmdGrabar_Click(home.ctx);
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 2);
    // The same grid again (the save marks nothing): nothing new.
    CmdGrabar_Click(home.ctx);
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 2);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga"), 1);
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga"), 1);
    EXPECT_EQ(eventTexts(home).size(), 2);
    EXPECT_TRUE(eventTexts(home)[1].startsWith("Finalizo la descarga de datos Web exitosamente"));

    // Trips carrying the mark: still the completion texts, still nothing stored.
    setTripColumns(grid());
    t.id = 3;
    r = addTrip(grid(), t, true);
    addLoad(grid(), r, LoadCells{});
    home.clock.set(QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9)));
    CmdGrabar_Click(home.ctx);
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 2);
    EXPECT_EQ(home.overlay.text(), "Finalizo la descarga de datos exitosamente a las 14:05:09");
    EXPECT_TRUE(home.overlay.isVisible());
    EXPECT_EQ(home.window.caption(), windowCaption("Ultima descarga a las 14:05:09"));
    EXPECT_EQ(home.window.trayTip(), "Zelvano - Ultima descarga a las 14:05:09");
    EXPECT_EQ(eventTexts(home).last(), "Finalizo la descarga de datos Web exitosamente a las 14:05:09");
}

TEST_F(SaveTest, EmptyGridOnlyFillsPrescriptions)
{
    home.exec("insert into lectura_viajes (id, Turno, id_prg, id_pres) values (5, 1, 2, 7)");
    home.exec("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (7, 2, 3000)");
    home.window.setCaption("before");
    home.overlay.setVisible(true);

    CmdGrabar_Click(home.ctx);

    EXPECT_EQ(home.scalar("select Kg_Tot_Pres from lectura_viajes where id = 5").toDouble(), 3000);
    EXPECT_FALSE(home.overlay.isVisible());
    EXPECT_EQ(home.window.caption(), "before");
    EXPECT_TRUE(home.window.trayTip().isEmpty());
    EXPECT_TRUE(eventTexts(home).isEmpty());
}

TEST_F(SaveTest, ADatabaseFailureOnTheThirdTripRollsEverythingBack)
{
    for (int id = 1; id <= 4; ++id) {
        TripCells t;
        t.id = id;
        const int r = addTrip(grid(), t);
        LoadCells l;
        l.kgReal = QStringLiteral("100");
        addLoad(grid(), r, l);
        addUnload(grid(), r, UnloadCells{});
    }
    // The database itself refuses a row of the third trip: not a bad cell, so
    // the whole save goes, and no trip is remembered as refused.
    home.exec("create trigger refuse_third before insert on lectura_descarga when new.id_viaje = 3 "
              "begin select raise(abort, 'disk says no'); end");

    const SaveOutcome outcome = CmdGrabar_Click(home.ctx);

    EXPECT_FALSE(outcome.ok());
    EXPECT_EQ(outcome.refusedTrips, 0);
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 0);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga"), 0);
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga"), 0);
    EXPECT_EQ(count(home, "select count(*) from zelvano_viajes_rechazados"), 0);
    EXPECT_FALSE(home.overlay.isVisible());
    EXPECT_TRUE(home.window.caption().isEmpty());
    const QStringList events = eventTexts(home);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith("Error "));
    EXPECT_TRUE(events[0].contains("disk says no")) << events[0].toStdString();
    EXPECT_TRUE(events[0].endsWith(") en procedimiento CmdGrabar_Click de Formulario FrmSucesos 10:00:00"))
        << events[0].toStdString();
    // The connection is usable again and the same grid saves whole.
    home.exec("drop trigger refuse_third");
    EXPECT_TRUE(CmdGrabar_Click(home.ctx).ok());
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 4);
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga"), 4);
}

TEST_F(SaveTest, ADatabaseLockedByAnotherConnectionFailsTheSaveWhole)
{
    for (int id = 1; id <= 3; ++id) {
        TripCells t;
        t.id = id;
        const int r = addTrip(grid(), t);
        addLoad(grid(), r, LoadCells{});
        addUnload(grid(), r, UnloadCells{});
    }
    {
        // Another program holds the database for writing longer than the
        // connection waits for it.
        LocalConnection other;
        other.open(home.databasePath());
        other.beginTrans();
        other.execute("insert into sucesos (fecha, descripcion) values (#07/12/2026#, 'otro')");
        const SaveOutcome outcome = CmdGrabar_Click(home.ctx);
        EXPECT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.refusedTrips, 0);
        other.rollbackTrans();
    }
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 0);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga"), 0);
    EXPECT_EQ(count(home, "select count(*) from zelvano_viajes_rechazados"), 0);

    EXPECT_TRUE(CmdGrabar_Click(home.ctx).ok());
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 3);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga"), 3);
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga"), 3);
}

// Twenty trips of two loads and an unload each; trip 7 has the prescription
// "7x", the second load of trip 13 no ingredient.
TEST_F(SaveTest, OneBadTripIsLeftOutAndTheOthersAreStored)
{
    for (int id = 1; id <= 20; ++id) {
        TripCells t;
        t.id = QString::number(id);
        if (id == 7)
            t.idPres = QStringLiteral("7x");
        const int r = addTrip(grid(), t);
        for (int k = 1; k <= 2; ++k) {
            LoadCells l;
            l.idAlim = id == 13 && k == 2 ? QString() : QString::number(k);
            l.kgSug = QStringLiteral("100");
            l.kgReal = QStringLiteral("90.5");
            addLoad(grid(), r, l);
        }
        addUnload(grid(), r, UnloadCells{});
    }

    const SaveOutcome first = CmdGrabar_Click(home.ctx);

    EXPECT_EQ(first.trips, 18);
    EXPECT_EQ(first.loads, 36);
    EXPECT_EQ(first.refusedTrips, 2);
    EXPECT_TRUE(first.ok()) << "left out is not failed";
    EXPECT_EQ(first.newRefusals, 2);
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 18);
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes where id in (7, 13)"), 0);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga"), 36);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga where id_viaje in (7, 13)"), 0);
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga where id_viaje in (7, 13)"), 0);
    EXPECT_EQ(home.scalar("select sum(kg_tot_real) from lectura_viajes").toDouble(), 18 * 181.0);
    EXPECT_EQ(count(home, "select count(*) from zelvano_viajes_rechazados where id in (7, 13)"), 2);
    EXPECT_EQ(
        eventTexts(home),
        (QStringList{"Viaje 7 no guardado: la celda id_pres del viaje ('7x') no es un valor "
                     "válido 10:00:00",
                     "Viaje 13 no guardado: la celda Id_alim de la carga 2 está vacía 10:00:00",
                     "Finalizo la descarga de datos Web exitosamente a las 10:00:00"}));

    // The same grid again (the button pressed twice): nothing stored, no
    // refusal logged a second time.
    const SaveOutcome second = CmdGrabar_Click(home.ctx);
    EXPECT_TRUE(second.ok());
    EXPECT_EQ(second.trips, 0);
    EXPECT_EQ(second.refusedTrips, 2);
    EXPECT_EQ(second.newRefusals, 0);
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 18);
    const QStringList events = eventTexts(home);
    ASSERT_EQ(events.size(), 4);
    EXPECT_EQ(events[3], "Finalizo la descarga de datos Web exitosamente a las 10:00:00");
}

// One bad cell of each kind: only its trip is left out, and the event names
// the column it was meant for.
TEST_F(SaveTest, EveryCellThatDoesNotConvertRefusesOnlyItsTrip)
{
    struct Case
    {
        const char *name;
        std::function<void(TripCells &, LoadCells &, UnloadCells &)> spoil;
        const char *reason;
        bool remembered = true;
    };
    const std::vector<Case> cases{
        {"date",
         [](TripCells &t, LoadCells &, UnloadCells &) { t.fecha = QStringLiteral("mañana"); },
         "la celda fecha del viaje ('mañana') no es un valor válido"},
        {"shift", [](TripCells &t, LoadCells &, UnloadCells &) { t.turno = QStringLiteral("x"); },
         "la celda Turno del viaje ('x') no es un valor válido"},
        {"programme out of range",
         [](TripCells &t, LoadCells &, UnloadCells &) { t.idPrg = QStringLiteral("1e12"); },
         "la celda id_prg del viaje ('1e12') no es un valor válido"},
        {"heads",
         [](TripCells &t, LoadCells &, UnloadCells &) { t.cabezas = QStringLiteral("abc"); },
         "la celda cab_tot del viaje ('abc') no es un valor válido"},
        {"time",
         [](TripCells &, LoadCells &l, UnloadCells &) { l.hora = QStringLiteral("25:99:00"); },
         "la celda hora de la carga 1 ('25:99:00') no es un valor válido"},
        {"decimal comma",
         [](TripCells &, LoadCells &l, UnloadCells &) { l.kgReal = QStringLiteral("1.758,4"); },
         "la celda kg_real de la carga 1 ('1.758,4') no es un valor válido"},
        {"empty real kg", [](TripCells &, LoadCells &l, UnloadCells &) { l.kgReal = QString(); },
         "la celda kg_real de la carga 1 está vacía"},
        {"null suggested kg",
         [](TripCells &, LoadCells &l, UnloadCells &) { l.kgSug = QVariant(); },
         "la celda kg_sug de la carga 1 está vacía"},
        {"herd", [](TripCells &, LoadCells &, UnloadCells &u) { u.idRodeo = QStringLiteral("x"); },
         "la celda id_rodeo de la descarga 1 ('x') no es un valor válido"},
        {"unload heads",
         [](TripCells &, LoadCells &, UnloadCells &u) { u.cabezas = QStringLiteral("12 cabezas"); },
         "la celda cabezas de la descarga 1 ('12 cabezas') no es un valor válido"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestHome fresh;
        fresh.connect();
        setTripColumns(fresh.ctx.grid);
        for (int id = 1; id <= 3; ++id) {
            TripCells t;
            t.id = id;
            t.idPres = QStringLiteral("7");
            t.idPrg = QStringLiteral("2");
            LoadCells l;
            l.kgSug = QStringLiteral("1010");
            l.kgReal = QStringLiteral("1000");
            l.idAlim = QStringLiteral("50");
            UnloadCells u;
            if (id == 2)
                c.spoil(t, l, u);
            const int r = addTrip(fresh.ctx.grid, t);
            addLoad(fresh.ctx.grid, r, l);
            addUnload(fresh.ctx.grid, r, u);
        }
        // Trip 2's load is a concentrate: a refused trip adds no breakdown either.
        fresh.exec(
            "insert into prescripcion_alimentos values (7, 50, 'Balanceado', 'Concentrado')");
        fresh.exec("insert into prescripcion_detalle_concentrado values (7, 50, 51, 62.5)");

        const SaveOutcome outcome = CmdGrabar_Click(fresh.ctx);

        EXPECT_EQ(outcome.trips, 2);
        EXPECT_EQ(outcome.refusedTrips, 1);
        EXPECT_EQ(count(fresh, "select count(*) from lectura_viajes where id in (1, 3)"), 2);
        EXPECT_EQ(count(fresh, "select count(*) from lectura_viajes where id = 2"), 0);
        EXPECT_EQ(count(fresh, "select count(*) from lectura_Carga where id_viaje = 2"), 0);
        EXPECT_EQ(count(fresh, "select count(*) from lectura_descarga where id_viaje = 2"), 0);
        EXPECT_EQ(
            count(fresh, "select count(*) from lectura_carga_detalle_conc where id_viaje = 2"), 0);
        EXPECT_EQ(count(fresh, "select count(*) from lectura_carga_detalle_conc"), 2);
        const QStringList events = eventTexts(fresh);
        ASSERT_FALSE(events.isEmpty());
        EXPECT_EQ(events[0], QStringLiteral("Viaje 2 no guardado: ") + QString::fromUtf8(c.reason) +
                                 QStringLiteral(" 10:00:00"));
        EXPECT_EQ(
            fresh.scalar("select motivo from zelvano_viajes_rechazados where id = 2").toString(),
            QString::fromUtf8(c.reason));
    }
}

TEST_F(SaveTest, NoShiftStaysEmptyAnEmptyPrescriptionIsZeroAndOddOperatorsNoOperator)
{
    TripCells t;
    t.turno = QString();
    t.idPrg = QVariant();
    t.idPres = QStringLiteral(" ");
    const int r = addTrip(grid(), t);
    LoadCells l;
    l.operario = QStringLiteral("12.5");
    l.kgReal = QStringLiteral("250");
    addLoad(grid(), r, l);
    UnloadCells u;
    u.operario = QStringLiteral("ANONIMO");
    addUnload(grid(), r, u);
    UnloadCells empty;
    empty.operario = QString();
    empty.idRodeo = QStringLiteral("2");
    addUnload(grid(), r, empty);

    CmdGrabar_Click(home.ctx);

    const auto trip = rowOf(home, "select * from lectura_viajes");
    ASSERT_EQ(trip.size(), 11u);
    EXPECT_FALSE(trip[LecturaViajes::Turno].isValid());
    EXPECT_FALSE(trip[LecturaViajes::IdPrg].isValid());
    EXPECT_EQ(trip[LecturaViajes::IdPres].toInt(), 0);
    EXPECT_TRUE(trip[LecturaViajes::IdPres].isValid());
    EXPECT_FALSE(home.scalar("select operario from lectura_Carga").isValid());
    expectZero(trip[LecturaViajes::KgTotSug], "kg_tot_sug");
    EXPECT_EQ(trip[LecturaViajes::KgTotReal].toDouble(), 250);
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga where operario is null"), 2);
    EXPECT_TRUE(eventTexts(home).last().startsWith("Finalizo"));
}

TEST_F(SaveTest, OnlyExactChildKindsAreSavedAndTheOverlayCounts)
{
    for (int id = 1; id <= 3; ++id) {
        TripCells t;
        t.id = id;
        t.receta = QStringLiteral("Receta %1").arg(id);
        const int r = addTrip(grid(), t);
        addLoad(grid(), r, LoadCells{});
        LoadCells lower;
        lower.kind = QStringLiteral("carga");
        addLoad(grid(), r, lower);
        UnloadCells upper;
        upper.kind = QStringLiteral("DESCARGA");
        addUnload(grid(), r, upper);
    }
    CmdGrabar_Click(home.ctx);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga"), 3);
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga"), 0);
    EXPECT_EQ(home.overlay.maximum(), 2);
    EXPECT_EQ(home.overlay.value(), 3);
}

// The window runs while the save yields, and what it does there, such as a
// download emptying the grid, must not reach the trips being saved.
TEST_F(SaveTest, TheGridEmptiedWhileTheSaveYieldsLeavesTheSaveWhole)
{
    int argc = 1;
    char name[] = "trips_tests";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    for (int id = 1; id <= 3; ++id) {
        TripCells t;
        t.id = id;
        const int r = addTrip(grid(), t);
        addLoad(grid(), r, LoadCells{});
        addUnload(grid(), r, UnloadCells{});
    }
    bool emptied = false;
    QTimer::singleShot(0, [&] {
        grid().clearRows();
        emptied = true;
    });
    CmdGrabar_Click(home.ctx);
    EXPECT_TRUE(emptied);
    EXPECT_EQ(grid().rowCount(), 0);
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 3);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga"), 3);
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga"), 3);
}

TEST_F(SaveTest, AClosedConnectionIsOpenedForTheSaveAndClosedAgain)
{
    closeLocalConnection(home.ctx);
    const int r = addTrip(grid(), TripCells{});
    addLoad(grid(), r, LoadCells{});
    CmdGrabar_Click(home.ctx);
    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 1);
    EXPECT_FALSE(home.ctx.connection && home.ctx.connection->isOpen());
    EXPECT_FALSE(home.ctx.Connected);
}

TEST_F(SaveTest, HeadCountsFollowTheSaveWhenConfigured)
{
    home.exec("insert into rodeos (id, Descripcion, cabezas) values ('1', 'Uno', 10)");
    home.ctx.settings.HeadCountFromFeeding = true;
    const int r = addTrip(grid(), TripCells{});
    UnloadCells u;
    u.cabezas = QStringLiteral("48");
    addUnload(grid(), r, u);
    CmdGrabar_Click(home.ctx);
    EXPECT_EQ(home.scalar("select cabezas from rodeos where id = '1'").toInt(), 48);
    EXPECT_FALSE(home.overlay.isVisible());
    EXPECT_TRUE(eventTexts(home).last().startsWith("Se Actualizaron las cabezas"));
}


// What one save asks once and keeps must still answer for each trip on its own.
class SaveOnceTest : public SaveTest
{
protected:
    void prescribe(int pres, int prg, std::initializer_list<int> herds, bool asPrescribed = true)
    {
        for (int herd : herds) {
            home.exec(QStringLiteral("insert into prescripcion_descarga (id_prescripcion, id_viaje, "
                                     "id_corral, nom_corral, kilos) values (%1, %2, '%3', 'Corral %3', %4)")
                          .arg(pres)
                          .arg(prg)
                          .arg(herd)
                          .arg(pres * 1000 + prg * 100 + herd));
            const QString table = asPrescribed ? "prescripcion_rodeos" : "rodeos";
            if (home.scalar(QStringLiteral("select count(*) from %1 where id = '%2'").arg(table).arg(herd)).toInt() == 0)
                home.exec(asPrescribed
                              ? QStringLiteral("insert into prescripcion_rodeos (id, cabezas, id_cat, "
                                               "actividad, corral) values ('%1', 10, 1, 1, 1)").arg(herd)
                              : QStringLiteral("insert into rodeos (id, Descripcion, cabezas, id_cat, "
                                               "actividad, corral) values ('%1', 'R', 20, 1, 1, 1)").arg(herd));
        }
    }
    int addTripWith(int id, int pres, int prg, std::initializer_list<int> recordedHerds,
                    std::initializer_list<int> ingredients = {})
    {
        TripCells t;
        t.id = id;
        t.idPres = QString::number(pres);
        t.idPrg = QString::number(prg);
        const int r = addTrip(grid(), t);
        for (int alim : ingredients) {
            LoadCells l;
            l.idAlim = QString::number(alim);
            l.kgReal = QStringLiteral("1000");
            l.kgSug = QStringLiteral("1000");
            addLoad(grid(), r, l);
        }
        for (int herd : recordedHerds) {
            UnloadCells u;
            u.idRodeo = QString::number(herd);
            addUnload(grid(), r, u);
        }
        return r;
    }
    QList<int> herdsOf(int trip, const QString &suceso) const
    {
        LocalConnection db;
        db.open(home.databasePath());
        Recordset rs = db.openRecordset(QStringLiteral("select id_rodeo from lectura_descarga where "
                                                       "id_viaje = %1 and suceso = '%2' order by id_mod")
                                            .arg(trip)
                                            .arg(suceso));
        QList<int> herds;
        for (; !rs.eof(); rs.moveNext())
            herds << rs.value(0).toInt();
        return herds;
    }
};

TEST_F(SaveOnceTest, EachTripGetsTheUnloadsOfItsOwnPrescription)
{
    prescribe(7, 2, {3, 5, 7});
    prescribe(8, 2, {4});
    prescribe(7, 3, {9});
    prescribe(7, 4, {6}, false); // no prescribed herd data: the current herds
    addTripWith(1, 7, 2, {3, 7});
    addTripWith(2, 8, 2, {});
    addTripWith(3, 7, 3, {3});
    addTripWith(4, 7, 2, {5});
    addTripWith(5, 7, 4, {});
    addTripWith(6, 8, 2, {4});

    CmdGrabar_Click(home.ctx);

    EXPECT_EQ(herdsOf(1, "E"), QList<int>({5}));
    EXPECT_EQ(herdsOf(2, "E"), QList<int>({4}));
    EXPECT_EQ(herdsOf(3, "E"), QList<int>({9}));
    EXPECT_EQ(herdsOf(4, "E"), QList<int>({3, 7})) << "herd 5 of trip 1 is not trip 4's";
    EXPECT_EQ(herdsOf(5, "E"), QList<int>({6}));
    EXPECT_TRUE(herdsOf(6, "E").isEmpty());
    EXPECT_EQ(home.scalar("select Kg_Prescriptos from lectura_descarga where id_viaje = 2").toDouble(), 8204);
    EXPECT_EQ(home.scalar("select cabezas from lectura_descarga where id_viaje = 5").toInt(), 20);
    EXPECT_EQ(home.scalar("select cabezas from lectura_descarga where id_viaje = 1 and suceso = 'E'").toInt(), 10);
}

TEST_F(SaveOnceTest, AHerdAddedOnceCountsForTheRestOfItsTrip)
{
    // Herd 5 listed twice: the first adds it, the second finds it.
    prescribe(7, 2, {5, 3});
    home.exec("insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, nom_corral, "
              "kilos) values (7, 2, '5', 'Corral 5 otra vez', 1)");
    addTripWith(1, 7, 2, {3});
    addTripWith(2, 7, 2, {});
    CmdGrabar_Click(home.ctx);
    EXPECT_EQ(herdsOf(1, "E"), QList<int>({5}));
    EXPECT_EQ(herdsOf(2, "E"), QList<int>({5, 3}));
    EXPECT_EQ(count(home, "select count(*) from lectura_descarga"), 4);
}

TEST_F(SaveOnceTest, UnloadsStoredBeforeTheSaveAreAskedOfTheDatabase)
{
    // Unloads left of a trip that is not stored: the comparison still sees them.
    prescribe(7, 2, {3, 5});
    home.exec("insert into lectura_descarga (id_viaje, id_rodeo, suceso) values (1, 5, 'V')");
    addTripWith(1, 7, 2, {});
    addTripWith(2, 7, 2, {});
    CmdGrabar_Click(home.ctx);
    EXPECT_EQ(herdsOf(1, "E"), QList<int>({3}));
    EXPECT_EQ(herdsOf(2, "E"), QList<int>({3, 5}));
}

TEST_F(SaveOnceTest, ConcentratesAreThoseOfTheTripsPrescription)
{
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 50, 'Balanceado', 'Concentrado')");
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (7, 51, 'Maiz', 'Grano')");
    home.exec("insert into prescripcion_detalle_concentrado (id_prescripcion, id_con, Id_Ali, prop) values (7, 50, 51, 40)");
    // In prescription 8 ingredient 50 is no concentrate; 52 is, of a different mix.
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (8, 50, 'Balanceado', 'Grano')");
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (8, 52, 'Nucleo', 'Concentrado')");
    home.exec("insert into prescripcion_alimentos (id_prescripcion, id_alim, nombre, tipo) values (8, 51, 'Maiz 8', 'Grano')");
    home.exec("insert into prescripcion_detalle_concentrado (id_prescripcion, id_con, Id_Ali, prop) values (8, 50, 51, 99)");
    home.exec("insert into prescripcion_detalle_concentrado (id_prescripcion, id_con, Id_Ali, prop) values (8, 52, 51, 25)");
    addTripWith(1, 7, 1, {}, {50, 52, 50});
    addTripWith(2, 8, 1, {}, {50, 52});
    addTripWith(3, 7, 1, {}, {50});

    CmdGrabar_Click(home.ctx);

    EXPECT_EQ(count(home, "select count(*) from lectura_carga_detalle_conc where id_viaje = 1"), 2);
    EXPECT_EQ(count(home, "select count(*) from lectura_carga_detalle_conc where id_viaje = 1 and id_alim = 50 and kg_real = 400 and nombre = 'Maiz'"), 2);
    EXPECT_EQ(count(home, "select count(*) from lectura_carga_detalle_conc where id_viaje = 2"), 1);
    EXPECT_EQ(count(home, "select count(*) from lectura_carga_detalle_conc where id_viaje = 2 and id_alim = 52 and kg_real = 250 and nombre = 'Maiz 8'"), 1);
    EXPECT_EQ(count(home, "select count(*) from lectura_carga_detalle_conc where id_viaje = 3 and kg_real = 400"), 1);
    // Each row belongs to its own load.
    EXPECT_EQ(count(home, "select count(*) from lectura_carga_detalle_conc d, lectura_Carga c where "
                          "c.id_mod = d.id_mod and c.id_viaje = d.id_viaje and c.Id_alim = d.id_alim"), 4);
}

TEST_F(SaveOnceTest, StoredTripsAreKnownAcrossLargeGridsAndRepeatedIds)
{
    home.exec("insert into lectura_viajes (id, Turno) values (3, 1)");
    home.exec("insert into lectura_viajes (id, Turno) values (1050, 1)");
    for (int id = 1; id <= 1100; ++id) {
        TripCells t;
        t.id = id;
        const int r = addTrip(grid(), t);
        addLoad(grid(), r, LoadCells{});
    }
    TripCells again; // the same trip twice in one grid
    again.id = 7;
    const int r = addTrip(grid(), again);
    addLoad(grid(), r, LoadCells{});

    CmdGrabar_Click(home.ctx);

    EXPECT_EQ(count(home, "select count(*) from lectura_viajes"), 1100);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga"), 1098);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga where id_viaje in (3, 1050)"), 0);
    EXPECT_EQ(count(home, "select count(*) from lectura_Carga where id_viaje = 7"), 1);
}

TEST_F(SaveOnceTest, LookupsAreAskedOncePerSaveNotPerRow)
{
    prescribe(7, 2, {3, 5});
    home.exec("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (7, 2, 3000)");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 2, 1, 1200)");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 2, 2, 800)");
    for (int id = 1; id <= 40; ++id)
        addTripWith(id, 7, 2, {3}, {1, 2});
    const qint64 before = home.ctx.db().statementCount();

    CmdGrabar_Click(home.ctx);

    // Rows: a trip, 2 loads, 1 recorded and 1 added unload, the totals update each;
    // the fill writes the rows of one value together, so it adds a few
    // statements, not a few per row.
    const qint64 rows = 40 * (1 + 2 + 2 + 1);
    const qint64 statements = home.ctx.db().statementCount() - before;
    EXPECT_GE(statements, rows);
    EXPECT_LE(statements, rows + 25) << statements;
    EXPECT_EQ(home.scalar("select count(*) from lectura_Carga where Kg_Prescriptos = 1200").toInt(), 40);
    EXPECT_EQ(home.scalar("select count(*) from lectura_Carga where Kg_Prescriptos = 800").toInt(), 40);
    EXPECT_EQ(home.scalar("select count(*) from lectura_descarga where Kg_Prescriptos = 7203").toInt(), 40);
    EXPECT_EQ(home.scalar("select count(*) from lectura_descarga where Kg_Prescriptos = 7205").toInt(), 40);
    EXPECT_EQ(home.scalar("select count(*) from lectura_viajes where Kg_Tot_Pres = 3000").toInt(), 40);
}

} // namespace
