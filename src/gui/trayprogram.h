#pragma once

#include <QString>

namespace zelvano::gui {

// The tray program: the window, its tray icon and the scheduler. Needs a
// QApplication. With ZELVANO_STARTUP_PROBE set it prints the moment the tray
// icon is up ("startup-probe: <ms since the epoch>") and ends.
int runTrayProgram(const QString &homeDir);

// False when no display can be opened: no platform chosen and no X11 or
// Wayland display to connect to. `why` says what is missing.
bool displayAvailable(QString *why);

} // namespace zelvano::gui
