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
#include <QFile>
#include <QTemporaryDir>
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

namespace zelvano {
namespace {

// --- one farm, two sites, one fault each: whatever instant and however late
// a statement lands, quiet reruns leave exactly the readings' records on the
// server and at both sites.

struct TwoSites
{
    RemoteFarm &farm;
    FaultProxy &proxy;
    Site &a;
    Site &b;
};

struct ClaimCase
{
    const char *name;
    std::function<void(TwoSites &)> act;
    QStringList expected;    // the server's records, and site B's
    QStringList expectedAtA; // site A's, when it keeps more than the server (else expected)
};

// Test listings name the case, not its bytes.
void PrintTo(const ClaimCase &c, std::ostream *out)
{
    *out << c.name;
}

const QString kHerdLines = QStringLiteral("#3|40|800;4|20|400");
const QString kReading = QStringLiteral("12/03/2026|Zelvano|Delpro|60|1200");

qint64 addReading(Site &site, const QString &turno = QStringLiteral("Delpro"),
                  std::vector<test::Herd> herds = {{QStringLiteral("3"), 40, 800},
                                                   {QStringLiteral("4"), 20, 400}})
{
    return site.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"), turno, 60, 1200,
                           herds);
}

FaultRule once(const QString &match, const QString &action, int ms = 0)
{
    return {.match = match, .action = action, .times = 1, .ms = ms};
}

// "zelvano sync" of a site (A unless named) held by a delayed statement while
// `during` runs.
void duringHeldStatement(TwoSites &s, const QString &match, const std::function<void()> &during,
                         const Site *held = nullptr)
{
    s.proxy.reset(); // waitForRule reads the log
    s.proxy.setRules({once(match, QStringLiteral("delay"), 1500)});
    ChildProcess child;
    child.start(QStringLiteral(ZELVANO_EXECUTABLE), syncArguments(held ? *held : s.a));
    ASSERT_TRUE(waitForRule(s.proxy, false, 20000)) << child.standardOutput().toStdString();
    during();
    ASSERT_TRUE(child.waitFinished(30000));
}

void editReading(Site &site, qint64 id)
{
    site.home.exec(
        QStringLiteral("update Produccion_Lactea set total_litros = 1300 where id = %1").arg(id));
    site.home.exec(QStringLiteral("update detalle_Produccion_Lactea set litros = 900 where id = "
                                  "%1 and Rodeo = '3'")
                       .arg(id));
}

// A run of the site that fails on one proxy rule, waiting 1 s for answers.
void failedRun(TwoSites &s, Site &site, const FaultRule &rule)
{
    const RemoteOptions options = site.options;
    site.options.limits.receiveMs = 1000;
    s.proxy.setRules({rule});
    EXPECT_FALSE(site.sync().ok());
    s.proxy.setRules(std::vector<FaultRule>{});
    site.options = options;
}

void deleteReading(Site &site, qint64 id)
{
    site.home.exec(QStringLiteral("update Produccion_Lactea set proceso = 'ELIMINAR', actualizado "
                                  "= false where id = %1")
                       .arg(id));
}

// The reading's header goes up without its lines, and gets another site's
// line meanwhile. Returns the header's server id.
QString otherLinesUnderItsHeader(TwoSites &s, qint64 id)
{
    failedRun(s, s.a, once(kDetailInsert, QStringLiteral("status")));
    const QString header = s.a.idRemoto(id).toString();
    RemotePeer::exec(QStringLiteral("insert into detalle_cabezas_produccion (id, rodeo, cabezas, "
                                    "litros) values (%1, '9', 60, 1200)")
                         .arg(header));
    return header;
}

void editDuring(TwoSites &s, const QString &match)
{
    const qint64 id = addReading(s.a);
    duringHeldStatement(s, match, [&] { editReading(s.a, id); });
}

// The header went up and the run failed before the lines did; the suite
// corrects the reading before the next run.
void editAfterAFailed(TwoSites &s, const QString &match, const QString &action)
{
    const qint64 id = addReading(s.a);
    failedRun(s, s.a, once(match, action));
    editReading(s.a, id);
}

// A statement that reaches the server 3 s late, after its run gave up on it
// (1 s) and a rerun went on.
void lateStatement(TwoSites &s, const QString &match)
{
    addReading(s.a);
    failedRun(s, s.a, once(match, QStringLiteral("delay"), 3000));
    EXPECT_TRUE(s.a.sync().ok());
    QThread::msleep(3500);
}

std::vector<ClaimCase> claimCases()
{
    const QString one = kReading + kHerdLines;
    return {
        {"LateDetailInsertAddsNothing",
         [](TwoSites &s) { lateStatement(s, kDetailInsert); },
         {one},
         {}},
        {"LateHeaderInsertIsDeletedBeforeOthersTakeIt",
         [](TwoSites &s) { lateStatement(s, kHeaderInsert); },
         {one},
         {}},
        {"TextTheServerShortens",
         [](TwoSites &s) {
             addReading(s.a, QStringLiteral("Delpro ordene de la manana 29"));
             EXPECT_TRUE(s.a.sync().ok());
         },
         {QStringLiteral("12/03/2026|Zelvano|Delpro ordene de la |60|1200") + kHerdLines},
         {QStringLiteral("12/03/2026|Zelvano|Delpro ordene de la manana 29|60|1200") + kHerdLines}},
        {"EqualReadingsWithAFailureBetweenTheInserts",
         [](TwoSites &s) {
             addReading(s.a);
             addReading(s.b, QStringLiteral("Delpro"), {{QStringLiteral("5"), 60, 1200}});
             failedRun(s, s.a, once(kDetailInsert, QStringLiteral("status")));
             EXPECT_TRUE(s.b.sync().ok());
         },
         {one, kReading + QStringLiteral("#5|60|1200")},
         {}},
        {"EqualReadingsTheFirstLeavesTheOthersHeaderAlone",
         [](TwoSites &s) {
             addReading(s.a);
             addReading(s.b, QStringLiteral("Delpro"), {{QStringLiteral("5"), 60, 1200}});
             EXPECT_TRUE(s.b.sync().ok());
             failedRun(s, s.a, once(kDetailInsert, QStringLiteral("status")));
             EXPECT_TRUE(s.b.sync().ok());
             EXPECT_EQ(s.farm.headerCount(), 2); // A's, still waiting for its lines
         },
         {one, kReading + QStringLiteral("#5|60|1200")},
         {}},
        {"EqualReadingsTheOthersHeaderLandsFirst",
         [](TwoSites &s) {
             addReading(s.a);
             addReading(s.b, QStringLiteral("Delpro"), {{QStringLiteral("5"), 60, 1200}});
             // B's header goes up, without its lines, while A's insert is held.
             duringHeldStatement(s, kHeaderInsert, [&] {
                 s.proxy.setRules({once(kDetailInsert, QStringLiteral("status"))});
                 EXPECT_FALSE(s.b.sync().ok());
             });
         },
         {one, kReading + QStringLiteral("#5|60|1200")},
         {}},
        {"EqualReadingsALostInsertGuessesTheOthersHeader",
         [](TwoSites &s) {
             addReading(s.b, QStringLiteral("Delpro"), {{QStringLiteral("5"), 60, 1200}});
             failedRun(s, s.b, once(kHeaderInsert, QStringLiteral("drop"), 2000)); // never ran
             addReading(s.a);
             failedRun(s, s.a, once(kDetailInsert, QStringLiteral("status")));
             // B takes A's header, still without lines, for its lost insert;
             // A's lines land while B's are on their way.
             duringHeldStatement(
                 s, kDetailInsert, [&] { EXPECT_TRUE(s.a.sync().ok()); }, &s.b);
         },
         {one, kReading + QStringLiteral("#5|60|1200")},
         {}},
        {"EqualReadingsAGuessEditedBeforeItsLines",
         [](TwoSites &s) {
             const qint64 id =
                 addReading(s.b, QStringLiteral("Delpro"), {{QStringLiteral("5"), 60, 1200}});
             failedRun(s, s.b, once(kHeaderInsert, QStringLiteral("drop"), 2000)); // never ran
             addReading(s.a);
             failedRun(s, s.a, once(kDetailInsert, QStringLiteral("status")));
             failedRun(s, s.b, once(kDetailInsert, QStringLiteral("status"))); // takes A's
             editReading(s.b, id);
             EXPECT_FALSE(s.b.sync().ok()); // gives it up, never changes it
         },
         {one, QStringLiteral("12/03/2026|Zelvano|Delpro|60|1300#5|60|1200")},
         {}},
        {"EqualReadingsOneDeletedWhereItWasMade",
         [](TwoSites &s) {
             addReading(s.a);
             const qint64 id =
                 addReading(s.b, QStringLiteral("Delpro"), {{QStringLiteral("5"), 60, 1200}});
             EXPECT_TRUE(s.b.sync().ok());
             deleteReading(s.b, id);
             EXPECT_TRUE(s.b.sync().ok()); // gone from B and the server before A's goes up
         },
         {one},
         {}},
        {"EqualReadingsOneDeletedAfterItsInsertWasLost",
         [](TwoSites &s) {
             const qint64 id = addReading(s.a);
             failedRun(s, s.a, once(kHeaderInsert, QStringLiteral("drop"), 2000)); // never ran
             deleteReading(s.a, id);
             EXPECT_TRUE(s.a.sync().ok());
             addReading(s.b, QStringLiteral("Delpro"), {{QStringLiteral("5"), 60, 1200}});
         },
         {kReading + QStringLiteral("#5|60|1200")},
         {}},
        {"HeaderDeletedOnTheServerBeforeItsLines",
         [](TwoSites &s) {
             const qint64 id = addReading(s.a);
             failedRun(s, s.a, once(kDetailInsert, QStringLiteral("status")));
             RemotePeer::exec(QStringLiteral("delete from cabezas_produccion where id = ") +
                              s.a.idRemoto(id).toString());
         },
         {one},
         {}},
        {"HeaderDeletedWhileItsLinesAreOnTheirWay",
         [](TwoSites &s) {
             const qint64 id = addReading(s.a);
             // As another site does with what it takes for its own late insert.
             duringHeldStatement(s, kDetailInsert, [&] {
                 RemotePeer::exec(QStringLiteral("delete from cabezas_produccion where id = ") +
                                  s.a.idRemoto(id).toString());
             });
             EXPECT_TRUE(s.a.sync().ok());
             EXPECT_EQ(s.farm.detailCount(), 2) << "lines under a header that is gone";
         },
         {one},
         {}},
        {"EditDuringTheHeaderInsert",
         [](TwoSites &s) { editDuring(s, kHeaderInsert); },
         {QStringLiteral("12/03/2026|Zelvano|Delpro|60|1300#3|40|900;4|20|400")},
         {}},
        {"EditDuringTheDetailInsert",
         [](TwoSites &s) { editDuring(s, kDetailInsert); },
         {QStringLiteral("12/03/2026|Zelvano|Delpro|60|1300#3|40|900;4|20|400")},
         {}},
        {"EditAfterTheHeaderInsertLostItsAnswer",
         [](TwoSites &s) {
             editAfterAFailed(s, kHeaderInsert, QStringLiteral("forward_then_drop"));
         },
         {QStringLiteral("12/03/2026|Zelvano|Delpro|60|1300#3|40|900;4|20|400")},
         {}},
        {"EditAfterTheDetailInsertFailed",
         [](TwoSites &s) { editAfterAFailed(s, kDetailInsert, QStringLiteral("status")); },
         {QStringLiteral("12/03/2026|Zelvano|Delpro|60|1300#3|40|900;4|20|400")},
         {}},
        {"EditAfterTheDetailInsertLostItsAnswer",
         [](TwoSites &s) {
             editAfterAFailed(s, kDetailInsert, QStringLiteral("forward_then_drop"));
         },
         {QStringLiteral("12/03/2026|Zelvano|Delpro|60|1300#3|40|900;4|20|400")},
         {}},
        {"HeaderGivenOtherLinesIsNamedNeverDoubled",
         [](TwoSites &s) {
             const qint64 id = addReading(s.a);
             const QString header = otherLinesUnderItsHeader(s, id);
             for (int run = 0; run < 2; ++run)
                 EXPECT_FALSE(s.a.sync().ok());
             EXPECT_EQ(s.a.events().filter(QStringLiteral("tiene otras lineas")).size(), 1);
             EXPECT_EQ(s.farm.details(header.toLongLong()), QStringList{"9|60|1200"});
             // Mended on the server: the reading's own lines go up.
             RemotePeer::exec(QStringLiteral("delete from detalle_cabezas_produccion where id = ") +
                              header);
         },
         {one},
         {}},
        {"HeldReadingChangedOrDeletedLeavesTheOtherLines",
         [](TwoSites &s) {
             const qint64 id = addReading(s.a);
             otherLinesUnderItsHeader(s, id);
             EXPECT_FALSE(s.a.sync().ok());
             s.a.home.exec(QStringLiteral("update Produccion_Lactea set proceso = 'MODIFICAR', "
                                          "total_litros = 1300 where id = %1")
                               .arg(id));
             EXPECT_FALSE(s.a.sync().ok()); // never overwrites that record
             deleteReading(s.a, id);
         },
         {kReading + QStringLiteral("#9|60|1200")},
         {}},
        {"ReadingDeletedBeforeItLearntItsHeader",
         [](TwoSites &s) {
             const qint64 id = addReading(s.a);
             failedRun(s, s.a, once(kHeaderInsert, QStringLiteral("forward_then_drop")));
             deleteReading(s.a, id);
         },
         {},
         {}},
        {"AnsweredReadingDeletedBeforeItTookItsHeader",
         [](TwoSites &s) {
             const qint64 id = addReading(s.a);
             // The insert is answered; the read that maps it is not.
             failedRun(
                 s, s.a,
                 {.match = kUnsentRead, .action = QStringLiteral("status"), .skip = 1, .times = 1});
             EXPECT_EQ(s.farm.headerCount(), 1);
             deleteReading(s.a, id);
         },
         {},
         {}},
        {"SecondRunThroughALinkAndAnotherTmpdir",
         [](TwoSites &s) {
             addReading(s.a);
             QTemporaryDir other;
             ASSERT_TRUE(QFile::link(s.a.home.dir(), other.filePath(QStringLiteral("link"))));
             QFile conexion(other.filePath(QStringLiteral("conexion.txt")));
             ASSERT_TRUE(conexion.open(QIODevice::WriteOnly));
             conexion.write(
                 ("Data Source= " + other.filePath(QStringLiteral("link/local.db"))).toUtf8());
             conexion.close();
             duringHeldStatement(s, kHeaderInsert, [&] {
                 ChildProcess second;
                 second.start(QStringLiteral(ZELVANO_EXECUTABLE),
                              {QStringLiteral("--home"), other.path(), QStringLiteral("sync")},
                              {{QStringLiteral("TMPDIR"), other.path()}});
                 ASSERT_TRUE(second.waitFinished(30000));
                 EXPECT_NE(second.exitCode(), 0);
                 EXPECT_TRUE(second.standardOutput().contains("Ya hay una sincronizacion"))
                     << second.standardOutput().toStdString();
             });
         },
         {one},
         {}},
        {"DiskFullWhileDownloading",
         [](TwoSites &s) {
             addReading(s.a);
             EXPECT_TRUE(s.a.sync().ok());
             s.b.home.exec(QStringLiteral(
                 "create trigger lleno before insert on Produccion_Lactea begin select "
                 "raise(abort, 'database or disk is full'); end"));
             EXPECT_FALSE(s.b.sync().ok());
             const QStringList events = s.b.events();
             EXPECT_FALSE(events.filter(QStringLiteral("disk is full")).isEmpty())
                 << events.join(u'\n').toStdString();
             EXPECT_TRUE(events.filter(QStringLiteral("Sincronizados correctamente")).isEmpty());
             s.b.home.exec(QStringLiteral("drop trigger lleno"));
         },
         {one},
         {}},
        {"ReadingWithoutLinesAndLateLinesReachTheOtherSite",
         [](TwoSites &s) {
             addReading(s.a, QStringLiteral("Delpro"), {});
             addReading(s.a, QStringLiteral("Dairycomp"));
             failedRun(s, s.a, once(kDetailInsert, QStringLiteral("status")));
             EXPECT_TRUE(s.b.sync().ok());
             EXPECT_EQ(s.b.readingCount(), 0) << "an upload in flight was taken";
             // Ten minutes on by the server's clock.
             s.b.home.exec(
                 QStringLiteral("update zelvano_sync_sin_lineas set desde = desde - 601"));
             EXPECT_TRUE(s.b.sync().ok());
             EXPECT_EQ(s.b.readingCount(), 2); // both headers had stayed without lines
             EXPECT_TRUE(s.a.sync().ok());
         },
         {QStringLiteral("12/03/2026|Zelvano|Dairycomp|60|1200") + kHerdLines, kReading + u'#'},
         {}},
    };
}

class SyncClaimTest : public SyncKillFixture, public ::testing::TestWithParam<ClaimCase>
{
protected:
    void SetUp() override { prepare(); }
};

TEST_P(SyncClaimTest, EndsWithExactlyTheReadingsEverywhere)
{
    const ClaimCase &c = GetParam();
    Site b(*farm, QStringLiteral("WEB"));
    b.useHost(proxy->host());
    TwoSites sites{*farm, *proxy, *site, b};
    c.act(sites);
    if (HasFatalFailure())
        return;

    proxy->setRules(std::vector<FaultRule>{});
    site->options = RemoteOptions::synchronisation();
    for (Site *s : {site.get(), &b, site.get(), &b})
        EXPECT_TRUE(s->sync().ok()) << s->events().join(u'\n').toStdString();
    EXPECT_EQ(farm->records(), c.expected);
    EXPECT_EQ(site->records(), c.expectedAtA.isEmpty() ? c.expected : c.expectedAtA);
    EXPECT_EQ(b.records(), c.expected);
    EXPECT_EQ(site->pendingCount() + b.pendingCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, SyncClaimTest, ::testing::ValuesIn(claimCases()),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace zelvano
