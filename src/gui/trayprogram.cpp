#include "gui/trayprogram.h"

#include "app/headless.h"
#include "app/operation.h"
#include "app/scheduler.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "app/ticktimer.h"
#include "common/error.h"
#include "common/stoprequest.h"
#include "gui/frmsucesosauto.h"
#include "gui/guinotices.h"
#include "gui/translations.h"
#include "gui/waitpanel.h"
#include "platform/instancelock.h"
#include "store/appcontext.h"
#include "store/connection.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>

#include <cstdio>

namespace zelvano::gui {

bool displayAvailable(QString *why)
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return true;
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty()) {
        *why = QStringLiteral("no display is set (DISPLAY is empty)");
        return false;
    }
    // A local display ":N" needs its server's socket.
    if (display.startsWith(u':') || display.startsWith(QLatin1String("unix:"))) {
        QString number = display.mid(display.indexOf(u':') + 1);
        number = number.section(u'.', 0, 0);
        const QString socket = QStringLiteral("/tmp/.X11-unix/X") + number;
        if (!QFileInfo::exists(socket)) {
            *why = QStringLiteral("the display %1 cannot be opened (no X server listens there)")
                       .arg(display);
            return false;
        }
    }
    return true;
}

void TrayEnding::operator()(int code)
{
    m_timer.setEnabled(false);
    m_exitCode = code;
    m_notices.waitForOpenBoxes();
    requestStop();
    TerminationSignals::armStopWatchdog();
    QCoreApplication::exit(code);
}

int runTrayProgram(const QString &homeDir)
{
    QApplication::setQuitOnLastWindowClosed(false);
    installQtTranslations();
    FrmSucesosAuto form;
    GuiNotices notices(form.popupNotice());
    SystemClock clock;
    AppContext ctx(clock, notices, form.overlay(), form);
    ctx.homeDir = homeDir;
    form.attach(ctx);
    // The form outlives the context: it lets go of it first, however this ends.
    struct Detach
    {
        FrmSucesosAuto &form;
        ~Detach() { form.detach(); }
    } detachAtEnd{form};

    QtTickTimer timer;
    Scheduler scheduler(ctx, timer, form.tickSteps());
    timer.setTick([&] { scheduler.TimeDesc_Timer(); });
    TrayEnding ending(notices, timer);
    ctx.endProgram = [&ending](int code) { ending(code); };

    TerminationSignals::install();
    static AppContext *signalled = nullptr;
    signalled = &ctx;
    TerminationSignals::setHandler(
        [](int, void *) {
            if (signalled && !operationRunning(*signalled))
                closeLocalConnection(*signalled);
            QCoreApplication::exit(0);
        },
        nullptr);

    FolderInstanceLock instance;
    if (!Form_Load(ctx, {instance, timer, form})) {
        std::fprintf(stderr,
                     "zelvano: another copy (the tray program or the service) runs for %s; "
                     "not started\n",
                     homeDir.toLocal8Bit().constData());
        notices.waitForOpenBoxes();
        return kExitAnotherCopyRuns;
    }
    if (ending.exitCode() >= 0)
        return ending.exitCode();
    // The record of the jobs as the last runs left it, before any job runs.
    form.jobBoard().load(ctx);
    if (qEnvironmentVariableIsSet("ZELVANO_STARTUP_PROBE")) {
        QCoreApplication::processEvents();
        std::printf("startup-probe: %lld tray=%s\n", QDateTime::currentMSecsSinceEpoch(),
                    form.trayIcon()->isVisible() ? "yes" : "no");
        std::fflush(stdout);
        return 0;
    }
    const int code = QApplication::exec();
    TerminationSignals::setHandler(nullptr, nullptr);
    signalled = nullptr;
    closeLocalConnection(ctx);
    return code;
}

} // namespace zelvano::gui
