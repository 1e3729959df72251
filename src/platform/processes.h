#pragma once

#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelvano {

// What the machine tells about a running process.
struct ProcessInfo
{
    qint64 pid = 0;
    QDateTime started;     // invalid when it cannot be read
    QStringList arguments; // its command line, the program first
};

// A process of this machine by its id; nothing when it has ended (or cannot
// be seen).
std::optional<ProcessInfo> processInfo(qint64 pid);

// The ids of the processes that hold an open descriptor on the socket with
// this inode. Only processes whose descriptors we may read (our own user's)
// are seen.
QList<qint64> processesHoldingSocket(quint64 inode);

// The files under `folder` (its own entries, by absolute path) that some
// process of ours holds open now. Empty where the machine does not tell.
QSet<QString> filesHeldOpen(const QString &folder);

} // namespace zelvano
