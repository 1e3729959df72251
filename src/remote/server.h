#pragma once

#include "remote/answer.h"
#include "remote/remote.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace zelvano {

struct Settings;
struct WebAnswer;

// The remote server as one job talks to it, in the way the settings choose
// (remoteWay()): one ODBC connection, or WEB requests whose statements go as
// bodies of GET requests, over HTTP or HTTPS. A further way is one more
// subclass, made by open(). Transport and driver failures
// raise AppError; a WEB statement the server refused comes back as an answer
// that is not accepted.
//
// Selects can also be started without waiting for them (start, answers):
// the WEB way keeps up to options.connections exchanges in flight at once and
// hands the answers over as they come; the ODBC way runs a started select
// when answers() is called, one per call, in the order they were started.
class RemoteServer
{
public:
    using Ticket = quint64;

    // A started select that ended: its answer, or the error that ended it.
    struct Ended
    {
        Ticket ticket = 0;
        RemoteAnswer answer;
        std::optional<AppError> error;
    };

    virtual ~RemoteServer() = default;

    // Opens the connection (ODBC) or the request (WEB).
    static std::unique_ptr<RemoteServer> open(const Settings &settings,
                                              const RemoteOptions &options);

    // The way this server is reached (remoteWay() of the settings), and what
    // differs between the ways for the callers:
    virtual RemoteWay way() const = 0;
    // The rows of a select are counted before they are read (a static result
    // of the ODBC way): a progress bar can show them.
    virtual bool countsRowsAhead() const { return false; }
    // Values come from a recordset, typed by the database, and a number is
    // taken from them as a recordset's caller takes it (Val of the text); the
    // WEB ways hand over the texts of the JSON answer as they are.
    virtual bool typedValues() const { return false; }

    // A select: the answer with its rows.
    RemoteAnswer query(const QString &sql) { return run(sql, true); }
    // A statement without rows: the answer without reading rows.
    RemoteAnswer execute(const QString &sql) { return run(sql, false); }

    // Started selects that may be under way at once.
    virtual int parallel() const { return 1; }
    virtual int inFlight() const { return int(m_queued.size()); }
    bool canStart() const { return inFlight() < parallel(); }
    // Starts a select; error 5 when canStart() is false.
    Ticket start(const QString &sql);
    // Started selects that ended, waiting at most waitMs for the first (the
    // ODBC way runs one and does not wait otherwise).
    std::vector<Ended> answers(int waitMs);
    // Drops every started select; WEB exchanges in flight are abandoned.
    virtual void abandonAll() { m_queued.clear(); }

    // Every statement run or started from now on is appended to the list.
    void setTrace(QStringList *trace) { m_trace = trace; }
    // The time spent waiting for the server so far.
    double waitSeconds() const { return m_waitSeconds; }

protected:
    virtual RemoteAnswer send(const QString &sql, bool readRows) = 0;
    virtual Ticket startSelect(const QString &sql);
    virtual std::vector<Ended> collect(int waitMs);

private:
    RemoteAnswer run(const QString &sql, bool readRows);

    QStringList *m_trace = nullptr;
    double m_waitSeconds = 0;
    std::deque<std::pair<Ticket, QString>> m_queued;
    Ticket m_lastTicket = 0;
};

// A WEB answer as the remote room reads it: accepted only whole with status
// 200; the rows kept when readRows.
RemoteAnswer webRemoteAnswer(const WebAnswer &web, bool readRows);

} // namespace zelvano
