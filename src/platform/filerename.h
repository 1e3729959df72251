#pragma once

#include <QByteArray>
#include <QString>

namespace zelvano {

// Gives a file a new name in one step, never over an existing file: the file
// carries either its old name or its new one, whenever the process ends. False
// with the system's reason when it did not happen (the new name taken, no
// permission, a name too long).
bool renameNoReplace(const QString &from, const QString &to, QString *reason = nullptr);
// The same for paths given as the bytes the file system holds.
bool renameNoReplace(const QByteArray &from, const QByteArray &to, QString *reason = nullptr);

} // namespace zelvano
