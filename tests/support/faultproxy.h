#pragma once

// Fault experiments against the reference server: tests/support/faultproxy.py
// run as a child process, in front of server/vremoto.php, breaking chosen
// exchanges (see the rules in faultproxy.py). Depends on Qt Core and libcurl
// only.
//
//   FaultProxy proxy(FaultProxy::referenceServerHost());
//   proxy.setRules({{.match = "insert into lectura_viajes_feed",
//                    .action = "forward_then_drop", .skip = 2, .times = 1, .ms = 500}});
//   settings.host = proxy.host();        // the program talks to the proxy
//   ... run the program ...
//   EXPECT_EQ(proxy.count("insert into lectura_viajes_feed"), 4);

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryFile>

#include <memory>
#include <vector>

namespace zelvano::test {

// One rule of the proxy; fields left at their defaults are not sent.
struct FaultRule
{
    QString match;          // substring of the request body ("" matches all)
    QString action;         // forward, delay, drop, truncate, truncate_len, close,
                            // reset, html200, html200_brace, status,
                            // forward_then_drop, forward_then_reset, drip
    int skip = 0;           // matching requests let through first
    int times = -1;         // then applied to this many (-1: for ever)
    int ms = 0;             // delay; hold time of drop kinds; wait before close/reset
    qint64 bytes = -1;      // truncate kinds: bytes of the body kept
    double fraction = -1;   // truncate kinds: share of the body kept
    int code = 0;           // status: the status sent (500 when 0)
    QString body;           // status, html200 kinds: the body sent instead
    int bytesPerSecond = 0; // drip
    bool keepAlive = false; // forward kinds: Content-Length and keep the connection
};

// One request the proxy received, in arrival order.
struct ProxiedRequest
{
    int seq = 0;
    QString sql; // the body as text
    QString method;
    QString path;
    QString action;                 // the rule's action, or "forward"
    int rule = -1;                  // index of the rule that acted, -1 for none
    int status = 0;                 // status sent to the client, 0 when none was sent
    int upstreamStatus = 0;         // status of the upstream, 0 when not relayed / no answer
    int clientPort = 0;             // the client's port: one per connection
    int openConnections = 0;        // client connections open when it arrived, its own included
    QMap<QString, QString> headers; // as received
};

// A plain HTTP exchange made like the program makes it: GET with the
// statement as body, "Expect:" empty, no proxy, a fresh connection.
struct HttpAnswer
{
    int curlCode = 0;  // CURLcode; 0 when the transfer completed
    QString curlError; // curl's error text when curlCode != 0
    long status = 0;   // 0 when no status line came
    QByteArray body;
    QMap<QString, QString> headers; // names in lower case
    qint64 elapsedMs = 0;

    bool hasHeader(const QString &name) const { return headers.contains(name.toLower()); }
};

// Sends sql to http://<host>/vremoto.php? and waits at most timeoutMs.
HttpAnswer sendStatement(const QString &host, const QString &sql, int timeoutMs = 10000);
// Any request (control calls and tests of the tooling).
HttpAnswer httpRequest(const QString &method, const QString &url, const QByteArray &body,
                       int timeoutMs = 10000);

// The certificate and key a proxy presents to its clients (PEM files).
struct TlsIdentity
{
    QString certFile;
    QString keyFile;
};

class FaultProxy
{
public:
    // Starts the proxy in front of upstreamHost ("host:port"); throws
    // std::runtime_error when it does not listen within 10 s. With a TLS
    // identity it speaks HTTPS to its clients (a TLS terminator) and its
    // control calls go over HTTPS without checking its certificate.
    explicit FaultProxy(const QString &upstreamHost, const TlsIdentity &tls = {});
    ~FaultProxy();
    FaultProxy(const FaultProxy &) = delete;
    FaultProxy &operator=(const FaultProxy &) = delete;

    // "127.0.0.1:<ZELVANO_WEB_PORT or 8080>": the reference server of scripts/services.
    static QString referenceServerHost();

    int port() const { return m_port; }
    QString host() const; // "127.0.0.1:<port>", what the settings take as server host
    QString url() const;  // "http[s]://127.0.0.1:<port>/vremoto.php?"
    QString upstream() const { return m_upstream; }

    // Replaces every rule (and their counters); throws when the proxy refuses them.
    void setRules(const QString &jsonArray);
    void setRules(const std::vector<FaultRule> &rules);
    static QString rulesJson(const std::vector<FaultRule> &rules);
    // No rules, empty log.
    void reset();
    std::vector<ProxiedRequest> log() const;
    // Requests whose body contains sqlSubstring ("" counts all).
    int count(const QString &sqlSubstring) const;
    // Waits until count(sqlSubstring) >= n; false after timeoutMs.
    bool waitForCount(const QString &sqlSubstring, int n, int timeoutMs) const;
    // What the proxy wrote on stderr so far (Python errors).
    QByteArray standardError() const;

private:
    QString controlUrl(const char *path) const;

    QTemporaryFile m_stderr;
    std::unique_ptr<QProcess> m_process;
    QString m_upstream;
    bool m_secure = false;
    int m_port = 0;
};

} // namespace zelvano::test
