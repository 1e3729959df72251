#pragma once

#include <QString>
#include <QStringList>

namespace zelvano {

// Creates a new local database with the program's schema and one company row
// of defaults. Refuses (error 58) to overwrite an existing file.
void createLocalDatabase(const QString &path);

// The tables that schema makes, as named there: what a database of the suite
// holds at least.
QStringList localSchemaTables();

} // namespace zelvano
