#include "platform/processes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

#include <functional>

namespace zelvano {

#ifdef Q_OS_LINUX

namespace {

QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // /proc files report no size: read until the end.
    return file.readAll();
}

// The boot time of the machine, seconds since the epoch ("btime" of /proc/stat).
qint64 bootTime()
{
    static const qint64 boot = [] {
        for (const QByteArray &line : readSmallFile(QStringLiteral("/proc/stat")).split('\n'))
            if (line.startsWith("btime "))
                return line.mid(6).trimmed().toLongLong();
        return qint64(0);
    }();
    return boot;
}

// Every numeric entry of /proc, and each of their descriptor links.
void forEachDescriptor(const std::function<bool(qint64 pid, const QString &target)> &visit)
{
    const QStringList pids =
        QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : pids) {
        bool numeric = false;
        const qint64 pid = name.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString fdDir = QStringLiteral("/proc/") + name + QStringLiteral("/fd");
        // Other users' descriptors cannot be listed: left out.
        const QStringList fds = QDir(fdDir).entryList(QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            char buffer[4096];
            const QByteArray link = QFile::encodeName(fdDir + u'/' + fd);
            const ssize_t n = ::readlink(link.constData(), buffer, sizeof buffer - 1);
            if (n <= 0)
                continue;
            if (!visit(pid, QFile::decodeName(QByteArray(buffer, int(n)))))
                return;
        }
    }
}

} // namespace

std::optional<ProcessInfo> processInfo(qint64 pid)
{
    const QString dir = QStringLiteral("/proc/%1").arg(pid);
    const QByteArray stat = readSmallFile(dir + QStringLiteral("/stat"));
    if (stat.isEmpty())
        return std::nullopt;
    ProcessInfo info;
    info.pid = pid;
    // "pid (name) state ..." and the name may hold blanks and parentheses:
    // the fields are counted after the last ")". Start time is field 22.
    const qsizetype close = stat.lastIndexOf(')');
    if (close > 0) {
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        constexpr int kStartTimeAfterName = 22 - 3; // fields 3.. follow the name
        if (fields.size() > kStartTimeAfterName) {
            const qint64 ticks = fields.at(kStartTimeAfterName).toLongLong();
            const long perSecond = ::sysconf(_SC_CLK_TCK);
            if (perSecond > 0 && bootTime() > 0)
                info.started =
                    QDateTime::fromMSecsSinceEpoch(bootTime() * 1000 + ticks * 1000 / perSecond);
        }
    }
    for (const QByteArray &arg : readSmallFile(dir + QStringLiteral("/cmdline")).split('\0'))
        if (!arg.isEmpty())
            info.arguments << QString::fromLocal8Bit(arg);
    return info;
}

QList<qint64> processesHoldingSocket(quint64 inode)
{
    const QString wanted = QStringLiteral("socket:[%1]").arg(inode);
    QList<qint64> pids;
    forEachDescriptor([&](qint64 pid, const QString &target) {
        if (target == wanted && !pids.contains(pid))
            pids << pid;
        return true;
    });
    return pids;
}

QSet<QString> filesHeldOpen(const QString &folder)
{
    QString prefix = QFileInfo(folder).canonicalFilePath();
    if (prefix.isEmpty())
        return {};
    if (!prefix.endsWith(u'/'))
        prefix += u'/';
    QSet<QString> held;
    forEachDescriptor([&](qint64, const QString &target) {
        // Only the folder's own entries, not those of folders inside it.
        if (target.startsWith(prefix) && target.indexOf(u'/', prefix.size()) < 0)
            held.insert(target);
        return true;
    });
    return held;
}

#else

std::optional<ProcessInfo> processInfo(qint64)
{
    return std::nullopt;
}

QList<qint64> processesHoldingSocket(quint64)
{
    return {};
}

QSet<QString> filesHeldOpen(const QString &)
{
    return {};
}

#endif

} // namespace zelvano
