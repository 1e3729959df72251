#pragma once

#include <QString>

namespace zelvano {

// Creates a new local database with the program's schema and one company row
// of defaults. Refuses (error 58) to overwrite an existing file.
void createLocalDatabase(const QString &path);

} // namespace zelvano
