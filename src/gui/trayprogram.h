#pragma once

#include <QString>

namespace zelvano {
class TickTimer;
}

namespace zelvano::gui {

class GuiNotices;

// How the tray program ends ("Salir"/Yes, or a connection failure that ends
// it): the timer stops, the boxes still open are read first, then the work
// under way is told to stop (a remote exchange gives up, the job rolls back)
// and the event loop ends once control is back in it.
class TrayEnding
{
public:
    TrayEnding(GuiNotices &notices, TickTimer &timer) : m_notices(notices), m_timer(timer) {}
    void operator()(int code);
    // -1 until the program was told to end.
    int exitCode() const { return m_exitCode; }

private:
    GuiNotices &m_notices;
    TickTimer &m_timer;
    int m_exitCode = -1;
};

// The tray program: the window, its tray icon and the scheduler. Needs a
// QApplication. With ZELVANO_STARTUP_PROBE set it prints the moment the tray
// icon is up ("startup-probe: <ms since the epoch>") and ends.
int runTrayProgram(const QString &homeDir);

// False when no display can be opened: no platform chosen and no X11 or
// Wayland display to connect to. `why` says what is missing.
bool displayAvailable(QString *why);

} // namespace zelvano::gui
