// The synchronisation under faults made for real: a fault-injecting proxy in
// front of the reference server breaks one exchange of a run (the answer
// lost after the statement ran, never delivered, cut with and without a
// length, an HTML page, a refusal), then repeated runs must end exactly where
// a run without the fault ends.
#include "synctestsupport.h"

#include "support/faultproxy.h"
#include "sync/statements.h"

#include <gtest/gtest.h>

namespace zelvano {
namespace {

using test::FaultProxy;
using test::FaultRule;
using test::RemoteFarm;
using test::RemotePeer;
using test::Scenario;
using test::Site;

const QString kSuccess = QStringLiteral(
    "Datos de cabezas y produccion Sincronizados correctamente con el servidor web10:00:00");

// The statements of a run, by a text only they hold.
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

struct FaultCase
{
    const char *name;
    QString match;
    int skip; // matching statements let through first
    QString action;
    qint64 bytes = -1;
    double fraction = -1;
    bool failsTheRun = true; // false: the answer reads as a whole one (an empty answer)
};

void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

class SyncFaultTest : public ::testing::TestWithParam<FaultCase>
{
protected:
    void SetUp() override
    {
        RemotePeer::requireServices();
        if (HasFatalFailure())
            return;
        farm = std::make_unique<RemoteFarm>(test::clientIdForCurrentTest());
        proxy = std::make_unique<FaultProxy>(FaultProxy::referenceServerHost());
        site = std::make_unique<Site>(*farm, QStringLiteral("WEB"));
        site->useHost(proxy->host());
        // A held answer fails the run within a second.
        site->options.limits.sendMs = 1000;
        site->options.limits.receiveMs = 1000;
    }

    std::unique_ptr<RemoteFarm> farm;
    std::unique_ptr<FaultProxy> proxy;
    std::unique_ptr<Site> site;
};

TEST_P(SyncFaultTest, RepeatedRunsConverge)
{
    const FaultCase &fault = GetParam();
    Scenario scenario(*farm, *site);

    FaultRule rule;
    rule.match = fault.match;
    rule.action = fault.action;
    rule.skip = fault.skip;
    rule.times = 1;
    rule.bytes = fault.bytes;
    rule.fraction = fault.fraction;
    proxy->setRules({rule});
    const SyncReport faulted = site->sync();
    const std::vector<test::ProxiedRequest> log = proxy->log();
    ASSERT_TRUE(std::any_of(log.begin(), log.end(), [](const test::ProxiedRequest &r) {
        return r.rule == 0;
    })) << "the fault never happened";
    EXPECT_EQ(faulted.ok(), !fault.failsTheRun) << faulted.errorText().toStdString();
    if (fault.failsTheRun && fault.match != kLogin && fault.match != kCompleteIds &&
        fault.match != kHeaderFetch && fault.match != kDetailRead)
        EXPECT_NE(site->events().last(), kSuccess);

    // Nothing taken twice, nothing phantom, whatever the fault left.
    EXPECT_LE(site->value(QStringLiteral("select count(*) from Produccion_Lactea where proceso = "
                                         "'DESCARGADO'"))
                  .toInt(),
              2);
    EXPECT_EQ(site->value(QStringLiteral("select count(*) - count(distinct id_remoto) from "
                                         "Produccion_Lactea where id_remoto is not null"))
                  .toInt(),
              0);
    EXPECT_LE(farm->headerCount(), Scenario::expectedReadings().size() + 1); // + the deleted one

    proxy->setRules(std::vector<FaultRule>{});
    EXPECT_LE(scenario.convergeInProcess(), 2);
    EXPECT_EQ(site->events().last(), kSuccess);
    scenario.expectConverged();
}

std::vector<FaultCase> faultCases()
{
    return {
        // The login and every read: a failed step, never "no rows".
        {"LoginHtml", kLogin, 0, QStringLiteral("html200")},
        {"DownloadLoginRefused", kLogin, 1, QStringLiteral("status")},
        {"CompleteIdsCut", kCompleteIds, 0, QStringLiteral("truncate"), -1, 0.5},
        {"CompleteIdsHtmlWithBraces", kCompleteIds, 0, QStringLiteral("html200_brace")},
        {"HeaderFetchShortRead", kHeaderFetch, 0, QStringLiteral("truncate_len"), -1, 0.6},
        {"HeaderFetchRefused", kHeaderFetch, 0, QStringLiteral("status")},
        {"DetailReadHtml", kDetailRead, 0, QStringLiteral("html200")},
        {"DetailReadEmpty", kDetailRead, 1, QStringLiteral("truncate"), 0, -1, false},
        {"UnsentBeforeInsertHtml", kUnsentRead, 0, QStringLiteral("html200")},
        {"UnsentBeforeInsertEmpty", kUnsentRead, 0, QStringLiteral("truncate"), 0},
        {"UnsentBeforeInsertCut", kUnsentRead, 0, QStringLiteral("truncate"), -1, 0.5},
        {"UnsentAfterInsertEmpty", kUnsentRead, 1, QStringLiteral("truncate"), 0},
        {"UnsentAfterInsertHtmlWithBraces", kUnsentRead, 1, QStringLiteral("html200_brace")},
        {"UnsentAfterInsertRefused", kUnsentRead, 1, QStringLiteral("status")},
        // The header insert: ran with its answer lost, never ran, refused.
        {"HeaderInsertRanAnswerHeld", kHeaderInsert, 0, QStringLiteral("forward_then_drop")},
        {"HeaderInsertRanAnswerReset", kHeaderInsert, 0, QStringLiteral("forward_then_reset")},
        {"HeaderInsertRanAnswerShortRead", kHeaderInsert, 0, QStringLiteral("truncate_len"), 5},
        {"HeaderInsertRanAnswerEmpty", kHeaderInsert, 0, QStringLiteral("truncate"), 0, -1, false},
        {"HeaderInsertHeld", kHeaderInsert, 0, QStringLiteral("drop")},
        {"HeaderInsertReset", kHeaderInsert, 0, QStringLiteral("reset")},
        {"HeaderInsertHtml", kHeaderInsert, 0, QStringLiteral("html200")},
        {"HeaderInsertRefused", kHeaderInsert, 0, QStringLiteral("status")},
        // The detail insert of the additions, likewise.
        {"DetailInsertRanAnswerHeld", kDetailInsert, 0, QStringLiteral("forward_then_drop")},
        {"DetailInsertRanAnswerReset", kDetailInsert, 0, QStringLiteral("forward_then_reset")},
        {"DetailInsertRanAnswerCut", kDetailInsert, 0, QStringLiteral("truncate"), 5},
        {"DetailInsertHeld", kDetailInsert, 0, QStringLiteral("drop")},
        {"DetailInsertHtml", kDetailInsert, 0, QStringLiteral("html200")},
        // The change and the deletion: each statement ran with its answer lost.
        {"ChangeUpdateRanAnswerReset", kHeaderUpdate, 0, QStringLiteral("forward_then_reset")},
        {"ChangeDetailDeleteRanAnswerReset", kDetailDelete, 0,
         QStringLiteral("forward_then_reset")},
        {"ChangeDetailInsertRanAnswerReset", kDetailInsert, 1,
         QStringLiteral("forward_then_reset")},
        {"DeletionRanAnswerReset", kHeaderDelete, 0, QStringLiteral("forward_then_reset")},
        {"DeletionDetailsRanAnswerReset", kDetailDelete, 1, QStringLiteral("forward_then_reset")},
    };
}

INSTANTIATE_TEST_SUITE_P(Faults, SyncFaultTest, ::testing::ValuesIn(faultCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// --- answers cut short

class SyncCutTest : public SyncFaultTest
{
};

// The reference script sends no length: an answer cut inside a herd's litres
// arrives as a clean, shorter 200. It is not read as rows: 4345.5 never lands
// as 43.
TEST_F(SyncCutTest, CutInsideANumberIsNeverStored)
{
    Scenario scenario(*farm, *site);
    const qint64 record =
        RemotePeer::scalar(QStringLiteral("select id from cabezas_produccion where cliente = %1 "
                                          "and total_litros = 4346")
                               .arg(farm->clientId()))
            .toLongLong();
    const QString detailRead = syncsql::remoteDetailsSql(QString::number(record), false);
    const test::HttpAnswer whole = test::sendStatement(RemotePeer::webHost(), detailRead);
    const qsizetype at = whole.body.indexOf("4345.5");
    ASSERT_GT(at, 0) << whole.body.toStdString();
    FaultRule cut;
    cut.match = detailRead;
    cut.action = QStringLiteral("truncate");
    cut.bytes = at + 2;
    cut.times = 1;
    proxy->setRules({cut});

    const SyncReport faulted = site->sync();
    EXPECT_FALSE(faulted.ok());
    EXPECT_EQ(proxy->count(detailRead), 1);
    EXPECT_EQ(
        site->value(QStringLiteral("select count(*) from Produccion_Lactea where id_remoto = %1")
                        .arg(record))
            .toInt(),
        0);

    proxy->setRules(std::vector<FaultRule>{});
    EXPECT_LE(scenario.convergeInProcess(), 1);
    EXPECT_EQ(site->value(QStringLiteral("select litros from detalle_Produccion_Lactea where "
                                         "Rodeo = '3' and litros > 4000"))
                  .toDouble(),
              4345.5);
    scenario.expectConverged();
}

} // namespace
} // namespace zelvano
