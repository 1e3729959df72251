#include "app/startup.h"
#include "app/ticktimer.h"
#include "gui/frmsucesosauto.h"
#include "gui/popup.h"
#include "gui/tripgridmodel.h"
#include "gui/waitpanel.h"
#include "platform/instancelock.h"
#include "support/testsupport.h"

#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

using gui::FrmSucesosAuto;

class FreeFolder final : public InstanceClaim
{
public:
    bool claim(const QString &) override { return true; }
};

// A window on a test home, its context built on the window.
struct WindowRig
{
    explicit WindowRig(bool tray = true) : ctx(home.clock, home.notices, form.overlay(), form)
    {
        ctx.homeDir = home.dir();
        ctx.endProgram = [this](int code) { endedWith = code; };
        form.trayAvailable = [tray] { return tray; };
        form.attach(ctx);
    }
    ~WindowRig() { form.detach(); }

    bool start()
    {
        FreeFolder instance;
        return Form_Load(ctx, {instance, timer, form});
    }

    TestHome home;
    FrmSucesosAuto form;
    AppContext ctx;
    ManualTickTimer timer;
    int endedWith = -1;
};

template <typename T> T *child(const FrmSucesosAuto &form, const char *name)
{
    T *widget = qobject_cast<T *>(form.control(QString::fromLatin1(name)));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

TEST(Window, StartsHiddenInTheTrayWithCaptionAndTip)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    EXPECT_FALSE(rig.form.isVisible());
    EXPECT_EQ(rig.form.windowTitle(), "Zelvano - V.1.0.0 - ");
    EXPECT_EQ(rig.form.trayIcon()->toolTip(), "Zelvano - V.1.0.0 - ");
    EXPECT_TRUE(rig.form.trayIcon()->isVisible());
    EXPECT_TRUE(rig.timer.isEnabled());
    EXPECT_FALSE(rig.ctx.Connected);
    EXPECT_TRUE(eventTexts(rig.home).isEmpty());

    rig.form.setTrayTip(QString(80, u'a'));
    EXPECT_EQ(rig.form.trayIcon()->toolTip(), QString(64, u'a'));
}

TEST(Window, WithoutNotificationAreaTheWindowStaysAndTheLogSaysSo)
{
    WindowRig rig(false);
    ASSERT_TRUE(rig.start());
    EXPECT_TRUE(rig.form.isVisible());
    const QStringList events = eventTexts(rig.home);
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events[0].startsWith("No hay area de notificacion")) << events[0].toStdString();
    EXPECT_FALSE(rig.ctx.Connected);
    // "Salir" cannot hide a window nothing would bring back: it is minimised.
    rig.form.cmdsalir_Click();
    EXPECT_TRUE(rig.form.isVisible());
    EXPECT_TRUE(rig.form.isMinimized());
}

TEST(Window, ControlsCarryTheirCaptions)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    EXPECT_EQ(child<QGroupBox>(rig.form, "FrSum")->title(), "Datos ");
    EXPECT_EQ(child<QGroupBox>(rig.form, "FrSuces")->title(), "Zelvano");
    EXPECT_EQ(child<QPushButton>(rig.form, "cmdgrabar")->text(), "Grabar");
    EXPECT_EQ(child<QPushButton>(rig.form, "cmdsalir")->text(), "Salir");
    EXPECT_EQ(child<QPushButton>(rig.form, "CmdImprimir")->text(), "Imprimir");
    EXPECT_EQ(child<QPushButton>(rig.form, "CmdDescargar")->text(), "Descargar");
    EXPECT_EQ(child<QLabel>(rig.form, "Label2")->text(), "Mostrará solo los viajes nuevos");
    EXPECT_EQ(child<QLabel>(rig.form, "Label1")->text(), "Desde:");
    EXPECT_EQ(child<QLabel>(rig.form, "Label3")->text(), "Hasta:");
    auto *tabb = child<QTabWidget>(rig.form, "Tabb");
    ASSERT_EQ(tabb->count(), 2);
    EXPECT_EQ(tabb->tabText(0), "Viajes no descargados");
    EXPECT_EQ(tabb->tabText(1), "Entre Fechas");
    EXPECT_EQ(rig.form.overlay().text(), "Cargando... Espere!!!");
    auto *desde = child<QDateEdit>(rig.form, "DTdesde");
    EXPECT_EQ(desde->text().trimmed(), QString()) << "DTdesde starts empty";
    EXPECT_EQ(child<QDateEdit>(rig.form, "DThasta")->text(), "07/12/2026");
    auto *sincro = child<QTreeWidget>(rig.form, "ReportSincro");
    EXPECT_EQ(sincro->headerItem()->text(1), "Fecha");
    EXPECT_EQ(sincro->headerItem()->text(2), "Descripcion");
    EXPECT_TRUE(sincro->isColumnHidden(0));
    QStringList menu;
    for (QAction *a : rig.form.trayMenu()->actions())
        menu << a->text();
    EXPECT_EQ(menu, QStringList({"Ver", "Ultimos Sucesos", "Salir"}));

    // The tab and the pickers are what the download reads.
    EXPECT_TRUE(rig.ctx.newTripsOnly);
    EXPECT_FALSE(rig.ctx.DTdesde.isValid());
    tabb->setCurrentIndex(1);
    desde->setDate(QDate(2026, 12, 1));
    EXPECT_FALSE(rig.ctx.newTripsOnly);
    EXPECT_EQ(rig.ctx.DTdesde, QDate(2026, 12, 1));
    EXPECT_EQ(rig.ctx.DThasta, QDate(2026, 12, 7));
}

TEST(Window, TrayMessagesOpenTheMenuOrShowTheWindow)
{
    EXPECT_EQ(gui::trayMessageNumber(QSystemTrayIcon::Trigger), 513);
    EXPECT_EQ(gui::trayMessageNumber(QSystemTrayIcon::DoubleClick), 515);
    EXPECT_EQ(gui::trayMessageNumber(QSystemTrayIcon::Context), 516);
    EXPECT_EQ(gui::trayMessageNumber(QSystemTrayIcon::Unknown), 512);

    WindowRig rig;
    ASSERT_TRUE(rig.start());
    QMenu *menu = rig.form.trayMenu();
    for (int message : {513, 516}) {
        rig.form.trayCallback(message);
        EXPECT_TRUE(menu->isVisible()) << message;
        menu->hide();
        EXPECT_FALSE(rig.form.isVisible());
    }
    rig.form.trayCallback(512);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_FALSE(rig.form.isVisible());
    rig.form.trayCallback(515);
    EXPECT_FALSE(menu->isVisible());
    EXPECT_TRUE(rig.form.isVisible());
}

TEST(Window, ClosingQuestionNoHidesAndYesEnds)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    rig.home.notices.yesNoAnswers = {false};
    rig.form.mnusalir_Click();
    ASSERT_EQ(rig.home.notices.notices().size(), 1u);
    const auto &q = rig.home.notices.notices()[0];
    EXPECT_EQ(q.kind, "question");
    EXPECT_EQ(q.title, "Que desea hacer");
    EXPECT_EQ(q.text, "¿Desea Cerrar Zelvano? o solo minimizarlo\r\nSI = Cierra\r\nNO = Minimiza");
    EXPECT_FALSE(rig.form.isVisible());
    EXPECT_TRUE(rig.form.trayIcon()->isVisible());
    EXPECT_EQ(rig.endedWith, -1);

    // The window's close box asks the same.
    rig.form.showWindow();
    rig.home.notices.yesNoAnswers = {false};
    EXPECT_FALSE(rig.form.close());
    EXPECT_FALSE(rig.form.isVisible());
    EXPECT_EQ(rig.endedWith, -1);

    rig.home.notices.yesNoAnswers = {true};
    rig.form.mnusalir_Click();
    EXPECT_EQ(rig.endedWith, 0);
    EXPECT_FALSE(rig.form.trayIcon()->isVisible());
}

TEST(Window, SalirButtonOnlyHides)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.form.mnuver_Click();
    EXPECT_TRUE(rig.form.isVisible());
    rig.form.cmdsalir_Click();
    EXPECT_FALSE(rig.form.isVisible());
    EXPECT_TRUE(rig.home.notices.notices().empty());
    EXPECT_EQ(rig.endedWith, -1);
}

TEST(Window, ResizeRulesInPixels)
{
    WindowRig rig;
    rig.form.resize(900, 600);
    rig.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
    ASSERT_EQ(rig.form.size(), QSize(900, 600));
    QWidget *frSum = rig.form.control("FrSum");
    EXPECT_EQ(frSum->width(), 870);
    EXPECT_EQ(frSum->height(), 497);
    EXPECT_EQ(rig.form.control("CmdImprimir")->pos(), QPoint(693, 507));
    EXPECT_EQ(rig.form.control("cmdsalir")->pos(), QPoint(787, 507));
    EXPECT_EQ(rig.form.control("Report")->size(), QSize(860, 477));
    EXPECT_EQ(rig.form.control("cmdgrabar")->y(), 513);

    // A size below zero is skipped; the positions still follow.
    const int grabarLeft = rig.form.control("cmdgrabar")->x();
    rig.form.applyResizeRules(300, 1000);
    EXPECT_EQ(frSum->width(), 870);
    EXPECT_EQ(frSum->height(), 497);
    EXPECT_EQ(rig.form.control("Report")->size(), QSize(860, 477));
    EXPECT_EQ(rig.form.control("cmdsalir")->pos(), QPoint(-93, -27));
    EXPECT_EQ(rig.form.control("cmdgrabar")->pos(), QPoint(grabarLeft, -20));
    const gui::ResizeLayout l = gui::resizeLayout(300, 1000);
    EXPECT_EQ(l.frSumWidth, -1);
    EXPECT_EQ(l.reportHeight, -1);
}

TEST(Window, EventPanelListsTheWeekAndClosesTheConnection)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.home.exec("insert into sucesos (fecha, descripcion) values ('06/12/2026', 'Ayer')");
    rig.home.exec(
        "insert into sucesos (fecha, descripcion) values ('07/12/2026', 'Primero de hoy')");
    rig.home.exec(
        "insert into sucesos (fecha, descripcion) values ('07/12/2026', 'Segundo de hoy')");
    rig.home.exec("insert into sucesos (fecha, descripcion) values ('20/11/2026', 'Viejo')");
    rig.form.mnuul_Click();
    EXPECT_TRUE(rig.form.isVisible());
    EXPECT_TRUE(rig.form.eventPanelVisible());
    EXPECT_EQ(rig.form.eventListTexts(),
              QStringList({"07/12/2026\tSegundo de hoy", "07/12/2026\tPrimero de hoy",
                           "06/12/2026\tAyer"}));
    EXPECT_FALSE(rig.ctx.Connected);
    rig.form.PushButton1_Click();
    EXPECT_FALSE(rig.form.eventPanelVisible());
    rig.form.mnuul_Click();
    rig.form.mnuver_Click();
    EXPECT_FALSE(rig.form.eventPanelVisible());
}

TEST(Window, OperationWhileAnotherRunsIsRefusedWithANotice)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.ctx.runningOperation = QStringLiteral("TimeDesc_Timer");
    rig.form.cmdgrabar_Click();
    rig.form.mnuul_Click();
    ASSERT_EQ(rig.home.notices.notices().size(), 2u);
    EXPECT_EQ(rig.home.notices.notices()[0].kind, "popup");
    EXPECT_FALSE(rig.ctx.Connected) << "a refused operation must not connect";
    EXPECT_TRUE(rig.form.eventListTexts().isEmpty());
}

TEST(Window, TripGridShowsValuesColoursAndIcons)
{
    WindowRig rig;
    TripGrid &grid = rig.ctx.grid;
    grid.addColumn({0, "Id", 50, TripGrid::Align::Left, true, true});
    grid.addColumn({1, "Fecha", 50, TripGrid::Align::Right, true, false});
    grid.addColumn({2, "id receta", 40, TripGrid::Align::Right, false, false});
    const int trip = grid.addRow();
    grid.setValue(trip, 0, 1001);
    grid.setValue(trip, 1, QDate(2026, 12, 7));
    grid.setIcon(trip, 0, TripGrid::kStoredIcon);
    const int load = grid.addChild(trip);
    grid.setChildValue(trip, load, 0, "Carga");
    grid.setChildValue(trip, load, 1, QTime(8, 5, 9));
    grid.setChildBackground(trip, load, TripGrid::kLoadBackground);
    grid.setChildIcon(trip, load, 1, TripGrid::kGpsIcon);
    grid.refresh();

    auto *view = child<QTreeView>(rig.form, "Report");
    QAbstractItemModel *model = view->model();
    ASSERT_EQ(model->rowCount(), 1);
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Fecha");
    EXPECT_TRUE(view->isColumnHidden(2));
    EXPECT_FALSE(view->isColumnHidden(1));
    const QModelIndex tripIndex = model->index(0, 0);
    EXPECT_EQ(model->data(tripIndex).toString(), "1001");
    EXPECT_EQ(model->data(model->index(0, 1)).toString(), "07/12/2026");
    EXPECT_FALSE(model->data(tripIndex, Qt::DecorationRole).value<QPixmap>().isNull());
    ASSERT_EQ(model->rowCount(tripIndex), 1);
    const QModelIndex loadTime = model->index(0, 1, tripIndex);
    EXPECT_EQ(model->data(loadTime).toString(), "08:05:09");
    EXPECT_EQ(model->data(loadTime, Qt::BackgroundRole).value<QColor>(), QColor(0xC0, 0xFF, 0xC0));
    EXPECT_FALSE(model->data(loadTime, Qt::DecorationRole).value<QPixmap>().isNull());
    EXPECT_EQ(model->parent(loadTime), tripIndex);

    grid.clearRows();
    EXPECT_EQ(model->rowCount(), 0);
}

TEST(Window, PopupSitsBottomRightWithoutTakingFocus)
{
    WindowRig rig;
    rig.form.popupNotice().showNotice("Zelvano le Informa \r\nLinea dos");
    gui::PopupNotice &popup = rig.form.popupNotice();
    EXPECT_TRUE(popup.isVisible());
    EXPECT_EQ(popup.text(), "Zelvano le Informa \nLinea dos");
    EXPECT_TRUE(popup.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(popup.windowFlags().testFlag(Qt::FramelessWindowHint));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_GT(popup.x(), area.center().x());
    EXPECT_GT(popup.y(), area.center().y());
    EXPECT_LE(popup.geometry().right(), area.right());
    EXPECT_FALSE(popup.isActiveWindow());
}

TEST(Window, WaitPanelKeepsWhatTheCoreSets)
{
    WindowRig rig;
    WaitOverlay &overlay = rig.form.overlay();
    overlay.setMaximum(40);
    overlay.setValue(12);
    overlay.setText("Grabando viajes");
    overlay.setVisible(true);
    rig.form.showWindow();
    EXPECT_TRUE(overlay.isVisible());
    EXPECT_EQ(overlay.maximum(), 40);
    EXPECT_EQ(overlay.value(), 12);
    EXPECT_EQ(overlay.text(), "Grabando viajes");
    overlay.setValue(41);
    EXPECT_EQ(overlay.value(), 41);
    overlay.setVisible(false);
    EXPECT_FALSE(overlay.isVisible());
}

} // namespace
} // namespace zelvano::test
