#include "gui/frmsucesosauto.h"

#include "app/operation.h"
#include "common/vb.h"
#include "download/download.h"
#include "gui/icons.h"
#include "gui/popup.h"
#include "gui/printout.h"
#include "gui/tripgridmodel.h"
#include "gui/waitpanel.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "trips/save.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>

namespace zelvano::gui {

namespace {

// Design size of the window, in twips.
constexpr int kDesignWidth = 12000;
constexpr int kDesignHeight = 8000;
const QDate kNoDate(1900, 1, 1);

int px(int twips)
{
    return twipsToPixels(twips);
}

} // namespace

int twipsToPixels(int twips)
{
    return int(std::lround(double(twips) / kTwipsPerPixel));
}

int trayMessageNumber(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        return 513;
    case QSystemTrayIcon::DoubleClick:
        return 515;
    case QSystemTrayIcon::Context:
        return 516;
    case QSystemTrayIcon::MiddleClick:
        return 519;
    case QSystemTrayIcon::Unknown:
        break;
    }
    return 512;
}

ResizeLayout resizeLayout(int w, int h)
{
    auto size = [](int v) { return v < 0 ? -1 : v; };
    ResizeLayout l{};
    l.frSumWidth = size(w - 450);
    l.frSumHeight = size(h - 1550);
    l.cmdImprimirLeft = w - 3100;
    l.cmdImprimirTop = h - 1400;
    l.cmdSalirLeft = w - 1700;
    l.cmdSalirTop = h - 1400;
    l.reportWidth = l.frSumWidth < 0 ? -1 : size(l.frSumWidth - 150);
    l.reportHeight = l.frSumHeight < 0 ? -1 : size(l.frSumHeight - 300);
    l.cmdGrabarTop = h - 1300;
    return l;
}

QString closingQuestionText()
{
    return QStringLiteral(
        "¿Desea Cerrar Zelvano? o solo minimizarlo\r\nSI = Cierra\r\nNO = Minimiza");
}

FrmSucesosAuto::FrmSucesosAuto()
{
    setObjectName(QStringLiteral("FrmSucesosAuto"));
    setWindowTitle(QStringLiteral("Brenmoor Alerta"));
    setWindowIcon(programIcon());
    trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    buildControls();
    resize(px(kDesignWidth), px(kDesignHeight));
}

FrmSucesosAuto::~FrmSucesosAuto()
{
    if (m_tray)
        m_tray->hide();
    delete m_popup;
}

void FrmSucesosAuto::buildControls()
{
    m_frSum = new QGroupBox(QStringLiteral("Datos "), this);
    m_frSum->setObjectName(QStringLiteral("FrSum"));
    m_frSum->move(px(225), px(120));
    m_report = new QTreeView(m_frSum);
    m_report->setObjectName(QStringLiteral("Report"));
    m_report->move(px(75), px(240));
    m_report->setUniformRowHeights(true);
    m_report->setAlternatingRowColors(false);
    m_report->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_report->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_report->header()->setStretchLastSection(false);

    m_tabb = new QTabWidget(this);
    m_tabb->setObjectName(QStringLiteral("Tabb"));
    m_tabb->resize(px(4950), px(1320));
    auto *newTrips = new QWidget;
    auto *label2 = new QLabel(QStringLiteral("Mostrará solo los viajes nuevos"), newTrips);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->move(10, 14);
    auto *range = new QWidget;
    auto *label1 = new QLabel(QStringLiteral("Desde:"), range);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->move(8, 16);
    m_dtDesde = new QDateEdit(range);
    m_dtDesde->setObjectName(QStringLiteral("DTdesde"));
    m_dtDesde->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    m_dtDesde->setCalendarPopup(true);
    // The picker starts empty: its lowest date stands for "no date".
    m_dtDesde->setMinimumDate(kNoDate);
    m_dtDesde->setSpecialValueText(QStringLiteral(" "));
    m_dtDesde->setDate(kNoDate);
    m_dtDesde->setGeometry(58, 10, 105, 26);
    auto *label3 = new QLabel(QStringLiteral("Hasta:"), range);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->move(172, 16);
    m_dtHasta = new QDateEdit(range);
    m_dtHasta->setObjectName(QStringLiteral("DThasta"));
    m_dtHasta->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    m_dtHasta->setCalendarPopup(true);
    m_dtHasta->setGeometry(218, 10, 105, 26);
    m_tabb->addTab(newTrips, QStringLiteral("Viajes no descargados"));
    m_tabb->addTab(range, QStringLiteral("Entre Fechas"));
    connect(m_tabb, &QTabWidget::currentChanged, this, [this] { readTab(); });
    connect(m_dtDesde, &QDateEdit::dateChanged, this, [this] { readTab(); });
    connect(m_dtHasta, &QDateEdit::dateChanged, this, [this] { readTab(); });

    auto button = [this](const QString &name, const QString &caption, int leftTwips) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(px(leftTwips), 0, px(1350), px(450));
        return b;
    };
    m_cmdDescargar = button(QStringLiteral("CmdDescargar"), QStringLiteral("Descargar"), 5400);
    m_cmdGrabar = button(QStringLiteral("cmdgrabar"), QStringLiteral("Grabar"), 6900);
    m_cmdImprimir = button(QStringLiteral("CmdImprimir"), QStringLiteral("Imprimir"), 0);
    m_cmdSalir = button(QStringLiteral("cmdsalir"), QStringLiteral("Salir"), 0);
    connect(m_cmdDescargar, &QPushButton::clicked, this, [this] { CmdDescargar_Click(); });
    connect(m_cmdGrabar, &QPushButton::clicked, this, [this] { cmdgrabar_Click(); });
    connect(m_cmdImprimir, &QPushButton::clicked, this, [this] { CmdImprimir_Click(); });
    connect(m_cmdSalir, &QPushButton::clicked, this, [this] { cmdsalir_Click(); });

    m_frSuces = new QGroupBox(QStringLiteral("Zelvano"), this);
    m_frSuces->setObjectName(QStringLiteral("FrSuces"));
    m_frSuces->setAutoFillBackground(true);
    m_reportSincro = new QTreeWidget(m_frSuces);
    m_reportSincro->setObjectName(QStringLiteral("ReportSincro"));
    m_reportSincro->setRootIsDecorated(false);
    m_reportSincro->setUniformRowHeights(true);
    m_reportSincro->setHeaderLabels(
        {QStringLiteral("id"), QStringLiteral("Fecha"), QStringLiteral("Descripcion")});
    m_reportSincro->setColumnWidth(0, 20 * 6);
    m_reportSincro->setColumnWidth(1, 15 * 6);
    m_reportSincro->header()->setStretchLastSection(true);
    m_reportSincro->setColumnHidden(0, true);
    m_pushButton1 = new QPushButton(m_frSuces);
    m_pushButton1->setObjectName(QStringLiteral("PushButton1"));
    m_pushButton1->setIcon(closePanelIcon());
    m_pushButton1->setFlat(true);
    m_pushButton1->resize(24, 24);
    connect(m_pushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    m_frSuces->hide();

    m_frEspere = new WaitPanel(this);
    m_popup = new PopupNotice;

    m_menu = new QMenu(QStringLiteral("Menu"), this);
    m_menu->setObjectName(QStringLiteral("mnu"));
    QAction *ver = m_menu->addAction(QStringLiteral("Ver"));
    ver->setObjectName(QStringLiteral("mnuver"));
    QAction *ul = m_menu->addAction(QStringLiteral("Ultimos Sucesos"));
    ul->setObjectName(QStringLiteral("mnuul"));
    QAction *salir = m_menu->addAction(QStringLiteral("Salir"));
    salir->setObjectName(QStringLiteral("mnusalir"));
    connect(ver, &QAction::triggered, this, [this] { mnuver_Click(); });
    connect(ul, &QAction::triggered, this, [this] { mnuul_Click(); });
    connect(salir, &QAction::triggered, this, [this] { mnusalir_Click(); });

    m_tray = new QSystemTrayIcon(programIcon(), this);
    connect(m_tray, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                trayCallback(trayMessageNumber(reason));
            });
}

void FrmSucesosAuto::attach(AppContext &ctx)
{
    m_ctx = &ctx;
    m_model = new TripGridModel(ctx.grid, this);
    m_report->setModel(m_model);
    connect(m_model, &TripGridModel::columnsReset, this, [this] { applyGridColumns(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        if (m_report->header()->count() > 0 && m_ctx &&
            m_report->header()->count() == int(m_ctx->grid.columns().size()))
            applyGridColumns();
    });
    applyGridColumns();
    m_dtHasta->setDate(ctx.DThasta.isValid() ? ctx.DThasta : ctx.today());
    readTab();
}

void FrmSucesosAuto::detach()
{
    m_report->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
    m_ctx = nullptr;
}

void FrmSucesosAuto::applyGridColumns()
{
    if (!m_ctx)
        return;
    const auto &columns = m_ctx->grid.columns();
    for (size_t i = 0; i < columns.size(); ++i) {
        m_report->setColumnHidden(int(i), !columns[i].visible);
        // Twice the grid's width, and never narrower than the caption (the tree
        // column also holds the indentation of the loads and unloads).
        const QFontMetrics fm(m_report->header()->font());
        int width = std::max(columns[i].width * 2, fm.horizontalAdvance(columns[i].caption) + 16);
        if (columns[i].tree)
            width = std::max(width, fm.horizontalAdvance(QStringLiteral("Descarga")) + 24 +
                                        m_report->indentation());
        m_report->setColumnWidth(int(i), width);
    }
}

void FrmSucesosAuto::readTab()
{
    if (!m_ctx)
        return;
    m_ctx->newTripsOnly = m_tabb->currentIndex() == 0;
    m_ctx->DTdesde = m_dtDesde->date() == kNoDate ? QDate() : m_dtDesde->date();
    m_ctx->DThasta = m_dtHasta->date();
}

void FrmSucesosAuto::setCaption(const QString &caption)
{
    m_caption = caption;
    setWindowTitle(caption);
}

void FrmSucesosAuto::setTrayTip(const QString &tip)
{
    m_tip = trayTipText(tip);
    m_tray->setToolTip(m_tip);
}

void FrmSucesosAuto::showWindow()
{
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void FrmSucesosAuto::yieldToEvents()
{
    QCoreApplication::processEvents();
}

void FrmSucesosAuto::prepareGrid()
{
    // The pickers as the start-up left them: DTdesde empty, DThasta today.
    if (m_ctx) {
        m_dtDesde->setDate(m_ctx->DTdesde.isValid() ? m_ctx->DTdesde : kNoDate);
        m_dtHasta->setDate(m_ctx->DThasta);
    }
    m_report->viewport()->update();
}

void FrmSucesosAuto::addTrayIcon()
{
    m_hasTray = trayAvailable && trayAvailable();
    m_tray->setToolTip(m_tip);
    if (m_hasTray) {
        m_tray->show();
        return;
    }
    // Without a notification area the window stays on the desktop, and the
    // icon goes in when one appears (a panel that starts after the program).
    showWindow();
    if (!m_trayRetry) {
        m_trayRetry = new QTimer(this);
        connect(m_trayRetry, &QTimer::timeout, this, [this] { retryTrayIcon(); });
    }
    m_trayRetriesLeft = trayRetries;
    m_trayRetry->start(trayRetryMs);
    if (m_ctx) {
        AppContext &ctx = *m_ctx;
        runUserOperation(ctx, QStringLiteral("Agregar_Icono"), [&ctx] {
            if (ctx.Connected)
                Grabar_Suceso(
                    ctx, ctx.today(),
                    QStringLiteral("No hay area de notificacion en el escritorio: Zelvano "
                                   "queda abierto en una ventana a las ") +
                        ctx.timeText());
        });
    }
}

void FrmSucesosAuto::retryTrayIcon()
{
    if (--m_trayRetriesLeft <= 0)
        m_trayRetry->stop();
    if (!trayAvailable || !trayAvailable())
        return;
    m_trayRetry->stop();
    m_hasTray = true;
    m_tray->show();
    hide();
}

void FrmSucesosAuto::hideWindow()
{
    if (m_hasTray)
        hide();
}

void FrmSucesosAuto::putAway()
{
    if (m_hasTray)
        hide();
    else
        showMinimized();
}

void FrmSucesosAuto::trayCallback(int message)
{
    switch (trayCallbackAction(message)) {
    case TrayAction::ShowMenu:
        m_menu->popup(QCursor::pos());
        break;
    case TrayAction::ShowWindow:
        showWindow();
        break;
    case TrayAction::Nothing:
        break;
    }
}

void FrmSucesosAuto::mnuver_Click()
{
    showWindow();
    m_frSuces->hide();
}

void FrmSucesosAuto::mnuul_Click()
{
    showWindow();
    m_frSuces->show();
    m_frSuces->raise();
    m_frEspere->raise();
    m_reportSincro->setFocus();
    if (!m_ctx)
        return;
    AppContext &ctx = *m_ctx;
    if (runUserOperation(ctx, QStringLiteral("Cargar_Sucesos"), [&ctx] { Cargar_Sucesos(ctx); }))
        fillEventList();
}

void FrmSucesosAuto::fillEventList()
{
    m_reportSincro->clear();
    QList<QTreeWidgetItem *> items;
    for (const EventRow &row : m_ctx->events)
        items << new QTreeWidgetItem(
            {vb::joinText(row.id), vb::joinText(row.fecha), vb::joinText(row.descripcion)});
    m_reportSincro->addTopLevelItems(items);
}

QStringList FrmSucesosAuto::eventListTexts() const
{
    QStringList texts;
    for (int i = 0; i < m_reportSincro->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_reportSincro->topLevelItem(i);
        texts << item->text(1) + QLatin1Char('\t') + item->text(2);
    }
    return texts;
}

bool FrmSucesosAuto::eventPanelVisible() const
{
    return m_frSuces->isVisible();
}

void FrmSucesosAuto::mnusalir_Click()
{
    Form_Unload();
}

void FrmSucesosAuto::cmdsalir_Click()
{
    putAway();
}

void FrmSucesosAuto::PushButton1_Click()
{
    m_frSuces->hide();
}

void FrmSucesosAuto::CmdDescargar_Click()
{
    if (!m_ctx)
        return;
    readTab();
    AppContext &ctx = *m_ctx;
    runUserOperation(ctx, QStringLiteral("CmdDescargar_Click"),
                     [&ctx] { ::zelvano::CmdDescargar_Click(ctx); });
}

void FrmSucesosAuto::cmdgrabar_Click()
{
    if (!m_ctx)
        return;
    AppContext &ctx = *m_ctx;
    runUserOperation(ctx, QStringLiteral("CmdGrabar_Click"),
                     [&ctx] { ::zelvano::CmdGrabar_Click(ctx); });
}

void FrmSucesosAuto::CmdImprimir_Click()
{
    if (m_ctx)
        ::zelvano::gui::CmdImprimir_Click(*m_ctx, this);
}

bool FrmSucesosAuto::Form_Unload()
{
    if (m_ending)
        return true;
    if (!m_ctx)
        return false;
    const bool close =
        m_ctx->notices.askYesNo(closingQuestionText(), QStringLiteral("Que desea hacer"), true);
    if (!close) {
        putAway();
        return false;
    }
    m_ending = true;
    m_tray->hide();
    QCoreApplication::processEvents();
    if (m_ctx->endProgram)
        m_ctx->endProgram(0);
    return true;
}

void FrmSucesosAuto::closeEvent(QCloseEvent *event)
{
    if (Form_Unload())
        event->accept();
    else
        event->ignore();
}

QWidget *FrmSucesosAuto::control(const QString &name) const
{
    return findChild<QWidget *>(name);
}

void FrmSucesosAuto::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyResizeRules(width() * kTwipsPerPixel, height() * kTwipsPerPixel);
}

void FrmSucesosAuto::applyResizeRules(int w, int h)
{
    const ResizeLayout l = resizeLayout(w, h);
    // Each rule on its own: one that cannot apply leaves its control as it was.
    if (l.frSumWidth >= 0)
        m_frSum->resize(px(l.frSumWidth), m_frSum->height());
    if (l.frSumHeight >= 0)
        m_frSum->resize(m_frSum->width(), px(l.frSumHeight));
    m_cmdImprimir->move(px(l.cmdImprimirLeft), px(l.cmdImprimirTop));
    m_cmdSalir->move(px(l.cmdSalirLeft), px(l.cmdSalirTop));
    if (l.reportWidth >= 0)
        m_report->resize(px(l.reportWidth), m_report->height());
    if (l.reportHeight >= 0)
        m_report->resize(m_report->width(), px(l.reportHeight));
    m_cmdGrabar->move(m_cmdGrabar->x(), px(l.cmdGrabarTop));

    // Beyond the rules: the tab and the download button keep to the bottom
    // like the other buttons, the event panel covers the window.
    m_tabb->move(px(225), px(h - 1450));
    m_cmdDescargar->move(m_cmdDescargar->x(), px(l.cmdGrabarTop));
    const int margin = px(120);
    m_frSuces->setGeometry(margin, margin, std::max(0, px(w) - 2 * margin),
                           std::max(0, px(h) - 2 * margin));
    m_reportSincro->setGeometry(8, 22, std::max(0, m_frSuces->width() - 16),
                                std::max(0, m_frSuces->height() - 30));
    m_pushButton1->move(m_frSuces->width() - m_pushButton1->width() - 6, 0);
    m_pushButton1->raise();
    m_frEspere->centre();
}

} // namespace zelvano::gui
