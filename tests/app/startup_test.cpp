#include "app/startup.h"
#include "app/ticktimer.h"
#include "platform/instancelock.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

// A folder claim that is free or held by another copy.
class FakeClaim final : public InstanceClaim
{
public:
    explicit FakeClaim(bool free) : m_free(free) {}
    bool claim(const QString &folder) override
    {
        folders << folder;
        return m_free;
    }
    QStringList folders;

private:
    bool m_free;
};

// Records what the start-up asks of the window, with the state at that moment.
class RecordingShell final : public ShellWindow
{
public:
    explicit RecordingShell(const AppContext &ctx) : m_ctx(ctx) {}
    void prepareGrid() override { steps << "grid"; }
    void addTrayIcon() override
    {
        steps << "tray";
        tipAtTray = m_ctx.window.trayTip();
        connectedAtTray = m_ctx.Connected;
    }
    void hideWindow() override { steps << "hide"; }

    QStringList steps;
    QString tipAtTray;
    bool connectedAtTray = true;

private:
    const AppContext &m_ctx;
};

TEST(Startup, SequenceLeavesTimerRunningConnectionClosedAndWindowHidden)
{
    TestHome home;
    home.exec("update mi_empresa set id_cliente_remoto = '77'");
    home.ctx.DTdesde = QDate(2026, 1, 1);
    home.ctx.settings.MinuteCounter = 12;
    home.ctx.settings.LocaleDecimalSeparator.clear();
    FakeClaim instance(true);
    ManualTickTimer timer;
    RecordingShell shell(home.ctx);

    ASSERT_TRUE(Form_Load(home.ctx, {instance, timer, shell}));
    EXPECT_EQ(instance.folders, QStringList({home.dir()})) << "claimed for its own folder";

    EXPECT_EQ(home.window.caption(), "Zelvano - V.1.0.0 - ");
    EXPECT_EQ(shell.tipAtTray, "Zelvano - V.1.0.0 - ");
    EXPECT_EQ(shell.steps, QStringList({"grid", "tray", "hide"}));
    EXPECT_FALSE(shell.connectedAtTray);
    EXPECT_FALSE(home.ctx.DTdesde.isValid());
    EXPECT_EQ(home.ctx.DThasta, QDate(2026, 12, 7));
    EXPECT_TRUE(home.ctx.LockNoticeArmed);
    EXPECT_EQ(home.ctx.settings.ClientId, "77");
    EXPECT_EQ(home.ctx.settings.MinuteCounter, 0);
    EXPECT_FALSE(home.ctx.settings.LocaleDecimalSeparator.isEmpty());
    EXPECT_EQ(timer.interval(), 60000);
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_EQ(home.ctx.connection, nullptr);
    EXPECT_TRUE(home.notices.notices().empty());
}

TEST(Startup, MissingDatabaseStillStartsTheTimer)
{
    TestHome home;
    home.writeConnectionFile("Data Source= " + home.filePath("none.db").toUtf8());
    FakeClaim instance(true);
    ManualTickTimer timer;
    RecordingShell shell(home.ctx);
    ASSERT_TRUE(Form_Load(home.ctx, {instance, timer, shell}));
    EXPECT_TRUE(timer.isEnabled());
    EXPECT_FALSE(home.ctx.Connected);
    ASSERT_EQ(home.notices.notices().size(), 1u);
    EXPECT_EQ(home.notices.notices()[0].title, "Servidor no Disponible");
    EXPECT_EQ(shell.steps, QStringList({"grid", "tray", "hide"}));
}

TEST(Startup, SecondCopyEndsBeforeTouchingAnything)
{
    TestHome home;
    FakeClaim instance(false);
    ManualTickTimer timer;
    RecordingShell shell(home.ctx);
    EXPECT_FALSE(Form_Load(home.ctx, {instance, timer, shell}));
    EXPECT_TRUE(shell.steps.isEmpty());
    EXPECT_FALSE(timer.isEnabled());
    EXPECT_TRUE(home.window.caption().isEmpty());
    EXPECT_FALSE(home.ctx.Connected);
    ASSERT_EQ(home.notices.notices().size(), 1u);
    EXPECT_EQ(home.notices.notices()[0].text, "Ya hay una version en ejecucion de Zelvano");
    EXPECT_EQ(home.notices.notices()[0].title, "Zelvano");
    EXPECT_EQ(home.notices.notices()[0].icon, UserNotices::Icon::Exclamation);
}

TEST(Tray, TipIsTheCaptionCutTo64Characters)
{
    const QString caption = "Zelvano - V.1.0.0 - Ultima descarga 07/12/2026 10:00:00 con 12 viajes";
    ASSERT_GT(caption.size(), 64);
    EXPECT_EQ(trayTipText(caption),
              "Zelvano - V.1.0.0 - Ultima descarga 07/12/2026 10:00:00 con 12 v");
    EXPECT_EQ(trayTipText(caption).size(), 64);
    EXPECT_EQ(trayTipText("Zelvano - V.1.0.0 - "), "Zelvano - V.1.0.0 - ");
    const QString exact(64, u'x');
    EXPECT_EQ(trayTipText(exact), exact);
}

TEST(Tray, CallbackMessageNumbers)
{
    EXPECT_EQ(trayCallbackAction(513), TrayAction::ShowMenu);
    EXPECT_EQ(trayCallbackAction(516), TrayAction::ShowMenu);
    EXPECT_EQ(trayCallbackAction(515), TrayAction::ShowWindow);
    for (int other : {0, 512, 514, 517, 518, 519})
        EXPECT_EQ(trayCallbackAction(other), TrayAction::Nothing) << other;
}

} // namespace
} // namespace zelvano::test
