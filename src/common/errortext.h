#pragma once

#include "common/error.h"

#include <QString>

#include <initializer_list>

namespace zelvano {

// The texts the error handlers write into the event log or a message box.
// The handlers of the program's one window all end alike; the others name the
// form or module they came from, as their messages always have.
namespace ErrorText {

// "Error N (description) en procedimiento <procedure> de Formulario FrmSucesos "
// — callers append the time of day.
QString inWindow(const AppError &error, const QString &procedure);

// "Error N (description) en procedimiento <procedure>" followed by " de <owner>"
// when an owner is given ("Módulo Module1", "Formulario MdiPrincipal").
QString inProcedure(const AppError &error, const QString &procedure,
                    const QString &owner = QString());

// "Error N (description) in procedure <procedure> of <owner>".
QString inProcedureEnglish(const AppError &error, const QString &procedure, const QString &owner);

// "<description> en <where>": the boxes that put the description first
// ("Procedimiento Inserta_Composicion_Concentrado").
QString descriptionFirst(const AppError &error, const QString &where);

} // namespace ErrorText

} // namespace zelvano

namespace zelvano {

// What a failure means to the person at the desk and what to do about it, in
// Spanish, shown beside the system's own text (which the event log keeps
// unchanged). `server` is the remote host as configured ("" when unknown).
// Empty when there is nothing to add (no error).
QString clerkExplanation(const AppError &error, const QString &server);
// "<explanation> (<system text>)": what to do first, the system's words after.
QString withClerkExplanation(const QString &systemText, const AppError &error,
                             const QString &server);

} // namespace zelvano
