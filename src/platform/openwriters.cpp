#include "platform/openwriters.h"

#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <string>

namespace zelvano {

namespace {

bool allDigits(const char *name)
{
    if (!*name)
        return false;
    for (const char *c = name; *c; ++c)
        if (*c < '0' || *c > '9')
            return false;
    return true;
}

QByteArray readSmallFile(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(4096);
}

} // namespace

bool fdinfoOpenForWriting(const QByteArray &fdinfo)
{
    for (const QByteArray &line : fdinfo.split('\n')) {
        if (!line.startsWith("flags:"))
            continue;
        bool ok = false;
        const long flags = line.mid(6).trimmed().toLong(&ok, 8);
        return ok && (flags & O_ACCMODE) != O_RDONLY;
    }
    return false;
}

bool SystemFileWriters::heldForWriting(const QString &path) const
{
    struct stat target
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &target) != 0)
        return false;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return false;
    bool held = false;
    while (!held) {
        const dirent *process = ::readdir(proc);
        if (!process)
            break;
        if (!allDigits(process->d_name))
            continue;
        const std::string base = std::string("/proc/") + process->d_name;
        DIR *fds = ::opendir((base + "/fd").c_str());
        if (!fds)
            continue; // gone, or another user's process
        while (const dirent *fd = ::readdir(fds)) {
            if (!allDigits(fd->d_name))
                continue;
            struct stat opened
            {
            };
            // stat follows the link to the open file itself, whatever path it was opened by.
            if (::stat((base + "/fd/" + fd->d_name).c_str(), &opened) != 0)
                continue;
            if (opened.st_dev != target.st_dev || opened.st_ino != target.st_ino)
                continue;
            if (fdinfoOpenForWriting(readSmallFile(base + "/fdinfo/" + fd->d_name))) {
                held = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return held;
}

} // namespace zelvano
