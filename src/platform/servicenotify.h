#pragma once

#include <QByteArray>
#include <QString>

namespace zelvano {

// Messages to the service manager that started us, through the datagram
// socket it names in NOTIFY_SOCKET ("READY=1", "WATCHDOG=1", "STATUS=...",
// one assignment a line). Without NOTIFY_SOCKET nothing is sent. A datagram
// is sent without waiting: a manager that does not read never holds us up.
class ServiceNotifier
{
public:
    // Reads NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID.
    ServiceNotifier();
    ~ServiceNotifier();
    ServiceNotifier(const ServiceNotifier &) = delete;
    ServiceNotifier &operator=(const ServiceNotifier &) = delete;

    bool enabled() const { return !m_address.isEmpty(); }
    // The manager's watchdog interval for this process, 0 when it keeps none.
    qint64 watchdogMs() const { return m_watchdogMs; }

    // One datagram; false when it could not be sent.
    bool send(const QByteArray &assignments);

    // "STATUS=" with the text on one line (line breaks become "; ").
    static QByteArray statusAssignment(const QString &text);

private:
    QByteArray m_address; // the sockaddr_un path, a leading zero for an abstract name
    qint64 m_watchdogMs = 0;
    int m_socket = -1;
};

} // namespace zelvano
