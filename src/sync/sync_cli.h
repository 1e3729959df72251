#pragma once

#include <QStringList>

namespace zelvano {

struct CliEnv;

// zelvano sync: one synchronisation of the production records with the server.
int cmdSync(CliEnv &env, const QStringList &args);

} // namespace zelvano
