#include "remote/server.h"

#include "remote/odbc.h"
#include "remote/webrequest.h"
#include "store/settings.h"

#include <chrono>

namespace zelvano {

namespace {

class WebServer final : public RemoteServer
{
public:
    WebServer(const QString &host, const RemoteOptions &options) : m_request(options)
    {
        m_request.open(webUrl(host));
    }
    bool odbc() const override { return false; }

protected:
    RemoteAnswer send(const QString &sql, bool readRows) override
    {
        const WebAnswer web = m_request.send(sql);
        RemoteAnswer answer;
        answer.status = int(web.status);
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
        if (readRows)
            answer.rows = std::move(read.rows);
        return answer;
    }

private:
    WebRequest m_request;
};

class OdbcServer final : public RemoteServer
{
public:
    OdbcServer(const QString &host, int loginSeconds)
        : m_connection(odbcConnectionString(host), loginSeconds)
    {
    }
    bool odbc() const override { return true; }

protected:
    RemoteAnswer send(const QString &sql, bool readRows) override
    {
        RemoteAnswer answer;
        if (!readRows) {
            m_connection.execute(sql);
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

} // namespace

RemoteAnswer RemoteServer::run(const QString &sql, bool readRows)
{
    if (m_trace)
        m_trace->append(sql);
    const auto started = std::chrono::steady_clock::now();
    struct Clocked
    {
        double &total;
        std::chrono::steady_clock::time_point started;
        ~Clocked()
        {
            total += std::chrono::duration<double>(std::chrono::steady_clock::now() - started)
                         .count();
        }
    } clocked{m_waitSeconds, started};
    return send(sql, readRows);
}

std::unique_ptr<RemoteServer> RemoteServer::open(const Settings &settings,
                                                 const RemoteOptions &options)
{
    // Whatever job asks: no connection with settings that could bend a statement.
    checkRemoteSettings(settings);
    if (isOdbcMode(settings))
        return std::make_unique<OdbcServer>(settings.ServerHost, options.limits.loginSeconds);
    return std::make_unique<WebServer>(settings.ServerHost, options);
}

} // namespace zelvano
