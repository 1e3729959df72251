#include "platform/servicenotify.h"

#include <QtGlobal>

#include <algorithm>

#ifdef Q_OS_LINUX
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace zelvano {

ServiceNotifier::ServiceNotifier()
{
#ifdef Q_OS_LINUX
    QByteArray path = qgetenv("NOTIFY_SOCKET");
    // A path of the file system, or "@name" for an abstract one.
    if (path.startsWith('@'))
        path[0] = '\0';
    else if (!path.startsWith('/'))
        path.clear();
    if (path.size() >= qsizetype(sizeof(sockaddr_un::sun_path)))
        path.clear();
    m_address = path;

    // The watchdog is ours only when it names our process, or none.
    bool ok = false;
    const qint64 usec = qgetenv("WATCHDOG_USEC").toLongLong(&ok);
    const QByteArray owner = qgetenv("WATCHDOG_PID");
    if (ok && usec > 0 && (owner.isEmpty() || owner.toLongLong() == qint64(::getpid())))
        m_watchdogMs = std::max<qint64>(1, usec / 1000);
#endif
}

ServiceNotifier::~ServiceNotifier()
{
#ifdef Q_OS_LINUX
    if (m_socket >= 0)
        ::close(m_socket);
#endif
}

bool ServiceNotifier::send(const QByteArray &assignments)
{
#ifdef Q_OS_LINUX
    if (m_address.isEmpty())
        return false;
    if (m_socket < 0)
        m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_socket < 0)
        return false;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, m_address.constData(), size_t(m_address.size()));
    // An abstract name is exactly as long as it is: no terminating zero counts.
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(m_address.size()) +
                                       (m_address.startsWith('\0') ? 0 : 1));
    const ssize_t sent =
        ::sendto(m_socket, assignments.constData(), size_t(assignments.size()),
                 MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<const sockaddr *>(&address), length);
    return sent == ssize_t(assignments.size());
#else
    Q_UNUSED(assignments);
    return false;
#endif
}

QByteArray ServiceNotifier::statusAssignment(const QString &text)
{
    QString line = text;
    line.replace(QLatin1String("\r\n"), QLatin1String("; "));
    line.replace(u'\n', QLatin1String("; "));
    line.replace(u'\r', u' ');
    return "STATUS=" + line.toUtf8();
}

} // namespace zelvano
