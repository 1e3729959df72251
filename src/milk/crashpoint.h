#pragma once

namespace zelvano {

// For the crash tests only, off unless the environment asks: with
// ZELVANO_IMPORT_CRASH_AT=point or point:n the import kills its own process
// (SIGKILL, as a power cut would end it) the n-th time (default the first) it
// passes the named point. Points: "reading" (reading row written, herd lines
// not yet), "unload" (after a pit-trip unload row), "commit" (everything
// written, not committed), "committed" (committed, file not yet renamed),
// "renamed" (renamed, bookkeeping not yet told).
void crashPoint(const char *point);

} // namespace zelvano
