#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace zelvano {

// Matches a file name against a wildcard pattern the way the desktop's file
// lists do: "*" any run of characters, "?" exactly one, letters compared
// without regard to case.
bool wildcardMatch(const QString &pattern, const QString &name);

// The bare names of the ordinary files of a folder that match the pattern,
// in ascending order of name. Folders and hidden files (a leading ".") are
// left out, and so are names that are not valid text (see unreadableNames).
// A folder that does not exist raises error 76 (path not found).
QStringList listFolder(const QString &folder, const QString &pattern);

// A file whose name is not valid text (UTF-8): the name's bytes, which alone
// reach the file, and a readable form of them.
struct UnreadableName
{
    QByteArray bytes;
    QString readable;
};

// The ordinary files of a folder (not hidden) whose names are not valid text
// and whose readable form matches the pattern, in the order of their bytes.
std::vector<UnreadableName> unreadableNames(const QString &folder, const QString &pattern);

// A name's bytes as text: valid UTF-8 as it is, every other byte as "\xFF".
QString readableName(const QByteArray &bytes);

} // namespace zelvano
