#include "platform/processlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace zelvano {

QString executableNameOfLink(const QString &linkTarget)
{
    QString target = linkTarget;
    const QLatin1String deleted(" (deleted)");
    if (target.endsWith(deleted))
        target.chop(deleted.size());
    return QFileInfo(target).fileName();
}

QStringList SystemProcessList::names() const
{
    QStringList result;
#ifdef Q_OS_LINUX
    const QDir proc(QStringLiteral("/proc"));
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        // Other users' processes give no target unless we run as root.
        const QString target =
            QFileInfo(proc.filePath(entry + QStringLiteral("/exe"))).symLinkTarget();
        if (!target.isEmpty())
            result << executableNameOfLink(target);
    }
#endif
    return result;
}

QString ownExecutableName()
{
#ifdef Q_OS_LINUX
    const QString target = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!target.isEmpty())
        return executableNameOfLink(target);
#endif
    if (QCoreApplication::instance())
        return QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    return QStringLiteral("zelvano");
}

} // namespace zelvano
