#include "app/servicehealth.h"

#include "platform/servicenotify.h"

namespace zelvano {

ServiceHeartbeat::ServiceHeartbeat(ServiceNotifier &notifier) : m_notifier(notifier)
{
    m_sinceBeat.start();
}

void ServiceHeartbeat::beat(const QByteArray &datagram)
{
    m_notifier.send(datagram);
    m_sinceBeat.restart();
}

void ServiceHeartbeat::ready(const QString &status)
{
    beat("READY=1\n" + ServiceNotifier::statusAssignment(status));
}

void ServiceHeartbeat::tickEnded(const QString &status)
{
    beat("WATCHDOG=1\n" + ServiceNotifier::statusAssignment(status));
}

void ServiceHeartbeat::status(const QString &status)
{
    m_notifier.send(ServiceNotifier::statusAssignment(status));
}

void ServiceHeartbeat::stopping()
{
    m_notifier.send("STOPPING=1");
}

void ServiceHeartbeat::progress()
{
    const qint64 watchdog = m_notifier.watchdogMs();
    if (watchdog <= 0 || m_sinceBeat.elapsed() < watchdog / 4)
        return;
    beat("WATCHDOG=1");
}

void ServiceWindowStatus::yieldToEvents()
{
    HeadlessWindowStatus::yieldToEvents();
    m_heartbeat.progress();
}

} // namespace zelvano
