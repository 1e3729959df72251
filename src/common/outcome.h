#pragma once

#include "common/error.h"

#include <optional>

namespace zelvano {

// What a job ended with: success, or the first error that stopped or spoiled
// it (number and description). Jobs write their events in the system's words
// themselves and return this; the caller decides what follows from it (an
// exit status, a line in the window) without reading the event log back.
class Outcome
{
public:
    bool ok() const { return !m_error.has_value(); }
    const std::optional<AppError> &error() const { return m_error; }

    // Keeps the first failure: the one that explains the rest.
    void fail(const AppError &error)
    {
        if (!m_error)
            m_error = error;
    }
    void fail(long number, const QString &description) { fail(AppError(number, description)); }
    void take(const Outcome &other)
    {
        if (other.m_error)
            fail(*other.m_error);
    }

    // "Error N (description)", or "" when it succeeded.
    QString errorText() const { return m_error ? m_error->text() : QString(); }

private:
    std::optional<AppError> m_error;
};

} // namespace zelvano
