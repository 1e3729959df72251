#pragma once

#include "common/windowstatus.h"

#include <QElapsedTimer>
#include <QString>

namespace zelvano {

class ServiceNotifier;
struct JobRecords;

// The service's signs of life for the service manager: ready once started,
// a watchdog beat after every tick that ended, and the record of the jobs as
// its status. A tick that hangs (a remote exchange that never answers, a
// driver call that never returns) sends nothing, so the manager's watchdog
// ends the service and starts it again.
class ServiceHeartbeat
{
public:
    explicit ServiceHeartbeat(ServiceNotifier &notifier);

    void ready(const QString &status);
    void tickEnded(const QString &status);
    void status(const QString &status);
    void stopping();

    // A job went one record further (it yields between records): while the
    // manager keeps a watchdog, a beat at most every quarter of its interval,
    // so that a long download or save that moves on is never taken for a
    // hung one. A remote exchange waits without yielding: no beat then.
    void progress();

private:
    void beat(const QByteArray &datagram);

    ServiceNotifier &m_notifier;
    QElapsedTimer m_sinceBeat;
};

// The service's window status: a headless one whose yields are signs of progress.
class ServiceWindowStatus final : public HeadlessWindowStatus
{
public:
    explicit ServiceWindowStatus(ServiceHeartbeat &heartbeat) : m_heartbeat(heartbeat) {}
    void yieldToEvents() override;

private:
    ServiceHeartbeat &m_heartbeat;
};

} // namespace zelvano
