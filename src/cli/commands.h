#pragma once

#include <QStringList>

// One function per command; each lives in its own file of this folder.
namespace zelvano {

struct CliEnv;

int cmdInitDb(CliEnv &env, const QStringList &args);    // database.cpp
int cmdSettings(CliEnv &env, const QStringList &args);  // database.cpp
int cmdEvents(CliEnv &env, const QStringList &args);    // database.cpp
int cmdSqlScript(CliEnv &env, const QStringList &args); // database.cpp
int cmdJson(CliEnv &env, const QStringList &args);      // json.cpp
int cmdRows(CliEnv &env, const QStringList &args);      // json.cpp
int cmdScript(CliEnv &env, const QStringList &args);    // json.cpp
int cmdDownload(CliEnv &env, const QStringList &args);  // download.cpp
int cmdSave(CliEnv &env, const QStringList &args);      // save.cpp
int cmdImport(CliEnv &env, const QStringList &args);    // import.cpp
int cmdSync(CliEnv &env, const QStringList &args);      // sync.cpp
int cmdPrint(CliEnv &env, const QStringList &args);     // print.cpp
int cmdStatus(CliEnv &env, const QStringList &args);    // status.cpp
int cmdSetup(CliEnv &env, const QStringList &args);     // setup.cpp

} // namespace zelvano
