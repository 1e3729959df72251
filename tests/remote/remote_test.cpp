#include "remote/remotetestsupport.h"
#include "support/faultproxy.h"

#include "remote/columns.h"
#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/server.h"
#include "remote/webexchanges.h"
#include "remote/webrequest.h"
#include "store/settings.h"

#include <QDate>
#include <QElapsedTimer>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>

namespace zelvano {
namespace {

using test::RemotePeer;

class RemoteTest : public ::testing::Test
{
protected:
    void SetUp() override { RemotePeer::freshServer(); }
};

TEST_F(RemoteTest, WebAnswersRowsCountsAndErrors)
{
    WebRequest web(RemoteOptions::tripDownload());
    web.open(webUrl(RemotePeer::webHost()));

    WebAnswer rows = web.send(QStringLiteral("select id, nombre from clientes"));
    EXPECT_EQ(rows.status, 200);
    EXPECT_EQ(rows.text, QStringLiteral("[{\"id\":\"12\",\"nombre\":\"Feedlot La Esperanza\"}]"));

    // Texts travel as UTF-8 both ways; the same opened request serves every statement.
    WebAnswer insert = web.send(QStringLiteral(
        "insert into clientes (id, password, nombre) values (13, 'x', 'Tambo Ñandú')"));
    EXPECT_EQ(insert.status, 200);
    EXPECT_TRUE(insert.text.contains(QStringLiteral("\"affected_rows\":1"))) << insert.text.toStdString();
    EXPECT_EQ(web.send(QStringLiteral("select nombre from clientes where id = 13")).text,
              QStringLiteral("[{\"nombre\":\"Tambo Ñandú\"}]"));

    WebAnswer none = web.send(QStringLiteral("select * from clientes where id = 99"));
    EXPECT_EQ(none.status, 200);
    EXPECT_EQ(none.text, QStringLiteral("[]"));

    WebAnswer bad = web.send(QStringLiteral("select * from no_table"));
    EXPECT_EQ(bad.status, 500);
    EXPECT_TRUE(bad.text.contains(QStringLiteral("no_table"))) << bad.text.toStdString();
    EXPECT_EQ(web.sendCount(), 5);
}

TEST_F(RemoteTest, LargeBodyIsSentWithoutWaitingForContinue)
{
    QString sql = QStringLiteral("select '");
    sql += QString(1500000, QLatin1Char('x'));
    sql += QStringLiteral("' as t");
    WebRequest web;
    web.open(webUrl(RemotePeer::webHost()));
    QElapsedTimer timer;
    timer.start();
    const WebAnswer answer = web.send(sql);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.text.size(), 1500000 + 10);
    EXPECT_LT(timer.elapsed(), 900);
}

TEST_F(RemoteTest, OdbcReadsByPositionWithNullsAndCounts)
{
    RemotePeer::exec(QStringLiteral(
        "insert into lectura_viajes_feed values (12, 501, 1, 7, 'Engorde', '2024-01-05', 120, "
        "1500.50, 1498, 3, NULL), (12, 502, 2, 7, 'Engorde', '2024-01-06', 80, 900, 910, 3, '4')"));
    OdbcConnection db(odbcConnectionString(RemotePeer::odbcHost()));
    OdbcResult rs = db.openRecordset(
        QStringLiteral("select * from lectura_viajes_feed where cliente = 12 order by id_viaje"));
    EXPECT_EQ(rs.recordCount(), 2);
    ASSERT_EQ(rs.columnCount(), 11);
    EXPECT_EQ(rs.columnName(RemoteTrip::IdViaje.position), RemoteTrip::IdViaje.key);
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(rs.value(RemoteTrip::IdViaje.position).toInt(), 501);
    EXPECT_EQ(rs.value(RemoteTrip::DesReceta.position).toString(), QStringLiteral("Engorde"));
    EXPECT_EQ(rs.value(RemoteTrip::Fecha.position).toDate(), QDate(2024, 1, 5));
    EXPECT_DOUBLE_EQ(rs.value(RemoteTrip::KgTotSug.position).toDouble(), 1500.5);
    EXPECT_FALSE(rs.value(RemoteTrip::IdPres.position).isValid());
    EXPECT_THROW(rs.value(rs.columnCount()), AppError);
    rs.moveNext();
    EXPECT_EQ(rs.value(RemoteTrip::IdPres.position).toString(), QStringLiteral("4"));
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_THROW(rs.value(0), AppError);

    EXPECT_EQ(db.execute(QStringLiteral("update lectura_viajes_feed set turno = 1 where cliente = 12")),
              2); // matched rows, one of them unchanged
    try {
        db.openRecordset(QStringLiteral("select * from nowhere"));
        FAIL() << "no error";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::SqlError);
        EXPECT_TRUE(e.description().contains(QStringLiteral("nowhere"))) << e.what();
    }
    db.close();
    EXPECT_THROW(db.execute(QStringLiteral("select 1")), AppError);
}

TEST_F(RemoteTest, OdbcOpenFailureAndLogin)
{
    try {
        OdbcConnection db(odbcConnectionString(QStringLiteral("127.0.0.2")));
        FAIL() << "opened";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::ProviderFailure);
        EXPECT_FALSE(e.description().isEmpty());
    }
    Settings s;
    s.ClientId = QStringLiteral("12");
    s.ClientPassword = QStringLiteral("secreto");
    OdbcConnection db(odbcConnectionString(RemotePeer::odbcHost()));
    EXPECT_EQ(db.openRecordset(authenticationSql(s)).recordCount(), 1);
    s.ClientPassword = QStringLiteral("x' or '1'='1");
    EXPECT_EQ(db.openRecordset(authenticationSql(s)).recordCount(), 0);
}

// What goes over the wire, seen by a proxy of the test's own in place of the
// server: a GET to the script's address with the statement as its body, sent
// straight to the server (an environment proxy is not used), and no header
// but those the server needs to read it.
TEST_F(RemoteTest, RequestsCarryTheStatementAndNoHeadersOfTheClientsOwn)
{
    test::FaultProxy proxy(test::FaultProxy::referenceServerHost());
    // An environment proxy that does not exist: a request sent through it fails.
    const QByteArray saved = qgetenv("http_proxy");
    qputenv("http_proxy", QStringLiteral("http://127.0.0.1:%1").arg(test::closedPort()).toLatin1());
    const auto restore = qScopeGuard([&] {
        if (saved.isNull())
            qunsetenv("http_proxy");
        else
            qputenv("http_proxy", saved);
    });

    WebRequest web(RemoteOptions::tripDownload());
    web.open(webUrl(proxy.host()));
    const QString select = QStringLiteral("select id, nombre from clientes where id = 12");
    const QString insert =
        QStringLiteral("insert into clientes (id, password) values (14, 'ñ''x')");
    EXPECT_EQ(web.send(select).status, 200);
    EXPECT_EQ(web.send(insert).status, 200);

    const std::vector<test::ProxiedRequest> log = proxy.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].sql, select);
    EXPECT_EQ(log[1].sql, insert);
    for (const test::ProxiedRequest &r : log) {
        EXPECT_EQ(r.method, QStringLiteral("GET"));
        EXPECT_EQ(r.path, QStringLiteral("/vremoto.php?")); // not a proxy's absolute address
        QStringList names;
        for (auto it = r.headers.cbegin(); it != r.headers.cend(); ++it)
            names << it.key().toLower();
        names.sort();
        EXPECT_EQ(names, (QStringList{"content-length", "host"})) << names.join(", ").toStdString();
        EXPECT_EQ(r.headers.value(QStringLiteral("Host")), proxy.host());
        EXPECT_EQ(r.headers.value(QStringLiteral("Content-Length")).toInt(), r.sql.toUtf8().size());
    }
}

TEST_F(RemoteTest, ADrippingServerEndsWithinTheOverallLimit)
{
    test::FaultProxy proxy(test::FaultProxy::referenceServerHost());
    proxy.setRules({{.match = "", .action = "drip", .bytesPerSecond = 1}});
    RemoteOptions options = RemoteOptions::tripDownload();
    options.limits.answerMs = 1500; // the silence limits stay at 30 s
    WebRequest web(options);
    web.open(webUrl(proxy.host()));
    QElapsedTimer timer;
    timer.start();
    try {
        web.send(QStringLiteral("select * from clientes"));
        FAIL() << "no error";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::HttpTimeout) << e.what();
    }
    EXPECT_GE(timer.elapsed(), 1500);
    EXPECT_LT(timer.elapsed(), 2500);
}

TEST_F(RemoteTest, AnAnswerOverTheSizeLimitFailsItsStatement)
{
    RemoteOptions options = RemoteOptions::tripDownload();
    options.limits.maxAnswerBytes = 100000;
    WebRequest web(options);
    web.open(webUrl(RemotePeer::webHost()));
    // Just under the limit: 99,990 characters and the JSON around them.
    EXPECT_EQ(web.send(QStringLiteral("select repeat('x', 99990) as t")).text.size(), 100000);
    try {
        web.send(QStringLiteral("select repeat('x', 99991) as t"));
        FAIL() << "no error";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::HttpConnectionError);
        EXPECT_TRUE(e.description().contains(QStringLiteral("larger than 100000 bytes")))
            << e.what();
    }
    // The request is fit for the next statement.
    EXPECT_EQ(web.send(QStringLiteral("select 1 as uno")).text,
              QStringLiteral("[{\"uno\":\"1\"}]"));
    EXPECT_EQ(RemoteLimits{}.maxAnswerBytes, 64 * 1024 * 1024);
    EXPECT_EQ(RemoteLimits{}.answerMs, 120000);
}

// A 100 MB answer under the default limits: given up at 64 MB, without ever
// holding much more than that.
// Four answers of 30,000 bytes come in together, slowly, under a cap of
// 40,000: the later ones wait while the oldest goes on, none fails, and the
// bytes held at once stay below twice the cap (all four at once would hold
// 120,000).
TEST_F(RemoteTest, LargeAnswersInFlightTogetherWaitForRoomInsteadOfFailing)
{
    test::FaultProxy proxy(RemotePeer::webHost());
    proxy.setRules({{.match = "", .action = "drip", .bytesPerSecond = 100000}});
    RemoteOptions options = RemoteOptions::tripDownload();
    options.limits.maxAnswerBytes = 40000;
    options.limits.answerMs = 5000;
    WebExchanges exchanges(options, 4);
    exchanges.open(webUrl(proxy.host()));
    std::map<WebExchanges::Ticket, QString> expected;
    for (int i = 0; i < 4; ++i) {
        const QString filler(30000 - 12, QLatin1Char('a' + i));
        expected[exchanges.start(QStringLiteral("select '%1' as t").arg(filler))] =
            QStringLiteral("[{\"t\":\"%1\"}]").arg(filler);
    }
    EXPECT_FALSE(exchanges.canStart());
    int answered = 0;
    QElapsedTimer timer;
    timer.start();
    while (exchanges.inFlight() > 0 && timer.elapsed() < 20000) {
        for (WebExchanges::Ended &ended : exchanges.wait(100)) {
            ASSERT_FALSE(ended.error) << ended.error->description().toStdString();
            EXPECT_EQ(ended.answer.status, 200);
            EXPECT_EQ(ended.answer.text, expected.at(ended.ticket));
            ++answered;
        }
    }
    EXPECT_EQ(answered, 4);
    EXPECT_GE(exchanges.peakHeldBytes(), 30000);
    EXPECT_LT(exchanges.peakHeldBytes(), 2 * options.limits.maxAnswerBytes);
}

// The ODBC way has no overall limit, but a statement whose server stays silent
// past the silence limit fails instead of holding the job; the same server
// answering within it is waited for.
TEST_F(RemoteTest, AnOdbcStatementFailsAfterASilenceOverTheLimit)
{
    Settings s;
    s.ServerHost = RemotePeer::odbcHost();
    s.ClientId = QStringLiteral("12");
    s.RemoteMode = QStringLiteral("ODBC");
    RemoteOptions options = RemoteOptions::synchronisation();
    options.limits.sendMs = 1000;
    options.limits.receiveMs = 2000;
    std::unique_ptr<RemoteServer> server = RemoteServer::open(s, options);
    ASSERT_EQ(server->way(), RemoteWay::Odbc);
    EXPECT_EQ(server->query(QStringLiteral("select sleep(1) as s")).rows.size(), 1u);

    QElapsedTimer timer;
    timer.start();
    try {
        server->query(QStringLiteral("select sleep(8) as s"));
        FAIL() << "a silence of 8 s was waited out";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::SqlError);
        EXPECT_TRUE(e.description().contains("Lost connection")) << e.description().toStdString();
    }
    EXPECT_GE(timer.elapsed(), 1900);
    EXPECT_LT(timer.elapsed(), 6000);
}

// A server that keeps its connections open and drops one under a statement
// before answering: libcurl would send the statement again on a new
// connection by itself. A select may go again; a change must not.
TEST_F(RemoteTest, AChangeIsNeverSentTwiceWhenAKeptConnectionDropsIt)
{
    test::FaultProxy proxy(RemotePeer::webHost());
    const QString change = QStringLiteral("update clientes set nombre = 'Otro' where id = 12");
    proxy.setRules({{.match = "update clientes", .action = "close", .times = 1},
                    {.match = "", .action = "forward", .keepAlive = true}});
    Settings s;
    s.ServerHost = proxy.host();
    s.ClientId = QStringLiteral("12");
    std::unique_ptr<RemoteServer> server = RemoteServer::open(s, RemoteOptions::synchronisation());
    EXPECT_TRUE(server->query(QStringLiteral("select id from clientes")).accepted());
    EXPECT_TRUE(server->query(QStringLiteral("select nombre from clientes")).accepted());
    try {
        server->execute(change);
        FAIL() << "the dropped statement was taken as run";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::HttpConnectionError) << e.description().toStdString();
    }
    EXPECT_EQ(proxy.count("update clientes"), 1);
    EXPECT_EQ(RemotePeer::scalar("select nombre from clientes where id = 12").toString(),
              "Feedlot La Esperanza");

    // The selects before it shared one kept connection; the change had its own.
    const std::vector<test::ProxiedRequest> log = proxy.log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].clientPort, log[1].clientPort);
    EXPECT_NE(log[2].clientPort, log[1].clientPort);
}

TEST_F(RemoteTest, AHundredMegabyteAnswerIsGivenUpAtTheDefaultLimit)
{
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    WebRequest web(RemoteOptions::tripDownload());
    web.open(webUrl(RemotePeer::webHost()));
    QElapsedTimer timer;
    timer.start();
    try {
        web.send(QStringLiteral("select repeat('x', 1000000) as t from seq_1_to_100"));
        FAIL() << "no error";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::HttpConnectionError);
        EXPECT_TRUE(e.description().contains(QStringLiteral("larger than 67108864 bytes")))
            << e.what();
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const long grownMb = (after.ru_maxrss - before.ru_maxrss) / 1024;
    std::printf("[ info     ] 100 MB answer given up after %lld ms, peak grew by %ld MB\n",
                timer.elapsed(), grownMb);
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer keeps freed buffers aside for a while: the grown ones count twice.
    EXPECT_LT(grownMb, 250);
#else
    EXPECT_LT(grownMb, 100);
#endif
}

} // namespace
} // namespace zelvano
