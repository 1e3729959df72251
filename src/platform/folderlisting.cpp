#include "platform/folderlisting.h"

#include "common/error.h"

#include <QDir>
#include <QFileInfo>

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

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
        // A name that is not valid text reads with replacement characters,
        // under which no file can be opened.
        if (name.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(entry.filePath()))
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

QString readableName(const QByteArray &bytes)
{
    QString text;
    qsizetype i = 0;
    while (i < bytes.size()) {
        // The longest valid UTF-8 sequence starting here, or one byte escaped.
        const uchar c = uchar(bytes[i]);
        const int length = c < 0x80           ? 1
                           : (c >> 5) == 0x6  ? 2
                           : (c >> 4) == 0xE  ? 3
                           : (c >> 3) == 0x1E ? 4
                                              : 0;
        if (length > 0 && i + length <= bytes.size()) {
            QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString piece = decode(QByteArrayView(bytes.constData() + i, length));
            if (!decode.hasError()) {
                text += piece;
                i += length;
                continue;
            }
        }
        text += QStringLiteral("\\x") + QString::number(c, 16).toUpper().rightJustified(2, u'0');
        ++i;
    }
    return text;
}

std::vector<UnreadableName> unreadableNames(const QString &folder, const QString &pattern)
{
    std::vector<UnreadableName> names;
    const QByteArray path = QFile::encodeName(folder);
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray bytes(entry->d_name);
        if (bytes.startsWith('.'))
            continue;
        QStringDecoder decode(QStringDecoder::Utf8);
        (void)QString(decode(bytes));
        if (!decode.hasError())
            continue;
        struct stat info
        {
        };
        if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
            continue;
        const QString readable = readableName(bytes);
        if (wildcardMatch(pattern, readable))
            names.push_back({bytes, readable});
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(),
              [](const UnreadableName &a, const UnreadableName &b) { return a.bytes < b.bytes; });
    return names;
}

} // namespace zelvano
