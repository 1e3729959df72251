#include "sync/syncremote.h"

#include "download/remote.h"
#include "store/appcontext.h"
#include "json/json.h"
#include "json/recordwalk.h"

namespace zelvano {

QVariant RemoteRow::field(int position, const QString &key) const
{
    if (keyed) {
        // Keys compare exactly; a missing key reads as the empty text.
        const qsizetype at = keys.indexOf(key);
        return at < 0 ? QVariant(QString()) : values[size_t(at)];
    }
    if (position < 0 || position >= int(values.size()))
        return QVariant();
    return values[size_t(position)];
}

namespace {

// Statements as bodies of one opened GET request to the server script.
class WebSyncRemote final : public SyncRemote
{
public:
    WebSyncRemote(const QString &host, const WebRequest::Options &options) : m_request(options)
    {
        m_request.open(webUrl(host));
    }
    bool odbc() const override { return false; }

protected:
    RemoteAnswer execute(const QString &sql, bool readRows) override
    {
        const WebAnswer web = m_request.send(sql);
        RemoteAnswer answer;
        answer.status = int(web.status);
        answer.hasRows = web.text.contains(u'{');
        if (!readRows || !answer.hasRows)
            return answer;
        json::RecordWalk walk(web.text);
        while (walk.next()) {
            const json::JsonValue &object = walk.row();
            RemoteRow row;
            row.keyed = true;
            if (object.isDictionary()) {
                for (const auto &[key, value] : object.entries()) {
                    row.keys << key;
                    row.values.push_back(value.toVariant());
                }
            }
            answer.rows.push_back(std::move(row));
        }
        return answer;
    }

private:
    WebRequest m_request;
};

// Statements on one ODBC connection, open for the whole procedure.
class OdbcSyncRemote final : public SyncRemote
{
public:
    OdbcSyncRemote(const QString &host, int loginSeconds)
        : m_connection(odbcConnectionString(host), loginSeconds)
    {
    }
    bool odbc() const override { return true; }

protected:
    RemoteAnswer execute(const QString &sql, bool readRows) override
    {
        RemoteAnswer answer;
        if (!readRows) {
            m_connection.execute(sql);
            return answer;
        }
        OdbcResult rs = m_connection.openRecordset(sql);
        answer.hasRows = rs.recordCount() > 0;
        answer.rows.reserve(size_t(rs.recordCount()));
        for (; !rs.eof(); rs.moveNext()) {
            RemoteRow row;
            row.values.reserve(size_t(rs.columnCount()));
            for (int i = 0; i < rs.columnCount(); ++i)
                row.values.push_back(rs.value(i));
            answer.rows.push_back(std::move(row));
        }
        return answer;
    }

private:
    OdbcConnection m_connection;
};

WebRequest::Options &webOptions()
{
    static WebRequest::Options options;
    return options;
}

// Without a limit the driver waits for a silent server's greeting forever;
// 15 s is the login time-out of the platform's connection object.
int g_odbcLoginSeconds = 15;

} // namespace

void setSyncWebTimeouts(int connectMs, int sendMs, int receiveMs)
{
    webOptions().connectTimeoutMs = connectMs;
    webOptions().sendTimeoutMs = sendMs;
    webOptions().receiveTimeoutMs = receiveMs;
}

void setSyncOdbcLoginTimeout(int seconds)
{
    g_odbcLoginSeconds = seconds;
}

std::unique_ptr<SyncRemote> openSyncRemote(AppContext &ctx)
{
    if (isOdbcMode(ctx.settings))
        return std::make_unique<OdbcSyncRemote>(ctx.settings.ServerHost, g_odbcLoginSeconds);
    WebRequest::Options options = webOptions();
    options.proxy = WebRequest::Proxy::Preconfigured;
    options.proxyUser.clear();
    options.proxyPassword.clear();
    return std::make_unique<WebSyncRemote>(ctx.settings.ServerHost, options);
}

} // namespace zelvano
