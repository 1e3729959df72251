#pragma once

#include "app/cli.h"

#include <QStringList>

namespace zelvano::json {

// zelvano json FILE: the parsed tree as canonical JSON, the parser's messages on
// standard error; exit 1 when there were messages.
int cmdJson(CliEnv &env, const QStringList &args);
// zelvano rows FILE: the rows of FILE read as a server answer, one a line.
int cmdRows(CliEnv &env, const QStringList &args);
// zelvano script FILE: the script's result; boxes on standard error, answers
// from standard input.
int cmdScript(CliEnv &env, const QStringList &args);

} // namespace zelvano::json
