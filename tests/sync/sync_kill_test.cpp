// The program itself ("zelvano sync" as a child process) killed with SIGKILL
// while it waits for each statement of a run, at random instants, or held up
// by a local database that another connection keeps locked; and two sites
// uploading at the same moment. Repeated runs must end where a run without
// the fault ends.
#include "synctestsupport.h"

#include "common/vb.h"
#include "store/localconnection.h"
#include "support/childprocess.h"
#include "support/faultproxy.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

namespace zelvano {
namespace {

using test::ChildProcess;
using test::FaultProxy;
using test::FaultRule;
using test::RemoteFarm;
using test::RemotePeer;
using test::Scenario;
using test::Site;

const QString kLogin = QStringLiteral("from clientes where id =");
const QString kCompleteIds = QStringLiteral("select c.id, count(d.id) as lineas");
const QString kHeaderFetch = QStringLiteral("select * from cabezas_produccion where cliente");
const QString kDetailRead = QStringLiteral("select * from detalle_cabezas_produccion where id =");
const QString kUnsentRead = QStringLiteral("and c.id not in (select id from");
const QString kHeaderInsert = QStringLiteral("INSERT INTO cabezas_produccion");
const QString kDetailInsert = QStringLiteral("INSERT INTO detalle_cabezas_produccion");
const QString kHeaderUpdate = QStringLiteral("update cabezas_produccion set");
const QString kDetailDelete = QStringLiteral("delete from detalle_cabezas_produccion where id =");
const QString kHeaderDelete = QStringLiteral("DELETE FROM cabezas_produccion where");

QStringList syncArguments(const Site &site)
{
    return {QStringLiteral("--home"), site.home.dir(), QStringLiteral("sync")};
}

// Waits until the proxy's first rule has acted on a request; with `ran`,
// until that request was also run by the server.
bool waitForRule(const FaultProxy &proxy, bool ran, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        for (const test::ProxiedRequest &r : proxy.log())
            if (r.rule == 0 && (!ran || r.upstreamStatus != 0))
                return true;
        QThread::msleep(10);
    }
    return false;
}

class SyncKillFixture
{
protected:
    void prepare()
    {
        RemotePeer::requireServices();
        farm = std::make_unique<RemoteFarm>(test::clientIdForCurrentTest());
        proxy = std::make_unique<FaultProxy>(FaultProxy::referenceServerHost());
        site = std::make_unique<Site>(*farm, QStringLiteral("WEB"));
        site->useHost(proxy->host());
    }

    std::unique_ptr<RemoteFarm> farm;
    std::unique_ptr<FaultProxy> proxy;
    std::unique_ptr<Site> site;
};

struct HeldStatement
{
    const char *name;
    QString match;
    int skip;
    bool ran; // the server runs it, only its answer is held
};

void PrintTo(const HeldStatement &s, std::ostream *os)
{
    *os << s.name;
}

class SyncKillTest : public SyncKillFixture, public ::testing::TestWithParam<HeldStatement>
{
protected:
    void SetUp() override { prepare(); }
};

TEST_P(SyncKillTest, KilledWhileWaitingForAStatement)
{
    const HeldStatement &held = GetParam();
    Scenario scenario(*farm, *site);
    FaultRule rule;
    rule.match = held.match;
    rule.skip = held.skip;
    rule.times = 1;
    rule.action = held.ran ? QStringLiteral("forward_then_drop") : QStringLiteral("drop");
    proxy->setRules({rule});

    ChildProcess child;
    child.start(QStringLiteral(ZELVANO_EXECUTABLE), syncArguments(*site));
    ASSERT_TRUE(waitForRule(*proxy, held.ran, 20000))
        << "the run never reached the statement: " << child.standardOutput().toStdString();
    ASSERT_TRUE(child.running()) << child.standardOutput().toStdString();
    child.killHard();
    EXPECT_TRUE(child.crashed());

    proxy->setRules(std::vector<FaultRule>{});
    EXPECT_LE(scenario.convergeByCommand(), 2);
    scenario.expectConverged();
}

INSTANTIATE_TEST_SUITE_P(
    Statements, SyncKillTest,
    ::testing::Values(HeldStatement{"Login", kLogin, 0, false},
                      HeldStatement{"DownloadLogin", kLogin, 1, false},
                      HeldStatement{"CompleteIds", kCompleteIds, 0, false},
                      HeldStatement{"HeaderFetch", kHeaderFetch, 0, false},
                      HeldStatement{"DetailRead", kDetailRead, 0, false},
                      HeldStatement{"UnsentBeforeInsert", kUnsentRead, 0, false},
                      HeldStatement{"HeaderInsert", kHeaderInsert, 0, false},
                      HeldStatement{"HeaderInsertRan", kHeaderInsert, 0, true},
                      HeldStatement{"UnsentAfterInsert", kUnsentRead, 1, false},
                      HeldStatement{"DetailInsert", kDetailInsert, 0, false},
                      HeldStatement{"DetailInsertRan", kDetailInsert, 0, true},
                      HeldStatement{"ChangeUpdate", kHeaderUpdate, 0, false},
                      HeldStatement{"ChangeUpdateRan", kHeaderUpdate, 0, true},
                      HeldStatement{"ChangeDetailDelete", kDetailDelete, 0, false},
                      HeldStatement{"ChangeDetailDeleteRan", kDetailDelete, 0, true},
                      HeldStatement{"ChangeDetailInsert", kDetailInsert, 1, false},
                      HeldStatement{"ChangeDetailInsertRan", kDetailInsert, 1, true},
                      HeldStatement{"Deletion", kHeaderDelete, 0, false},
                      HeldStatement{"DeletionRan", kHeaderDelete, 0, true},
                      HeldStatement{"DeletionDetails", kDetailDelete, 1, false},
                      HeldStatement{"DeletionDetailsRan", kDetailDelete, 1, true}),
    [](const auto &info) { return std::string(info.param.name); });

class SyncKillAnyTime : public SyncKillFixture, public ::testing::TestWithParam<const char *>
{
protected:
    void SetUp() override { prepare(); }
};

// Killed at random instants, several runs in a row, straight at the server in
// either mode.
TEST_P(SyncKillAnyTime, KilledAtRandomInstants)
{
    const QString mode = QString::fromLatin1(GetParam());
    site->useHost(mode == QLatin1String("ODBC") ? RemotePeer::odbcHost() : RemotePeer::webHost());
    site->home.exec(QStringLiteral("update mi_empresa set modo_remoto = '%1'").arg(mode));
    site->home.ctx.settings.RemoteMode = mode;
    Scenario scenario(*farm, *site);

    const quint32 seed = test::testSeed();
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " (ZELVANO_TEST_SEED replays it)");
    int killed = 0;
    for (quint32 i = 0; i < 4; ++i) {
        const test::ChildResult run =
            ChildProcess::runKilledAfter(QStringLiteral(ZELVANO_EXECUTABLE), syncArguments(*site),
                                         {}, test::randomDelayMs(30, 250, seed + i));
        killed += run.killed ? 1 : 0;
        if (run.finished)
            break;
    }
    RecordProperty("killed_runs", killed);
    EXPECT_LE(scenario.convergeByCommand(), 2);
    scenario.expectConverged();
}

INSTANTIATE_TEST_SUITE_P(Modes, SyncKillAnyTime, ::testing::Values("ODBC", "WEB"),
                         [](const auto &info) { return std::string(info.param); });

class SyncLockTest : public SyncKillFixture, public ::testing::Test
{
protected:
    void SetUp() override { prepare(); }
};

// The local database is held locked by another connection while the server
// runs the header insert: the run cannot keep the server ids it learns and
// fails; the next run finds the headers by their values instead of inserting
// them again.
TEST_F(SyncLockTest, DatabaseLockedWhileTheHeadersGoUp)
{
    Scenario scenario(*farm, *site);
    FaultRule slow;
    slow.match = kHeaderInsert;
    slow.action = QStringLiteral("delay");
    slow.ms = 1000;
    slow.times = 1;
    proxy->reset();
    proxy->setRules({slow});

    ChildProcess child;
    child.start(QStringLiteral(ZELVANO_EXECUTABLE), syncArguments(*site));
    ASSERT_TRUE(proxy->waitForCount(kHeaderInsert, 1, 20000));
    LocalConnection locker;
    locker.open(site->home.databasePath());
    locker.execute(QStringLiteral("begin immediate"), {});
    const bool ended = child.waitFinished(30000);
    locker.execute(QStringLiteral("rollback"), {});
    locker.close();
    ASSERT_TRUE(ended);
    EXPECT_EQ(child.exitCode(), 1) << child.standardOutput().toStdString();
    EXPECT_TRUE(child.standardError().contains("database is locked"))
        << child.standardError().toStdString() << child.standardOutput().toStdString();
    EXPECT_EQ(proxy->count(kHeaderInsert), 1);
    EXPECT_EQ(site->value(QStringLiteral("select count(*) from Produccion_Lactea where proceso = "
                                         "'AGREGAR' and id_remoto is null"))
                  .toInt(),
              3);

    proxy->setRules(std::vector<FaultRule>{});
    EXPECT_EQ(scenario.convergeByCommand(), 1);
    EXPECT_EQ(proxy->count(kHeaderInsert), 1);
    scenario.expectConverged();
}

class SyncSameSiteTest : public SyncKillFixture, public ::testing::Test
{
protected:
    void SetUp() override { prepare(); }
};

// The same database synchronised twice at the same moment (the program's own
// run and one started by hand): the second run finds the first under way,
// says so and leaves everything to it; nothing goes up twice.
TEST_F(SyncSameSiteTest, ASecondRunLeavesTheDatabaseToTheFirst)
{
    Scenario scenario(*farm, *site);
    FaultRule slow;
    slow.match = kHeaderInsert;
    slow.action = QStringLiteral("delay");
    slow.ms = 800;
    proxy->reset();
    proxy->setRules({slow});

    ChildProcess first;
    first.start(QStringLiteral(ZELVANO_EXECUTABLE), syncArguments(*site));
    ASSERT_TRUE(proxy->waitForCount(kHeaderInsert, 1, 20000));
    ChildProcess second;
    second.start(QStringLiteral(ZELVANO_EXECUTABLE), syncArguments(*site));
    ASSERT_TRUE(second.waitFinished(30000));
    ASSERT_TRUE(first.waitFinished(30000));
    EXPECT_EQ(first.exitCode(), 0) << first.standardOutput().toStdString();
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.standardOutput().contains(
        "Event: Ya hay una sincronizacion de produccion en curso, no se inicia otra "))
        << second.standardOutput().toStdString();
    EXPECT_EQ(proxy->count(kHeaderInsert), 1);
    EXPECT_EQ(proxy->count(kLogin), 2); // the first run's two logins; none of the second
    scenario.expectConverged();
}

class SyncTwoSitesTest : public SyncKillFixture, public ::testing::Test
{
protected:
    void SetUp() override { prepare(); }
};

// Two sites upload at the same moment readings that differ only in their
// litres and herds, under the same local ids. The interleaving is forced: A's
// headers go up late, so that A reads B's headers while they still wait for
// their details. Neither takes the other's headers, and each ends with the
// other's readings exactly once.
TEST_F(SyncTwoSitesTest, NeitherTakesTheOthersHeaders)
{
    Site &a = *site;
    Site b(*farm, QStringLiteral("WEB"));
    b.useHost(proxy->host());
    for (int i = 0; i < 3; ++i) {
        a.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                     QStringLiteral("Delpro"), 40, 800 + 10 * i,
                     {{QStringLiteral("A%1").arg(i), 40, 800.0 + 10 * i}});
        b.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                     QStringLiteral("Delpro"), 40, 801 + 10 * i,
                     {{QStringLiteral("B%1").arg(i), 40, 801.0 + 10 * i}});
    }
    FaultRule lateHeadersOfA;
    lateHeadersOfA.match = QStringLiteral("'40','800','1')");
    lateHeadersOfA.action = QStringLiteral("delay");
    lateHeadersOfA.ms = 600;
    FaultRule lateDetailsOfB;
    lateDetailsOfB.match = QStringLiteral("'B0'");
    lateDetailsOfB.action = QStringLiteral("delay");
    lateDetailsOfB.ms = 2500;
    proxy->setRules({lateHeadersOfA, lateDetailsOfB});

    ChildProcess runA;
    ChildProcess runB;
    runA.start(QStringLiteral(ZELVANO_EXECUTABLE), syncArguments(a));
    runB.start(QStringLiteral(ZELVANO_EXECUTABLE), syncArguments(b));
    ASSERT_TRUE(runA.waitFinished(30000));
    ASSERT_TRUE(runB.waitFinished(30000));
    EXPECT_EQ(runA.exitCode(), 0) << runA.standardOutput().toStdString();
    EXPECT_EQ(runB.exitCode(), 0) << runB.standardOutput().toStdString();
    EXPECT_EQ(proxy->count(kUnsentRead), 4);

    // Each header holds exactly its own site's herd.
    EXPECT_EQ(farm->headerCount(), 6);
    EXPECT_EQ(farm->detailCount(), 6);
    for (int id = 1; id <= 3; ++id) {
        const QVariant serverA = a.idRemoto(id);
        const QVariant serverB = b.idRemoto(id);
        ASSERT_FALSE(vb::isNull(serverA));
        ASSERT_FALSE(vb::isNull(serverB));
        EXPECT_NE(serverA.toLongLong(), serverB.toLongLong());
        EXPECT_EQ(farm->details(serverA.toLongLong()), a.details(id));
        EXPECT_EQ(farm->details(serverB.toLongLong()), b.details(id));
    }

    // Each receives the other's readings exactly once.
    EXPECT_EQ(a.syncCommand(), 0);
    EXPECT_EQ(b.syncCommand(), 0);
    EXPECT_EQ(a.syncCommand(), 0);
    EXPECT_EQ(a.readings(), b.readings());
    EXPECT_EQ(a.readingCount(), 6);
    EXPECT_EQ(b.readingCount(), 6);
    for (Site *s : {&a, &b}) {
        EXPECT_EQ(
            s->value(QStringLiteral("select count(distinct id_remoto) from Produccion_Lactea"))
                .toInt(),
            6);
        EXPECT_EQ(
            s->value(QStringLiteral("select count(*) from detalle_Produccion_Lactea")).toInt(), 6);
        EXPECT_EQ(s->pendingCount(), 0);
    }
    EXPECT_EQ(farm->headerCount(), 6);
}

} // namespace
} // namespace zelvano
