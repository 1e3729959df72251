#include "app/headless.h"

#include "app/operation.h"
#include "app/scheduler.h"
#include "app/startup.h"
#include "app/ticktimer.h"
#include "common/clock.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "platform/processlist.h"
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

extern "C" void onTerminationSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

} // namespace

bool TerminationSignals::install()
{
    if (g_signalPipe[0] >= 0)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return false;
    auto *notifier =
        new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char byte = 0;
        if (::read(g_signalPipe[1], &byte, 1) == 1 && g_handler)
            g_handler(int(byte), g_handlerData);
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return true;
}

void TerminationSignals::setHandler(void (*handler)(int, void *), void *data)
{
    g_handler = handler;
    g_handlerData = data;
}

namespace {

struct HeadlessRun
{
    AppContext &ctx;
    QtTickTimer &timer;
    bool stopRequested = false;
    int exitCode = -1;

    void stop()
    {
        timer.setEnabled(false);
        closeLocalConnection(ctx);
        std::fprintf(stderr, "zelvano: stopped\n");
        QCoreApplication::exit(0);
    }
};

} // namespace

int runHeadlessProgram(const QString &homeDir)
{
    SystemClock clock;
    HeadlessNotices notices;
    HeadlessOverlay overlay;
    HeadlessWindowStatus window;
    AppContext ctx(clock, notices, overlay, window);
    ctx.homeDir = homeDir;

    QtTickTimer timer;
    Scheduler scheduler(ctx, timer);
    HeadlessRun run{ctx, timer};
    ctx.endProgram = [&run](int code) {
        run.exitCode = code;
        QCoreApplication::exit(code);
    };
    timer.setTick([&] {
        scheduler.TimeDesc_Timer();
        if (run.stopRequested && !operationRunning(ctx))
            run.stop();
    });

    TerminationSignals::install();
    TerminationSignals::setHandler(
        [](int, void *data) {
            auto *r = static_cast<HeadlessRun *>(data);
            // A signal that arrives while an operation yields waits for its end,
            // so that a transaction is never cut short.
            if (operationRunning(r->ctx))
                r->stopRequested = true;
            else
                r->stop();
        },
        &run);

    SystemProcessList processes;
    NoShellWindow shell;
    if (!Form_Load(ctx, {processes, ownExecutableName(), timer, shell}))
        return 0;
    if (run.exitCode >= 0)
        return run.exitCode;
    std::fprintf(stderr, "zelvano: running without a window on %s\n",
                 homeDir.toLocal8Bit().constData());
    std::fflush(stderr);
    const int code = QCoreApplication::exec();
    TerminationSignals::setHandler(nullptr, nullptr);
    closeLocalConnection(ctx);
    return code;
}

} // namespace zelvano
