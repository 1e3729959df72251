#pragma once

#include <QString>

namespace zelvano {

struct AppContext;

// The database path inside conexion.txt: the joined lines, from two characters
// after the first "=", without blanks and tabs at its end. False when the text
// is too short to hold a path.
bool cutConnectionPath(const QString &joined, QString *path);

// The lock file the suite keeps beside a database it has open: ".mdb"
// replaced by ".ldb" in any letter case; empty when the path has no ".mdb".
QString lockFileName(const QString &databasePath);

// "Provider=...;Data Source=<path>;..." as the suite writes it.
QString localConnectionString(const QString &databasePath);

// Opens the local database named by conexion.txt in ctx.homeDir and sets
// ctx.Connected; failures are told through ctx.notices in the suite's words.
void Conectar_Base(AppContext &ctx);

// Closes and releases the local connection; Connected becomes false.
void closeLocalConnection(AppContext &ctx);

} // namespace zelvano
