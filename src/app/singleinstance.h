#pragma once

#include <QString>
#include <QStringList>

namespace zelvano {

struct AppContext;
class ProcessList;

// True when the list holds the program's own name twice or more: the running
// copy that asks is one of them. Names compare exactly, letter case included.
bool secondCopyListed(const QStringList &processNames, const QString &executableName);

// The single-instance check of the tray program and the service. When another
// copy runs it tells so and returns true: the caller ends at once.
bool Ver_Abierto(AppContext &ctx, const ProcessList &processes, const QString &executableName);

} // namespace zelvano
