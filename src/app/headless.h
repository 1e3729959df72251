#pragma once

#include <QString>

namespace zelvano {

// SIGTERM and SIGINT for the tray program and the service. The handler asks
// long work to stop (a remote exchange gives up within a poll, its job fails
// and rolls back), arms the stop watchdog and writes to a pipe; the event loop
// then calls the handler set here. Install once per process.
class TerminationSignals
{
public:
    // Called first thing in a process that will install(): a stop signal that
    // comes before the handler is in place waits for it instead of ending the
    // process by the signal's default.
    static void holdUntilInstalled();
    static bool install();
    // Called in the event loop after a signal arrived.
    static void setHandler(void (*handler)(int signalNumber, void *data), void *data);
    // Ends the process kStopWatchdogSeconds from now unless it has ended by
    // then: a call into a database driver cannot be told to stop, and the
    // local database rolls back an unfinished transaction on its next open.
    // Armed once, and only after install(); later calls change nothing.
    // Async-signal-safe.
    static void armStopWatchdog();
};

inline constexpr unsigned kStopWatchdogSeconds = 8;
// The exit status when the watchdog ended the process.
inline constexpr int kExitStopForced = 4;

// `zelvano --headless`: the start-up and the scheduler without a window or a
// tray icon; notices go to standard error with their default answer. Needs a
// QCoreApplication. Returns the exit status (kExitAnotherCopyRuns when another
// copy runs for the folder).
int runHeadlessProgram(const QString &homeDir);

} // namespace zelvano
