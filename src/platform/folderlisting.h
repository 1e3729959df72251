#pragma once

#include <QString>
#include <QStringList>

namespace zelvano {

// Matches a file name against a wildcard pattern the way the desktop's file
// lists do: "*" any run of characters, "?" exactly one, letters compared
// without regard to case.
bool wildcardMatch(const QString &pattern, const QString &name);

// The bare names of the ordinary files of a folder that match the pattern,
// in ascending order of name. Folders and hidden files (a leading ".") are
// left out. A folder that does not exist raises error 76 (path not found).
QStringList listFolder(const QString &folder, const QString &pattern);

} // namespace zelvano
