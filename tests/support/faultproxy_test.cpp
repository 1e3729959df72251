// The fault tooling's own tests: tests/support/faultproxy.py through its C++
// wrapper, in front of the reference server of scripts/services, checked with
// requests made like the program makes them; and the child-process wrapper.
#include "support/childprocess.h"
#include "support/faultproxy.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <thread>
#include <vector>

// Readable texts in failure messages.
void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace zelvano::test;

namespace {

QString upstream()
{
    return FaultProxy::referenceServerHost();
}

class FaultProxyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const HttpAnswer a = sendStatement(upstream(), QStringLiteral("select 1 as uno"), 5000);
        ASSERT_EQ(a.body, QByteArray("[{\"uno\":\"1\"}]"))
            << "the reference server does not answer on " << upstream().toStdString()
            << " (run scripts/services start): " << a.curlError.toStdString();
        proxy = std::make_unique<FaultProxy>(upstream());
    }

    void TearDown() override
    {
        if (proxy && HasFailure())
            std::cerr << "proxy stderr:\n" << proxy->standardError().toStdString() << "\n";
    }

    HttpAnswer direct(const QString &sql, int timeoutMs = 10000) const
    {
        return sendStatement(upstream(), sql, timeoutMs);
    }
    HttpAnswer viaProxy(const QString &sql, int timeoutMs = 10000) const
    {
        return sendStatement(proxy->host(), sql, timeoutMs);
    }

    std::unique_ptr<FaultProxy> proxy;
};

// A scratch table of the reference database, dropped whatever the test does.
struct ProbeTable
{
    ProbeTable()
    {
        const HttpAnswer a =
            sendStatement(upstream(), QStringLiteral("create table if not exists proxy_probe "
                                                     "(id int primary key, note varchar(40))"));
        if (a.status != 200)
            throw std::runtime_error("cannot create proxy_probe: " + a.body.toStdString());
        sendStatement(upstream(), QStringLiteral("delete from proxy_probe"));
    }
    ~ProbeTable() { sendStatement(upstream(), QStringLiteral("drop table if exists proxy_probe")); }

    static QByteArray rowsWithId(int id)
    {
        return sendStatement(
                   upstream(),
                   QStringLiteral("select count(*) as n from proxy_probe where id = %1").arg(id))
            .body;
    }
};

// Two statements on one curl handle (as the program's keep-alive client does):
// the number of new connections each one opened.
std::pair<long, long> connectsOfTwoOnOneHandle(const QString &url, const QByteArray &first,
                                               const QByteArray &second)
{
    CURL *c = curl_easy_init();
    curl_slist *headers = curl_slist_append(nullptr, "Expect:");
    QByteArray sink;
    const QByteArray urlBytes = url.toUtf8();
    curl_easy_setopt(c, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, 5000L);
    curl_easy_setopt(
        c, CURLOPT_WRITEFUNCTION, +[](char *d, size_t s, size_t n, void *u) {
            static_cast<QByteArray *>(u)->append(d, qsizetype(s * n));
            return s * n;
        });
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    long connects[2] = {-1, -1};
    const QByteArray *bodies[2] = {&first, &second};
    for (int i = 0; i < 2; ++i) {
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(bodies[i]->size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, bodies[i]->constData());
        curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "GET");
        if (curl_easy_perform(c) == CURLE_OK)
            curl_easy_getinfo(c, CURLINFO_NUM_CONNECTS, &connects[i]);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(c);
    return {connects[0], connects[1]};
}

TEST_F(FaultProxyTest, PlainForwardEqualsTheDirectAnswerByteForByte)
{
    const QStringList statements = {
        QStringLiteral("select 1 as uno, 'ñandú ü' as texto, null as nada"),
        QStringLiteral("select 1 as n union all select 2 union all select 3"),
        QStringLiteral("select repeat('x', 200000) as grande"),
        QStringLiteral("select nonsense from nowhere"), // 500 with the error text
        QStringLiteral("delete from clientes where id = -7"),
    };
    for (const QString &sql : statements) {
        SCOPED_TRACE(sql.toStdString());
        const HttpAnswer d = direct(sql);
        const HttpAnswer p = viaProxy(sql);
        ASSERT_EQ(d.curlCode, 0) << d.curlError.toStdString();
        ASSERT_EQ(p.curlCode, 0) << p.curlError.toStdString();
        EXPECT_EQ(p.status, d.status);
        EXPECT_FALSE(p.body.isEmpty());
        EXPECT_EQ(p.body, d.body);
        EXPECT_EQ(p.headers.value("content-type"), d.headers.value("content-type"));
        EXPECT_FALSE(p.hasHeader("content-length"));
        EXPECT_FALSE(p.hasHeader("transfer-encoding"));
        EXPECT_EQ(p.headers.value("connection"), "close");
    }
    EXPECT_EQ(direct(statements[3]).status, 500);
    EXPECT_EQ(proxy->count(""), statements.size());
}

TEST_F(FaultProxyTest, ClosesTheConnectionAfterEachAnswerUnlessKeepAlive)
{
    const QByteArray sql = "select 1 as uno";
    // Default: each statement on a new connection, as with the reference script.
    EXPECT_EQ(connectsOfTwoOnOneHandle(proxy->url(), sql, sql), std::make_pair(1L, 1L));
    proxy->setRules({{.match = "", .action = "forward", .keepAlive = true}});
    EXPECT_EQ(connectsOfTwoOnOneHandle(proxy->url(), sql, sql), std::make_pair(1L, 0L));
    const HttpAnswer p = viaProxy(QString::fromLatin1(sql));
    EXPECT_EQ(p.body, "[{\"uno\":\"1\"}]");
    EXPECT_EQ(p.headers.value("content-length"), "13");
}

TEST_F(FaultProxyTest, TruncateGivesACleanShorterAnswer)
{
    const QString sql = QStringLiteral("select 1 as uno, 2 as dos");
    const QByteArray full = direct(sql).body;
    ASSERT_EQ(full, "[{\"uno\":\"1\",\"dos\":\"2\"}]");

    proxy->setRules({{.match = "dos", .action = "truncate", .bytes = 5}});
    HttpAnswer p = viaProxy(sql);
    EXPECT_EQ(p.curlCode, 0) << p.curlError.toStdString();
    EXPECT_EQ(p.status, 200);
    EXPECT_EQ(p.body, full.left(5));
    EXPECT_FALSE(p.hasHeader("content-length"));

    proxy->setRules({{.match = "dos", .action = "truncate", .fraction = 0.5}});
    p = viaProxy(sql);
    EXPECT_EQ(p.curlCode, 0);
    EXPECT_EQ(p.status, 200);
    EXPECT_EQ(p.body, full.left(full.size() / 2));

    const auto log = proxy->log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].action, "truncate");
    EXPECT_EQ(log[0].status, 200);
    EXPECT_EQ(log[0].upstreamStatus, 200);
}

TEST_F(FaultProxyTest, TruncateLenIsAShortRead)
{
    const QString sql = QStringLiteral("select 1 as uno, 2 as dos");
    const QByteArray full = direct(sql).body;
    proxy->setRules({{.match = "", .action = "truncate_len", .bytes = 5}});
    const HttpAnswer p = viaProxy(sql);
    EXPECT_EQ(p.curlCode, CURLE_PARTIAL_FILE) << p.curlError.toStdString();
    EXPECT_EQ(p.status, 200);
    EXPECT_EQ(p.body, full.left(5));
    EXPECT_EQ(p.headers.value("content-length"), QString::number(full.size()));
}

TEST_F(FaultProxyTest, HtmlPagesWithAndWithoutBraces)
{
    proxy->setRules(
        {{.match = "uno", .action = "html200"}, {.match = "dos", .action = "html200_brace"}});
    const HttpAnswer plain = viaProxy(QStringLiteral("select 1 as uno"));
    EXPECT_EQ(plain.curlCode, 0);
    EXPECT_EQ(plain.status, 200);
    EXPECT_TRUE(plain.body.contains("<html")) << plain.body.toStdString();
    EXPECT_FALSE(plain.body.contains('{'));
    EXPECT_FALSE(plain.body.contains('}'));
    EXPECT_TRUE(plain.headers.value("content-type").startsWith("text/html"));

    const HttpAnswer brace = viaProxy(QStringLiteral("select 2 as dos"));
    EXPECT_EQ(brace.curlCode, 0);
    EXPECT_EQ(brace.status, 200);
    EXPECT_TRUE(brace.body.contains("<html"));
    EXPECT_TRUE(brace.body.contains("<style>"));
    EXPECT_TRUE(brace.body.contains('{'));
    EXPECT_TRUE(brace.body.contains('}'));
    EXPECT_LT(brace.body.indexOf('{'), brace.body.indexOf('}'));

    // Neither reached the server.
    for (const ProxiedRequest &r : proxy->log())
        EXPECT_EQ(r.upstreamStatus, 0) << r.action.toStdString();
}

TEST_F(FaultProxyTest, StatusAnswersWithoutRelaying)
{
    proxy->setRules({{.match = "uno", .action = "status", .code = 500, .body = "boom"},
                     {.match = "dos", .action = "status", .code = 502}});
    HttpAnswer p = viaProxy(QStringLiteral("select 1 as uno"));
    EXPECT_EQ(p.curlCode, 0);
    EXPECT_EQ(p.status, 500);
    EXPECT_EQ(p.body, "boom");
    p = viaProxy(QStringLiteral("select 2 as dos"));
    EXPECT_EQ(p.status, 502);
    EXPECT_EQ(p.body, "");
    const auto log = proxy->log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].status, 500);
    EXPECT_EQ(log[1].status, 502);
    EXPECT_EQ(log[0].upstreamStatus, 0);
}

TEST_F(FaultProxyTest, ResetAndCloseAreConnectionErrors)
{
    proxy->setRules({{.match = "uno", .action = "reset"}, {.match = "dos", .action = "close"}});
    HttpAnswer p = viaProxy(QStringLiteral("select 1 as uno"));
    EXPECT_EQ(p.curlCode, CURLE_RECV_ERROR) << p.curlError.toStdString();
    EXPECT_TRUE(p.curlError.contains("reset")) << p.curlError.toStdString();
    EXPECT_EQ(p.status, 0);
    EXPECT_TRUE(p.body.isEmpty());
    p = viaProxy(QStringLiteral("select 2 as dos"));
    EXPECT_EQ(p.curlCode, CURLE_GOT_NOTHING) << p.curlError.toStdString();
    EXPECT_EQ(p.status, 0);
    const auto log = proxy->log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].action, "reset");
    EXPECT_EQ(log[0].status, 0);
    EXPECT_EQ(log[1].action, "close");
}

TEST_F(FaultProxyTest, DropNeverAnswers)
{
    proxy->setRules(
        {{.match = "uno", .action = "drop"}, {.match = "dos", .action = "drop", .ms = 200}});
    HttpAnswer p = viaProxy(QStringLiteral("select 1 as uno"), 400);
    EXPECT_EQ(p.curlCode, CURLE_OPERATION_TIMEDOUT) << p.curlError.toStdString();
    EXPECT_GE(p.elapsedMs, 390);
    EXPECT_EQ(p.status, 0);
    // With a hold time: closed without an answer after it.
    p = viaProxy(QStringLiteral("select 2 as dos"), 5000);
    EXPECT_EQ(p.curlCode, CURLE_GOT_NOTHING) << p.curlError.toStdString();
    EXPECT_GE(p.elapsedMs, 190);
    EXPECT_LT(p.elapsedMs, 3000);
    // Dropped requests did not reach the server.
    for (const ProxiedRequest &r : proxy->log())
        EXPECT_EQ(r.upstreamStatus, 0);
}

TEST_F(FaultProxyTest, ForwardThenDropRunsTheStatementButLosesTheAnswer)
{
    ProbeTable probe;
    proxy->setRules({{.match = "insert into proxy_probe", .action = "forward_then_drop"}});
    const HttpAnswer p = viaProxy(
        QStringLiteral("insert into proxy_probe (id, note) values (1, 'lost answer')"), 800);
    EXPECT_EQ(p.curlCode, CURLE_OPERATION_TIMEDOUT) << p.curlError.toStdString();
    EXPECT_EQ(p.status, 0);
    EXPECT_TRUE(p.body.isEmpty());
    // The server did run it.
    EXPECT_EQ(ProbeTable::rowsWithId(1), "[{\"n\":\"1\"}]");
    const auto log = proxy->log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].action, "forward_then_drop");
    EXPECT_EQ(log[0].upstreamStatus, 200);
    EXPECT_EQ(log[0].status, 0);
}

TEST_F(FaultProxyTest, ForwardThenResetRunsTheStatementButResets)
{
    ProbeTable probe;
    proxy->setRules({{.match = "insert into proxy_probe", .action = "forward_then_reset"}});
    const HttpAnswer p =
        viaProxy(QStringLiteral("insert into proxy_probe (id, note) values (2, 'reset')"), 5000);
    EXPECT_EQ(p.curlCode, CURLE_RECV_ERROR) << p.curlError.toStdString();
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(ProbeTable::rowsWithId(2), "[{\"n\":\"1\"}]");
    // A second insert of the same key now fails on the server: it ran once.
    proxy->reset();
    const HttpAnswer again =
        viaProxy(QStringLiteral("insert into proxy_probe (id, note) values (2, 'reset')"));
    EXPECT_EQ(again.status, 500);
    EXPECT_TRUE(again.body.contains("Duplicate")) << again.body.toStdString();
}

TEST_F(FaultProxyTest, SkipAndTimesCountTheMatchingRequests)
{
    // Rule 0 lets the first "7 as" through, breaks the next two, then is spent;
    // rule 1 breaks only the first request that reaches it and it takes.
    proxy->setRules({{.match = "7 as", .action = "status", .skip = 1, .times = 2, .code = 500},
                     {.match = "", .action = "status", .times = 1, .code = 502}});
    const QStringList sent = {"select 8 as n", "select 7 as n", "select 7 as n",
                              "select 7 as n", "select 7 as n", "select 8 as n"};
    QList<long> statuses;
    for (const QString &sql : sent)
        statuses << viaProxy(sql).status;
    EXPECT_EQ(statuses, (QList<long>{502, 200, 500, 500, 200, 200}));

    const auto log = proxy->log();
    ASSERT_EQ(log.size(), size_t(sent.size()));
    const QStringList actions = {"status", "forward", "status", "status", "forward", "forward"};
    const QList<int> rules = {1, -1, 0, 0, -1, -1};
    for (int i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(log[size_t(i)].action, actions[i]) << i;
        EXPECT_EQ(log[size_t(i)].rule, rules[i]) << i;
        EXPECT_EQ(log[size_t(i)].seq, i + 1);
    }
    EXPECT_EQ(proxy->count("7 as"), 4);
    EXPECT_EQ(proxy->count("8 as"), 2);
}

TEST_F(FaultProxyTest, ConcurrentRequestsWaitOneDelayNotTheSum)
{
    // The delay is in the proxy; the reference server answers one request at a
    // time, but "select 1" takes it a few milliseconds.
    constexpr int requests = 8;
    constexpr int delayMs = 300;
    proxy->setRules({{.match = "", .action = "delay", .ms = delayMs}});
    std::vector<HttpAnswer> answers(requests);
    QElapsedTimer timer;
    timer.start();
    {
        std::vector<std::thread> threads;
        for (int i = 0; i < requests; ++i)
            threads.emplace_back(
                [&, i] { answers[size_t(i)] = viaProxy(QStringLiteral("select %1 as n").arg(i)); });
        for (std::thread &t : threads)
            t.join();
    }
    const qint64 elapsed = timer.elapsed();
    for (int i = 0; i < requests; ++i) {
        EXPECT_EQ(answers[size_t(i)].body, QStringLiteral("[{\"n\":\"%1\"}]").arg(i).toUtf8());
        EXPECT_GE(answers[size_t(i)].elapsedMs, delayMs - 10);
    }
    EXPECT_LT(elapsed, requests * delayMs / 2) << "the proxy served the requests one by one";
    EXPECT_EQ(proxy->count(""), requests);
}

TEST_F(FaultProxyTest, DelayOnlyOnMatchingStatements)
{
    proxy->setRules({{.match = "dos", .action = "delay", .ms = 400}});
    const HttpAnswer fast = viaProxy(QStringLiteral("select 1 as uno"));
    const HttpAnswer slow = viaProxy(QStringLiteral("select 2 as dos"));
    EXPECT_EQ(slow.body, "[{\"dos\":\"2\"}]");
    EXPECT_GE(slow.elapsedMs, 390);
    EXPECT_LT(fast.elapsedMs, 300);
}

TEST_F(FaultProxyTest, DripSendsTheWholeAnswerSlowly)
{
    const QString sql = QStringLiteral("select repeat('x', 600) as grande");
    const HttpAnswer d = direct(sql);
    proxy->setRules({{.match = "", .action = "drip", .bytesPerSecond = 2000}});
    const HttpAnswer p = viaProxy(sql);
    EXPECT_EQ(p.curlCode, 0) << p.curlError.toStdString();
    EXPECT_EQ(p.status, 200);
    EXPECT_EQ(p.body, d.body);
    // More than 600 bytes at 2000 a second.
    EXPECT_GE(p.elapsedMs, 290);
    EXPECT_LT(p.elapsedMs, 3000);
}

TEST_F(FaultProxyTest, LogHoldsMethodPathBodyAndHeaders)
{
    viaProxy(QStringLiteral("select 'ñ' as letra"));
    proxy->setRules({{.match = "dos", .action = "status", .code = 503}});
    viaProxy(QStringLiteral("select 2 as dos"));

    const auto log = proxy->log();
    ASSERT_EQ(log.size(), 2u);
    const ProxiedRequest &r = log[0];
    EXPECT_EQ(r.sql, QStringLiteral("select 'ñ' as letra"));
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.path, "/vremoto.php?");
    EXPECT_EQ(r.action, "forward");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.upstreamStatus, 200);
    EXPECT_EQ(r.headers.value("Host"), proxy->host());
    EXPECT_EQ(r.headers.value("Content-Length"),
              QString::number(QStringLiteral("select 'ñ' as letra").toUtf8().size()));
    EXPECT_FALSE(r.headers.contains("Expect")); // "Expect:" empty removes it
    EXPECT_EQ(log[1].action, "status");
    EXPECT_EQ(log[1].status, 503);
    EXPECT_EQ(log[1].seq, 2);

    // Reset clears the log and the rules.
    proxy->reset();
    EXPECT_EQ(proxy->count(""), 0);
    EXPECT_EQ(viaProxy(QStringLiteral("select 2 as dos")).status, 200);
    EXPECT_EQ(proxy->count("dos"), 1);
}

TEST_F(FaultProxyTest, ClientsThatGoAwayDoNotHurtTheProxy)
{
    proxy->setRules({{.match = "uno", .action = "delay", .ms = 500},
                     {.match = "dos", .action = "drip", .bytesPerSecond = 50},
                     {.match = "tres", .action = "drop"},
                     {.match = "cuatro", .action = "forward_then_drop"}});
    std::vector<std::thread> threads;
    for (const char *sql :
         {"select 1 as uno", "select 2 as dos", "select 3 as tres", "select 4 as cuatro"})
        for (int i = 0; i < 3; ++i)
            threads.emplace_back([this, sql] {
                EXPECT_EQ(viaProxy(QString::fromLatin1(sql), 150).curlCode,
                          CURLE_OPERATION_TIMEDOUT);
            });
    for (std::thread &t : threads)
        t.join();
    // Let the proxy meet the closed sockets (the delay ends, the drip writes).
    QThread::msleep(600);
    proxy->reset();
    EXPECT_EQ(viaProxy(QStringLiteral("select 1 as uno")).body, "[{\"uno\":\"1\"}]");
    EXPECT_EQ(proxy->count(""), 1);
    EXPECT_FALSE(proxy->standardError().contains("Traceback"))
        << proxy->standardError().toStdString();
}

TEST_F(FaultProxyTest, RefusesBadRules)
{
    EXPECT_THROW(proxy->setRules(QStringLiteral("[{\"action\": \"explode\"}]")),
                 std::runtime_error);
    EXPECT_THROW(proxy->setRules(QStringLiteral("not json")), std::runtime_error);
    EXPECT_THROW(proxy->setRules(QStringLiteral("{\"action\": \"drop\"}")), std::runtime_error);
    EXPECT_THROW(proxy->setRules({{.match = "", .action = "drip"}}), std::runtime_error);
    // The rules in force stay as they were (none).
    EXPECT_EQ(viaProxy(QStringLiteral("select 1 as uno")).status, 200);
}

TEST_F(FaultProxyTest, StopsWithItsObject)
{
    const QString host = proxy->host();
    proxy.reset();
    const HttpAnswer p = sendStatement(host, QStringLiteral("select 1 as uno"), 2000);
    EXPECT_EQ(p.curlCode, CURLE_COULDNT_CONNECT) << p.curlError.toStdString();
}

// No reference server needed: a chunked HTTP/1.1 upstream of our own.
TEST(FaultProxyUpstream, DechunksAChunkedUpstreamAndAnswers502WhenItIsGone)
{
    const QString script = QStringLiteral(R"(
import http.server
class H(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_GET(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.send_header("Content-Type", "application/json")
        self.end_headers()
        for part in (b'[{"echo":"', body, b'"}]'):
            self.wfile.write(b"%x\r\n%s\r\n" % (len(part), part))
        self.wfile.write(b"0\r\n\r\n")
    def log_message(self, *args):
        pass
s = http.server.HTTPServer(("127.0.0.1", 0), H)
print("PORT", s.server_address[1], flush=True)
s.serve_forever()
)");
    auto chunked = std::make_unique<ChildProcess>();
    chunked->start(QStringLiteral("python3"), {QStringLiteral("-c"), script});
    ASSERT_TRUE(chunked->waitForOutput("\n", 10000)) << chunked->standardError().toStdString();
    const QString port = QString::fromLatin1(chunked->standardOutput().trimmed().mid(5));
    FaultProxy proxy(QStringLiteral("127.0.0.1:") + port);

    const HttpAnswer direct = sendStatement(QStringLiteral("127.0.0.1:") + port, "abc");
    EXPECT_EQ(direct.headers.value("transfer-encoding"), "chunked");
    const HttpAnswer p = sendStatement(proxy.host(), QStringLiteral("abc"));
    EXPECT_EQ(p.curlCode, 0) << p.curlError.toStdString();
    EXPECT_EQ(p.body, "[{\"echo\":\"abc\"}]");
    EXPECT_FALSE(p.hasHeader("transfer-encoding"));

    chunked.reset(); // SIGKILL: the upstream is gone
    const HttpAnswer gone = sendStatement(proxy.host(), QStringLiteral("abc"));
    EXPECT_EQ(gone.status, 502);
    EXPECT_EQ(proxy.log().back().upstreamStatus, 0);
}

// --- ChildProcess

TEST(ChildProcessTest, KillAfterADelayReportsKilled)
{
    const ChildResult r = ChildProcess::runKilledAfter(QStringLiteral("sleep"), {"30"}, {}, 100);
    EXPECT_TRUE(r.killed);
    EXPECT_FALSE(r.finished);
    EXPECT_TRUE(r.crashed);
    EXPECT_EQ(r.delayMs, 100);
    EXPECT_GE(r.elapsedMs, 95);
    EXPECT_LT(r.elapsedMs, 5000);
}

TEST(ChildProcessTest, AChildThatEndsFirstReportsFinished)
{
    const ChildResult r = ChildProcess::runKilledAfter(QStringLiteral("true"), {}, {}, 3000);
    EXPECT_FALSE(r.killed);
    EXPECT_TRUE(r.finished);
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_LT(r.elapsedMs, 2500);

    const ChildResult f =
        ChildProcess::runKilledAfter(QStringLiteral("sh"), {"-c", "exit 4"}, {}, 3000);
    EXPECT_TRUE(f.finished);
    EXPECT_EQ(f.exitCode, 4);
}

TEST(ChildProcessTest, EnvironmentWorkingFolderAndOutput)
{
    QTemporaryDir dir;
    qputenv("ZELVANO_CHILD_GONE", "present");
    ChildProcess child;
    child.start(QStringLiteral("sh"),
                {"-c", "echo \"probe=$ZELVANO_CHILD_PROBE gone=${ZELVANO_CHILD_GONE-unset}\"; "
                       "pwd; echo on-stderr >&2; exit 3"},
                {{"ZELVANO_CHILD_PROBE", "seen"}, {"ZELVANO_CHILD_GONE", QString()}}, dir.path());
    ASSERT_TRUE(child.waitFinished(5000));
    EXPECT_EQ(child.exitCode(), 3);
    EXPECT_FALSE(child.crashed());
    const QList<QByteArray> lines = child.standardOutput().split('\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], "probe=seen gone=unset");
    EXPECT_EQ(QDir(QString::fromLocal8Bit(lines[1])).canonicalPath(),
              QDir(dir.path()).canonicalPath());
    EXPECT_EQ(child.standardError(), "on-stderr\n");
}

TEST(ChildProcessTest, TerminateAndKillHard)
{
    ChildProcess polite;
    polite.start(QStringLiteral("sh"), {"-c", "trap 'echo got-term; exit 7' TERM; echo ready; "
                                              "while :; do sleep 0.05; done"});
    ASSERT_TRUE(polite.waitForOutput("ready", 5000));
    EXPECT_TRUE(polite.running());
    polite.terminate();
    ASSERT_TRUE(polite.waitFinished(5000));
    EXPECT_FALSE(polite.crashed());
    EXPECT_EQ(polite.exitCode(), 7);
    EXPECT_TRUE(polite.standardOutput().contains("got-term"));

    ChildProcess hard;
    hard.start(QStringLiteral("sh"), {"-c", "trap '' TERM; echo ready; sleep 30"});
    ASSERT_TRUE(hard.waitForOutput("ready", 5000));
    EXPECT_FALSE(hard.waitFinished(100));
    hard.killHard();
    EXPECT_FALSE(hard.running());
    EXPECT_TRUE(hard.crashed());
    EXPECT_EQ(hard.exitCode(), 9); // the signal number
    EXPECT_LT(hard.elapsedMs(), 5000);
}

TEST(ChildProcessTest, RandomDelaysAreReproducible)
{
    // mt19937's first output for seed 1 is 1791095845: the same everywhere.
    EXPECT_EQ(randomDelayMs(0, 999, 1), 845);
    QSet<int> seen;
    for (quint32 seed = 0; seed < 200; ++seed) {
        const int d = randomDelayMs(50, 800, seed);
        EXPECT_EQ(d, randomDelayMs(50, 800, seed));
        EXPECT_GE(d, 50);
        EXPECT_LE(d, 800);
        seen.insert(d);
    }
    EXPECT_GT(seen.size(), 150);
    EXPECT_EQ(randomDelayMs(10, 10, 5), 10);
    qputenv("ZELVANO_TEST_SEED", "4242");
    EXPECT_EQ(testSeed(), 4242u);
    qunsetenv("ZELVANO_TEST_SEED");
}

} // namespace
