#pragma once

#include "remote/answer.h"
#include "remote/remote.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace zelvano {

struct Settings;

// The remote server as one job talks to it, in the way the settings choose
// (RemoteMode "ODBC", else WEB): one ODBC connection, or one opened WEB
// request whose statements go as bodies of GET requests. Transport and driver
// failures raise AppError; a WEB statement the server refused comes back as
// an answer that is not accepted.
class RemoteServer
{
public:
    virtual ~RemoteServer() = default;

    // Opens the connection (ODBC) or the request (WEB).
    static std::unique_ptr<RemoteServer> open(const Settings &settings,
                                              const RemoteOptions &options);

    virtual bool odbc() const = 0;

    // A select: the answer with its rows.
    RemoteAnswer query(const QString &sql) { return run(sql, true); }
    // A statement without rows: the answer without reading rows.
    RemoteAnswer execute(const QString &sql) { return run(sql, false); }

    // Every statement run from now on is appended to the list.
    void setTrace(QStringList *trace) { m_trace = trace; }
    // The time spent waiting for the server so far.
    double waitSeconds() const { return m_waitSeconds; }

protected:
    virtual RemoteAnswer send(const QString &sql, bool readRows) = 0;

private:
    RemoteAnswer run(const QString &sql, bool readRows);

    QStringList *m_trace = nullptr;
    double m_waitSeconds = 0;
};

} // namespace zelvano
