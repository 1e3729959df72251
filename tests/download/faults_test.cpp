// The download (and the save after it) against the reference server with
// faults made for real: a proxy of the test's own breaks chosen answers, the
// server's tables go away mid-download, a server drips its answer, settings
// try to bend the statements. After each fault nothing partial is stored, and
// the next clean run stores exactly what a run without the fault stores.

#include "remote/remotetestsupport.h"
#include "support/faultproxy.h"
#include "support/testsupport.h"

#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "common/vb.h"
#include "download/download.h"
#include "sync/sync.h"
#include "trips/save.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <memory>

namespace zelvano {
namespace {

using test::FaultProxy;
using test::FaultRule;
using test::RemotePeer;
using test::TestHome;

const QString kTime = QStringLiteral("10:00:00");

// Farm 12: trips 601-603, three loads and two unloads each (602 carries the
// load of 1758.40 kg); trip 610 of farm 13 and 620 of farm 929, whose password
// is "otra".
void seedFarm()
{
    QStringList trips, loads, unloads;
    auto trip = [&](int client, int id) {
        trips << QStringLiteral("(%1, %2, 1, 7, 'Receta %2', '2024-01-05', 120, 3000.00, 2990.00, "
                                "3, '4')")
                     .arg(client)
                     .arg(id);
        const QString real = id == 602 ? QStringLiteral("1758.40") : QStringLiteral("100.25");
        loads << QStringLiteral(
                     "(%1, 31, 'Maíz', 0, 800.00, 805.50, '06:10:00', '7', 'T1', 'Mixer', '')")
                     .arg(id)
              << QStringLiteral(
                     "(%1, 32, 'Silo', 0, 700.50, 692.50, '06:20:00', '7', 'T1', 'Mixer', NULL)")
                     .arg(id)
              << QStringLiteral(
                     "(%1, 33, 'Núcleo', 0, 1760.00, %2, '06:30:00', '99', 'T1', 'Mixer', 'x')")
                     .arg(id)
                     .arg(real);
        unloads << QStringLiteral(
                       "(%1, 5, 'Corral 5', 60, 2, 1, 5, 750.00, 740.00, '07:00:00', '7', "
                       "'T1', 'Mixer', '-31.4,-64.1', '')")
                       .arg(id)
                << QStringLiteral(
                       "(%1, 6, 'Corral 6', 60, 2, 1, 6, 750.50, 758.00, '07:10:00', '', "
                       "'T1', 'Mixer', ',', 'tolva {abierta}')")
                       .arg(id);
    };
    for (int id : {601, 602, 603})
        trip(12, id);
    trip(13, 610);
    trip(929, 620);
    RemotePeer::exec(
        QStringLiteral("insert into clientes (id, password, nombre) values (929, 'otra', 'Otra')"));
    RemotePeer::execAll(RemotePeer::feedInserts(trips, loads, unloads));
}

using Stored = test::StoredTrips;

Stored stored(const TestHome &home)
{
    return test::storedTrips(home.databasePath());
}

Stored only(const Stored &all, const QStringList &trips)
{
    return test::onlyTrips(all, trips);
}

struct Cycle
{
    DownloadOutcome downloaded;
    SaveOutcome saved;
};

// The tests below count and order the statements sent, or break the server
// at a chosen point of the grid's filling: what a download one statement at a
// time does. Many exchanges in flight are broken in parallel_test.cpp.
RemoteOptions oneAtATime()
{
    RemoteOptions options = RemoteOptions::tripDownload();
    options.connections = 1;
    return options;
}

class DownloadFaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!RemotePeer::freshServer())
            return;
        seedFarm();
        proxy = std::make_unique<FaultProxy>(FaultProxy::referenceServerHost());
    }

    static std::unique_ptr<TestHome> newHome(const QString &host, bool odbc = false)
    {
        auto home = std::make_unique<TestHome>();
        home->connect();
        home->exec(QStringLiteral(
            "insert into usuario (id, apellido, nombre) values (7, 'Pérez', 'Juan')"));
        Settings &s = home->ctx.settings;
        s.ClientId = QStringLiteral("12");
        s.ClientPassword = QStringLiteral("secreto");
        s.RemoteMode = odbc ? QStringLiteral("ODBC") : QStringLiteral("WEB");
        s.ServerHost = host;
        return home;
    }

    // One download of new trips and one save, as a tick runs them.
    static Cycle cycle(TestHome &home, const RemoteOptions &options = RemoteOptions::tripDownload())
    {
        Cycle c;
        c.downloaded = CmdDescargar_Click(home.ctx, options);
        c.saved = CmdGrabar_Click(home.ctx);
        return c;
    }

    // What a run without any fault stores.
    static Stored clean(bool odbc = false)
    {
        auto home = newHome(odbc ? RemotePeer::odbcHost() : RemotePeer::webHost(), odbc);
        const Cycle c = cycle(*home);
        EXPECT_TRUE(c.downloaded.ok() && c.saved.ok());
        return stored(*home);
    }

    static QStringList tripIds(const TestHome &home)
    {
        QStringList ids;
        for (const TripGrid::Row &r : home.ctx.grid.rows())
            ids << vb::joinText(r.value(TripCell::Id));
        return ids;
    }

    std::unique_ptr<FaultProxy> proxy;
};

bool isDownloadError(const QString &event)
{
    return event.startsWith(QStringLiteral("Error ")) &&
           event.endsWith(QStringLiteral(" en procedimiento CmdDescargar_Click de Formulario "
                                         "FrmSucesos ") +
                          kTime);
}

// A broken answer to the trips, to the loads or to the unloads of trip 602:
// cut short with and without a length, between two objects and inside one, an
// HTML page with and without "{", a refusal, a reset connection.
TEST_F(DownloadFaultTest, BrokenAnswersLeaveNoHalfTripAndTheNextRunIsExact)
{
    const Stored whole = clean();
    ASSERT_EQ(whole.size(), 3u);

    struct Target
    {
        const char *name;
        QString match;
        QString sql;
        QStringList before; // the trips whole in the grid when the answer breaks
    };
    const std::vector<Target> targets{
        {"trips",
         QStringLiteral("from lectura_viajes_feed"),
         QStringLiteral("select * from lectura_viajes_feed where cliente = 12 and  id_viaje > 0  "
                        "order by id_viaje"),
         {}},
        {"loads of 602",
         QStringLiteral("lectura_carga_feed where id_viaje = 602"),
         loadsStatement(QStringLiteral("602")),
         {QStringLiteral("601")}},
        {"unloads of 602",
         QStringLiteral("lectura_descarga_feed where id_viaje = 602"),
         unloadsStatement(QStringLiteral("602")),
         {QStringLiteral("601")}},
    };
    for (const Target &target : targets) {
        const QByteArray body = test::sendStatement(RemotePeer::webHost(), target.sql).body;
        const qsizetype between = body.indexOf("},{") + 1; // the first object whole, no more
        const qsizetype kilos = body.indexOf("1758.4");
        const qsizetype inside = kilos > 0 ? kilos + 3 : between + 20; // "kg_real":"175
        ASSERT_GT(between, 0) << target.name;
        const std::vector<std::pair<const char *, FaultRule>> faults{
            {"cut between two objects", {.action = "truncate", .bytes = between}},
            {"cut inside an object", {.action = "truncate", .bytes = inside}},
            {"cut with the whole length announced", {.action = "truncate_len", .fraction = 0.5}},
            {"HTML page", {.action = "html200"}},
            {"HTML page with a brace", {.action = "html200_brace"}},
            {"status 500", {.action = "status", .code = 500, .body = "boom"}},
            {"connection reset", {.action = "reset"}},
        };
        for (auto [fault, rule] : faults) {
            SCOPED_TRACE(testing::Message() << target.name << ": " << fault);
            proxy->reset();
            rule.match = target.match;
            rule.times = 1;
            proxy->setRules({rule});
            auto home = newHome(proxy->host());

            const Cycle broken = cycle(*home, oneAtATime());

            EXPECT_FALSE(broken.downloaded.ok());
            EXPECT_EQ(tripIds(*home), target.before);
            const QStringList events = test::eventTexts(*home);
            ASSERT_FALSE(events.isEmpty());
            EXPECT_TRUE(isDownloadError(events[0])) << events[0].toStdString();
            EXPECT_EQ(events.size(), target.before.isEmpty() ? 1 : 2)
                << events.join('\n').toStdString();
            // Nothing was asked after the broken answer.
            const std::vector<test::ProxiedRequest> log = proxy->log();
            ASSERT_FALSE(log.empty());
            EXPECT_TRUE(log.back().sql.contains(target.match)) << log.back().sql.toStdString();
            EXPECT_EQ(proxy->count(target.match), 1);
            // Only whole trips are stored.
            EXPECT_EQ(stored(*home), only(whole, target.before));

            const Cycle next = cycle(*home, oneAtATime());
            EXPECT_TRUE(next.downloaded.ok()) << next.downloaded.errorText().toStdString();
            EXPECT_TRUE(next.saved.ok()) << next.saved.errorText().toStdString();
            EXPECT_EQ(stored(*home), whole);
        }
    }
}

// Answers that are whole JSON but not the answer to their statement: rows
// without trips, another farm's trips, another trip's loads. The download
// stops at the first of them; nothing is asked for their rows.
TEST_F(DownloadFaultTest, AnswersThatAreNotTheirStatementsStopTheDownloadAtOnce)
{
    const Stored whole = clean();
    QStringList junk;
    for (int i = 0; i < 1000; ++i)
        junk << QStringLiteral("{\"a\":\"%1\"}").arg(i);
    const QString otherFarm = QString::fromUtf8(
        test::sendStatement(RemotePeer::webHost(),
                            QStringLiteral("select * from lectura_viajes_feed where cliente = 13"))
            .body);
    const QString otherLoads = QString::fromUtf8(
        test::sendStatement(RemotePeer::webHost(), loadsStatement(QStringLiteral("601"))).body);
    struct Case
    {
        const char *name;
        QString match;
        QString body;
        QStringList before;
        int statements; // sent in all, the login included
    };
    const std::vector<Case> cases{
        {"1000 rows without a trip",
         QStringLiteral("from lectura_viajes_feed"),
         QLatin1Char('[') + junk.join(u',') + QLatin1Char(']'),
         {},
         2},
        {"another farm's trips", QStringLiteral("from lectura_viajes_feed"), otherFarm, {}, 2},
        {"another trip's loads",
         QStringLiteral("lectura_carga_feed where id_viaje = 602"),
         otherLoads,
         {QStringLiteral("601")},
         5},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        proxy->reset();
        proxy->setRules({{.match = c.match, .action = "html200", .times = 1, .body = c.body}});
        auto home = newHome(proxy->host());
        const Cycle broken = cycle(*home, oneAtATime());
        EXPECT_FALSE(broken.downloaded.ok());
        EXPECT_EQ(proxy->count(QString()), c.statements);
        EXPECT_EQ(tripIds(*home), c.before);
        const QStringList events = test::eventTexts(*home);
        ASSERT_FALSE(events.isEmpty());
        EXPECT_TRUE(isDownloadError(events[0])) << events[0].toStdString();
        EXPECT_TRUE(events[0].contains(QStringLiteral("does not belong to its statement")))
            << events[0].toStdString();
        EXPECT_EQ(stored(*home), only(whole, c.before));
        proxy->reset();
        cycle(*home, oneAtATime());
        EXPECT_EQ(stored(*home), whole);
    }
}

// One byte a second: the silence limits never end it, the overall one does.
TEST_F(DownloadFaultTest, ADrippingServerEndsWithinTheOverallLimit)
{
    proxy->setRules({{.match = QStringLiteral("lectura_carga_feed where id_viaje = 602"),
                      .action = "drip",
                      .times = 1,
                      .bytesPerSecond = 1}});
    auto home = newHome(proxy->host());
    RemoteOptions options = RemoteOptions::tripDownload();
    options.limits.answerMs = 1500;
    QElapsedTimer timer;
    timer.start();
    const DownloadOutcome outcome = CmdDescargar_Click(home->ctx, options);
    EXPECT_LT(timer.elapsed(), 1500 + 1500);
    ASSERT_TRUE(outcome.error());
    EXPECT_EQ(outcome.error()->number(), ErrNo::HttpTimeout);
    EXPECT_EQ(tripIds(*home), QStringList{"601"});
    EXPECT_EQ(test::eventTexts(*home),
              QStringList{"Error -2147012894 (The operation timed out) en procedimiento "
                          "CmdDescargar_Click de Formulario FrmSucesos " +
                          kTime});
}

// The server's tables go away while trip 602 is read: the ODBC way cannot go
// through the proxy, but its statements fail for real all the same.
class BothWaysFaultTest : public DownloadFaultTest, public ::testing::WithParamInterface<bool>
{
};
INSTANTIATE_TEST_SUITE_P(BothWays, BothWaysFaultTest, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Odbc" : "Web"; });

TEST_P(BothWaysFaultTest, AStatementFailingMidDownloadThenACleanRunIsExact)
{
    const bool odbc = GetParam();
    const Stored whole = clean(odbc);
    auto home = newHome(odbc ? RemotePeer::odbcHost() : RemotePeer::webHost(), odbc);
    bool broken = false;
    home->ctx.grid.setRefreshListener([&] {
        const TripGrid &g = home->ctx.grid;
        if (!broken && g.rowCount() == 2 && g.childCount(1) == 0) {
            broken = true;
            RemotePeer::exec(QStringLiteral("rename table lectura_descarga_feed to descargas_off"));
        }
    });
    const Cycle failed = cycle(*home, oneAtATime());
    RemotePeer::exec(QStringLiteral("rename table descargas_off to lectura_descarga_feed"));
    home->ctx.grid.setRefreshListener({});
    ASSERT_TRUE(broken);
    EXPECT_FALSE(failed.downloaded.ok());
    EXPECT_TRUE(failed.saved.ok());
    EXPECT_EQ(stored(*home), only(whole, {QStringLiteral("601")}));
    const QStringList events = test::eventTexts(*home);
    ASSERT_EQ(events.size(), 2);
    EXPECT_TRUE(isDownloadError(events[0])) << events[0].toStdString();
    EXPECT_TRUE(events[0].contains(QStringLiteral("lectura_descarga_feed")))
        << events[0].toStdString();

    const Cycle next = cycle(*home, oneAtATime());
    EXPECT_TRUE(next.downloaded.ok() && next.saved.ok());
    EXPECT_EQ(stored(*home), whole);
}

// A farm id or a host that would change a statement or an address: every job
// that talks to the server refuses it before its first statement.
TEST_P(BothWaysFaultTest, BentSettingsAreRefusedBeforeAnyStatement)
{
    const bool odbc = GetParam();
    const QString host = odbc ? RemotePeer::odbcHost() : proxy->host();
    for (const char *id : {"929 -- ", "929 or 1=1", "9 29", "abc"}) {
        SCOPED_TRACE(id);
        proxy->reset();
        auto home = newHome(host, odbc);
        home->ctx.settings.ClientId = QString::fromLatin1(id);
        home->ctx.settings.ClientPassword = QStringLiteral("wrong");
        const QString refusal =
            QStringLiteral("El id de cliente remoto '%1' no es un número entero: no se envía nada "
                           "al servidor")
                .arg(QString::fromLatin1(id));

        const DownloadOutcome downloaded = CmdDescargar_Click(home->ctx);
        CmdGrabar_Click(home->ctx);
        const SyncReport fresh = Sincronizar_nuevos(home->ctx);
        const SyncReport synced = Sincronizar_CabProd(home->ctx, false);

        EXPECT_EQ(proxy->count(QString()), 0);
        EXPECT_FALSE(downloaded.ok());
        EXPECT_FALSE(fresh.ok());
        EXPECT_FALSE(synced.ok());
        EXPECT_TRUE(fresh.remoteStatements.isEmpty());
        EXPECT_TRUE(synced.remoteStatements.isEmpty());
        EXPECT_EQ(home->scalar(QStringLiteral("select count(*) from lectura_viajes")).toInt(), 0);
        EXPECT_EQ(home->scalar(QStringLiteral("select count(*) from Produccion_Lactea")).toInt(),
                  0);
        const QStringList events = test::eventTexts(*home);
        ASSERT_EQ(events.size(), 3) << events.join('\n').toStdString();
        EXPECT_EQ(events[0], QStringLiteral("Error 5 (") + refusal +
                                 QStringLiteral(") en procedimiento CmdDescargar_Click de "
                                                "Formulario FrmSucesos ") +
                                 kTime);
        EXPECT_TRUE(events[1].contains(refusal) &&
                    events[1].contains(QStringLiteral("Sincronizar_nuevos")))
            << events[1].toStdString();
        EXPECT_TRUE(events[2].contains(refusal) &&
                    events[2].contains(QStringLiteral("Sincronizar_CabProd")))
            << events[2].toStdString();
    }
    // A host that would change the address or the connection string.
    for (const QString &bent :
         {host + QStringLiteral("/otro"), host + QStringLiteral(";Database=mysql"),
          QStringLiteral("127.0.0.1 ")}) {
        SCOPED_TRACE(bent.toStdString());
        auto home = newHome(bent, odbc);
        EXPECT_FALSE(CmdDescargar_Click(home->ctx).ok());
        EXPECT_FALSE(Sincronizar_CabProd(home->ctx, false).ok());
        EXPECT_EQ(proxy->count(QString()), 0);
        const QStringList events = test::eventTexts(*home);
        ASSERT_EQ(events.size(), 2);
        EXPECT_TRUE(events[0].startsWith(QStringLiteral("Error 5 (El servidor remoto '") + bent))
            << events[0].toStdString();
    }
    // Blanks around the id are no bend: the statement carries the number.
    auto home = newHome(host, odbc);
    home->ctx.settings.ClientId = QStringLiteral(" 12 ");
    const Cycle c = cycle(*home);
    EXPECT_TRUE(c.downloaded.ok() && c.saved.ok());
    EXPECT_EQ(tripIds(*home), (QStringList{"601", "602", "603"}));
    if (!odbc)
        EXPECT_EQ(proxy->count(QStringLiteral("where cliente = 12 and  id_viaje > 0 ")), 1);
}

// "3", "03" and "3.0" are one operator: named in the grid, stored as 3.
TEST_P(BothWaysFaultTest, OperatorIdsInAnyPlainNotationAgreeInGridAndStore)
{
    const bool odbc = GetParam();
    RemotePeer::execAll({
        QStringLiteral(
            "update lectura_carga_feed set operario = '3.0' where id_viaje = 601 and id_alim = 31"),
        QStringLiteral(
            "update lectura_carga_feed set operario = '03' where id_viaje = 601 and id_alim = 32"),
        QStringLiteral(
            "update lectura_carga_feed set operario = '3.5' where id_viaje = 601 and id_alim = 33"),
        QStringLiteral("update lectura_descarga_feed set operario = ' 3 ' where id_viaje = 601 and "
                       "id_rodeo = 5"),
        QStringLiteral("update lectura_descarga_feed set operario = '1e0' where id_viaje = 601 and "
                       "id_rodeo = 6"),
    });
    auto home = newHome(odbc ? RemotePeer::odbcHost() : RemotePeer::webHost(), odbc);
    home->exec(
        QStringLiteral("insert into usuario (id, apellido, nombre) values (3, 'Gómez', 'Ana')"));
    const Cycle c = cycle(*home);
    ASSERT_TRUE(c.downloaded.ok() && c.saved.ok());
    const TripGrid::Row &trip = home->ctx.grid.row(0);
    ASSERT_EQ(trip.children.size(), 5u);
    auto name = [&](int child) {
        return vb::joinText(trip.children[size_t(child)].value(LoadCell::Operador));
    };
    EXPECT_EQ(name(0), QStringLiteral("Gómez, Ana"));
    EXPECT_EQ(name(1), QStringLiteral("Gómez, Ana"));
    EXPECT_EQ(name(2), QStringLiteral("ANONIMO"));
    EXPECT_EQ(vb::joinText(trip.children[3].value(UnloadCell::Operador)),
              QStringLiteral("Gómez, Ana"));
    EXPECT_EQ(vb::joinText(trip.children[4].value(UnloadCell::Operador)),
              QStringLiteral("ANONIMO"));
    EXPECT_EQ(vb::joinText(trip.children[0].value(LoadCell::OperarioId)), QStringLiteral("3.0"));
    auto operatorOf = [&](const QString &table, const QString &where) {
        return home->scalar(QStringLiteral("select operario from %1 where id_viaje = 601 and %2")
                                .arg(table, where));
    };
    EXPECT_EQ(operatorOf(QStringLiteral("lectura_Carga"), QStringLiteral("Id_alim = 31")),
              QVariant(3));
    EXPECT_EQ(operatorOf(QStringLiteral("lectura_Carga"), QStringLiteral("Id_alim = 32")),
              QVariant(3));
    EXPECT_FALSE(
        operatorOf(QStringLiteral("lectura_Carga"), QStringLiteral("Id_alim = 33")).isValid());
    EXPECT_EQ(operatorOf(QStringLiteral("lectura_descarga"), QStringLiteral("id_rodeo = 5")),
              QVariant(3));
    EXPECT_FALSE(
        operatorOf(QStringLiteral("lectura_descarga"), QStringLiteral("id_rodeo = 6")).isValid());
}

} // namespace
} // namespace zelvano
