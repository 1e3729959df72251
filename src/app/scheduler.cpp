#include "app/scheduler.h"

#include "app/jobresults.h"
#include "app/operation.h"
#include "app/ticktimer.h"
#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "download/download.h"
#include "milk/import.h"
#include "store/appcontext.h"
#include "store/connection.h"
#include "store/eventlog.h"
#include "store/settings.h"
#include "trips/save.h"

#include <limits>

namespace zelvano {

TickSteps TickSteps::program()
{
    // The window shows what the download and its save came to, one line each.
    return {Conectar_Base,
            Inicializar_Usuarios,
            [](AppContext &ctx) {
                const DownloadOutcome outcome = CmdDescargar_Click(ctx);
                ctx.window.showJobResult(downloadResultText(outcome, ctx.timeText(), true),
                                         WindowStatus::ResultLine::New);
            },
            [](AppContext &ctx) {
                const SaveOutcome outcome = CmdGrabar_Click(ctx);
                ctx.window.showJobResult(saveResultText(outcome, ctx.timeText(), true),
                                         WindowStatus::ResultLine::Added);
            },
            [](AppContext &ctx) { Abrir(ctx); },
            closeLocalConnection};
}

Scheduler::Scheduler(AppContext &ctx, TickTimer &timer, TickSteps steps)
    : m_ctx(ctx), m_timer(timer), m_steps(std::move(steps))
{
}

bool Scheduler::downloadDue(qint16 minuteCounter, double downloadEveryMinutes)
{
    return !(double(minuteCounter) < downloadEveryMinutes);
}

bool Scheduler::importDue(bool csvImportEnabled, const QString &importTime, const QTime &now)
{
    if (!csvImportEnabled)
        return false;
    const QString at = DateTexts::hoursMinutes(QVariant(importTime));
    const QString current = DateTexts::hoursMinutes(QVariant(now));
    return QString::compare(at, current, Qt::CaseSensitive) <= 0;
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
    try {
        runTick();
    } catch (const AppError &error) {
        mendEscapedError(error);
    } catch (const std::exception &error) {
        mendEscapedError(AppError(0, QString::fromLocal8Bit(error.what())));
    }
}

void Scheduler::runTick()
{
    m_steps.connect(m_ctx);
    if (!m_ctx.Connected)
        return;
    yield();
    m_steps.loadSettings(m_ctx);
    yield();

    Settings &s = m_ctx.settings;
    if (downloadDue(s.MinuteCounter, s.DownloadEveryMinutes)) {
        m_timer.setEnabled(false);
        s.MinuteCounter = 0;
        // The automatic download always fetches the new trips; a date range
        // left on the tab would fetch the same trips every time.
        const bool tab = m_ctx.newTripsOnly;
        m_ctx.newTripsOnly = true;
        try {
            m_steps.download(m_ctx);
        } catch (...) {
            m_ctx.newTripsOnly = tab;
            throw;
        }
        m_ctx.newTripsOnly = tab;
        yield();
        m_steps.save(m_ctx);
        yield();
    }
    if (importDue(s.CsvImportEnabled, s.ImportTime, m_ctx.clock.timeOfDay())) {
        m_timer.setEnabled(false);
        m_steps.import(m_ctx);
        yield();
    }
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
