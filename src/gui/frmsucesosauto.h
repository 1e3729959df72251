#pragma once

#include "app/jobrecord.h"
#include "app/scheduler.h"
#include "app/startup.h"
#include "common/windowstatus.h"
#include "gui/columnfit.h"
#include "gui/printout.h"

#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QGroupBox;
class QSettings;
class QTimer;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;
class QTreeView;
class QTreeWidget;
class QAction;
class QTimer;

namespace zelvano {
struct AppContext;
}

namespace zelvano::gui {

class DatePicker;
class LinesLabel;
class PopupNotice;
class TripGridModel;
class WaitPanel;

// The message number a tray activation stands for: 513 left button down,
// 515 left double-click, 516 right button down, 512 (mouse move) otherwise.
int trayMessageNumber(QSystemTrayIcon::ActivationReason reason);

// The window's own settings (its size, the widths the user gave the grid's
// columns) in the user's configuration folder; the suite's settings stay in
// its database.
std::unique_ptr<QSettings> openWindowSettings();

// The program's one window: the trip panel with its grid, tab and buttons,
// the event panel, the wait overlay, the pop-up notice and the tray icon.
class FrmSucesosAuto final : public QWidget, public WindowStatus, public ShellWindow
{
    Q_OBJECT
public:
    FrmSucesosAuto();
    ~FrmSucesosAuto() override;

    // Connects the window to the run's context (which was built on it).
    void attach(AppContext &ctx);
    // Lets go of the context before it goes: the report reads its grid.
    void detach();

    WaitPanel &overlay() { return *m_frEspere; }
    // The last run of each job, shown in the tray tip and beside the result
    // line; the window's jobs and the scheduler's record into it.
    JobBoard &jobBoard() { return m_jobBoard; }
    // What the tray icon shows when hovered: the tip the system writes, then
    // the last run of each job.
    QString trayToolTip() const;
    PopupNotice &popupNotice() { return *m_popup; }

    // WindowStatus
    void setCaption(const QString &caption) override;
    QString caption() const override { return m_caption; }
    void setTrayTip(const QString &tip) override;
    QString trayTip() const override { return m_tip; }
    void showWindow() override;
    void yieldToEvents() override;
    void showJobResult(const QString &text, ResultLine line) override;
    QString jobResult() const override { return m_resultText; }

    // ShellWindow
    void prepareGrid() override;
    void addTrayIcon() override;
    void hideWindow() override;

    // The tray callback for one message number.
    void trayCallback(int message);

    // Menu entries and buttons.
    void mnuver_Click();
    void mnuul_Click();
    void mnusalir_Click();
    void cmdsalir_Click();
    void PushButton1_Click();
    void CmdDescargar_Click();
    void cmdgrabar_Click();
    // "Imprimir" offers both forms in a menu; this prints one of them.
    void CmdImprimir_Click(PrintForm form = PrintForm::Full);
    QMenu *printMenu() const { return m_printMenu; }

    // While the window is shown, the tick's download and save work on a grid
    // of their own and the window keeps the grid the person at the desk was
    // reading; the tick's end gives it back to the jobs with its stored marks
    // brought up to date. Hidden, the tick works on the shown grid.
    void beginAutomaticJob();
    void endAutomaticJob();
    // The grid the window shows now.
    const TripGrid &shownGrid() const;
    // The scheduler's steps with the window's part: the kept grid, and the
    // stored marks after an automatic save.
    TickSteps tickSteps();
    // Puts the stored mark on the shown grid's trips (the connection open).
    void markStoredTrips();

    // The closing question; true when the program ends.
    bool Form_Unload();

    // The controls, for the layout rules and for tests.
    QWidget *control(const QString &name) const;
    QMenu *trayMenu() const { return m_menu; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    bool eventPanelVisible() const;
    // The note by the date fields ("" when none).
    QString dateNote() const;
    // The text of the event list, one line per row.
    QStringList eventListTexts() const;

    // Sizes the trip grid's columns to what they hold now (the window does it
    // by itself shortly after each download).
    void fitColumns();
    // The widths the user gave columns by hand, by column index (0: none).
    const std::vector<int> &userColumnWidths() const { return m_userWidths; }
    // Writes the window's size and the user's column widths.
    void saveWindowSettings() const;

    // Whether the desktop has a notification area; tests choose.
    std::function<bool()> trayAvailable;
    // Without one at start-up, how often and how many times to look again.
    int trayRetryMs = 10000;
    int trayRetries = 60;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildRangeTab(QWidget *page);
    void buildLayout();
    // The first show: no larger than the screen's free area, and inside it.
    void placeOnScreen();
    void showDateNote(const QString &note);
    // A reversed range is said by the fields and nothing is sent.
    bool rangeIsSound();
    void loadWindowSettings();
    void applyGridColumns();
    void applyColumnWidths();
    void fitColumnsSoon();
    void fillEventList();
    void layoutEventRowsSoon();
    void readTab();
    // Hides the window; without a notification area it is minimised instead,
    // or nothing would bring it back.
    void putAway();
    // The notification area came after the program: the icon goes in.
    void retryTrayIcon();
    void showJobRecords();

    AppContext *m_ctx = nullptr;
    QString m_caption;
    QString m_tip;
    bool m_hasTray = false;
    bool m_ending = false;

    QGroupBox *m_frSum = nullptr;
    QTreeView *m_report = nullptr;
    TripGridModel *m_model = nullptr;
    QTabWidget *m_tabb = nullptr;
    DatePicker *m_dtDesde = nullptr;
    DatePicker *m_dtHasta = nullptr;
    QPushButton *m_cmdDescargar = nullptr;
    QPushButton *m_cmdGrabar = nullptr;
    QPushButton *m_cmdImprimir = nullptr;
    QPushButton *m_cmdSalir = nullptr;
    QGroupBox *m_frSuces = nullptr;
    QTreeWidget *m_reportSincro = nullptr;
    QPushButton *m_pushButton1 = nullptr;
    WaitPanel *m_frEspere = nullptr;
    PopupNotice *m_popup = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_menu = nullptr;

    // What the last job came to, under the buttons.
    LinesLabel *m_result = nullptr;
    QString m_resultText;
    // The last run of each job, under "Imprimir" and "Salir".
    LinesLabel *m_jobs = nullptr;
    LinesLabel *m_dateNote = nullptr;
    QMenu *m_printMenu = nullptr;
    // The grid the person at the desk was reading, while a tick works.
    std::unique_ptr<TripGrid> m_keptGrid;
    bool m_placed = false;
    JobBoard m_jobBoard;

    // Column widths: what each column's content asks for (measured after a
    // download), and what the user gave by dragging a header's edge.
    std::vector<ColumnFit> m_fits;
    std::vector<int> m_userWidths;
    QTimer *m_fitTimer = nullptr;
    bool m_settingWidths = false;
    bool m_headerPressed = false;
    bool m_eventLayoutPending = false;

    QTimer *m_trayRetry = nullptr;
    int m_trayRetriesLeft = 0;
};

// The closing question's text: three lines.
QString closingQuestionText();

} // namespace zelvano::gui
