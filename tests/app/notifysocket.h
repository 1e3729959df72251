#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

namespace zelvano::test {

// The service manager's end of NOTIFY_SOCKET: a datagram socket that the test
// binds itself and reads what the program sends to it.
class NotifySocket
{
public:
    struct Datagram
    {
        QString text;
        qint64 atMs = 0; // since the socket was opened
    };

    NotifySocket()
    {
        m_path = m_dir.filePath(QStringLiteral("notify"));
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray path = m_path.toLocal8Bit();
        if (m_fd < 0 || size_t(path.size()) >= sizeof address.sun_path)
            throw std::runtime_error("no notify socket");
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (::bind(m_fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
            throw std::runtime_error("notify socket not bound");
        m_clock.start();
    }
    ~NotifySocket() { ::close(m_fd); }
    NotifySocket(const NotifySocket &) = delete;
    NotifySocket &operator=(const NotifySocket &) = delete;

    QString path() const { return m_path; }
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    // The next datagram, waiting timeoutMs at most.
    std::optional<Datagram> next(int timeoutMs)
    {
        pollfd p = {m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return std::nullopt;
        char buffer[8192];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n < 0)
            return std::nullopt;
        return Datagram{QString::fromUtf8(buffer, int(n)), m_clock.elapsed()};
    }

    // Every datagram that comes within forMs (0: those already waiting).
    std::vector<Datagram> collect(int forMs)
    {
        std::vector<Datagram> all;
        QElapsedTimer clock;
        clock.start();
        while (true) {
            const int left = int(std::max<qint64>(0, forMs - clock.elapsed()));
            std::optional<Datagram> d = next(left);
            if (!d)
                return all;
            all.push_back(*d);
        }
    }

    // Reads until a datagram starting with `start` comes; false after timeoutMs.
    std::optional<Datagram> waitFor(const QString &start, int timeoutMs,
                                    std::vector<Datagram> *seen = nullptr)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            std::optional<Datagram> d = next(int(timeoutMs - clock.elapsed()));
            if (!d)
                break;
            if (seen)
                seen->push_back(*d);
            if (d->text.startsWith(start))
                return d;
        }
        return std::nullopt;
    }

private:
    QTemporaryDir m_dir;
    QString m_path;
    int m_fd = -1;
    QElapsedTimer m_clock;
};

} // namespace zelvano::test
