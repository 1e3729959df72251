#include "platform/filerename.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace zelvano {

bool renameNoReplace(const QString &from, const QString &to, QString *reason)
{
    return renameNoReplace(QFile::encodeName(from), QFile::encodeName(to), reason);
}

bool renameNoReplace(const QByteArray &source, const QByteArray &target, QString *reason)
{
    int result = int(::syscall(SYS_renameat2, AT_FDCWD, source.constData(), AT_FDCWD,
                               target.constData(), RENAME_NOREPLACE));
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace rename: look first, then rename.
        struct stat existing
        {
        };
        if (::lstat(target.constData(), &existing) == 0) {
            errno = EEXIST;
        } else {
            result = ::rename(source.constData(), target.constData());
        }
    }
    if (result == 0)
        return true;
    if (reason)
        *reason = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

} // namespace zelvano
