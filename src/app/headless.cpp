#include "app/headless.h"

#include "app/jobrecord.h"
#include "app/operation.h"
#include "app/scheduler.h"
#include "app/servicehealth.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "app/ticktimer.h"
#include "common/clock.h"
#include "common/stoprequest.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "platform/instancelock.h"
#include "platform/servicenotify.h"
#include "store/appcontext.h"
#include "store/connection.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace zelvano {

namespace {

int g_signalPipe[2] = {-1, -1};
void (*g_handler)(int, void *) = nullptr;
void *g_handlerData = nullptr;
volatile sig_atomic_t g_watchdogArmed = 0;

extern "C" void onTerminationSignal(int number)
{
    requestStop();
    TerminationSignals::armStopWatchdog();
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

extern "C" void onStopWatchdog(int)
{
    static const char text[] =
        "zelvano: the work under way did not end in time after the stop; ended without "
        "finishing it (the local database rolls it back when it is next opened)\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text, sizeof text - 1);
    ::_exit(kExitStopForced);
}

} // namespace

namespace {
sigset_t stopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}
} // namespace

void TerminationSignals::holdUntilInstalled()
{
    const sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool TerminationSignals::install()
{
    if (g_signalPipe[0] >= 0)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return false;
    auto *notifier =
        new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char byte = 0;
        if (::read(g_signalPipe[1], &byte, 1) == 1 && g_handler)
            g_handler(int(byte), g_handlerData);
    });
    struct sigaction watchdog = {};
    watchdog.sa_handler = onStopWatchdog;
    sigemptyset(&watchdog.sa_mask);
    sigaction(SIGALRM, &watchdog, nullptr);
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A signal held since the start is delivered now, to the handler.
    const sigset_t held = stopSignals();
    pthread_sigmask(SIG_UNBLOCK, &held, nullptr);
    return true;
}

void TerminationSignals::setHandler(void (*handler)(int, void *), void *data)
{
    g_handler = handler;
    g_handlerData = data;
}

void TerminationSignals::armStopWatchdog()
{
    // Only with its handler in place (install): the default would end the
    // process without a word.
    if (g_watchdogArmed || g_signalPipe[0] < 0)
        return;
    g_watchdogArmed = 1;
    ::alarm(kStopWatchdogSeconds);
}

namespace {

struct HeadlessRun
{
    AppContext &ctx;
    QtTickTimer &timer;
    Scheduler &scheduler;
    ServiceHeartbeat &heartbeat;
    bool stopPending = false;
    int exitCode = -1;

    void stop()
    {
        heartbeat.stopping();
        timer.setEnabled(false);
        closeLocalConnection(ctx);
        std::fprintf(stderr, "zelvano: stopped\n");
        std::fflush(stderr);
        QCoreApplication::exit(0);
    }
};

const char *signalName(int number)
{
    return number == SIGINT ? "SIGINT" : number == SIGTERM ? "SIGTERM" : "signal";
}

} // namespace

int runHeadlessProgram(const QString &homeDir)
{
    SystemClock clock;
    HeadlessNotices notices;
    HeadlessOverlay overlay;
    // The service manager (systemd) hears that we are ready, a beat after
    // every tick, and the last outcome of each job.
    ServiceNotifier notifier;
    ServiceHeartbeat heartbeat(notifier);
    ServiceWindowStatus window(heartbeat);
    AppContext ctx(clock, notices, overlay, window);
    ctx.homeDir = homeDir;

    JobBoard board;
    auto statusText = [&] { return jobStatusLine(board.records(), ctx.today()); };
    QtTickTimer timer;
    Scheduler scheduler(ctx, timer, TickSteps::program(&board));
    HeadlessRun run{ctx, timer, scheduler, heartbeat};
    ctx.endProgram = [&run](int code) {
        run.exitCode = code;
        QCoreApplication::exit(code);
    };
    timer.setTick([&] {
        scheduler.TimeDesc_Timer();
        // Only a tick that came to its end beats: one stuck in a job never does.
        heartbeat.tickEnded(statusText());
        if (run.stopPending && !operationRunning(ctx))
            run.stop();
    });

    TerminationSignals::install();
    TerminationSignals::setHandler(
        [](int number, void *data) {
            auto *r = static_cast<HeadlessRun *>(data);
            if (!operationRunning(r->ctx)) {
                r->stop();
                return;
            }
            // The job under way has been told to stop (its remote exchange gives
            // up, it rolls back); the tick ends after it and starts nothing more.
            if (!r->stopPending) {
                const QString step = r->scheduler.step();
                std::fprintf(stderr, "zelvano: %s during %s; ending it\n", signalName(number),
                             step.isEmpty() ? "a tick" : step.toLatin1().constData());
                std::fflush(stderr);
            }
            r->stopPending = true;
        },
        &run);

    FolderInstanceLock instance;
    NoShellWindow shell;
    if (!Form_Load(ctx, {instance, timer, shell})) {
        std::fprintf(stderr,
                     "zelvano: another copy (the tray program or the service) runs for %s; "
                     "not started\n",
                     homeDir.toLocal8Bit().constData());
        return kExitAnotherCopyRuns;
    }
    if (run.exitCode >= 0)
        return run.exitCode;
    if (stopRequested()) {
        // Told to stop while it started: the loop would never see it.
        run.stop();
        return 0;
    }
    board.load(ctx);
    board.onChange([&] { heartbeat.status(statusText()); });
    heartbeat.ready(statusText());
    std::fprintf(stderr, "zelvano: running without a window on %s\n",
                 homeDir.toLocal8Bit().constData());
    std::fflush(stderr);
    const int code = QCoreApplication::exec();
    TerminationSignals::setHandler(nullptr, nullptr);
    closeLocalConnection(ctx);
    return code;
}

} // namespace zelvano
