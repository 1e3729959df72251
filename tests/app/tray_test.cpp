#include "app/startup.h"
#include "app/ticktimer.h"
#include "gui/frmsucesosauto.h"
#include "gui/guinotices.h"
#include "gui/popup.h"
#include "gui/waitpanel.h"
#include "platform/instancelock.h"
#include "support/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

using gui::GuiNotices;
using gui::PopupNotice;

// A box left waiting would hang the test: answer whatever is still modal.
struct AnswerLeftovers
{
    ~AnswerLeftovers()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w))
                box->close();
        QApplication::processEvents();
    }
};

TEST(Boxes, ShownWithoutHoldingTheCallerAndOncePerText)
{
    AnswerLeftovers leftovers;
    PopupNotice popup;
    GuiNotices notices(popup);
    const QString gone = QStringLiteral(
        "El equipo remoto al que esta tratando de conectarse no esta disponible, verifique el "
        "estado de su red");
    // A modal exec() would not come back here before the box is answered.
    notices.messageBox(gone, UserNotices::Icon::Information, "Servidor no Disponible");
    ASSERT_EQ(notices.openBoxes().size(), 1);
    QMessageBox *box = notices.openBoxes()[0];
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowTitle(), "Servidor no Disponible");
    EXPECT_EQ(box->text(), gone);
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);

    notices.messageBox(gone, UserNotices::Icon::Information, "Servidor no Disponible");
    EXPECT_EQ(notices.openBoxes().size(), 1) << "the same text is not stacked";
    notices.messageBox("Error 13 (Type mismatch)\r\nlinea dos", UserNotices::Icon::Critical,
                       "Error en Cargar_Sucesos ");
    ASSERT_EQ(notices.openBoxes().size(), 2);
    EXPECT_EQ(notices.openBoxes()[1]->text(), "Error 13 (Type mismatch)\nlinea dos");
    EXPECT_EQ(notices.openBoxes()[1]->icon(), QMessageBox::Critical);

    // Answered, the text may be shown again.
    box->button(QMessageBox::Ok)->click();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(notices.openBoxes().size(), 1);
    notices.messageBox(gone, UserNotices::Icon::Information, "Servidor no Disponible");
    EXPECT_EQ(notices.openBoxes().size(), 2);
}

TEST(Boxes, TheClosingQuestionWaitsForItsAnswer)
{
    AnswerLeftovers leftovers;
    PopupNotice popup;
    GuiNotices notices(popup);
    for (const bool yes : {false, true}) {
        QString asked;
        QTimer::singleShot(150, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            asked = box->windowTitle();
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        QElapsedTimer clock;
        clock.start();
        const bool answer = notices.askYesNo(gui::closingQuestionText(), "Que desea hacer", true);
        EXPECT_GE(clock.elapsed(), 140) << "it came back before the answer";
        EXPECT_EQ(asked, "Que desea hacer");
        EXPECT_EQ(answer, yes);
    }
}

class FreeFolder final : public InstanceClaim
{
public:
    bool claim(const QString &) override { return true; }
};

TEST(LateTray, TheIconGoesInWhenTheNotificationAreaAppears)
{
    TestHome home;
    gui::FrmSucesosAuto form;
    AppContext ctx(home.clock, home.notices, form.overlay(), form);
    ctx.homeDir = home.dir();
    form.attach(ctx);
    bool available = false;
    int looks = 0;
    form.trayAvailable = [&] {
        ++looks;
        return available;
    };
    form.trayRetryMs = 20;
    ManualTickTimer timer;
    FreeFolder instance;
    ASSERT_TRUE(Form_Load(ctx, {instance, timer, form}));
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.trayIcon()->isVisible());

    QTest::qWait(100);
    EXPECT_TRUE(form.isVisible()) << "no area yet: the window stays";
    EXPECT_GT(looks, 2);
    available = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.trayIcon()->isVisible(); }, 2000));
    EXPECT_FALSE(form.isVisible()) << "hidden in the tray, as after a normal start";
    const int looked = looks;
    QTest::qWait(100);
    EXPECT_EQ(looks, looked) << "it stops looking once the icon is in";

    // In the tray now, "Salir" hides instead of minimising.
    form.showWindow();
    form.cmdsalir_Click();
    EXPECT_FALSE(form.isVisible());
    form.detach();
}

TEST(LateTray, LooksOnlyForAWhile)
{
    TestHome home;
    gui::FrmSucesosAuto form;
    AppContext ctx(home.clock, home.notices, form.overlay(), form);
    ctx.homeDir = home.dir();
    form.attach(ctx);
    int looks = 0;
    form.trayAvailable = [&] {
        ++looks;
        return false;
    };
    form.trayRetryMs = 10;
    form.trayRetries = 3;
    ManualTickTimer timer;
    FreeFolder instance;
    ASSERT_TRUE(Form_Load(ctx, {instance, timer, form}));
    QTest::qWait(300);
    EXPECT_EQ(looks, 1 + 3);
    EXPECT_TRUE(form.isVisible());
    form.detach();
}

TEST(Popup, TwoHundredNinetyByOneHundredTwentyFortyAboveTheBottom)
{
    EXPECT_EQ(PopupNotice::placement(QRect(0, 0, 1920, 1080)), QPoint(1920 - 290 - 12, 920));
    EXPECT_EQ(PopupNotice::placement(QRect(1920, 0, 1280, 1024)), QPoint(1920 + 1280 - 302, 864));

    PopupNotice popup;
    popup.showNotice(QStringLiteral("          Zelvano le Informa \r\n\r\nLa base de datos esta "
                                    "siendo utilizada \r\n via Dropbox o Google drive, no se "
                                    "\r\n pudo hacer la sincronización"));
    EXPECT_EQ(popup.size(), QSize(290, 120));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(popup.geometry().bottom() + 1, screen.bottom() + 1 - 40);
    EXPECT_EQ(popup.geometry().right(), screen.right() - 12);
    popup.showNotice("corto");
    EXPECT_EQ(popup.size(), QSize(290, 120)) << "the size does not follow the text";
}

} // namespace
} // namespace zelvano::test
