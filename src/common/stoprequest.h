#pragma once

namespace zelvano {

// The process was told to stop (SIGTERM, SIGINT, the window's "Salir"). Set
// from a signal handler, read by long work that can give up early: a remote
// exchange abandons its answer, the job fails and rolls back what it began.
void requestStop();
bool stopRequested();
// Tests and a service that goes on after a refused stop clear it again.
void clearStopRequest();

} // namespace zelvano
