#pragma once

#include <QString>

namespace zelvano {

// Ends the running event loop cleanly on SIGTERM and SIGINT. The handler only
// writes to a pipe; the loop then calls onSignal. Install once per process.
class TerminationSignals
{
public:
    static bool install();
    // Called in the event loop after a signal arrived.
    static void setHandler(void (*handler)(int signalNumber, void *data), void *data);
};

// `zelvano --headless`: the start-up and the scheduler without a window or a
// tray icon; notices go to standard error with their default answer. Needs a
// QCoreApplication. Returns the exit status.
int runHeadlessProgram(const QString &homeDir);

} // namespace zelvano
