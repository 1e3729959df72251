#pragma once

#include <QString>

namespace zelvano {

struct AppContext;
class InstanceClaim;
class TickTimer;

// What the start-up needs of the window and its tray icon; the service has
// neither and passes a shell that does nothing.
class ShellWindow
{
public:
    virtual ~ShellWindow() = default;
    // Lets the empty trip grid draw itself.
    virtual void prepareGrid() = 0;
    // Agregar_Icono: the tray icon with the caption as its tip.
    virtual void addTrayIcon() = 0;
    virtual void hideWindow() = 0;
};

class NoShellWindow final : public ShellWindow
{
public:
    void prepareGrid() override {}
    void addTrayIcon() override {}
    void hideWindow() override {}
};

struct StartupParts
{
    InstanceClaim &instance; // one copy per program folder
    TickTimer &timer;
    ShellWindow &shell;
};

// The tray tip: the caption cut to 64 characters.
QString trayTipText(const QString &caption);

// What a message of the tray icon does.
enum class TrayAction { Nothing, ShowMenu, ShowWindow };
// 513 left button down and 516 right button down open the menu, 515 a
// left double-click shows the window; any other message does nothing.
TrayAction trayCallbackAction(int message);

// The start-up sequence (the window's Load). False when another copy of the
// program runs for the same folder: the caller ends at once (kExitAnotherCopyRuns).
bool Form_Load(AppContext &ctx, const StartupParts &parts);

} // namespace zelvano
