#include "support/faultproxy.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <curl/curl.h>

#include <mutex>
#include <stdexcept>

namespace zelvano::test {

namespace {

void curlInitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t collectBody(char *data, size_t size, size_t count, void *user)
{
    static_cast<QByteArray *>(user)->append(data, qsizetype(size * count));
    return size * count;
}

size_t collectHeader(char *data, size_t size, size_t count, void *user)
{
    auto *answer = static_cast<HttpAnswer *>(user);
    const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
    if (line.startsWith("HTTP/")) {
        answer->headers.clear(); // a new answer (after a 100 Continue)
    } else {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            answer->headers.insert(QString::fromLatin1(line.left(colon).trimmed()).toLower(),
                                   QString::fromLatin1(line.mid(colon + 1).trimmed()));
    }
    return size * count;
}

std::runtime_error failure(const QString &text)
{
    return std::runtime_error(("FaultProxy: " + text).toStdString());
}

} // namespace

HttpAnswer httpRequest(const QString &method, const QString &url, const QByteArray &body,
                       int timeoutMs)
{
    curlInitOnce();
    HttpAnswer answer;
    CURL *c = curl_easy_init();
    if (!c)
        throw std::runtime_error("curl_easy_init failed");
    const QByteArray urlBytes = url.toUtf8();
    const QByteArray methodBytes = method.toLatin1();
    curl_slist *headers = curl_slist_append(nullptr, "Expect:");
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(timeoutMs));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(qMin(timeoutMs, 5000)));
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    // The tooling's own calls to a TLS proxy: its certificate is what a test
    // puts to the program, not to the tooling.
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &collectBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &answer.body);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &collectHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &answer);
    if (!body.isEmpty() || method != QLatin1String("GET")) {
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.constData());
    }
    // POSTFIELDS turns the method into POST; the custom request sets it back.
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, methodBytes.constData());

    QElapsedTimer timer;
    timer.start();
    const CURLcode code = curl_easy_perform(c);
    answer.elapsedMs = timer.elapsed();
    answer.curlCode = int(code);
    if (code != CURLE_OK)
        answer.curlError = QString::fromUtf8(error[0] ? error : curl_easy_strerror(code));
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
    curl_easy_cleanup(c);
    curl_slist_free_all(headers);
    return answer;
}

HttpAnswer sendStatement(const QString &host, const QString &sql, int timeoutMs)
{
    return httpRequest(QStringLiteral("GET"),
                       QStringLiteral("http://") + host + QStringLiteral("/vremoto.php?"),
                       sql.toUtf8(), timeoutMs);
}

// --- FaultProxy

FaultProxy::FaultProxy(const QString &upstreamHost, const TlsIdentity &tls)
    : m_process(std::make_unique<QProcess>()), m_upstream(upstreamHost),
      m_secure(!tls.certFile.isEmpty())
{
    const QString script = QStringLiteral(ZELVANO_SOURCE_DIR "/tests/support/faultproxy.py");
    // Its stderr goes to a file, so that a chatty proxy never fills a pipe
    // that nobody reads; its stdin stays a pipe: the proxy exits when it
    // closes, so that a test that crashes leaves no proxy behind.
    if (!m_stderr.open())
        throw failure(QStringLiteral("no temporary file for the proxy's stderr"));
    m_process->setStandardErrorFile(m_stderr.fileName());
    QStringList args = {script,
                        QStringLiteral("--upstream"),
                        upstreamHost,
                        QStringLiteral("--port"),
                        QStringLiteral("0"),
                        QStringLiteral("--exit-on-stdin-eof")};
    if (m_secure)
        args << QStringLiteral("--cert") << tls.certFile << QStringLiteral("--key") << tls.keyFile;
    m_process->start(QStringLiteral("python3"), args);
    if (!m_process->waitForStarted(10000))
        throw failure(QStringLiteral("python3 did not start: ") + m_process->errorString());

    QElapsedTimer timer;
    timer.start();
    QByteArray out;
    while (!out.contains('\n') && timer.elapsed() < 10000 &&
           m_process->state() == QProcess::Running) {
        m_process->waitForReadyRead(int(qMax<qint64>(1, 10000 - timer.elapsed())));
        out += m_process->readAllStandardOutput();
    }
    const QByteArray line = out.left(out.indexOf('\n')).trimmed();
    bool ok = false;
    if (line.startsWith("PORT "))
        m_port = line.mid(5).toInt(&ok);
    if (!ok || m_port <= 0) {
        m_process->kill();
        m_process->waitForFinished(3000);
        const QByteArray err = standardError();
        throw failure(
            QStringLiteral("%1 did not print its port within 10 s (stdout: %2; stderr: %3)")
                .arg(script, QString::fromUtf8(out), QString::fromUtf8(err)));
    }
}

FaultProxy::~FaultProxy()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(3000)) {
            m_process->kill();
            m_process->waitForFinished(3000);
        }
    }
}

QString FaultProxy::referenceServerHost()
{
    const QByteArray port = qgetenv("ZELVANO_WEB_PORT");
    return QStringLiteral("127.0.0.1:") +
           (port.isEmpty() ? QStringLiteral("8080") : QString::fromLatin1(port));
}

QString FaultProxy::host() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QString FaultProxy::url() const
{
    return (m_secure ? QStringLiteral("https://") : QStringLiteral("http://")) + host() +
           QStringLiteral("/vremoto.php?");
}

QString FaultProxy::controlUrl(const char *path) const
{
    return (m_secure ? QStringLiteral("https://") : QStringLiteral("http://")) + host() +
           QLatin1String(path);
}

void FaultProxy::setRules(const QString &jsonArray)
{
    const HttpAnswer a =
        httpRequest(QStringLiteral("POST"), controlUrl("/__rules"), jsonArray.toUtf8());
    if (a.curlCode != 0 || a.status != 200)
        throw failure(QStringLiteral("rules refused (%1 %2): %3 — rules: %4")
                          .arg(a.status)
                          .arg(a.curlError, QString::fromUtf8(a.body), jsonArray));
}

QString FaultProxy::rulesJson(const std::vector<FaultRule> &rules)
{
    QJsonArray array;
    for (const FaultRule &r : rules) {
        QJsonObject o;
        o.insert(QStringLiteral("match"), r.match);
        o.insert(QStringLiteral("action"), r.action);
        if (r.skip != 0)
            o.insert(QStringLiteral("skip"), r.skip);
        if (r.times != -1)
            o.insert(QStringLiteral("times"), r.times);
        if (r.ms != 0)
            o.insert(QStringLiteral("ms"), r.ms);
        if (r.bytes >= 0)
            o.insert(QStringLiteral("bytes"), r.bytes);
        if (r.fraction >= 0)
            o.insert(QStringLiteral("fraction"), r.fraction);
        if (r.code != 0)
            o.insert(QStringLiteral("code"), r.code);
        if (!r.body.isEmpty())
            o.insert(QStringLiteral("body"), r.body);
        if (r.bytesPerSecond != 0)
            o.insert(QStringLiteral("bytes_per_second"), r.bytesPerSecond);
        if (r.keepAlive)
            o.insert(QStringLiteral("keep_alive"), true);
        array.append(o);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

void FaultProxy::setRules(const std::vector<FaultRule> &rules)
{
    setRules(rulesJson(rules));
}

void FaultProxy::reset()
{
    const HttpAnswer a = httpRequest(QStringLiteral("POST"), controlUrl("/__reset"), "{}");
    if (a.curlCode != 0 || a.status != 200)
        throw failure(QStringLiteral("reset failed (%1): %2").arg(a.status).arg(a.curlError));
}

std::vector<ProxiedRequest> FaultProxy::log() const
{
    const HttpAnswer a = httpRequest(QStringLiteral("GET"), controlUrl("/__log"), {});
    if (a.curlCode != 0 || a.status != 200)
        throw failure(QStringLiteral("log failed (%1): %2").arg(a.status).arg(a.curlError));
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(a.body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        throw failure(QStringLiteral("the log is no JSON array: ") + error.errorString());
    std::vector<ProxiedRequest> requests;
    const QJsonArray array = doc.array();
    requests.reserve(size_t(array.size()));
    for (const QJsonValue &v : array) {
        const QJsonObject o = v.toObject();
        ProxiedRequest r;
        r.seq = o.value(QStringLiteral("seq")).toInt();
        r.sql = o.value(QStringLiteral("sql")).toString();
        r.method = o.value(QStringLiteral("method")).toString();
        r.path = o.value(QStringLiteral("path")).toString();
        r.action = o.value(QStringLiteral("action")).toString();
        r.rule = o.value(QStringLiteral("rule")).toInt(-1);
        r.status = o.value(QStringLiteral("status")).toInt(0);
        r.upstreamStatus = o.value(QStringLiteral("upstream_status")).toInt(0);
        r.clientPort = o.value(QStringLiteral("client_port")).toInt(0);
        r.openConnections = o.value(QStringLiteral("open_connections")).toInt(0);
        const QJsonObject headers = o.value(QStringLiteral("headers")).toObject();
        for (auto it = headers.begin(); it != headers.end(); ++it)
            r.headers.insert(it.key(), it.value().toString());
        requests.push_back(std::move(r));
    }
    return requests;
}

int FaultProxy::count(const QString &sqlSubstring) const
{
    int n = 0;
    for (const ProxiedRequest &r : log())
        n += r.sql.contains(sqlSubstring) ? 1 : 0;
    return n;
}

bool FaultProxy::waitForCount(const QString &sqlSubstring, int n, int timeoutMs) const
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (count(sqlSubstring) >= n)
            return true;
        if (timer.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(20);
    }
}

QByteArray FaultProxy::standardError() const
{
    QFile file(m_stderr.fileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace zelvano::test
