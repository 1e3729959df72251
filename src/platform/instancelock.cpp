#include "platform/instancelock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#ifdef Q_OS_LINUX
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace zelvano {

QString FolderInstanceLock::claimName(const QString &folder)
{
    const QFileInfo info(folder);
    QString path = info.canonicalFilePath();
    if (path.isEmpty()) // not there (yet): its cleaned absolute spelling
        path = QDir::cleanPath(info.absoluteFilePath());
    const QByteArray hash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha256);
    return QStringLiteral("zelvano-home-") + QString::fromLatin1(hash.toHex().left(40));
}

FolderInstanceLock::FolderInstanceLock() = default;

FolderInstanceLock::~FolderInstanceLock()
{
#ifdef Q_OS_LINUX
    if (m_socket >= 0)
        ::close(m_socket);
#endif
}

bool FolderInstanceLock::claim(const QString &folder)
{
    const QByteArray name = claimName(folder).toLatin1();
#ifdef Q_OS_LINUX
    if (m_socket >= 0)
        return true;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return true; // no way to tell: run rather than stay down
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    // Abstract name: a leading zero byte, no file anywhere.
    std::memcpy(address.sun_path + 1, name.constData(), size_t(name.size()));
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), length) != 0) {
        const int error = errno;
        ::close(fd);
        return error != EADDRINUSE;
    }
    m_socket = fd;
    return true;
#else
    if (m_lockFile)
        return true;
    auto lock = std::make_unique<QLockFile>(
        QDir::temp().filePath(QString::fromLatin1(name) + QStringLiteral(".lock")));
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return lock->error() != QLockFile::LockFailedError;
    m_lockFile = std::move(lock);
    return true;
#endif
}

FolderInstanceLock::Holder FolderInstanceLock::holder(const QString &folder)
{
    Holder result;
    const QByteArray name = claimName(folder).toLatin1();
#ifdef Q_OS_LINUX
    // The kernel's table of unix sockets: "Num RefCount Protocol Flags Type St
    // Inode Path", an abstract name written with a leading "@".
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly))
        return result;
    const QByteArray path = '@' + name;
    quint64 inode = 0;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 8 && fields.at(7) == path) {
            inode = fields.at(6).toULongLong();
            result.held = true;
            break;
        }
    }
    if (!result.held)
        return result;
    for (const qint64 pid : processesHoldingSocket(inode)) {
        result.process = processInfo(pid);
        if (result.process)
            break;
    }
#else
    QLockFile lock(QDir::temp().filePath(QString::fromLatin1(name) + QStringLiteral(".lock")));
    qint64 pid = 0;
    QString host, application;
    if (lock.getLockInfo(&pid, &host, &application) && pid > 0) {
        result.process = processInfo(pid);
        result.held = result.process.has_value();
    }
#endif
    return result;
}

} // namespace zelvano
