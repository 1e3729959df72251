#pragma once

#include <QString>
#include <exception>
#include <string>

namespace zelvano {

// Error numbers the program's messages and handlers test for. The texts around
// them ("Error " & number & " (" & description & ")") are built by the callers.
namespace ErrNo {
inline constexpr long InvalidCall = 5;          // invalid procedure call or argument
inline constexpr long Overflow = 6;
inline constexpr long SubscriptOutOfRange = 9;
inline constexpr long TypeMismatch = 13;
inline constexpr long FileNotFound = 53;
inline constexpr long FileAlreadyExists = 58;
inline constexpr long DiskFull = 61;
inline constexpr long InputPastEnd = 62;
inline constexpr long PermissionDenied = 70;
inline constexpr long PathNotFound = 76;
inline constexpr long InvalidUseOfNull = 94;
inline constexpr long ConnectionClosed = 3709;
inline constexpr long ProviderFailure = -2147467259;   // 0x80004005
inline constexpr long LoginRefused = -2147217843;      // 0x80040E4D
inline constexpr long SqlError = -2147217900;          // 0x80040E14
inline constexpr long HttpTimeout = -2147012894;       // 0x80072EE2
inline constexpr long HttpNameNotResolved = -2147012889; // 0x80072EE7
inline constexpr long HttpCannotConnect = -2147012867; // 0x80072EFD
} // namespace ErrNo

// The one exception type of the program: a number and a description, as the
// user-facing messages need them.
class AppError : public std::exception
{
public:
    AppError(long number, QString description);

    long number() const { return m_number; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return m_what.c_str(); }

    // "Error N (description)"
    QString text() const;

private:
    long m_number;
    QString m_description;
    std::string m_what;
};

// Description texts for the run-time errors the program raises itself.
QString standardDescription(long number);

// Throws AppError(number, standardDescription(number)).
[[noreturn]] void raise(long number);
[[noreturn]] void raise(long number, const QString &description);

} // namespace zelvano
