#pragma once

#include "app/cli.h"

#include <QString>

namespace zelvano::gui {

// The tray program: the window, its tray icon and the scheduler. Needs a
// QApplication. With ZELVANO_STARTUP_PROBE set it prints the moment the tray
// icon is up ("startup-probe: <ms since the epoch>") and ends.
int runTrayProgram(const QString &homeDir);

// `print --pdf FILE [--from dd/MM/yyyy --to dd/MM/yyyy]`: downloads into the
// grid (the options of `download`) and prints it into a PDF file.
CommandSpec printCommand();

// False when no display can be opened: no platform chosen and no X11 or
// Wayland display to connect to. `why` says what is missing.
bool displayAvailable(QString *why);

} // namespace zelvano::gui
