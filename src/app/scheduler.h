#pragma once

#include <QString>
#include <QTime>

#include <functional>

namespace zelvano {

struct AppContext;
class AppError;
class JobBoard;
class TickTimer;

// The work a tick calls, in the order it calls it. The defaults are the
// program's own procedures; tests put recorders in their place.
struct TickSteps
{
    std::function<void(AppContext &)> connect;      // Conectar_Base
    std::function<void(AppContext &)> loadSettings; // Inicializar_Usuarios
    std::function<void(AppContext &)> download;     // CmdDescargar_Click
    std::function<void(AppContext &)> save;         // CmdGrabar_Click
    std::function<void(AppContext &)> import;       // Abrir
    std::function<void(AppContext &)> close;        // closeLocalConnection

    // The program's own: each job's run is recorded when it ends (see
    // jobrecord.h), and shown on the board when one is given.
    static TickSteps program(JobBoard *board = nullptr);
};

// The one-minute tick: counts the minute, reloads the settings and runs the
// automatic download with its save and the milk import when they are due.
class Scheduler
{
public:
    Scheduler(AppContext &ctx, TickTimer &timer, TickSteps steps = TickSteps::program());

    // One tick of TimeDesc.
    void TimeDesc_Timer();

    // The counter taken as a number reached the interval (0 downloads every tick).
    static bool downloadDue(qint16 minuteCounter, double downloadEveryMinutes);
    // "HH:mm" of the import time is not after "HH:mm" of now, compared as texts;
    // an empty import time gives "" and is always due, one that is not a time
    // never is.
    static bool importDue(bool csvImportEnabled, const QString &importTime, const QTime &now);
    // Not empty, and not a time of day ("abc").
    static bool importTimeUnreadable(const QString &importTime);

    static constexpr int kIntervalMs = 60000;
    // The tick's interval: kIntervalMs, unless ZELVANO_TICK_MS (100 to 60000)
    // shortens the minute for tests and the demo. Off unless set.
    static int tickIntervalMs();

    // The procedure the tick runs now ("" between ticks and while it only
    // connects or reloads the settings).
    QString step() const { return m_step; }

    // The event of a stop that came while a job of the tick ran.
    static QString stopEventText(const QString &step);

private:
    void runTick();
    // Runs one job of the tick; false when a stop was requested, before or
    // during it: the tick then starts nothing more.
    bool runStep(const char *procedure, const std::function<void(AppContext &)> &job);
    void countMinute();
    void yield();
    void mendEscapedError(const AppError &error);

    AppContext &m_ctx;
    TickTimer &m_timer;
    TickSteps m_steps;
    void tellUnreadableImportTime();

    QString m_step;
    QString m_stoppedDuring;
    // The import time last told as not a time: told again only when it changes.
    QString m_toldImportTime;
};

} // namespace zelvano
