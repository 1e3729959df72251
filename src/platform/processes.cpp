#include "platform/processes.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_LINUX
#include <dirent.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <functional>
#include <string>

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

// Every process of /proc, and the target of each of its descriptors. Plain
// directory reads: a machine has thousands of descriptors.
void forEachDescriptor(const std::function<bool(qint64 pid, const QString &target)> &visit)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return;
    bool goOn = true;
    while (goOn) {
        const dirent *process = ::readdir(proc);
        if (!process)
            break;
        char *end = nullptr;
        const qint64 pid = std::strtoll(process->d_name, &end, 10);
        if (end == process->d_name || *end != '\0')
            continue;
        const std::string fdDir = std::string("/proc/") + process->d_name + "/fd";
        // Other users' descriptors cannot be listed: left out.
        DIR *fds = ::opendir(fdDir.c_str());
        if (!fds)
            continue;
        while (const dirent *fd = ::readdir(fds)) {
            if (fd->d_name[0] == '.')
                continue;
            char buffer[4096];
            const std::string link = fdDir + '/' + fd->d_name;
            const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
            if (n <= 0)
                continue;
            if (!visit(pid, QFile::decodeName(QByteArray(buffer, int(n))))) {
                goOn = false;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
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
