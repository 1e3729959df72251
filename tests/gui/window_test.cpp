#include "app/scheduler.h"
#include "app/startup.h"
#include "app/ticktimer.h"
#include "common/gridcolumns.h"
#include "download/download.h"
#include "gui/datepicker.h"
#include "gui/frmsucesosauto.h"
#include "gui/guinotices.h"
#include "gui/lineslabel.h"
#include "gui/popup.h"
#include "gui/translations.h"
#include "gui/tripgridmodel.h"
#include "gui/waitpanel.h"
#include "platform/instancelock.h"
#include "support/testsupport.h"
#include "windowrig.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

using gui::FrmSucesosAuto;

// Lets the window's own timers and layout run for a while.
void settle(int ms = 400)
{
    QTest::qWait(ms);
}

TEST(Window, StartsHiddenInTheTrayWithCaptionAndTip)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    EXPECT_FALSE(rig.form.isVisible());
    EXPECT_EQ(rig.form.windowTitle(), "Zelvano - V.1.0.0 - ");
    // The tip as the system writes it, then the last run of each job under it.
    EXPECT_EQ(rig.form.trayIcon()->toolTip().section(u'\n', 0, 0), "Zelvano - V.1.0.0 - ");
    EXPECT_TRUE(rig.form.trayIcon()->isVisible());
    EXPECT_TRUE(rig.timer.isEnabled());
    EXPECT_FALSE(rig.ctx.Connected);
    EXPECT_TRUE(eventTexts(rig.home).isEmpty());

    rig.form.setTrayTip(QString(80, u'a'));
    EXPECT_EQ(rig.form.trayIcon()->toolTip().section(u'\n', 0, 0), QString(64, u'a'));
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
    auto *desde = child<gui::DatePicker>(rig.form, "DTdesde");
    EXPECT_EQ(desde->text(), QString()) << "DTdesde starts empty";
    EXPECT_EQ(child<gui::DatePicker>(rig.form, "DThasta")->text(), "07/12/2026");
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

// Every text a control shows fits the control: captions, tabs, frames and
// labels (the result and job lines show what fits and keep the rest in
// their tool tip).
void expectTextsFit(const QWidget &form, const QString &where)
{
    for (const QWidget *w : form.findChildren<QWidget *>()) {
        if (!w->isVisibleTo(&form) || w->window() != &form)
            continue;
        const QFontMetrics fm = w->fontMetrics();
        const std::string name =
            (where + " " + w->objectName() + " " + w->metaObject()->className()).toStdString();
        if (const auto *lines = qobject_cast<const gui::LinesLabel *>(w)) {
            for (const QString &line : lines->shownLines())
                EXPECT_LE(fm.horizontalAdvance(line), lines->contentsRect().width()) << name;
            EXPECT_LE(lines->shownLines().size() * fm.lineSpacing(), lines->height()) << name;
        } else if (const auto *label = qobject_cast<const QLabel *>(w)) {
            for (const QString &line : label->text().split('\n'))
                for (const QString &piece : label->wordWrap() ? line.split(' ') : QStringList{line})
                    EXPECT_LE(fm.horizontalAdvance(piece), label->contentsRect().width()) << name;
        } else if (const auto *button = qobject_cast<const QPushButton *>(w)) {
            EXPECT_LE(fm.horizontalAdvance(button->text()) + 8, button->width()) << name;
        } else if (const auto *box = qobject_cast<const QGroupBox *>(w)) {
            EXPECT_LE(fm.horizontalAdvance(box->title()), box->width()) << name;
        } else if (const auto *tabs = qobject_cast<const QTabBar *>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                EXPECT_TRUE(tabs->rect().contains(tabs->tabRect(i))) << name << i;
                EXPECT_LE(fm.horizontalAdvance(tabs->tabText(i)), tabs->tabRect(i).width())
                    << name << i;
            }
        }
    }
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

// Types into a picker as a person does, ending with Enter unless told not to.
void typeDate(gui::DatePicker *picker, const QString &text, bool enter = true)
{
    QLineEdit *edit = picker->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
    if (enter)
        QTest::keyClick(edit, Qt::Key_Return);
}

TEST(Window, DatePickersTakeTypedAndPickedDates)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    child<QTabWidget>(rig.form, "Tabb")->setCurrentIndex(1);
    auto *desde = child<gui::DatePicker>(rig.form, "DTdesde");
    auto *hasta = child<gui::DatePicker>(rig.form, "DThasta");

    typeDate(desde, "29/02/2024");
    EXPECT_EQ(desde->date(), QDate(2024, 2, 29));
    EXPECT_EQ(rig.ctx.DTdesde, QDate(2024, 2, 29));
    typeDate(desde, "05012024");
    EXPECT_EQ(desde->text(), "05/01/2024");
    EXPECT_EQ(rig.ctx.DTdesde, QDate(2024, 1, 5));
    typeDate(desde, "31/02/2024"); // no such day: the last date comes back
    EXPECT_EQ(desde->text(), "05/01/2024");
    EXPECT_EQ(rig.ctx.DTdesde, QDate(2024, 1, 5));

    // "Hasta" is typed over in place; it cannot be left empty.
    typeDate(hasta, "7.1.24");
    EXPECT_EQ(rig.ctx.DThasta, QDate(2024, 1, 7));
    typeDate(hasta, "");
    EXPECT_EQ(hasta->text(), "07/01/2024");
    EXPECT_EQ(rig.ctx.DThasta, QDate(2024, 1, 7));
    typeDate(hasta, "8/1"); // the year of its date
    EXPECT_EQ(rig.ctx.DThasta, QDate(2024, 1, 8));

    // "Desde" can be emptied again; its calendar then opens at today.
    typeDate(desde, "");
    EXPECT_FALSE(rig.ctx.DTdesde.isValid());
    EXPECT_EQ(desde->text(), QString());
    desde->showCalendar();
    ASSERT_TRUE(desde->calendarVisible());
    EXPECT_EQ(desde->calendar()->yearShown(), 2026);
    EXPECT_EQ(desde->calendar()->monthShown(), 12);
    EXPECT_EQ(desde->calendar()->selectedDate(), QDate(2026, 12, 7));
    EXPECT_FALSE(desde->date().isValid()) << "opening the calendar chooses nothing";
    emit desde->calendar()->clicked(QDate(2026, 11, 30));
    EXPECT_FALSE(desde->calendarVisible());
    EXPECT_EQ(desde->text(), "30/11/2026");
    EXPECT_EQ(rig.ctx.DTdesde, QDate(2026, 11, 30));
    hasta->showCalendar();
    EXPECT_EQ(hasta->calendar()->yearShown(), 2024);
    EXPECT_EQ(hasta->calendar()->monthShown(), 1);
    QTest::keyClick(hasta->calendar(), Qt::Key_Escape);

    // A date still being typed when "Descargar" is pressed is the one the
    // download reads.
    typeDate(desde, "1-12-2026", false);
    rig.form.CmdDescargar_Click();
    EXPECT_EQ(rig.ctx.DTdesde, QDate(2026, 12, 1));
    EXPECT_EQ(desde->text(), "01/12/2026");
}

TEST(Window, ResultLineTellsWhatEachJobCameTo)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.home.exec("insert into sucesos (fecha, descripcion) values ('06/12/2026', 'Ayer')");
    auto *line = child<gui::LinesLabel>(rig.form, "lblResultado");
    EXPECT_EQ(line->fullText(), QString());

    // No server configured: the download ends with an error, in words, what
    // to do first and the system's text after.
    rig.form.CmdDescargar_Click();
    EXPECT_TRUE(line->fullText().startsWith("Descarga de las 10:00:00 con error: No hay un "
                                            "servidor remoto configurado: cargue el servidor"))
        << line->fullText().toStdString();
    EXPECT_TRUE(line->fullText().endsWith("(Error -2147012889 (The server name or address could "
                                          "not be resolved))"));
    EXPECT_FALSE(line->fullText().contains('\n'));
    EXPECT_EQ(line->toolTip(), line->fullText());
    EXPECT_EQ(rig.form.jobResult(), line->fullText());

    rig.home.clock.advanceSeconds(5);
    rig.form.cmdgrabar_Click();
    EXPECT_EQ(line->fullText(), "Grabación de las 10:00:05: ningún viaje nuevo para grabar");

    rig.form.mnuul_Click();
    EXPECT_EQ(line->fullText(), "Sucesos leídos a las 10:00:05: 2 sucesos en los últimos 7 días");
    rig.form.PushButton1_Click();

    // A tick's download and its save: both lines, the save's under the download's.
    rig.home.exec("update mi_empresa set usa_intervalo = true, intervalo_minutos = '0'");
    Scheduler scheduler(rig.ctx, rig.timer);
    scheduler.TimeDesc_Timer();
    const QStringList lines = line->fullText().split('\n');
    ASSERT_EQ(lines.size(), 2) << line->fullText().toStdString();
    EXPECT_TRUE(lines[0].startsWith("Descarga automática de las 10:00:05 con error: No hay un "));
    EXPECT_EQ(lines[1], "Grabación automática de las 10:00:05: ningún viaje nuevo para grabar");
}

// A trip of the demo's kind: loads, an unload with a position, one without.
void addTrip(TripGrid &grid, int id, const QString &recipe)
{
    const int r = grid.addRow();
    grid.setValue(r, TripCell::Id, id);
    grid.setValue(r, TripCell::Fecha, "2026-12-08");
    grid.setValue(r, TripCell::Receta, recipe);
    grid.setValue(r, TripCell::Cabezas, 1733);
    grid.setValue(r, TripCell::KgSug, 20997.0);
    grid.setValue(r, TripCell::KgReal, 21283.6);
    const int load = grid.addChild(r);
    grid.setChildValue(r, load, LoadCell::Kind, "Carga");
    grid.setChildValue(r, load, LoadCell::Alimento, "Silo de maíz");
    grid.setChildValue(r, load, LoadCell::Operador, "Ferreyra, Ana");
    grid.setChildBackground(r, load, TripGrid::kLoadBackground);
    const int fed = grid.addChild(r);
    grid.setChildValue(r, fed, UnloadCell::Kind, "Descarga");
    grid.setChildValue(r, fed, UnloadCell::Rodeo, "Vaquillonas primer parto");
    grid.setChildValue(r, fed, UnloadCell::Gps, "-31.25402,-61.49998");
    grid.setChildIcon(r, fed, UnloadCell::Gps, TripGrid::kGpsIcon);
    grid.setChildBackground(r, fed, TripGrid::kUnloadBackground);
    const int lost = grid.addChild(r);
    grid.setChildValue(r, lost, UnloadCell::Kind, "Descarga");
    grid.setChildValue(r, lost, UnloadCell::Gps, ",");
    grid.setChildValue(r, lost, UnloadCell::Suceso,
                       "Descarga sin posicion: la tableta no tuvo señal de GPS en el corral "
                       "durante toda la descarga y el operario la termino a mano");
    grid.setChildIcon(r, lost, UnloadCell::Gps, TripGrid::kNoGpsIcon);
    grid.setChildBackground(r, lost, TripGrid::kUnloadBackground);
}

TEST(Window, GridShowsItsCaptionsBeforeTheFirstDownload)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    auto *view = child<QTreeView>(rig.form, "Report");
    ASSERT_EQ(view->model()->columnCount(), kTripGridColumns);
    EXPECT_EQ(view->model()->rowCount(), 0);
    EXPECT_FALSE(view->header()->isHidden());
    EXPECT_EQ(view->model()->headerData(TripCell::Id, Qt::Horizontal).toString(), "Id");
    EXPECT_EQ(view->model()->headerData(UnloadCell::Suceso, Qt::Horizontal).toString(), "Suceso");
    EXPECT_TRUE(view->isColumnHidden(TripCell::IdReceta));
    EXPECT_GT(view->columnWidth(UnloadCell::Suceso), 0);
}

TEST(Window, ColumnsFitTheirContentWithinTheWindow)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
    rig.form.resize(1000, 620); // the first size on the office's screen
    auto *view = child<QTreeView>(rig.form, "Report");
    for (int i = 0; i < 40; ++i)
        addTrip(rig.ctx.grid, 7001 + i, i % 2 ? "Ración engorde" : "Ración ordeñe");
    rig.ctx.grid.refresh();
    view->expandAll();
    settle(); // the window measures the rows on its own once they settle

    const QFontMetrics fm(view->font());
    EXPECT_GE(view->columnWidth(TripCell::Id),
              fm.horizontalAdvance("Descarga") + 2 * view->indentation());
    EXPECT_GE(view->columnWidth(UnloadCell::Gps), fm.horizontalAdvance("-31.25402,-61.49998") + 16);
    EXPECT_GE(view->columnWidth(UnloadCell::Rodeo),
              fm.horizontalAdvance("Vaquillonas primer parto"));
    // All of it in sight at the window's first size, "Suceso" included.
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_LE(view->header()->sectionViewportPosition(UnloadCell::Suceso) +
                  view->columnWidth(UnloadCell::Suceso),
              view->viewport()->width());

    // Hover gives the whole value; an unload without a position shows none.
    QAbstractItemModel *model = view->model();
    const QModelIndex trip = model->index(0, 0);
    const QModelIndex gps = model->index(1, UnloadCell::Gps, trip);
    EXPECT_EQ(model->data(gps).toString(), "-31.25402,-61.49998");
    EXPECT_EQ(model->data(gps, Qt::ToolTipRole).toString(), "-31.25402,-61.49998");
    const QModelIndex noGps = model->index(2, UnloadCell::Gps, trip);
    EXPECT_EQ(model->data(noGps).toString(), QString());
    EXPECT_FALSE(model->data(noGps, Qt::DecorationRole).value<QPixmap>().isNull());
    EXPECT_TRUE(model->data(model->index(2, UnloadCell::Suceso, trip), Qt::ToolTipRole)
                    .toString()
                    .endsWith("la termino a mano"));

    // At the smallest window the columns give up room, down to their captions.
    rig.form.resize(rig.form.minimumSize());
    settle(100);
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
    EXPECT_GE(view->columnWidth(TripCell::Id),
              fm.horizontalAdvance("Descarga") + 2 * view->indentation());
    const QFontMetrics header(view->header()->font());
    EXPECT_GE(view->columnWidth(TripCell::Cabezas), header.horizontalAdvance("Cabezas Total"));
}

// Drags the right edge of a header section by dx, as the mouse does.
void dragSectionEdge(QHeaderView *header, int section, int dx)
{
    QWidget *viewport = header->viewport();
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) - 1,
                    header->height() / 2);
    auto send = [&](QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, pos, viewport->mapToGlobal(pos), Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    send(QEvent::MouseButtonPress, at, Qt::LeftButton);
    send(QEvent::MouseMove, at + QPoint(dx / 2, 0), Qt::LeftButton);
    send(QEvent::MouseMove, at + QPoint(dx, 0), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, at + QPoint(dx, 0), Qt::NoButton);
}

TEST(Window, SizeAndColumnWidthsAreRememberedBetweenRuns)
{
    // Never the real user's configuration.
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    ASSERT_FALSE(config.isEmpty());
    EXPECT_TRUE(gui::openWindowSettings()->fileName().startsWith(config))
        << gui::openWindowSettings()->fileName().toStdString();

    int dragged = 0;
    {
        WindowRig rig;
        ASSERT_TRUE(rig.start());
        rig.form.showWindow();
        rig.form.resize(920, 640);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
        addTrip(rig.ctx.grid, 7001, "Ración engorde");
        rig.ctx.grid.refresh();
        settle();
        auto *view = child<QTreeView>(rig.form, "Report");
        const int before = view->columnWidth(TripCell::Receta);
        dragSectionEdge(view->header(), TripCell::Receta, 60);
        dragged = view->columnWidth(TripCell::Receta);
        EXPECT_EQ(dragged, before + 60);
        EXPECT_EQ(rig.form.userColumnWidths()[TripCell::Receta], dragged);
        // A new download measures again, and keeps the user's width.
        rig.ctx.grid.clearRows();
        addTrip(rig.ctx.grid, 7002, "Ración engorde");
        rig.ctx.grid.refresh();
        settle();
        EXPECT_EQ(view->columnWidth(TripCell::Receta), dragged);
        rig.form.cmdsalir_Click();
    }
    {
        WindowRig next(true, true);
        EXPECT_EQ(next.form.size(), QSize(920, 640));
        ASSERT_TRUE(next.start());
        EXPECT_EQ(next.form.userColumnWidths()[TripCell::Receta], dragged);
        auto *view = child<QTreeView>(next.form, "Report");
        EXPECT_EQ(view->columnWidth(TripCell::Receta), dragged);
        // A double-click on the edge gives the column back to its content.
        emit view->header()->sectionHandleDoubleClicked(TripCell::Receta);
        EXPECT_EQ(next.form.userColumnWidths()[TripCell::Receta], 0);
        EXPECT_LT(view->columnWidth(TripCell::Receta), dragged);
    }
}

TEST(Window, SmallestWindowKeepsEveryControlApart)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
    rig.form.resize(200, 150);
    EXPECT_EQ(rig.form.size(), rig.form.minimumSize());
    EXPECT_LT(rig.form.minimumWidth(), 800);
    rig.form.CmdDescargar_Click(); // long lines: an error explained, the jobs

    const char *names[] = {"FrSum",       "Tabb",     "CmdDescargar", "cmdgrabar",
                           "CmdImprimir", "cmdsalir", "lblResultado"};
    auto *tabs = child<QTabWidget>(rig.form, "Tabb");
    for (QSize size : {rig.form.minimumSize(), QSize(800, 533), QSize(1920, 1080)}) {
        rig.form.resize(size);
        ASSERT_EQ(rig.form.size(), size);
        settle(50);
        const QString at = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        for (int tab : {0, 1}) {
            tabs->setCurrentIndex(tab);
            expectTextsFit(rig.form, at);
        }
        // The grid takes the room the bottom row leaves; "Salir" keeps to the
        // bottom right corner, "Imprimir" beside it.
        const QRect salir = rig.form.control("cmdsalir")->geometry();
        const QRect grid = rig.form.control("FrSum")->geometry();
        EXPECT_GT(salir.right(), size.width() - 20) << at.toStdString();
        EXPECT_LT(rig.form.control("CmdImprimir")->geometry().right(), salir.left());
        EXPECT_GT(grid.width(), size.width() - 30) << at.toStdString();
        EXPECT_GT(grid.height(), size.height() - tabs->height() - 70) << at.toStdString();
        for (size_t a = 0; a < std::size(names); ++a) {
            const QRect ra = rig.form.control(names[a])->geometry();
            EXPECT_TRUE(rig.form.rect().contains(ra)) << names[a] << " at " << size.width();
            for (size_t b = a + 1; b < std::size(names); ++b)
                EXPECT_FALSE(ra.intersects(rig.form.control(names[b])->geometry()))
                    << names[a] << " and " << names[b] << " at " << size.width() << "x"
                    << size.height();
        }
        // The event panel covers the trip panel and leaves the buttons free.
        rig.form.mnuver_Click();
        EXPECT_EQ(rig.form.control("FrSuces")->geometry(), rig.form.control("FrSum")->geometry());
    }
}

TEST(Window, EventListShowsLongTextsWhole)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    const QString longText =
        "Se Actualizaron las cabezas de los rodeos correctamente con las cabezas de la ultima "
        "ronda de alimentacion del rodeo Vacas frescas, Vaquillonas primer parto, Vacas secas "
        "y Terneros de recria en los corrales del tambo dos  09:58:41";
    rig.home.exec("insert into sucesos (fecha, descripcion) values ('07/12/2026', '" + longText +
                  "')");
    rig.home.exec("insert into sucesos (fecha, descripcion) values ('07/12/2026', 'Corto')");
    rig.form.mnuul_Click();
    rig.form.resize(1000, 620); // the first size on the office's screen
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
    settle(100);
    auto *list = child<QTreeWidget>(rig.form, "ReportSincro");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    QTreeWidgetItem *shortItem = list->topLevelItem(0);
    QTreeWidgetItem *longItem = list->topLevelItem(1);
    EXPECT_EQ(longItem->toolTip(2), longText);
    const int line = list->fontMetrics().height();
    EXPECT_LT(list->visualItemRect(shortItem).height(), 2 * line);
    // Wrapped onto as many lines as the column needs.
    const int column = list->columnWidth(2);
    const int lines = (list->fontMetrics().horizontalAdvance(longText) + column - 1) / column;
    ASSERT_GE(lines, 2);
    EXPECT_GE(list->visualItemRect(longItem).height(), lines * line);

    // Narrower: more lines.
    const int tall = list->visualItemRect(longItem).height();
    rig.form.resize(rig.form.minimumSize());
    settle(100);
    EXPECT_GT(list->visualItemRect(longItem).height(), tall);
}

TEST(Window, WaitPanelFitsLongMessagesAndCountsARestartingBar)
{
    WindowRig rig;
    rig.form.resize(800, 533);
    rig.form.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
    auto &panel = rig.form.overlay();
    const QString text = "Sincronizando cabezas de rodeo Vacas frescas con la ultima descarga de "
                         "la nube ";
    panel.setText(text);
    panel.setVisible(true);
    QLabel *message = panel.findChildren<QLabel *>().at(0);
    ASSERT_EQ(message->text(), text);
    EXPECT_TRUE(rig.form.rect().contains(panel.geometry()));
    EXPECT_GE(message->width(), message->fontMetrics().horizontalAdvance(text.trimmed()));

    // A window too narrow for one line: the message wraps and the panel grows.
    rig.form.resize(rig.form.minimumSize());
    rig.form.resize(rig.form.minimumWidth(), 533);
    panel.setText(text + text);
    EXPECT_TRUE(rig.form.rect().contains(panel.geometry()));
    EXPECT_GE(message->height(), message->heightForWidth(message->width()));
    EXPECT_GE(message->height(), 2 * message->fontMetrics().height());

    // The bar never shows a share; once it starts again it counts the trips.
    EXPECT_FALSE(panel.barShowsShare());
    panel.setMaximum(100);
    panel.setValue(0);
    for (int v = 1; v <= 100; ++v)
        panel.setValue(v);
    EXPECT_EQ(panel.countText(), QString());
    panel.setValue(1);
    EXPECT_EQ(panel.countText(), "viaje 101");
    panel.setValue(2);
    EXPECT_EQ(panel.countText(), "viaje 102");
    panel.setValue(0);
    EXPECT_EQ(panel.countText(), QString());
}

TEST(Window, QtOwnTextsSpeakTheDesktopsLanguage)
{
    ASSERT_EQ(QLocale::system().language(), QLocale::Spanish) << "run under LANG=es_AR.UTF-8";
    EXPECT_EQ(gui::installQtTranslations(QLocale::c()), nullptr);
    QTranslator *translator = gui::installQtTranslations();
    ASSERT_NE(translator, nullptr);

    // The closing question as the tray program asks it.
    gui::PopupNotice popup;
    gui::GuiNotices notices(popup);
    QString yes, no, shown;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        yes = box->button(QMessageBox::Yes)->text();
        no = box->button(QMessageBox::No)->text();
        shown = box->text();
        box->button(QMessageBox::No)->click();
    });
    poll.start(20);
    EXPECT_FALSE(notices.askYesNo(gui::closingQuestionText(), "Que desea hacer", true));
    poll.stop();
    EXPECT_TRUE(yes == "&Sí" || yes == "Sí") << yes.toStdString();
    EXPECT_EQ(QString(no).remove('&'), "No");
    // The program's own text stays as it is.
    EXPECT_EQ(shown, "¿Desea Cerrar Zelvano? o solo minimizarlo\nSI = Cierra\nNO = Minimiza");

    QCoreApplication::removeTranslator(translator);
    delete translator;
}

// The tick, the window's buttons and the print button, around the grid the
// person at the desk reads: kept while shown, marked right after a save, and
// never printed as if whole after a failed download.
TEST(Window, TheClerksGridIsKeptMarkedAndNeverPrintedHalf)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    for (int id : {5001, 5002}) {
        addTrip(rig.ctx.grid, id, "Terminación");
        const int row = rig.ctx.grid.rowCount() - 1;
        rig.ctx.grid.setChildValue(row, 0, LoadCell::IdAlim, 3);
        rig.ctx.grid.setChildValue(row, 0, LoadCell::KgSug, 1500);
        rig.ctx.grid.setChildValue(row, 0, LoadCell::KgReal, 1490.5);
    }
    auto *view = child<QTreeView>(rig.form, "Report");
    ASSERT_EQ(view->model()->rowCount(), 2);

    // A save stores the trips and marks them at once.
    rig.form.cmdgrabar_Click();
    ASSERT_EQ(rig.home.scalar("select count(*) from lectura_viajes").toInt(), 2)
        << rig.form.jobResult().toStdString();
    for (int row : {0, 1})
        EXPECT_EQ(rig.ctx.grid.row(row).cells[TripCell::Id].icon, TripGrid::kStoredIcon);

    // Shown: the tick's download (which fails, no server) leaves the grid be
    // and says what it came to.
    rig.home.exec("update mi_empresa set usa_intervalo = true, intervalo_minutos = '0'");
    Scheduler scheduler(rig.ctx, rig.timer, rig.form.tickSteps());
    scheduler.TimeDesc_Timer();
    EXPECT_EQ(view->model()->rowCount(), 2);
    EXPECT_EQ(rig.ctx.grid.rowCount(), 2);
    EXPECT_EQ(&rig.form.shownGrid(), &rig.ctx.grid);
    EXPECT_TRUE(rig.form.jobResult().startsWith("Descarga automática de las 10:00:00 con error"));
    EXPECT_FALSE(rig.form.overlay().isVisible());

    // Hidden, as before: the tick's grid is the window's.
    rig.form.cmdsalir_Click();
    scheduler.TimeDesc_Timer();
    EXPECT_EQ(view->model()->rowCount(), 0);
    ASSERT_TRUE(rig.ctx.grid.failure().has_value());

    // What a failed download left is not printed: the error, no preview.
    rig.home.notices.clear();
    QTimer::singleShot(3000, &rig.form, [] { // a preview would wait for ever
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
    rig.form.CmdImprimir_Click(gui::PrintForm::Summary);
    ASSERT_EQ(rig.home.notices.notices().size(), 1u);
    EXPECT_TRUE(rig.home.notices.notices()[0].text.startsWith("No se imprimió"));
    EXPECT_TRUE(rig.home.notices.notices()[0].text.contains("No hay un servidor remoto"));

    // The events panel after a failed connection shows no old list as current.
    rig.form.mnuul_Click();
    ASSERT_FALSE(rig.form.eventListTexts().isEmpty());
    ASSERT_TRUE(QFile::remove(rig.home.filePath("conexion.txt")));
    rig.form.mnuul_Click();
    EXPECT_TRUE(rig.form.eventListTexts().isEmpty());
}

TEST(Window, KeysAndTypedDatesWorkAsOnAnyDesktopWindow)
{
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    rig.form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&rig.form));
    auto *line = child<gui::LinesLabel>(rig.form, "lblResultado");

    // Enter on the focused button presses it.
    auto *grabar = child<QPushButton>(rig.form, "cmdgrabar");
    grabar->setFocus();
    QTest::keyClick(grabar, Qt::Key_Return);
    settle(300);
    EXPECT_TRUE(line->fullText().startsWith("Grabación de las")) << line->fullText().toStdString();

    // Alt and the letter, the caption unchanged.
    auto *descargar = child<QPushButton>(rig.form, "CmdDescargar");
    EXPECT_EQ(descargar->text(), "Descargar");
    QTest::keyClick(&rig.form, Qt::Key_D, Qt::AltModifier);
    settle(300);
    EXPECT_TRUE(line->fullText().startsWith("Descarga de las")) << line->fullText().toStdString();

    // Enter in a date field downloads that range.
    child<QTabWidget>(rig.form, "Tabb")->setCurrentIndex(1);
    auto *hasta = child<gui::DatePicker>(rig.form, "DThasta");
    typeDate(hasta, "05/12/2026", false);
    rig.form.cmdgrabar_Click();
    QTest::keyClick(hasta->lineEdit(), Qt::Key_Return);
    settle(100);
    EXPECT_TRUE(line->fullText().startsWith("Descarga de las")) << line->fullText().toStdString();
    EXPECT_EQ(rig.ctx.grid.selection().to, QDate(2026, 12, 5));

    // A date that cannot be is refused by the fields, with a note.
    auto *desde = child<gui::DatePicker>(rig.form, "DTdesde");
    desde->setDate(QDate(2026, 12, 1));
    typeDate(desde, "31/02/2026");
    EXPECT_EQ(desde->text(), "01/12/2026");
    EXPECT_TRUE(rig.form.dateNote().contains("\"31/02/2026\" no es una fecha"));
    EXPECT_TRUE(child<QWidget>(rig.form, "lblNotaFechas")->isVisible());
    // Reversed: said, and nothing is sent (no download, no event).
    const int events = rig.home.scalar("select count(*) from sucesos").toInt();
    desde->setDate(QDate(2026, 12, 9));
    EXPECT_EQ(rig.form.dateNote(), QString()) << "a good date takes the note away";
    rig.form.CmdDescargar_Click();
    EXPECT_TRUE(rig.form.dateNote().startsWith("Desde es posterior a Hasta"));
    EXPECT_EQ(line->fullText(), "Descarga no enviada: Desde es posterior a Hasta");
    EXPECT_EQ(rig.home.scalar("select count(*) from sucesos").toInt(), events);

    // Escape closes the events panel.
    rig.form.mnuul_Click();
    ASSERT_TRUE(rig.form.eventPanelVisible());
    QTest::keyClick(child<QTreeWidget>(rig.form, "ReportSincro"), Qt::Key_Escape);
    EXPECT_FALSE(rig.form.eventPanelVisible());
}

// The first show at the office's screen (1366x768) at each scale the desktop
// may use, in a process of its own: the scale is read once, at start.
TEST(WindowScreen, FirstShowFitsTheScreenAtEveryScale)
{
    if (qEnvironmentVariableIsSet("ZELVANO_SCREEN_PROBE"))
        GTEST_SKIP();
    QTemporaryDir dir;
    QFile config(dir.filePath("screen.json"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(R"({"screens": [{"name": "office", "x": 0, "y": 0, "width": 1366,
                    "height": 768, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    config.close();
    for (const char *scale : {"1", "1.25", "1.5"}) {
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ZELVANO_SCREEN_PROBE", "1");
        env.insert("ZELVANO_TEST_QPA", "offscreen:configfile=" + config.fileName());
        env.insert("QT_SCALE_FACTOR", scale);
        probe.setProcessEnvironment(env);
        probe.setProcessChannelMode(QProcess::MergedChannels);
        probe.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=WindowScreenProbe.*"});
        ASSERT_TRUE(probe.waitForFinished(60000));
        const std::string out = probe.readAll().toStdString();
        EXPECT_EQ(probe.exitCode(), 0) << scale << "\n" << out;
        EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << scale << "\n" << out;
    }
}

TEST(WindowScreenProbe, FirstShowWithinTheAvailableArea)
{
    if (!qEnvironmentVariableIsSet("ZELVANO_SCREEN_PROBE"))
        GTEST_SKIP();
    WindowRig rig;
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
    const QRect area = rig.form.screen()->availableGeometry();
    const double scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble();
    EXPECT_EQ(area.width(), qRound(1366 / scale));
    EXPECT_TRUE(area.contains(rig.form.frameGeometry()))
        << area.width() << "x" << area.height() << " window " << rig.form.frameGeometry().x() << ","
        << rig.form.frameGeometry().y() << " " << rig.form.frameGeometry().width() << "x"
        << rig.form.frameGeometry().height();
    expectTextsFit(rig.form, "first show");
}

} // namespace
} // namespace zelvano::test
