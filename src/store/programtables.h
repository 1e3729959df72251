#pragma once

#include "common/error.h"

#include <optional>

namespace zelvano {

class LocalConnection;

// Tables of the program's own, beside the suite's (whose columns never
// change): bookkeeping that must commit in the same transaction as the rows
// it speaks for. Created when missing on every connection, so that every
// database has them without a manual step; a database without the suite's
// tables (not the suite's database at all) is left as it is. A database that
// cannot take them now (locked, read-only) is left too: the job that needs
// them fails in its own words. Returns why a table could not be made.
std::optional<AppError> ensureProgramTables(LocalConnection &db);

// The definition of one of those tables, in the engine's SQL ("" when none).
const char *programTableDefinition(const char *name);

} // namespace zelvano
