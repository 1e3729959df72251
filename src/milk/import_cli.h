#pragma once

#include <QStringList>

namespace zelvano {

struct CliEnv;

// zelvano import: one scan of the configured import folder, as the timer runs
// it; prints "name -> read name" for every file read. Exits 1 when the scan
// ended with a message.
int cmdImport(CliEnv &env, const QStringList &args);

} // namespace zelvano
