#pragma once

#include <QStringList>

namespace zelvano {

struct CliEnv;

// zelvano save [--from dd/MM/yyyy --to dd/MM/yyyy]: one download-and-save
// cycle of the scheduler on the home's database (new trips only without
// dates), then what it stored. Exit 1 when an error event was written.
int cmdSave(CliEnv &env, const QStringList &args);

} // namespace zelvano
