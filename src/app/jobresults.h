#pragma once

#include <QString>

namespace zelvano {

class Outcome;
struct DownloadOutcome;
struct SaveOutcome;

// The window's words for what a job came to, one line each, shown under the
// buttons until the next job. The event log keeps the system's own texts;
// these tell the person at the desk what just happened, a silent refusal of
// the login included. `time` is the time of day the job ended ("10:00:05").
// A failure says what to do about it first, then the system's text; `server`
// is the remote host as configured.
QString downloadResultText(const DownloadOutcome &outcome, const QString &time, bool automatic,
                           const QString &server = QString());
QString saveResultText(const SaveOutcome &outcome, const QString &time, bool automatic,
                       const QString &server = QString());
QString eventListResultText(const Outcome &outcome, int events, const QString &time);

// "<explanation> (Error N (description))", or "" when the outcome succeeded.
QString explainedError(const Outcome &outcome, const QString &server = QString());

} // namespace zelvano
