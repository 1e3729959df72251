#include "app/scheduler.h"

#include "app/jobrecord.h"
#include "app/jobresults.h"
#include "app/operation.h"
#include "app/ticktimer.h"
#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "common/stoprequest.h"
#include "download/download.h"
#include "milk/import.h"
#include "store/appcontext.h"
#include "store/connection.h"
#include "store/eventlog.h"
#include "store/settings.h"
#include "trips/save.h"

#include <QtGlobal>

#include <limits>
#include <memory>
#include <optional>

namespace zelvano {

TickSteps TickSteps::program(JobBoard *board)
{
    // The download and its save are one run of the record. The save records
    // the pair; a download whose save never came (a stop in between, an error
    // that escaped) is recorded alone when the tick closes.
    struct Cycle
    {
        QDateTime started;
        std::optional<DownloadOutcome> download;
    };
    auto cycle = std::make_shared<Cycle>();
    auto recordPending = [cycle, board](AppContext &ctx) {
        if (!cycle->download)
            return;
        recordDownload(ctx, cycle->started, &*cycle->download, nullptr, board);
        cycle->download.reset();
    };
    // The window shows what the download and its save came to, one line each.
    return {Conectar_Base,
            Inicializar_Usuarios,
            [cycle](AppContext &ctx) {
                cycle->started = ctx.clock.now();
                cycle->download.reset();
                try {
                    cycle->download = CmdDescargar_Click(ctx);
                } catch (const AppError &error) {
                    cycle->download.emplace().fail(error);
                    throw;
                }
                ctx.window.showJobResult(downloadResultText(*cycle->download, ctx.timeText(), true,
                                                            ctx.settings.ServerHost),
                                         WindowStatus::ResultLine::New);
            },
            [cycle, board](AppContext &ctx) {
                const QDateTime started = cycle->download ? cycle->started : ctx.clock.now();
                SaveOutcome outcome;
                try {
                    outcome = CmdGrabar_Click(ctx);
                } catch (const AppError &error) {
                    outcome.fail(error);
                    recordDownload(ctx, started, cycle->download ? &*cycle->download : nullptr,
                                   &outcome, board);
                    cycle->download.reset();
                    throw;
                }
                ctx.window.showJobResult(
                    saveResultText(outcome, ctx.timeText(), true, ctx.settings.ServerHost),
                    WindowStatus::ResultLine::Added);
                recordDownload(ctx, started, cycle->download ? &*cycle->download : nullptr,
                               &outcome, board);
                cycle->download.reset();
            },
            [board](AppContext &ctx) {
                const QDateTime started = ctx.clock.now();
                ImportOutcome outcome;
                try {
                    outcome = Abrir(ctx);
                } catch (const AppError &error) {
                    outcome.fail(error);
                    recordImport(ctx, started, outcome, board);
                    throw;
                }
                recordImport(ctx, started, outcome, board);
            },
            [recordPending](AppContext &ctx) {
                recordPending(ctx);
                closeLocalConnection(ctx);
            }};
}

Scheduler::Scheduler(AppContext &ctx, TickTimer &timer, TickSteps steps)
    : m_ctx(ctx), m_timer(timer), m_steps(std::move(steps))
{
}

int Scheduler::tickIntervalMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("ZELVANO_TICK_MS", &ok);
    return ok && ms >= 100 && ms <= kIntervalMs ? ms : kIntervalMs;
}

QString Scheduler::stopEventText(const QString &step)
{
    QString what;
    if (step == QLatin1String("CmdDescargar_Click"))
        what = QStringLiteral("la descarga de viajes");
    else if (step == QLatin1String("CmdGrabar_Click"))
        what = QStringLiteral("la grabacion de viajes");
    else
        what = QStringLiteral("la importacion de archivos de ordene");
    return QStringLiteral("Zelvano se detuvo durante ") + what +
           QStringLiteral(": lo que quedo sin terminar no se guardo y se retoma en la proxima "
                          "ejecucion - ");
}

bool Scheduler::downloadDue(qint16 minuteCounter, double downloadEveryMinutes)
{
    return !(double(minuteCounter) < downloadEveryMinutes);
}

bool Scheduler::importDue(bool csvImportEnabled, const QString &importTime, const QTime &now)
{
    if (!csvImportEnabled || importTimeUnreadable(importTime))
        return false;
    const QString at = DateTexts::hoursMinutes(QVariant(importTime));
    const QString current = DateTexts::hoursMinutes(QVariant(now));
    return QString::compare(at, current, Qt::CaseSensitive) <= 0;
}

bool Scheduler::importTimeUnreadable(const QString &importTime)
{
    return !importTime.trimmed().isEmpty() &&
           DateTexts::hoursMinutes(QVariant(importTime)).isEmpty();
}

void Scheduler::tellUnreadableImportTime()
{
    const Settings &s = m_ctx.settings;
    if (!s.CsvImportEnabled || !importTimeUnreadable(s.ImportTime)) {
        m_toldImportTime.clear();
        return;
    }
    if (s.ImportTime == m_toldImportTime)
        return;
    if (logEvent(m_ctx, QStringLiteral("La hora de importacion '%1' no es una hora (HH:mm): no se "
                                       "importan archivos de ordene hasta corregirla en Brenmoor "
                                       "Avanzado - ")
                            .arg(s.ImportTime)))
        m_toldImportTime = s.ImportTime;
}

void Scheduler::countMinute()
{
    // A 16-bit counter: it stays at its limit instead of wrapping round.
    qint16 &counter = m_ctx.settings.MinuteCounter;
    if (counter < std::numeric_limits<qint16>::max())
        ++counter;
}

void Scheduler::yield()
{
    m_ctx.window.yieldToEvents();
}

void Scheduler::TimeDesc_Timer()
{
    countMinute();
    // While another operation holds the local connection the minute only counts:
    // reconnecting here would pull the connection from under it.
    OperationGuard guard(m_ctx, QStringLiteral("TimeDesc_Timer"));
    if (!guard.acquired())
        return;
    m_stoppedDuring.clear();
    try {
        runTick();
    } catch (const AppError &error) {
        mendEscapedError(error);
    } catch (const std::exception &error) {
        mendEscapedError(AppError(0, QString::fromLocal8Bit(error.what())));
    }
    m_step.clear();
}

bool Scheduler::runStep(const char *procedure, const std::function<void(AppContext &)> &job)
{
    if (stopRequested())
        return false;
    m_step = QString::fromLatin1(procedure);
    job(m_ctx);
    yield();
    m_step.clear();
    if (!stopRequested())
        return true;
    // The stop came while the job ran: a remote exchange was abandoned and the
    // job rolled back what it began. Its own failure event alone would read as
    // a fault of the server; this one says why.
    m_stoppedDuring = QString::fromLatin1(procedure);
    return false;
}

void Scheduler::runTick()
{
    m_steps.connect(m_ctx);
    if (!m_ctx.Connected)
        return;
    yield();
    if (!stopRequested()) {
        m_steps.loadSettings(m_ctx);
        yield();
    }

    Settings &s = m_ctx.settings;
    bool goOn = !stopRequested();
    if (goOn && downloadDue(s.MinuteCounter, s.DownloadEveryMinutes)) {
        m_timer.setEnabled(false);
        s.MinuteCounter = 0;
        // The automatic download always fetches the new trips; a date range
        // left on the tab would fetch the same trips every time.
        const bool tab = m_ctx.newTripsOnly;
        m_ctx.newTripsOnly = true;
        try {
            goOn = runStep("CmdDescargar_Click", m_steps.download);
        } catch (...) {
            m_ctx.newTripsOnly = tab;
            throw;
        }
        m_ctx.newTripsOnly = tab;
        // A download cut short by a stop is not saved: the next run fetches it whole.
        goOn = goOn && runStep("CmdGrabar_Click", m_steps.save);
    }
    if (goOn)
        tellUnreadableImportTime();
    if (goOn && importDue(s.CsvImportEnabled, s.ImportTime, m_ctx.clock.timeOfDay())) {
        m_timer.setEnabled(false);
        runStep("Abrir", m_steps.import);
    }
    if (!m_stoppedDuring.isEmpty())
        logEvent(m_ctx, stopEventText(m_stoppedDuring));
    m_timer.setEnabled(true);
    m_steps.close(m_ctx);
}

void Scheduler::mendEscapedError(const AppError &error)
{
    const QString text =
        ErrorText::inWindow(error, QStringLiteral("TimeDesc_Timer")) + m_ctx.timeText();
    bool logged = false;
    if (m_ctx.Connected) {
        try {
            Grabar_Suceso(m_ctx, m_ctx.today(), text);
            logged = true;
        } catch (const AppError &) {
        }
    }
    if (!logged)
        reportUnlogged(error, QStringLiteral("TimeDesc_Timer"));
    m_timer.setEnabled(true);
    try {
        m_steps.close(m_ctx);
    } catch (const AppError &) {
    }
    // Whatever the close did, the connection is gone now.
    if (m_ctx.Connected || m_ctx.connection)
        closeLocalConnection(m_ctx);
}

} // namespace zelvano
