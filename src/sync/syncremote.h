#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace zelvano {

struct AppContext;

// One row the server sent back: an ODBC result row is read by column position,
// a WEB row (one JSON object) by key.
struct RemoteRow
{
    bool keyed = false;
    QStringList keys;
    std::vector<QVariant> values;

    QVariant field(int position, const QString &key) const;
};

// What a remote statement gave: WEB mode reports the HTTP status (an ODBC
// statement that fails raises its error instead), the answer's rows and
// whether the answer held a row at all.
struct RemoteAnswer
{
    int status = 200;
    bool hasRows = false;
    std::vector<RemoteRow> rows;

    bool accepted() const { return status == 200; }
};

// The server as the production synchronisation talks to it, in either mode.
// Transport and driver failures are raised as AppError.
class SyncRemote
{
public:
    virtual ~SyncRemote() = default;

    virtual bool odbc() const = 0;

    // Runs one statement; the rows are read only when asked for.
    RemoteAnswer run(const QString &sql, bool readRows)
    {
        if (m_trace)
            m_trace->append(sql);
        return execute(sql, readRows);
    }

    // Every statement run from now on is appended to the list.
    void setTrace(QStringList *trace) { m_trace = trace; }

protected:
    virtual RemoteAnswer execute(const QString &sql, bool readRows) = 0;

private:
    QStringList *m_trace = nullptr;
};

// The WEB request's time limits in milliseconds (by default those of the
// platform's request object: 60 s to connect, 30 s to send, 30 s to answer).
void setSyncWebTimeouts(int connectMs, int sendMs, int receiveMs);
// The longest wait for the database server's greeting in ODBC mode (15 s).
void setSyncOdbcLoginTimeout(int seconds);

// Opens the server in the mode of the settings (RemoteMode "ODBC", else WEB).
// The WEB request goes through the preconfigured proxy (the upload asks for
// it, the download leaves the request's default, which is the same) and
// offers no credentials.
std::unique_ptr<SyncRemote> openSyncRemote(AppContext &ctx);

} // namespace zelvano
