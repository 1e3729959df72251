#include "remote/server.h"

#include "remote/odbc.h"
#include "remote/webexchanges.h"
#include "store/settings.h"

#include <algorithm>
#include <chrono>

namespace zelvano {

namespace {

// The driver counts whole seconds, and one value serves both directions.
int silenceSeconds(const RemoteLimits &limits)
{
    return (std::max(limits.sendMs, limits.receiveMs) + 999) / 1000;
}

class WebServer final : public RemoteServer
{
public:
    WebServer(const Settings &settings, const RemoteOptions &options)
        : m_way(remoteWay(settings)), m_exchanges(options, options.connections)
    {
        // The farm's id and password go with every request, over HTTPS only
        // (WebExchanges never sends them in clear).
        m_exchanges.open(webUrl(settings.ServerHost),
                         ServerLogin{clientIdText(settings), settings.ClientPassword});
    }
    RemoteWay way() const override { return m_way; }
    int parallel() const override { return m_exchanges.connections(); }
    int inFlight() const override { return m_exchanges.inFlight(); }
    void abandonAll() override
    {
        m_exchanges.abandonAll();
        m_parked.clear();
    }

protected:
    RemoteAnswer send(const QString &sql, bool readRows) override
    {
        // A statement without rows changes the server: never on a reused connection.
        const WebExchanges::Ticket ticket = m_exchanges.start(
            sql, readRows ? WebExchanges::Connection::Reused : WebExchanges::Connection::Fresh);
        for (;;) {
            for (WebExchanges::Ended &ended : m_exchanges.wait(1000)) {
                if (ended.ticket != ticket) {
                    m_parked.push_back(std::move(ended)); // a started select's, for answers()
                    continue;
                }
                if (ended.error)
                    throw *ended.error;
                return webRemoteAnswer(ended.answer, readRows);
            }
        }
    }

    Ticket startSelect(const QString &sql) override { return m_exchanges.start(sql); }

    std::vector<Ended> collect(int waitMs) override
    {
        std::vector<WebExchanges::Ended> web = std::move(m_parked);
        m_parked.clear();
        if (web.empty())
            web = m_exchanges.wait(waitMs);
        std::vector<Ended> ended;
        ended.reserve(web.size());
        for (WebExchanges::Ended &e : web) {
            Ended one;
            one.ticket = e.ticket;
            if (e.error)
                one.error = std::move(e.error);
            else
                one.answer = webRemoteAnswer(e.answer, true);
            ended.push_back(std::move(one));
        }
        return ended;
    }

private:
    RemoteWay m_way;
    WebExchanges m_exchanges;
    std::vector<WebExchanges::Ended> m_parked;
};

class OdbcServer final : public RemoteServer
{
public:
    OdbcServer(const QString &host, const RemoteLimits &limits)
        : m_connection(odbcConnectionString(host), limits.loginSeconds, silenceSeconds(limits))
    {
    }
    RemoteWay way() const override { return RemoteWay::Odbc; }
    bool countsRowsAhead() const override { return true; }
    bool typedValues() const override { return true; }

protected:
    RemoteAnswer send(const QString &sql, bool readRows) override
    {
        RemoteAnswer answer;
        if (!readRows) {
            answer.affectedRows = m_connection.execute(sql);
            // The same session's, so the id this insert made.
            if (sql.trimmed().startsWith(QLatin1String("insert"), Qt::CaseInsensitive)) {
                OdbcResult id =
                    m_connection.openRecordset(QStringLiteral("select last_insert_id()"));
                if (!id.eof())
                    answer.insertId = id.value(0).toLongLong();
            }
            return answer;
        }
        OdbcResult result = m_connection.openRecordset(sql);
        answer.hasRows = result.recordCount() > 0;
        answer.rows = odbcResultRows(result);
        return answer;
    }

private:
    OdbcConnection m_connection;
};

// Adds the time of its life to a total.
class Clocked
{
public:
    explicit Clocked(double &total) : m_total(total) {}
    ~Clocked()
    {
        m_total +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    }

private:
    double &m_total;
    std::chrono::steady_clock::time_point m_started = std::chrono::steady_clock::now();
};

} // namespace

RemoteAnswer webRemoteAnswer(const WebAnswer &web, bool readRows)
{
    RemoteAnswer answer;
    answer.status = int(web.status);
    answer.bytes = web.text.size();
    if (answer.status != 200) {
        answer.refusal = web.text;
        return answer;
    }
    // Statements without rows are checked too: a cut answer to an insert
    // says nothing about whether it ran.
    WebAnswerRead read = readWebAnswer(web.text);
    answer.whole = read.whole;
    if (!read.whole) {
        answer.refusal = read.problem;
        return answer;
    }
    answer.hasRows = !read.rows.empty();
    // A statement without rows is answered {"affected_rows": n, "insert_id": n}.
    if (!readRows && read.rows.size() == 1) {
        const RemoteRow &row = read.rows.front();
        bool known = false;
        const qint64 affected =
            row.field({QStringLiteral("affected_rows"), 0}).toString().toLongLong(&known);
        answer.affectedRows = known ? affected : -1;
        answer.insertId = row.field({QStringLiteral("insert_id"), 1}).toString().toLongLong();
    }
    if (readRows)
        answer.rows = std::move(read.rows);
    return answer;
}

RemoteAnswer RemoteServer::run(const QString &sql, bool readRows)
{
    if (m_trace)
        m_trace->append(sql);
    Clocked clocked(m_waitSeconds);
    return send(sql, readRows);
}

RemoteServer::Ticket RemoteServer::start(const QString &sql)
{
    if (!canStart())
        raise(ErrNo::InvalidCall);
    if (m_trace)
        m_trace->append(sql);
    return startSelect(sql);
}

std::vector<RemoteServer::Ended> RemoteServer::answers(int waitMs)
{
    Clocked clocked(m_waitSeconds);
    return collect(waitMs);
}

RemoteServer::Ticket RemoteServer::startSelect(const QString &sql)
{
    m_queued.emplace_back(++m_lastTicket, sql);
    return m_lastTicket;
}

std::vector<RemoteServer::Ended> RemoteServer::collect(int)
{
    std::vector<Ended> ended;
    if (m_queued.empty())
        return ended;
    auto [ticket, sql] = std::move(m_queued.front());
    m_queued.pop_front();
    Ended one;
    one.ticket = ticket;
    try {
        one.answer = send(sql, true);
    } catch (const AppError &e) {
        one.error = e;
    }
    ended.push_back(std::move(one));
    return ended;
}

std::unique_ptr<RemoteServer> RemoteServer::open(const Settings &settings,
                                                 const RemoteOptions &options)
{
    // Whatever job asks: no connection with settings that could bend a statement.
    checkRemoteSettings(settings);
    switch (remoteWay(settings)) {
    case RemoteWay::Odbc:
        return std::make_unique<OdbcServer>(serverAddress(settings.ServerHost), options.limits);
    case RemoteWay::Http:
    case RemoteWay::Https:
        break;
    }
    return std::make_unique<WebServer>(settings, options);
}

} // namespace zelvano
