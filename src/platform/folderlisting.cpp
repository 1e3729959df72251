#include "platform/folderlisting.h"

#include "common/error.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace zelvano {

bool wildcardMatch(const QString &pattern, const QString &name)
{
    // Greedy match with back-tracking to the last "*": linear in practice and
    // never recursive, whatever the pattern.
    qsizetype p = 0, n = 0;
    qsizetype starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern.at(p) == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern.at(p) == u'?' ||
                    pattern.at(p).toCaseFolded() == name.at(n).toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern.at(p) == u'*')
        ++p;
    return p == pattern.size();
}

QStringList listFolder(const QString &folder, const QString &pattern)
{
    const QFileInfo folderInfo(folder);
    if (folder.isEmpty() || !folderInfo.isDir())
        raise(ErrNo::PathNotFound);
    const QDir dir(folder);
    if (!dir.isReadable())
        raise(ErrNo::PermissionDenied);
    QStringList names;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (name.startsWith(u'.') || !entry.isFile())
            continue;
        if (wildcardMatch(pattern, name))
            names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

} // namespace zelvano
