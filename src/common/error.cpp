#include "common/error.h"

namespace zelvano {

AppError::AppError(long number, QString description)
    : m_number(number), m_description(std::move(description)),
      m_what(QStringLiteral("Error %1 (%2)").arg(number).arg(m_description).toStdString())
{
}

QString AppError::text() const
{
    return QStringLiteral("Error %1 (%2)").arg(m_number).arg(m_description);
}

QString standardDescription(long number)
{
    switch (number) {
    case ErrNo::InvalidCall:
        return QStringLiteral("Invalid procedure call or argument");
    case ErrNo::Overflow:
        return QStringLiteral("Overflow");
    case ErrNo::SubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case ErrNo::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case ErrNo::FileNotFound:
        return QStringLiteral("File not found");
    case ErrNo::FileAlreadyExists:
        return QStringLiteral("File already exists");
    case ErrNo::DiskFull:
        return QStringLiteral("Disk full");
    case ErrNo::InputPastEnd:
        return QStringLiteral("Input past end of file");
    case ErrNo::PermissionDenied:
        return QStringLiteral("Permission denied");
    case ErrNo::PathNotFound:
        return QStringLiteral("Path not found");
    case ErrNo::InvalidUseOfNull:
        return QStringLiteral("Invalid use of Null");
    case ErrNo::ConnectionClosed:
        return QStringLiteral("Operation is not allowed when the object is closed.");
    default:
        return QStringLiteral("Application-defined or object-defined error");
    }
}

void raise(long number)
{
    throw AppError(number, standardDescription(number));
}

void raise(long number, const QString &description)
{
    throw AppError(number, description);
}

} // namespace zelvano
