#pragma once

#include "common/outcome.h"

#include <QDate>
#include <QString>

namespace zelvano {

struct AppContext;

// The statement that stores one event, with apostrophes doubled so the text
// is stored as written.
QString sucesoInsertSql(const QDate &fecha, const QString &descripcion);

// The week's events, newest first: the seven days up to today.
QString sucesosWeekSql(const QDate &today);

// Writes one event into sucesos on the open local connection. Raises the
// database's error to the caller; never opens a connection itself.
void Grabar_Suceso(AppContext &ctx, const QDate &fecha, const QString &descripcion);

// Writes an event dated today, with the time of day appended, for a job that
// must go on whatever the event log does: an event that cannot be written
// goes to standard error instead. False then.
bool logEvent(AppContext &ctx, const QString &textBeforeTime);
// The same for a text that is complete as it is (no time appended).
bool logEventText(AppContext &ctx, const QString &text);

// Last resort when an error cannot be written to the event log: standard error.
void reportUnlogged(const AppError &error, const QString &procedure);

// Fills ctx.events with the last seven days of events and closes the local
// connection; a closed connection is reopened once. A failure is shown in one
// message box and returned.
Outcome Cargar_Sucesos(AppContext &ctx);

} // namespace zelvano
