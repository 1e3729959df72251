#include "common/errortext.h"

namespace zelvano::ErrorText {

QString inWindow(const AppError &error, const QString &procedure)
{
    return inProcedure(error, procedure, QStringLiteral("Formulario FrmSucesos")) + u' ';
}

QString inProcedure(const AppError &error, const QString &procedure, const QString &owner)
{
    QString text = error.text() + QStringLiteral(" en procedimiento ") + procedure;
    if (!owner.isEmpty())
        text += QStringLiteral(" de ") + owner;
    return text;
}

QString inProcedureEnglish(const AppError &error, const QString &procedure, const QString &owner)
{
    return error.text() + QStringLiteral(" in procedure ") + procedure + QStringLiteral(" of ") +
           owner;
}

QString descriptionFirst(const AppError &error, const QString &where)
{
    return error.description() + QStringLiteral(" en ") + where;
}

} // namespace zelvano::ErrorText
