#pragma once

#include <QDate>
#include <QString>

namespace zelvano {

struct AppContext;
class AppError;

// The statement that stores one event, with apostrophes doubled so the text
// is stored as written.
QString sucesoInsertSql(const QDate &fecha, const QString &descripcion);

// The week's events, newest first: the seven days up to today.
QString sucesosWeekSql(const QDate &today);

// Writes one event into sucesos on the open local connection. Raises the
// database's error to the caller; never opens a connection itself.
void Grabar_Suceso(AppContext &ctx, const QDate &fecha, const QString &descripcion);

// "Error N (description) en procedimiento <procedure> de Formulario FrmSucesos "
// — callers append the time of day.
QString procedureErrorText(const AppError &error, const QString &procedure);

// Last resort when an error cannot be written to the event log: standard error.
void reportUnlogged(const AppError &error, const QString &procedure);

// Fills ctx.events with the last seven days of events and closes the local
// connection; a closed connection is reopened once.
void Cargar_Sucesos(AppContext &ctx);

} // namespace zelvano
