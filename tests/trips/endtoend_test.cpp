#include "remote/remotetestsupport.h"
#include "support/childprocess.h"
#include "support/faultproxy.h"

#include "store/localconnection.h"

#include "common/gridcolumns.h"
#include "support/testsupport.h"

#include "download/download.h"
#include "trips/save.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <memory>

namespace zelvano {
namespace {

using test::RemotePeer;

// Farm 12: trip 801 (prescription 7, programmed trip 2) with a concentrate
// load, a maize load and unloads of herds 3 and 7; trip 802 on shift 99.
void seedFarm()
{
    RemotePeer::execAll({
        QStringLiteral("insert into lectura_viajes_feed values "
                       "(12, 801, 1, 7, 'Engorde', '2024-01-05', 120, 9999, 9999, 2, '7'),"
                       "(12, 802, 99, 7, 'Limpieza', '2024-01-06', 0, 0, 0, 2, '7'),"
                       "(13, 803, 1, 7, 'Otro cliente', '2024-01-06', 10, 10, 10, 2, '7')"),
        QStringLiteral("insert into lectura_carga_feed (id_viaje, id_alim, des_alim, cantidad, "
                       "kg_sug, kg_real, hora, operario, id_tablet, nom_tablet, suceso) values "
                       "(801, 50, 'Balanceado', 0, 1010.00, 1000.00, '06:10:00', '7', 'T1', 'Mixer', ''),"
                       "(801, 51, 'Maiz', 0, 500.50, 495.25, '06:20:00', '7', 'T1', 'Mixer', ''),"
                       "(802, 51, 'Maiz', 0, 10, 12, '08:00:00', '7', 'T1', 'Mixer', ''),"
                       "(803, 51, 'Maiz', 0, 10, 10, '08:00:00', '7', 'T9', 'Otra', '')"),
        QStringLiteral("insert into lectura_descarga_feed (id_viaje, id_rodeo, nom_rodeo, cabezas, "
                       "categoria, actividad, corral, kg_sug, kg_real, hora, operario, id_tablet, "
                       "nom_tablet, gps, suceso) values "
                       "(801, 3, 'Corral 3', 30, 1, 2, 3, 700, 705, '07:00:00', '7', 'T1', 'Mixer', '-31.4,-64.1', ''),"
                       "(801, 7, 'Corral 7', 70, 1, 2, 7, 800, 790, '07:10:00', '7', 'T1', 'Mixer', ',', ''),"
                       "(802, 3, 'Corral 3', 30, 1, 2, 3, 12, 12, '08:10:00', '7', 'T1', 'Mixer', '', '')"),
    });
}

void seedLocal(const test::TestHome &home)
{
    home.exec("insert into usuario (id, apellido, nombre, login, activo) values (7, 'Perez', 'Juan', 'jp', true)");
    home.exec("insert into prescripcion_viajes (id_prescripcion, id_viaje, kilos) values (7, 2, 3000)");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 2, 50, 1000)");
    home.exec("insert into Prescripcion_detalle_alimentos (id_prescripcion, id_viaje, id_alimento, kilos) values (7, 2, 51, 500)");
    for (int herd : {3, 5, 7}) {
        home.exec(QStringLiteral("insert into prescripcion_descarga (id_prescripcion, id_viaje, id_corral, "
                                 "nom_corral, kilos) values (7, 2, '%1', 'Corral %1', %2)")
                      .arg(herd)
                      .arg(herd * 100));
        home.exec(QStringLiteral("insert into prescripcion_rodeos (id, cabezas, id_cat, actividad, corral) "
                                 "values ('%1', %2, 1, 2, %1)")
                      .arg(herd)
                      .arg(herd * 10));
    }
    home.exec("insert into prescripcion_alimentos values (7, 50, 'Balanceado', 'Concentrado')");
    home.exec("insert into prescripcion_alimentos values (7, 51, 'Maiz', 'Grano')");
    home.exec("insert into prescripcion_alimentos values (7, 52, 'Soja', 'Grano')");
    home.exec("insert into prescripcion_detalle_concentrado values (7, 50, 51, 62.5)");
    home.exec("insert into prescripcion_detalle_concentrado values (7, 50, 52, 37.5)");
}

struct Stored
{
    int trips, loads, unloads, concentrate;
    bool operator==(const Stored &) const = default;
};

Stored stored(const test::TestHome &home)
{
    return {home.scalar("select count(*) from lectura_viajes").toInt(),
            home.scalar("select count(*) from lectura_Carga").toInt(),
            home.scalar("select count(*) from lectura_descarga").toInt(),
            home.scalar("select count(*) from lectura_carga_detalle_conc").toInt()};
}

class EndToEndTest : public ::testing::TestWithParam<bool>
{
protected:
    void SetUp() override
    {
        RemotePeer::requireServices();
        if (HasFatalFailure())
            return;
        RemotePeer::reset();
        seedFarm();
        seedLocal(home);
        home.connect();
        Settings &s = home.ctx.settings;
        s.ClientId = QStringLiteral("12");
        s.ClientPassword = QStringLiteral("secreto");
        s.RemoteMode = GetParam() ? QStringLiteral("ODBC") : QStringLiteral("WEB");
        s.ServerHost = GetParam() ? RemotePeer::odbcHost() : RemotePeer::webHost();
    }

    void cycle()
    {
        CmdDescargar_Click(home.ctx);
        CmdGrabar_Click(home.ctx);
    }

    test::TestHome home;
};

INSTANTIATE_TEST_SUITE_P(BothWays, EndToEndTest, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Odbc" : "Web"; });

TEST_P(EndToEndTest, DownloadAndSaveStoreTheFarmOnceOnly)
{
    cycle();
    ASSERT_EQ(home.ctx.grid.rowCount(), 2);
    const QStringList events = test::eventTexts(home);
    ASSERT_EQ(events.size(), 1) << events.join('\n').toStdString();
    EXPECT_EQ(events[0], "Finalizo la descarga de datos Web exitosamente a las 10:00:00");

    EXPECT_EQ(stored(home), (Stored{2, 3, 4, 2}));
    EXPECT_EQ(home.scalar("select kg_tot_sug from lectura_viajes where id = 801").toDouble(), 1510.5);
    EXPECT_EQ(home.scalar("select kg_tot_real from lectura_viajes where id = 801").toDouble(), 1495.25);
    EXPECT_EQ(home.scalar("select Kg_Tot_Pres from lectura_viajes where id = 801").toDouble(), 3000);
    EXPECT_EQ(home.scalar("select Kg_Tot_Pres from lectura_viajes where id = 802").toDouble(), 0);
    EXPECT_EQ(home.scalar("select fecha from lectura_viajes where id = 801").toDate(), QDate(2024, 1, 5));
    EXPECT_EQ(home.scalar("select id_pres from lectura_viajes where id = 801").toInt(), 7);
    EXPECT_EQ(home.scalar("select Kg_Prescriptos from lectura_Carga where id_viaje = 801 and Id_alim = 51").toDouble(), 500);
    EXPECT_EQ(home.scalar("select Kg_Prescriptos from lectura_Carga where id_viaje = 802").toDouble(), 0)
        << "shift 99";
    EXPECT_EQ(home.scalar("select operario from lectura_Carga where id_viaje = 802").toInt(), 7);
    EXPECT_EQ(home.scalar("select hora from lectura_descarga where id_viaje = 801 and id_rodeo = 7").toTime(),
              QTime(7, 10, 0));
    // Herd 5 was prescribed but not fed: added; shift 99 gets no comparison.
    EXPECT_EQ(home.scalar("select Kg_Prescriptos from lectura_descarga where id_viaje = 801 and "
                          "id_rodeo = 5 and suceso = 'E'").toDouble(), 500);
    EXPECT_EQ(home.scalar("select count(*) from lectura_descarga where id_viaje = 802").toInt(), 1);
    EXPECT_EQ(home.scalar("select kg_sug from lectura_carga_detalle_conc where id_ali = 51").toDouble(), 631);
    EXPECT_EQ(home.scalar("select kg_real from lectura_carga_detalle_conc where id_ali = 52").toDouble(), 375);

    // Again: new trips only finds nothing, and the range finds them all stored.
    cycle();
    EXPECT_EQ(home.ctx.grid.rowCount(), 0);
    home.ctx.newTripsOnly = false;
    home.ctx.DTdesde = QDate(2024, 1, 1);
    home.ctx.DThasta = QDate(2024, 1, 31);
    cycle();
    ASSERT_EQ(home.ctx.grid.rowCount(), 2);
    EXPECT_EQ(home.ctx.grid.row(0).cells[TripCell::Id].icon, TripGrid::kStoredIcon);
    EXPECT_EQ(stored(home), (Stored{2, 3, 4, 2}));
    EXPECT_EQ(test::eventTexts(home).size(), 2);
}

TEST(SaveCommand, RunsOneCycleAndPrintsWhatItStored)
{
    RemotePeer::requireServices();
    if (::testing::Test::HasFatalFailure())
        return;
    RemotePeer::reset();
    seedFarm();
    test::TestHome home;
    seedLocal(home);
    home.exec("update mi_empresa set id_cliente_remoto = '12', password_remoto = 'secreto', "
              "modo_remoto = 'WEB', servidor_remoto = '" + RemotePeer::webHost() + "'");

    auto run = [&](const QStringList &options) {
        QProcess p;
        p.start(QStringLiteral(ZELVANO_EXECUTABLE),
                QStringList{"--home", home.dir(), "save"} + options);
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput());
    };
    EXPECT_EQ(run({}), "downloaded trips\t2\ntrips\t2\nloads\t3\nunloads\t3\n"
                       "added prescribed unloads\t1\nconcentrate rows\t2\ntrips left out\t0\n");
    EXPECT_EQ(run({"--from", "01/01/2024", "--to", "31/01/2024"}),
              "downloaded trips\t2\ntrips\t0\nloads\t0\nunloads\t0\n"
              "added prescribed unloads\t0\nconcentrate rows\t0\ntrips left out\t0\n");
    EXPECT_EQ(stored(home), (Stored{2, 3, 4, 2}));
}

// A farm office of farm 12 reaching the server in one way at `host`. Its
// database holds loads and unloads to their trip, as the suite's own may,
// and logs every update of a trip's totals.
std::unique_ptr<test::TestHome> officeHome(bool odbc, const QString &host)
{
    auto home = std::make_unique<test::TestHome>();
    seedLocal(*home);
    {
        LocalConnection db;
        db.open(home->databasePath());
        db.execute(QStringLiteral("create table totals_updates (id integer)"), {});
        for (const char *table : {"lectura_Carga", "lectura_descarga"})
            db.execute(QStringLiteral("create trigger %1_needs_trip before insert on %1 when not "
                                      "exists (select 1 from lectura_viajes where id = "
                                      "new.id_viaje) begin select raise(abort, 'no trip yet'); end")
                           .arg(QLatin1String(table)),
                       {});
        db.execute(QStringLiteral("create trigger totals after update of kg_tot_sug on "
                                  "lectura_viajes begin insert into totals_updates values "
                                  "(new.id); end"),
                   {});
    }
    home->connect();
    Settings &s = home->ctx.settings;
    s.ClientId = QStringLiteral("12");
    s.ClientPassword = QStringLiteral("secreto");
    s.RemoteMode = odbc ? QStringLiteral("ODBC") : QStringLiteral("WEB");
    s.ServerHost = host;
    return home;
}

// The events that leave a trip out, with the time of the test clock.
QStringList refusalEvents(const test::TestHome &home)
{
    QStringList found;
    for (const QString &event : test::eventTexts(home))
        if (event.startsWith(QStringLiteral("Viaje ")))
            found << event;
    return found;
}

// One odd answer, and what the save makes of trip 801: stored exactly as from
// a sound answer (no event), or left out with that event (%1: the first
// load's id_carga). Trip 802 is always stored as from a sound answer.
struct OddCase
{
    const char *name;
    const char *rules; // of the fault proxy (WEB)
    QStringList odbc;  // server statements; none when the server cannot hold it
    const char *event;
    const char *check = nullptr; // instead of the sound answer's rows: a query giving 1
    const char *odbcEvent = nullptr; // where the ODBC way's event differs
};

void expectCase(const OddCase &c, bool odbc, test::TestHome &home,
                const test::StoredTrips &sound, const SaveOutcome &saved)
{
    SCOPED_TRACE(c.name);
    const test::StoredTrips stored = test::storedTrips(home.databasePath());
    EXPECT_EQ(test::onlyTrips(stored, {"802"}), test::onlyTrips(sound, {"802"}));
    const QString event = QString::fromUtf8(odbc && c.odbcEvent ? c.odbcEvent : c.event);
    if (event.isEmpty()) {
        EXPECT_EQ(refusalEvents(home), QStringList());
        if (c.check)
            EXPECT_EQ(home.scalar(QString::fromUtf8(c.check)).toInt(), 1);
        else
            EXPECT_EQ(stored, sound);
    } else {
        const QString load = RemotePeer::scalar(
            "select min(id_carga) from lectura_carga_feed where id_viaje = 801").toString();
        const QString expected = event.contains(u'%') ? event.arg(load) : event;
        EXPECT_EQ(refusalEvents(home).join('\n').toStdString(), (expected + " 10:00:00").toStdString());
        EXPECT_EQ(stored.count("801"), 0u);
    }
    // What is printed and recorded is what the transaction holds.
    EXPECT_EQ(saved.trips, int(stored.size()));
    EXPECT_EQ(saved.refusedTrips, event.isEmpty() ? 0 : 1);
    EXPECT_TRUE(saved.ok()) << saved.errorText().toStdString();
    EXPECT_EQ(home.scalar("select count(*) from totals_updates").toInt(), int(stored.size()));
}

// Rows an answer sends again (a proxy or a server replaying them) are one
// row each; two rows of one server id that differ leave their trip out.
TEST(OddAnswers, RowsSentAgainAreStoredOnceAndContradictionsLeaveTheirTripOut)
{
    RemotePeer::requireServices();
    if (::testing::Test::HasFatalFailure())
        return;
    RemotePeer::reset();
    seedFarm();
    test::FaultProxy proxy(test::FaultProxy::referenceServerHost());
    const auto clean = officeHome(false, proxy.host());
    CmdDescargar_Click(clean->ctx);
    CmdGrabar_Click(clean->ctx);
    const test::StoredTrips sound = test::storedTrips(clean->databasePath());
    ASSERT_EQ(sound.size(), 2u);

    const QString loads801 = "from lectura_carga_feed where id_viaje = 801";
    const OddCase cases[] = {
        {"loads answered twice", R"([{"match": "%1", "action": "rows", "repeat": [0, 1]}])", {}, ""},
        {"one load twice", R"([{"match": "%1", "action": "rows", "repeat": [1]}])", {}, ""},
        {"unloads answered twice",
         R"([{"match": "from lectura_descarga_feed where id_viaje = 801", "action": "rows", "repeat": [0, 1]}])",
         {}, ""},
        {"a trip twice", R"([{"match": "from lectura_viajes_feed", "action": "rows", "repeat": [0]}])", {}, ""},
        {"a load twice with other kilograms",
         R"([{"match": "%1", "action": "rows", "repeat": [0], "on_rows": [1], "set": {"kg_real": "\"1.00\""}}])",
         {}, "Viaje 801 no guardado: el servidor envió la carga con id_carga %1 dos veces con valores distintos"},
        {"a trip twice with another recipe",
         R"([{"match": "from lectura_viajes_feed", "action": "rows", "repeat": [0], "on_rows": [1], "set": {"des_receta": "\"Otra\""}}])",
         {}, "Viaje 801 no guardado: el servidor envió el viaje dos veces con valores distintos"},
    };
    for (const OddCase &c : cases) {
        auto home = officeHome(false, proxy.host());
        proxy.setRules(QString::fromUtf8(c.rules).replace("%1", loads801));
        CmdDescargar_Click(home->ctx);
        const SaveOutcome saved = CmdGrabar_Click(home->ctx);
        expectCase(c, false, *home, sound, saved);
        // The grid shows one row per server row.
        ASSERT_EQ(home->ctx.grid.rowCount(), 2) << c.name;
        EXPECT_EQ(home->ctx.grid.row(0).children.size(), 4u) << c.name;
    }
}

// An odd value in a cell is treated alike in both ways: the same rows stored,
// or the trip left out with the same event.
TEST_P(EndToEndTest, OddValuesInACellAreTreatedAlikeInBothWays)
{
    const bool odbc = GetParam();
    std::unique_ptr<test::FaultProxy> proxy;
    if (!odbc)
        proxy = std::make_unique<test::FaultProxy>(test::FaultProxy::referenceServerHost());
    const QString host = odbc ? RemotePeer::odbcHost() : proxy->host();
    const auto clean = officeHome(odbc, host);
    CmdDescargar_Click(clean->ctx);
    CmdGrabar_Click(clean->ctx);
    const test::StoredTrips sound = test::storedTrips(clean->databasePath());
    ASSERT_EQ(sound.size(), 2u);

    const QString load = R"([{"match": "from lectura_carga_feed where id_viaje = 801", "action": "rows", "on_rows": [0], %1}])";
    const QString trip = R"([{"match": "from lectura_viajes_feed", "action": "rows", "on_rows": [0], %1}])";
    const QString firstLoad = " where id_viaje = 801 and id_alim = 50";
    const OddCase cases[] = {
        {"NaN kilograms", R"(L"set": {"kg_real": "\"NaN\""})", {},
         "Viaje 801 no guardado: la celda kg_real de la carga 1 ('NaN') no es un valor válido"},
        {"infinite kilograms", R"(L"set": {"kg_sug": "\"-inf\""})", {},
         "Viaje 801 no guardado: la celda kg_sug de la carga 1 ('-inf') no es un valor válido"},
        {"kilograms past the stored range", R"(L"set": {"kg_real": "1e308"})", {},
         "Viaje 801 no guardado: la celda kg_real de la carga 1 ('1e308') no es un valor válido"},
        {"heads past the stored range", R"(T"set": {"cab_tot": "\"1e16\""})", {},
         "Viaje 801 no guardado: la celda cab_tot del viaje ('1e16') no es un valor válido"},
        {"an id past 32 bits", R"(T"set": {"id_pres": "\"99999999999\""})",
         {"update lectura_viajes_feed set id_pres = '99999999999' where id_viaje = 801"},
         "Viaje 801 no guardado: la celda id_pres del viaje ('99999999999') no es un valor válido"},
        {"empty kilograms", R"(L"set": {"kg_real": "\"\""})",
         {"update lectura_carga_feed set kg_real = null" + firstLoad},
         "Viaje 801 no guardado: la celda kg_real de la carga 1 está vacía"},
        {"a zero date", R"(T"set": {"fecha": "\"0000-00-00\""})",
         {"set session sql_mode = ''",
          "update lectura_viajes_feed set fecha = '0000-00-00' where id_viaje = 801"},
         "Viaje 801 no guardado: la celda fecha del viaje ('0000-00-00') no es un valor válido",
         nullptr,
         // The driver gives a zero date as no date.
         "Viaje 801 no guardado: la celda fecha del viaje está vacía"},
        {"text that is not UTF-8", R"(L"set_bytes": {"des_alim": "224d61c37a22"})",
         {"alter table lectura_carga_feed modify des_alim varbinary(100)",
          "update lectura_carga_feed set des_alim = X'4D61C37A'" + firstLoad},
         "Viaje 801 no guardado: la celda des_alim de la carga 1 ('Ma\\xC3z') no es texto UTF-8 válido"},
        {"a shift but no programmed trip", R"(T"set": {"id_prg": "null"})",
         {"update lectura_viajes_feed set id_prg = null where id_viaje = 801"},
         "Viaje 801 no guardado: la celda id_prg del viaje está vacía"},
        {"no shift at all", R"(T"set": {"turno": "null"})",
         {"update lectura_viajes_feed set turno = null where id_viaje = 801"}, "",
         "select count(*) from lectura_viajes where id = 801 and Turno is null and "
         "Kg_Tot_Pres = 0 and kg_tot_sug = 1510.5 and kg_tot_real = 1495.25 and "
         "(select count(*) from lectura_descarga where id_viaje = 801) = 2"},
    };
    for (const OddCase &c : cases) {
        if (odbc && c.odbc.isEmpty())
            continue; // the server's column cannot hold it
        RemotePeer::reloadSchema();
        RemotePeer::reset();
        seedFarm();
        if (odbc) {
            RemotePeer::execAll(c.odbc);
        } else {
            QString rules = QString::fromUtf8(c.rules);
            const QString body = rules.mid(1);
            proxy->setRules((rules.startsWith(u'L') ? load : trip).arg(body));
        }
        auto home = officeHome(odbc, host);
        CmdDescargar_Click(home->ctx);
        const SaveOutcome saved = CmdGrabar_Click(home->ctx);
        expectCase(c, odbc, *home, sound, saved);
    }
    RemotePeer::reloadSchema();
}

// What `zelvano save` prints and `zelvano status` says are what the save's
// transaction holds: a trip left out does not fail the save, a rollback
// stored nothing.
TEST(SaveCommand, PrintsAndRecordsWhatItsTransactionHolds)
{
    RemotePeer::requireServices();
    if (::testing::Test::HasFatalFailure())
        return;
    RemotePeer::reset();
    seedFarm();
    test::FaultProxy proxy(test::FaultProxy::referenceServerHost());
    proxy.setRules(R"([{"match": "from lectura_carga_feed where id_viaje = 801", "action": "rows", "on_rows": [0], "set": {"kg_real": "\"NaN\""}}])");
    auto zelvano = [](const test::TestHome &home, const QStringList &args) {
        QProcess p;
        p.start(QStringLiteral(ZELVANO_EXECUTABLE), QStringList{"--home", home.dir()} + args);
        EXPECT_TRUE(p.waitForFinished(60000));
        return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
    };
    const struct
    {
        const char *name;
        const char *localTrigger; // makes the local database refuse a row
        const char *printed;
        const char *download;     // the status line's start and end
        const char *lastError;
    } cases[] = {
        {"one trip left out", nullptr,
         "downloaded trips\t2\ntrips\t1\nloads\t1\nunloads\t1\nadded prescribed unloads\t0\n"
         "concentrate rows\t0\ntrips left out\t1\n",
         "download: ok, ran |, 1 trips stored, 1 left out",
         "Viaje 801 no guardado: la celda kg_real de la carga 1 ('NaN') no es un valor válido"},
        {"a rollback",
         "create trigger refuse before insert on lectura_descarga begin select raise(abort, "
         "'disk full'); end",
         "downloaded trips\t2\ntrips\t0\nloads\t0\nunloads\t0\nadded prescribed unloads\t0\n"
         "concentrate rows\t0\ntrips left out\t0\n",
         "download: failed, ran |, 0 trips stored, 0 left out", "Error "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        test::TestHome home;
        seedLocal(home);
        home.exec("update mi_empresa set id_cliente_remoto = '12', password_remoto = 'secreto', "
                  "modo_remoto = 'WEB', servidor_remoto = '" + proxy.host() + "'");
        if (c.localTrigger) {
            LocalConnection db;
            db.open(home.databasePath());
            db.execute(QString::fromUtf8(c.localTrigger), {});
        }
        const auto [exitCode, printed] = zelvano(home, {"save"});
        EXPECT_EQ(exitCode, 1);
        EXPECT_EQ(printed.toStdString(), c.printed);
        const QString status = zelvano(home, {"status"}).second;
        const QString line = status.section('\n', 3, 3);
        const QStringList ends = QString::fromUtf8(c.download).split('|');
        EXPECT_TRUE(line.startsWith(ends[0]) && line.contains(ends[1])) << line.toStdString();
        EXPECT_TRUE(status.section("last errors:\n", 1).trimmed().section('\t', 2).startsWith(
            QString::fromUtf8(c.lastError)))
            << status.toStdString();
    }
}

// Forty trips of farm 12; the server sends three of them with cells that do
// not convert: trip 907 the prescription "7x", trip 913 a load without its
// ingredient, trip 940, the highest, a load without its real kilograms.
void seedFortyTrips()
{
    QStringList trips, loads, unloads;
    for (int id = 901; id <= 940; ++id) {
        trips << QStringLiteral("(12, %1, 1, 7, 'Receta %1', '2024-02-01', 100, 0, 0, 2, '%2')")
                     .arg(id)
                     .arg(id == 907 ? QStringLiteral("7x") : QStringLiteral("7"));
        for (int k = 0; k < 3; ++k)
            loads << QStringLiteral(
                         "(%1, %2, 'Alimento', 0, 500.00, %3, '06:%4:00', '7', 'T1', 'Mixer', '')")
                         .arg(id)
                         .arg(id == 913 && k == 1 ? QStringLiteral("NULL")
                                                  : QString::number(50 + k))
                         .arg(id == 940 && k == 2 ? QStringLiteral("NULL")
                                                  : QStringLiteral("498.5"))
                         .arg(10 + k);
        for (int herd : {3, 7})
            unloads << QStringLiteral(
                           "(%1, %2, 'Corral %2', 30, 1, 2, %2, 700, 705, '07:%3:00', '7', "
                           "'T1', 'Mixer', '-31.4,-64.1', '')")
                           .arg(id)
                           .arg(herd)
                           .arg(10 + herd);
    }
    RemotePeer::execAll(RemotePeer::feedInserts(trips, loads, unloads));
}

// The scheduler's cycle as a separate program, killed at random instants,
// then run until it ends: the stored rows are those of a run never killed,
// and each refused trip is logged once, whatever the kills interrupted.
TEST(KilledCycle, RerunsStoreWhatARunWithoutTheKillsStores)
{
    RemotePeer::requireServices();
    if (::testing::Test::HasFatalFailure())
        return;
    RemotePeer::reset();
    seedFortyTrips();
    auto makeHome = [] {
        auto home = std::make_unique<test::TestHome>();
        seedLocal(*home);
        home->exec("update mi_empresa set id_cliente_remoto = '12', password_remoto = 'secreto', "
                   "modo_remoto = 'WEB', servidor_remoto = '" +
                   RemotePeer::webHost() + "'");
        return home;
    };
    const QString program = QStringLiteral(ZELVANO_EXECUTABLE);
    auto save = [&](const test::TestHome &home, int killAfterMs) {
        return test::ChildProcess::runKilledAfter(program, {"--home", home.dir(), "save"}, {},
                                                  killAfterMs);
    };

    const auto clean = makeHome();
    const test::ChildResult whole = save(*clean, 60000);
    ASSERT_TRUE(whole.finished);
    EXPECT_EQ(whole.exitCode, 1) << "three trips were refused";
    const test::StoredTrips expected = test::storedTrips(clean->databasePath());
    EXPECT_EQ(expected.size(), 37u);
    EXPECT_EQ(expected.count(QStringLiteral("907")) + expected.count(QStringLiteral("913")) +
                  expected.count(QStringLiteral("940")),
              0u);
    const QStringList refusals{
        "Viaje 907 no guardado: la celda id_pres del viaje ('7x') no es un valor válido 10:00:00",
        "Viaje 913 no guardado: la celda Id_alim de la carga 2 está vacía 10:00:00",
        "Viaje 940 no guardado: la celda kg_real de la carga 3 está vacía 10:00:00"};
    auto refusalsLogged = [](const test::TestHome &home) {
        QStringList found;
        for (const QString &event : test::eventTexts(home))
            if (event.startsWith(QStringLiteral("Viaje ")))
                found << event.left(event.size() - 8) + QStringLiteral("10:00:00"); // any time
        return found;
    };
    EXPECT_EQ(refusalsLogged(*clean), refusals);

    const quint32 seed = test::testSeed();
    SCOPED_TRACE(testing::Message() << "seed " << seed << " (ZELVANO_TEST_SEED replays it)");
    const auto killed = makeHome();
    int kills = 0;
    for (quint32 i = 0; i < 5; ++i) {
        // Within the first third of a clean run: a loaded machine can make
        // the killed run faster than the clean one, and a run that ends
        // before its kill leaves the later ones nothing to cut.
        const int delay = test::randomDelayMs(20, std::max(40, int(whole.elapsedMs / 3)), seed + i);
        const test::ChildResult r = save(*killed, delay);
        kills += r.killed ? 1 : 0;
        EXPECT_EQ(killed->scalar("pragma integrity_check").toString(), "ok")
            << "after " << delay << " ms";
    }
    std::printf("[ info     ] %d of 5 runs killed, seed %u\n", kills, seed);
    EXPECT_GE(kills, 1);
    const test::ChildResult last = save(*killed, 60000);
    ASSERT_TRUE(last.finished);
    EXPECT_EQ(test::storedTrips(killed->databasePath()), expected) << kills << " of 5 runs killed";
    EXPECT_EQ(refusalsLogged(*killed), refusals);
    // Quiet from now on: the refused trips are neither fetched nor logged again.
    const test::ChildResult quiet = save(*killed, 60000);
    ASSERT_TRUE(quiet.finished);
    EXPECT_EQ(quiet.exitCode, 0) << quiet.standardError.toStdString();
    EXPECT_TRUE(quiet.standardOutput.startsWith("downloaded trips\t0\n"))
        << quiet.standardOutput.toStdString();
    EXPECT_EQ(refusalsLogged(*killed), refusals);
    EXPECT_EQ(test::storedTrips(killed->databasePath()), expected);
}

} // namespace
} // namespace zelvano
