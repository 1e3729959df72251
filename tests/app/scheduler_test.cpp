#include "app/operation.h"
#include "app/scheduler.h"
#include "app/ticktimer.h"
#include "common/error.h"
#include "common/stoprequest.h"
#include "store/connection.h"
#include "store/eventlog.h"
#include "store/settings.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

// What a step saw when the tick called it.
struct Call
{
    QString step;
    int tick;
    bool timerEnabled;
    bool connected;
    bool newTripsOnly;
};

class SchedulerTest : public ::testing::Test
{
protected:
    SchedulerTest() : scheduler(home.ctx, timer, recordingSteps())
    {
        timer.setInterval(Scheduler::kIntervalMs);
        timer.setEnabled(true);
    }
    ~SchedulerTest() override { clearStopRequest(); }

    TickSteps recordingSteps()
    {
        TickSteps steps = TickSteps::program();
        auto record = [this](const QString &name) {
            return [this, name](AppContext &ctx) {
                calls.push_back(
                    {name, tickNumber, timer.isEnabled(), ctx.Connected, ctx.newTripsOnly});
                stepsSeen << scheduler.step();
                // As a SIGTERM that arrives while this step runs.
                if (name == stopDuring)
                    requestStop();
            };
        };
        steps.download = record(QStringLiteral("download"));
        steps.save = record(QStringLiteral("save"));
        steps.import = record(QStringLiteral("import"));
        return steps;
    }

    void tick()
    {
        ++tickNumber;
        scheduler.TimeDesc_Timer();
    }

    // The ticks at which the given step ran.
    std::vector<int> ticksOf(const QString &step) const
    {
        std::vector<int> result;
        for (const Call &c : calls)
            if (c.step == step)
                result.push_back(c.tick);
        return result;
    }

    // The settings row the ticks reload: a negative interval switches it off.
    void configure(double every, bool csvImport = false, const QString &importTime = QString())
    {
        home.exec(
            QStringLiteral("update mi_empresa set usa_intervalo = %1, intervalo_minutos = '%2', "
                           "importa_csv = %3, hora_importacion = '%4'")
                .arg(every >= 0 ? "true" : "false")
                .arg(every >= 0 ? every : 7)
                .arg(csvImport ? "true" : "false")
                .arg(importTime));
    }

    void breakConnectionFile()
    {
        home.writeConnectionFile("Data Source= " + home.filePath("missing.db").toUtf8());
    }
    void mendConnectionFile()
    {
        home.writeConnectionFile("Data Source= " + home.databasePath().toUtf8());
    }

    TestHome home;
    ManualTickTimer timer;
    Scheduler scheduler;
    std::vector<Call> calls;
    QStringList stepsSeen;
    QString stopDuring;
    int tickNumber = 0;
};

TEST_F(SchedulerTest, WholeIntervalDownloadsEveryNthTickWithItsSave)
{
    configure(3);
    for (int i = 0; i < 9; ++i)
        tick();
    EXPECT_EQ(ticksOf("download"), (std::vector<int>{3, 6, 9}));
    EXPECT_EQ(ticksOf("save"), (std::vector<int>{3, 6, 9}));
    EXPECT_EQ(home.ctx.settings.MinuteCounter, 0);
    tick();
    EXPECT_EQ(home.ctx.settings.MinuteCounter, 1);
}

TEST_F(SchedulerTest, IntervalSwitchedOffDownloadsOnEveryConnectedTick)
{
    configure(-1);
    for (int i = 0; i < 4; ++i)
        tick();
    EXPECT_EQ(ticksOf("download"), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(ticksOf("save"), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(SchedulerTest, FractionalIntervalRunsAtFirstTickReachingIt)
{
    configure(2.5);
    for (int i = 0; i < 6; ++i)
        tick();
    EXPECT_EQ(ticksOf("download"), (std::vector<int>{3, 6}));
}

TEST_F(SchedulerTest, UnconnectedTicksCountAndReloadNothing)
{
    configure(3);
    home.exec("update mi_empresa set id_cliente_remoto = '77'");
    breakConnectionFile();
    for (int i = 0; i < 4; ++i)
        tick();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(home.ctx.settings.MinuteCounter, 4);
    EXPECT_EQ(home.ctx.settings.ClientId, QString()) << "settings reloaded without a connection";
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(home.ctx.Connected);
    // Each failed attempt is told by the connection in its own words.
    EXPECT_EQ(home.notices.notices().size(), 4u);

    mendConnectionFile();
    tick();
    EXPECT_EQ(ticksOf("download"), (std::vector<int>{5}));
    EXPECT_EQ(home.ctx.settings.ClientId, QStringLiteral("77"));
    EXPECT_EQ(home.ctx.settings.MinuteCounter, 0);
    EXPECT_FALSE(home.ctx.Connected);
}

TEST_F(SchedulerTest, SettingsRowChangeTakesEffectOnNextTick)
{
    configure(5);
    tick();
    tick();
    EXPECT_TRUE(calls.empty());
    home.exec("update mi_empresa set intervalo_minutos = '2'");
    tick();
    EXPECT_EQ(ticksOf("download"), (std::vector<int>{3}));
    EXPECT_DOUBLE_EQ(home.ctx.settings.DownloadEveryMinutes, 2.0);
}

TEST_F(SchedulerTest, OrderIsDownloadSaveImportWithTimerStoppedAround)
{
    configure(1, true, QStringLiteral("07:30"));
    tick();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].step, "download");
    EXPECT_EQ(calls[1].step, "save");
    EXPECT_EQ(calls[2].step, "import");
    for (const Call &c : calls) {
        EXPECT_FALSE(c.timerEnabled) << c.step.toStdString();
        EXPECT_TRUE(c.connected) << c.step.toStdString();
    }
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_EQ(home.ctx.connection, nullptr);
    EXPECT_EQ(timer.interval(), Scheduler::kIntervalMs);
}

TEST_F(SchedulerTest, ImportRunsFromItsTimeToTheEndOfTheDay)
{
    const QDate day(2026, 12, 7);
    struct Case
    {
        QString importTime;
        QTime now;
        bool runs;
    };
    const std::vector<Case> cases = {
        {"07:30", QTime(7, 29, 59), false},   {"07:30", QTime(7, 30, 0), true},
        {"07:30", QTime(12, 0, 0), true},     {"07:30", QTime(23, 59, 59), true},
        {"07:30", QTime(0, 0, 0), false},     {"7:30", QTime(7, 30, 0), true},
        {"7:30", QTime(7, 29, 0), false},     {"07:30:00", QTime(7, 30, 30), true},
        {"", QTime(0, 0, 0), true},           {"", QTime(23, 59, 0), true},
        {"no es hora", QTime(23, 59, 0), false},
    };
    for (const Case &c : cases) {
        calls.clear();
        configure(1000, true, c.importTime);
        home.clock.set(QDateTime(day, c.now));
        tick();
        EXPECT_EQ(!ticksOf("import").empty(), c.runs)
            << c.importTime.toStdString() << " at " << c.now.toString().toStdString();
        EXPECT_EQ(Scheduler::importDue(true, c.importTime, c.now), c.runs);
    }
}

// An import time that is not a time imports nothing and is told once per
// change of the setting, not at every tick.
TEST_F(SchedulerTest, AnImportTimeThatIsNotATimeIsToldOncePerChange)
{
    for (const char *time : {"abc", "abc", "abc", "x:y", "x:y", "07:30", "abc"}) {
        configure(1000, true, time);
        tick();
    }
    EXPECT_EQ(ticksOf("import"), std::vector<int>({6}));
    EXPECT_EQ(eventTexts(home).filter("La hora de importacion").size(), 3);
    EXPECT_EQ(eventTexts(home).filter("La hora de importacion 'x:y' no es una hora").size(), 1);
}

TEST_F(SchedulerTest, TwelveHourImportTimesMeanTheirTimeOfDay)
{
    // Read as no time at all, these would import on every tick from midnight.
    struct Case
    {
        QString importTime;
        QTime now;
        bool runs;
    };
    const std::vector<Case> cases = {
        {"7:30 PM", QTime(0, 0), false},      {"7:30 PM", QTime(19, 29), false},
        {"7:30 PM", QTime(19, 30), true},     {"07:30 p.m.", QTime(12, 0), false},
        {"07:30 p.m.", QTime(23, 0), true},   {"7:30:00 a.m.", QTime(7, 29), false},
        {"7:30:00 a.m.", QTime(7, 30), true}, {"12:00 AM", QTime(0, 0), true},
        {"12:15 PM", QTime(12, 14), false},   {"12:15 PM", QTime(12, 15), true},
    };
    for (const Case &c : cases) {
        calls.clear();
        configure(1000, true, c.importTime);
        home.clock.set(QDateTime(QDate(2026, 12, 7), c.now));
        tick();
        EXPECT_EQ(!ticksOf("import").empty(), c.runs)
            << c.importTime.toStdString() << " at " << c.now.toString().toStdString();
    }
}

TEST_F(SchedulerTest, AStopDuringAJobEndsTheTickAfterItAndSaysWhy)
{
    configure(1, true, QStringLiteral("00:00"));
    stopDuring = QStringLiteral("download");
    tick();
    // The download cut short is not saved, and nothing else starts.
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].step, "download");
    EXPECT_EQ(stepsSeen, QStringList({"CmdDescargar_Click"}));
    EXPECT_TRUE(scheduler.step().isEmpty());
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_EQ(
        eventTexts(home),
        QStringList({"Zelvano se detuvo durante la descarga de viajes: lo que quedo sin "
                     "terminar no se guardo y se retoma en la proxima ejecucion - 10:00:00"}));

    clearStopRequest();
    stopDuring = QStringLiteral("save");
    calls.clear();
    tick();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].step, "save");
    EXPECT_TRUE(
        eventTexts(home).last().startsWith("Zelvano se detuvo durante la grabacion de viajes:"));

    clearStopRequest();
    stopDuring = QStringLiteral("import");
    calls.clear();
    tick();
    EXPECT_EQ(calls.size(), 3u);
    EXPECT_EQ(stepsSeen.mid(3), QStringList({"CmdDescargar_Click", "CmdGrabar_Click", "Abrir"}));
    EXPECT_TRUE(eventTexts(home).last().startsWith(
        "Zelvano se detuvo durante la importacion de archivos de ordene:"));
    EXPECT_EQ(eventTexts(home).size(), 3);
}

TEST_F(SchedulerTest, AStopBeforeTheTickStartsNoJobAndLogsNothing)
{
    configure(1, true, QStringLiteral("00:00"));
    requestStop();
    tick();
    tick();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(home.ctx.settings.MinuteCounter, 2) << "a download not run is still due";
    EXPECT_TRUE(eventTexts(home).isEmpty());
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_TRUE(timer.isEnabled());
    clearStopRequest();
    tick();
    EXPECT_EQ(ticksOf("download"), (std::vector<int>{3}));
}

TEST(SchedulerInterval, AMinuteUnlessShortenedOnPurpose)
{
    struct Restore
    {
        QByteArray old = qgetenv("ZELVANO_TICK_MS");
        ~Restore()
        {
            if (old.isNull())
                qunsetenv("ZELVANO_TICK_MS");
            else
                qputenv("ZELVANO_TICK_MS", old);
        }
    } restore;
    qunsetenv("ZELVANO_TICK_MS");
    EXPECT_EQ(Scheduler::tickIntervalMs(), 60000);
    const std::vector<std::pair<const char *, int>> cases = {
        {"250", 250},  {"100", 100},     {"60000", 60000}, {"99", 60000}, {"0", 60000},
        {"-5", 60000}, {"90000", 60000}, {"fast", 60000},  {"", 60000}};
    for (const auto &[text, ms] : cases) {
        qputenv("ZELVANO_TICK_MS", text);
        EXPECT_EQ(Scheduler::tickIntervalMs(), ms) << text;
    }
}

TEST_F(SchedulerTest, ImportSwitchedOffIgnoresImportTime)
{
    configure(1000, false, QString());
    tick();
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(Scheduler::importDue(false, QString(), QTime(12, 0)));
    EXPECT_TRUE(timer.isEnabled());
}

TEST_F(SchedulerTest, CounterStopsAtItsLimit)
{
    configure(40000);
    home.ctx.settings.MinuteCounter = 32766;
    tick();
    EXPECT_EQ(home.ctx.settings.MinuteCounter, 32767);
    tick();
    EXPECT_EQ(home.ctx.settings.MinuteCounter, 32767);
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(Scheduler::downloadDue(32767, 40000));
    EXPECT_TRUE(Scheduler::downloadDue(32767, 32767));
}

TEST_F(SchedulerTest, AutomaticDownloadFetchesNewTripsAndRestoresTheTab)
{
    configure(1);
    home.ctx.newTripsOnly = false;
    tick();
    ASSERT_EQ(ticksOf("download"), (std::vector<int>{1}));
    EXPECT_TRUE(calls[0].newTripsOnly);
    EXPECT_FALSE(home.ctx.newTripsOnly);
}

TEST_F(SchedulerTest, TickTellsTheWindowWhatItsDownloadAndSaveCameTo)
{
    // The program's own steps; no server is configured, so the download fails.
    Scheduler program(home.ctx, timer);
    configure(1);
    home.window.showJobResult(QStringLiteral("Sucesos leídos antes"),
                              WindowStatus::ResultLine::New);
    program.TimeDesc_Timer();
    const QStringList lines = home.window.jobResult().split(u'\n');
    ASSERT_EQ(lines.size(), 2) << home.window.jobResult().toStdString();
    EXPECT_TRUE(lines[0].startsWith("Descarga automática de las 10:00:00 con error: No hay un "
                                    "servidor remoto configurado"))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], "Grabación automática de las 10:00:00: ningún viaje nuevo para grabar");
    // A tick without a download leaves the last result alone.
    configure(1000);
    program.TimeDesc_Timer();
    EXPECT_EQ(home.window.jobResult().split(u'\n'), lines);
}

TEST_F(SchedulerTest, SettingsErrorIsLoggedAndTheTickRecovers)
{
    TickSteps steps = recordingSteps();
    steps.loadSettings = [](AppContext &) { raise(ErrNo::InvalidUseOfNull); };
    Scheduler failing(home.ctx, timer, steps);
    configure(1);
    failing.TimeDesc_Timer();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_EQ(home.ctx.connection, nullptr);
    const QStringList events = eventTexts(home);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith("Error 94 ("));
    EXPECT_TRUE(
        events[0].endsWith(") en procedimiento TimeDesc_Timer de Formulario FrmSucesos 10:00:00"))
        << events[0].toStdString();
    EXPECT_TRUE(home.ctx.runningOperation.isEmpty());
}

TEST_F(SchedulerTest, FailingCloseIsLoggedAndConnectionReleased)
{
    TickSteps steps = TickSteps::program();
    steps.close = [](AppContext &) { raise(ErrNo::InvalidCall); };
    Scheduler failing(home.ctx, timer, steps);
    configure(1000);
    failing.TimeDesc_Timer();
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_EQ(home.ctx.connection, nullptr);
    EXPECT_TRUE(timer.isEnabled());
    const QStringList events = eventTexts(home);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith("Error 5 (")) << events[0].toStdString();
}

TEST_F(SchedulerTest, TickDuringAnotherOperationOnlyCounts)
{
    configure(1);
    home.ctx.settings.MinuteCounter = 5;
    home.ctx.runningOperation = QStringLiteral("CmdDescargar_Click");
    home.connect(); // the user's download holds this connection
    LocalConnection *held = home.ctx.connection.get();
    tick();
    EXPECT_EQ(home.ctx.settings.MinuteCounter, 6);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(home.ctx.connection.get(), held);
    EXPECT_TRUE(home.ctx.Connected);
    home.ctx.runningOperation.clear();
    tick();
    EXPECT_EQ(ticksOf("download"), (std::vector<int>{2}));
}

TEST_F(SchedulerTest, UserOperationDuringTickIsRefused)
{
    TickSteps steps = recordingSteps();
    bool ran = true;
    bool workRan = false;
    steps.download = [&](AppContext &ctx) {
        ran = runUserOperation(ctx, QStringLiteral("CmdGrabar_Click"), [&] { workRan = true; });
    };
    Scheduler s(home.ctx, timer, steps);
    configure(-1);
    s.TimeDesc_Timer();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(workRan);
    ASSERT_EQ(home.notices.notices().size(), 1u);
    EXPECT_EQ(home.notices.notices()[0].kind, "popup");
}

TEST(UserOperation, OpensAndClosesOnlyItsOwnConnection)
{
    TestHome home;
    bool connectedInside = false;
    EXPECT_TRUE(runUserOperation(home.ctx, QStringLiteral("CmdDescargar_Click"),
                                 [&] { connectedInside = home.ctx.Connected; }));
    EXPECT_TRUE(connectedInside);
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_TRUE(home.ctx.runningOperation.isEmpty());

    home.connect();
    EXPECT_TRUE(runUserOperation(home.ctx, QStringLiteral("CmdDescargar_Click"), [] {}));
    EXPECT_TRUE(home.ctx.Connected) << "closed a connection it did not open";
}

TEST(UserOperation, AnUnreachableDatabaseIsToldInOneBox)
{
    // "Ultimos Sucesos" with the database gone: the connection's box, and not
    // the list's own retry and failure boxes after it.
    TestHome home;
    home.writeConnectionFile("Data Source= " + home.filePath("missing.db").toUtf8());
    home.ctx.events.push_back({1, QDate(2026, 12, 6), QStringLiteral("Ayer")});
    EXPECT_TRUE(runUserOperation(home.ctx, QStringLiteral("Cargar_Sucesos"),
                                 [&] { Cargar_Sucesos(home.ctx); }));
    ASSERT_EQ(home.notices.notices().size(), 1u);
    EXPECT_EQ(home.notices.notices()[0].title, "Servidor no Disponible");
    EXPECT_EQ(home.ctx.events.size(), 1u) << "the list keeps what it showed";
    EXPECT_TRUE(home.ctx.runningOperation.isEmpty());
    EXPECT_FALSE(home.ctx.Connected);
}

TEST(UserOperation, EscapedErrorIsShownAndGuardReleased)
{
    TestHome home;
    runUserOperation(home.ctx, QStringLiteral("CmdGrabar_Click"),
                     [] { raise(ErrNo::TypeMismatch); });
    ASSERT_EQ(home.notices.notices().size(), 1u);
    EXPECT_TRUE(home.notices.notices()[0].text.startsWith("Error 13 ("))
        << home.notices.notices()[0].text.toStdString();
    EXPECT_TRUE(home.notices.notices()[0].text.contains("en procedimiento CmdGrabar_Click"));
    EXPECT_TRUE(home.ctx.runningOperation.isEmpty());
    EXPECT_FALSE(home.ctx.Connected);
}

} // namespace
} // namespace zelvano::test
