#include "app/startup.h"

#include "app/scheduler.h"
#include "app/singleinstance.h"
#include "app/ticktimer.h"
#include "common/error.h"
#include "common/errortext.h"
#include "common/windowstatus.h"
#include "platform/locale.h"
#include "store/appcontext.h"
#include "store/connection.h"
#include "store/eventlog.h"
#include "store/settings.h"

namespace zelvano {

QString trayTipText(const QString &caption)
{
    return caption.left(64);
}

TrayAction trayCallbackAction(int message)
{
    switch (message) {
    case 513: // left button down
    case 516: // right button down
        return TrayAction::ShowMenu;
    case 515: // left button double-click
        return TrayAction::ShowWindow;
    default:
        return TrayAction::Nothing;
    }
}

bool Form_Load(AppContext &ctx, const StartupParts &parts)
{
    // Dates and times become text in one place (DateTexts), always day-first
    // "dd/MM/yyyy" and "HH:mm:ss", so the desktop's format needs no change.
    ctx.settings.LocaleDecimalSeparator = Leer_Locale(kLocaleDecimalSeparator);
    if (Ver_Abierto(ctx, parts.instance))
        return false;
    ctx.window.setCaption(windowCaption(QString()));
    ctx.DTdesde = QDate();
    ctx.DThasta = ctx.today();
    parts.shell.prepareGrid();

    ctx.LockNoticeArmed = true;
    Conectar_Base(ctx);
    try {
        Inicializar_Usuarios(ctx);
    } catch (const AppError &error) {
        // A settings row the load cannot read: told, and every tick tries again.
        logEvent(ctx, ErrorText::inWindow(error, QStringLiteral("Form_Load")));
    }

    ctx.settings.MinuteCounter = 0;
    parts.timer.setInterval(Scheduler::tickIntervalMs());
    parts.timer.setEnabled(true);
    if (ctx.Connected)
        closeLocalConnection(ctx);

    ctx.window.setTrayTip(trayTipText(ctx.window.caption()));
    parts.shell.addTrayIcon();
    parts.shell.hideWindow();
    return true;
}

} // namespace zelvano
