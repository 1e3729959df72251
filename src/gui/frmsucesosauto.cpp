#include "gui/frmsucesosauto.h"

#include "app/jobresults.h"
#include "app/operation.h"
#include "common/error.h"
#include "common/gridcolumns.h"
#include "common/vb.h"
#include "download/download.h"
#include "download/storedtrips.h"
#include "gui/datepicker.h"
#include "gui/icons.h"
#include "gui/lineslabel.h"
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
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <optional>

namespace zelvano::gui {

namespace {

// The window's first size, before the user gives it one (a first show on a
// smaller screen takes the screen's free area instead).
constexpr int kDesignWidth = 1000;
constexpr int kDesignHeight = 620;
constexpr int kButtonWidth = 90;
// The trip grid keeps a few rows in sight at the smallest size.
constexpr int kGridMinimumHeight = 110;

// Room around a cell's text, and a grid icon with its gap.
constexpr int kCellPadding = 12;
constexpr int kIconRoom = 16 + 6;

// The most a column grows to hold its content, in pixels: a longer text shows
// whole in the cell's tool tip.
int columnCeiling(int column)
{
    switch (column) {
    case TripCell::Receta:
        return 260;
    case UnloadCell::Gps:
        return 200;
    case UnloadCell::Suceso:
        return 360;
    default:
        return 180;
    }
}

// Rows as tall as their wrapped text: the tree view measures rows without
// their columns' widths, so a wrapped text would be cut to its first line.
class WrappingDelegate final : public QStyledItemDelegate
{
public:
    WrappingDelegate(QTreeView *view, int column)
        : QStyledItemDelegate(view), m_view(view), m_column(column)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        if (index.column() != m_column)
            return size;
        const int margin =
            m_view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_view) + 1;
        const int width = std::max(1, m_view->columnWidth(m_column) - 2 * margin);
        const QRect text =
            QFontMetrics(option.font)
                .boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap | Qt::TextWrapAnywhere,
                              index.data().toString());
        size.setHeight(std::max(size.height(), text.height() + 2));
        return size;
    }

private:
    QTreeView *m_view;
    int m_column;
};

const QString kWindowSize = QStringLiteral("window/size");
const QString kColumnWidths = QStringLiteral("grid/userWidths");

} // namespace

std::unique_ptr<QSettings> openWindowSettings()
{
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                       QStringLiteral("zelvano"), QStringLiteral("window"));
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
    m_userWidths.assign(kTripGridColumns, 0);
    buildControls();
    buildLayout();
    resize(QSize(kDesignWidth, kDesignHeight).expandedTo(minimumSizeHint()));
    loadWindowSettings();
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
    m_report = new QTreeView(m_frSum);
    m_report->setObjectName(QStringLiteral("Report"));
    m_report->setMinimumHeight(kGridMinimumHeight);
    m_report->setUniformRowHeights(true);
    m_report->setAlternatingRowColors(false);
    m_report->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_report->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_report->header()->setStretchLastSection(false);
    // Widths the user gives by dragging a header's edge are kept; a
    // double-click on the edge gives the column back to the automatic width.
    m_report->header()->viewport()->installEventFilter(this);
    connect(m_report->header(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) {
                if (m_settingWidths || !m_headerPressed || column < 0 ||
                    column >= int(m_userWidths.size()))
                    return;
                m_userWidths[size_t(column)] = width;
            });
    connect(m_report->header(), &QHeaderView::sectionHandleDoubleClicked, this, [this](int column) {
        if (column >= 0 && column < int(m_userWidths.size()))
            m_userWidths[size_t(column)] = 0;
        applyColumnWidths();
        saveWindowSettings();
    });
    m_fitTimer = new QTimer(this);
    m_fitTimer->setSingleShot(true);
    connect(m_fitTimer, &QTimer::timeout, this, [this] { fitColumns(); });

    m_tabb = new QTabWidget(this);
    m_tabb->setObjectName(QStringLiteral("Tabb"));
    auto *newTrips = new QWidget;
    auto *label2 = new QLabel(QStringLiteral("Mostrará solo los viajes nuevos"), newTrips);
    label2->setObjectName(QStringLiteral("Label2"));
    auto *newTripsLayout = new QVBoxLayout(newTrips);
    newTripsLayout->setContentsMargins(8, 8, 8, 8);
    newTripsLayout->addWidget(label2);
    newTripsLayout->addStretch(1);
    auto *range = new QWidget;
    buildRangeTab(range);
    m_tabb->addTab(newTrips, QStringLiteral("Viajes no descargados"));
    m_tabb->addTab(range, QStringLiteral("Entre Fechas"));
    connect(m_tabb, &QTabWidget::currentChanged, this, [this] { readTab(); });
    connect(m_dtDesde, &DatePicker::dateChanged, this, [this] { readTab(); });
    connect(m_dtHasta, &DatePicker::dateChanged, this, [this] { readTab(); });

    // Alt and a letter presses a button; Enter presses the one with the focus.
    auto button = [this](const QString &name, const QString &caption, Qt::Key key) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setMinimumWidth(kButtonWidth);
        b->setShortcut(QKeySequence(Qt::ALT | key));
        b->setToolTip(caption + QStringLiteral(" (") +
                      b->shortcut().toString(QKeySequence::NativeText) + u')');
        b->installEventFilter(this);
        return b;
    };
    m_cmdDescargar = button(QStringLiteral("CmdDescargar"), QStringLiteral("Descargar"), Qt::Key_D);
    m_cmdGrabar = button(QStringLiteral("cmdgrabar"), QStringLiteral("Grabar"), Qt::Key_G);
    m_cmdImprimir = button(QStringLiteral("CmdImprimir"), QStringLiteral("Imprimir"), Qt::Key_I);
    m_cmdSalir = button(QStringLiteral("cmdsalir"), QStringLiteral("Salir"), Qt::Key_S);
    connect(m_cmdDescargar, &QPushButton::clicked, this, [this] { CmdDescargar_Click(); });
    connect(m_cmdGrabar, &QPushButton::clicked, this, [this] { cmdgrabar_Click(); });
    connect(m_cmdSalir, &QPushButton::clicked, this, [this] { cmdsalir_Click(); });
    // Both print-outs: every load and unload, or one line per trip.
    m_printMenu = new QMenu(this);
    m_printMenu->setObjectName(QStringLiteral("mnuImprimir"));
    QAction *full = m_printMenu->addAction(QStringLiteral("Listado completo (cargas y descargas)"));
    full->setObjectName(QStringLiteral("mnuImprimirCompleto"));
    QAction *summary = m_printMenu->addAction(QStringLiteral("Resumen (un viaje por línea)"));
    summary->setObjectName(QStringLiteral("mnuImprimirResumen"));
    connect(full, &QAction::triggered, this, [this] { CmdImprimir_Click(PrintForm::Full); });
    connect(summary, &QAction::triggered, this, [this] { CmdImprimir_Click(PrintForm::Summary); });
    connect(m_cmdImprimir, &QPushButton::clicked, this, [this] {
        // Under the button, its right edge on the button's: the window's edge is near.
        const int left = m_cmdImprimir->width() - m_printMenu->sizeHint().width();
        m_printMenu->popup(m_cmdImprimir->mapToGlobal(QPoint(left, m_cmdImprimir->height())));
    });

    // What the last job came to: wrapped onto three lines at most.
    m_result = new LinesLabel(3, true, this);
    m_result->setObjectName(QStringLiteral("lblResultado"));
    // Each job's last run on a line of its own, cut to the room.
    m_jobs = new LinesLabel(3, false, this);
    m_jobs->setObjectName(QStringLiteral("lblTrabajos"));
    m_jobBoard.onChange([this] { showJobRecords(); });

    m_frSuces = new QGroupBox(QStringLiteral("Zelvano"), this);
    m_frSuces->setObjectName(QStringLiteral("FrSuces"));
    m_frSuces->setAutoFillBackground(true);
    m_reportSincro = new QTreeWidget(m_frSuces);
    m_reportSincro->setObjectName(QStringLiteral("ReportSincro"));
    m_reportSincro->setRootIsDecorated(false);
    // An event's text wraps onto as many lines as it needs: its time is at the end.
    m_reportSincro->setUniformRowHeights(false);
    m_reportSincro->setWordWrap(true);
    m_reportSincro->setTextElideMode(Qt::ElideNone);
    m_reportSincro->setItemDelegate(new WrappingDelegate(m_reportSincro, 2));
    m_reportSincro->setHeaderLabels(
        {QStringLiteral("id"), QStringLiteral("Fecha"), QStringLiteral("Descripcion")});
    m_reportSincro->setColumnWidth(0, 20 * 6);
    m_reportSincro->setColumnWidth(1, 15 * 6);
    m_reportSincro->header()->setStretchLastSection(true);
    m_reportSincro->setColumnHidden(0, true);
    // A scroll bar that came and went with the rows' heights would change the
    // width they wrap to, and so their heights again.
    m_reportSincro->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    connect(m_reportSincro->header(), &QHeaderView::sectionResized, this,
            [this] { layoutEventRowsSoon(); });
    m_pushButton1 = new QPushButton(m_frSuces);
    m_pushButton1->setObjectName(QStringLiteral("PushButton1"));
    m_pushButton1->setIcon(closePanelIcon());
    m_pushButton1->setFlat(true);
    m_pushButton1->setFixedSize(24, 24);
    m_pushButton1->setToolTip(QStringLiteral("Cerrar (Esc)"));
    connect(m_pushButton1, &QPushButton::clicked, this, [this] { PushButton1_Click(); });
    m_frSuces->hide();
    m_frSum->installEventFilter(this);

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

void FrmSucesosAuto::buildRangeTab(QWidget *page)
{
    auto *label1 = new QLabel(QStringLiteral("Desde:"), page);
    label1->setObjectName(QStringLiteral("Label1"));
    m_dtDesde = new DatePicker(true, page);
    m_dtDesde->setObjectName(QStringLiteral("DTdesde"));
    // An empty picker opens its calendar at today, where a range usually ends.
    m_dtDesde->emptyAnchor = [this] { return m_ctx ? m_ctx->today() : QDate::currentDate(); };
    auto *label3 = new QLabel(QStringLiteral("Hasta:"), page);
    label3->setObjectName(QStringLiteral("Label3"));
    m_dtHasta = new DatePicker(false, page);
    m_dtHasta->setObjectName(QStringLiteral("DThasta"));
    m_dtHasta->emptyAnchor = m_dtDesde->emptyAnchor;
    // Room for a whole date and the empty field's hint.
    const int textWidth =
        m_dtDesde->lineEdit()->fontMetrics().horizontalAdvance(QStringLiteral("00/00/00000")) + 12;
    m_dtDesde->lineEdit()->setMinimumWidth(textWidth);
    m_dtHasta->lineEdit()->setMinimumWidth(textWidth);
    // One date under the other: the tab stays narrow and leaves the width to
    // the result and job lines.
    auto *dates = new QGridLayout;
    dates->setHorizontalSpacing(6);
    dates->setVerticalSpacing(4);
    dates->addWidget(label1, 0, 0);
    dates->addWidget(m_dtDesde, 0, 1);
    dates->addWidget(label3, 1, 0);
    dates->addWidget(m_dtHasta, 1, 1);
    dates->setColumnStretch(1, 1);
    // What was wrong with the dates typed, by the fields.
    m_dateNote = new LinesLabel(2, true, page);
    m_dateNote->setObjectName(QStringLiteral("lblNotaFechas"));
    m_dateNote->setMinimumWidth(textWidth + 80);
    QPalette note = m_dateNote->palette();
    note.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
    m_dateNote->setPalette(note);
    auto *column = new QVBoxLayout(page);
    column->setContentsMargins(8, 6, 8, 2);
    column->setSpacing(2);
    column->addLayout(dates);
    column->addWidget(m_dateNote);
    column->addStretch(1);
    for (DatePicker *picker : {m_dtDesde, m_dtHasta}) {
        connect(picker, &DatePicker::refused, this, [this](const QString &typed) {
            showDateNote(
                QStringLiteral("\"%1\" no es una fecha: se dejó la fecha anterior").arg(typed));
        });
        connect(picker, &DatePicker::dateChanged, this, [this] { showDateNote(QString()); });
        // Enter in a date field downloads that range.
        connect(picker, &DatePicker::returnPressed, this,
                [this] { QTimer::singleShot(0, this, [this] { CmdDescargar_Click(); }); });
    }
}

void FrmSucesosAuto::buildLayout()
{
    auto *sum = new QVBoxLayout(m_frSum);
    sum->setContentsMargins(5, 5, 5, 5);
    sum->addWidget(m_report);

    auto *middle = new QVBoxLayout;
    auto *middleButtons = new QHBoxLayout;
    middleButtons->addWidget(m_cmdDescargar);
    middleButtons->addWidget(m_cmdGrabar);
    middleButtons->addStretch(1);
    middle->addLayout(middleButtons);
    middle->addWidget(m_result);
    middle->addStretch(1);

    auto *right = new QVBoxLayout;
    auto *rightButtons = new QHBoxLayout;
    rightButtons->addStretch(1);
    rightButtons->addWidget(m_cmdImprimir);
    rightButtons->addWidget(m_cmdSalir);
    right->addLayout(rightButtons);
    right->addWidget(m_jobs);
    right->addStretch(1);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_tabb, 0);
    bottom->addLayout(middle, 1);
    bottom->addLayout(right, 1);

    // The grid takes every pixel the bottom row leaves; the event panel
    // covers the trip panel (same cell), so the buttons stay in sight.
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(10, 8, 10, 6);
    grid->addWidget(m_frSum, 0, 0);
    grid->addWidget(m_frSuces, 0, 0);
    grid->addLayout(bottom, 1, 0);
    grid->setRowStretch(0, 1);
    m_tabb->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    // Both tabs' captions whole: the tab is never narrower than they are.
    m_tabb->setUsesScrollButtons(false);

    auto *events = new QGridLayout(m_frSuces);
    events->setContentsMargins(6, 6, 6, 6);
    events->setSpacing(2);
    events->addWidget(m_pushButton1, 0, 0, Qt::AlignRight);
    events->addWidget(m_reportSincro, 1, 0);
}

void FrmSucesosAuto::attach(AppContext &ctx)
{
    m_ctx = &ctx;
    m_model = new TripGridModel(ctx.grid, this);
    m_report->setModel(m_model);
    connect(m_model, &TripGridModel::columnsReset, this, [this] { applyGridColumns(); });
    // A reset gives the header its default widths back: the known ones go on
    // again at once, the content is measured again once the rows settle.
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        if (m_report->header()->count() > 0 && m_ctx &&
            m_report->header()->count() == int(m_ctx->grid.columns().size()))
            applyColumnWidths();
        fitColumnsSoon();
    });
    connect(m_model, &QAbstractItemModel::layoutChanged, this, [this] { fitColumnsSoon(); });
    applyGridColumns();
    m_dtHasta->setDate(ctx.DThasta.isValid() ? ctx.DThasta : ctx.today());
    readTab();
    showJobRecords();
}

void FrmSucesosAuto::detach()
{
    saveWindowSettings();
    m_fitTimer->stop();
    m_report->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
    m_ctx = nullptr;
}

void FrmSucesosAuto::loadWindowSettings()
{
    const std::unique_ptr<QSettings> settings = openWindowSettings();
    const QSize size = settings->value(kWindowSize).toSize();
    if (size.isValid())
        resize(size.expandedTo(minimumSize()));
    const QStringList widths = settings->value(kColumnWidths).toStringList();
    for (int i = 0; i < widths.size() && i < int(m_userWidths.size()); ++i)
        m_userWidths[size_t(i)] = std::max(0, widths[i].toInt());
}

void FrmSucesosAuto::saveWindowSettings() const
{
    const std::unique_ptr<QSettings> settings = openWindowSettings();
    settings->setValue(kWindowSize, size());
    QStringList widths;
    for (int w : m_userWidths)
        widths << QString::number(w);
    settings->setValue(kColumnWidths, widths);
}

void FrmSucesosAuto::applyGridColumns()
{
    if (!m_ctx)
        return;
    const auto &columns = m_ctx->grid.columns();
    for (size_t i = 0; i < columns.size(); ++i)
        m_report->setColumnHidden(int(i), !columns[i].visible);
    fitColumns();
}

void FrmSucesosAuto::fitColumnsSoon()
{
    // Shortly after a change; while a download adds rows, once a second.
    if (!m_fitTimer->isActive())
        m_fitTimer->start(m_ctx && m_ctx->downloadRunning ? 1000 : 150);
}

void FrmSucesosAuto::fitColumns()
{
    m_fitTimer->stop();
    if (!m_ctx)
        return;
    const TripGrid &grid = shownGrid();
    const auto &columns = grid.columns();
    const QFontMetrics fm(m_report->font());
    const QFontMetrics header(m_report->header()->font());
    const int indent = m_report->indentation();
    // Thousands of rows repeat a few shapes of text: times, kilograms, names.
    // Digits are as wide as each other, so a text is measured once per shape.
    QHash<QString, int> advances;
    auto advance = [&](const QString &text) {
        QString shape = text;
        for (QChar &c : shape)
            if (c.isDigit())
                c = u'0';
        auto known = advances.constFind(shape);
        if (known == advances.constEnd())
            known = advances.insert(shape, fm.horizontalAdvance(shape));
        return *known;
    };
    m_fits.assign(columns.size(), ColumnFit{});
    for (size_t i = 0; i < columns.size(); ++i) {
        ColumnFit &fit = m_fits[i];
        const int column = int(i);
        fit.floor = header.horizontalAdvance(columns[i].caption) + 2 * kCellPadding;
        fit.ceiling = columnCeiling(column);
        fit.yieldsFirst = column == UnloadCell::Suceso;
        if (!columns[i].visible)
            continue;
        // The tree column holds the expand mark and the loads' and unloads'
        // indentation: "Descarga" must fit whole.
        if (columns[i].tree)
            fit.floor = std::max(fit.floor, fm.horizontalAdvance(QStringLiteral("Descarga")) +
                                                2 * indent + kCellPadding);
        auto width = [&](const TripGrid::Row &row, bool child) {
            const QString text = TripGridModel::shownText(row, column, child);
            const bool icon = row.cells[i].icon != TripGrid::kNoIcon;
            return advance(text) + kCellPadding + (icon ? kIconRoom : 0) +
                   (columns[i].tree ? indent * (child ? 2 : 1) : 0);
        };
        int widest = 0;
        for (const TripGrid::Row &trip : grid.rows()) {
            if (i < trip.cells.size())
                widest = std::max(widest, width(trip, false));
            for (const TripGrid::Row &child : trip.children)
                if (i < child.cells.size())
                    widest = std::max(widest, width(child, true));
        }
        fit.content = widest;
    }
    applyColumnWidths();
}

void FrmSucesosAuto::applyColumnWidths()
{
    if (!m_ctx || m_fits.size() != m_ctx->grid.columns().size())
        return;
    const auto &columns = m_ctx->grid.columns();
    std::vector<ColumnFit> visible;
    std::vector<int> indexes;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (!columns[i].visible)
            continue;
        ColumnFit fit = m_fits[i];
        fit.user = i < m_userWidths.size() ? m_userWidths[i] : 0;
        visible.push_back(fit);
        indexes.push_back(int(i));
    }
    // The room of the viewport with its vertical scroll bar, which comes with
    // the rows: the columns must not need the horizontal one then.
    const auto roomMargin = [this] {
        return 2 * m_report->frameWidth() +
               m_report->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_report);
    };
    const int room = m_report->width() - roomMargin();
    const std::vector<int> widths = fitColumnWidths(visible, room);
    // The grid never gets narrower than its columns' captions: the window's
    // smallest size keeps them all in sight.
    int floors = 0;
    for (const ColumnFit &fit : visible)
        floors += fit.floor;
    m_report->setMinimumWidth(floors + roomMargin());
    m_settingWidths = true;
    for (size_t k = 0; k < indexes.size(); ++k)
        m_report->setColumnWidth(indexes[k], widths[k]);
    m_settingWidths = false;
}

void FrmSucesosAuto::readTab()
{
    if (!m_ctx)
        return;
    m_ctx->newTripsOnly = m_tabb->currentIndex() == 0;
    m_ctx->DTdesde = m_dtDesde->date();
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
    m_tray->setToolTip(trayToolTip());
}

QString FrmSucesosAuto::trayToolTip() const
{
    const QDate today = m_ctx ? m_ctx->today() : QDate::currentDate();
    const QString server = m_ctx ? m_ctx->settings.ServerHost : QString();
    return (QStringList{m_tip} + jobSummaryLines(m_jobBoard.records(), today, server)).join(u'\n');
}

void FrmSucesosAuto::showJobRecords()
{
    const QDate today = m_ctx ? m_ctx->today() : QDate::currentDate();
    const QString server = m_ctx ? m_ctx->settings.ServerHost : QString();
    // Each line as far as the room goes; all of them whole in the tool tip.
    m_jobs->setFullText(jobSummaryLines(m_jobBoard.records(), today, server).join(u'\n'));
    m_tray->setToolTip(trayToolTip());
}

void FrmSucesosAuto::showWindow()
{
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void FrmSucesosAuto::showJobResult(const QString &text, ResultLine line)
{
    m_resultText = joinJobResult(m_resultText, text, line);
    m_result->setFullText(m_resultText);
    // A job has ended: the grid holds what it will hold.
    fitColumnsSoon();
}

void FrmSucesosAuto::yieldToEvents()
{
    QCoreApplication::processEvents();
}

void FrmSucesosAuto::prepareGrid()
{
    // The pickers as the start-up left them: DTdesde empty, DThasta today.
    if (m_ctx) {
        m_dtDesde->setDate(m_ctx->DTdesde);
        m_dtHasta->setDate(m_ctx->DThasta);
        // The empty grid shows its captions before the first download.
        if (m_ctx->grid.columns().empty())
            resetTripGrid(m_ctx->grid);
    }
    m_report->viewport()->update();
}

void FrmSucesosAuto::addTrayIcon()
{
    m_hasTray = trayAvailable && trayAvailable();
    m_tray->setToolTip(trayToolTip());
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
    std::optional<Outcome> outcome;
    if (!runUserOperation(ctx, QStringLiteral("Cargar_Sucesos"),
                          [&] { outcome = Cargar_Sucesos(ctx); }))
        return;
    // The database could not be opened: last time's list would pass for today's.
    if (!outcome)
        ctx.events.clear();
    fillEventList();
    if (outcome)
        showJobResult(eventListResultText(*outcome, int(ctx.events.size()), ctx.timeText()),
                      ResultLine::New);
}

void FrmSucesosAuto::fillEventList()
{
    m_reportSincro->clear();
    QList<QTreeWidgetItem *> items;
    for (const EventRow &row : m_ctx->events) {
        const QString text = vb::joinText(row.descripcion);
        auto *item = new QTreeWidgetItem({vb::joinText(row.id), vb::joinText(row.fecha), text});
        item->setToolTip(2, text);
        items << item;
    }
    m_reportSincro->addTopLevelItems(items);
}

void FrmSucesosAuto::layoutEventRowsSoon()
{
    // Rows take the height of their wrapped text for the column's new width.
    if (m_eventLayoutPending)
        return;
    m_eventLayoutPending = true;
    QTimer::singleShot(0, this, [this] {
        m_eventLayoutPending = false;
        m_reportSincro->doItemsLayout();
    });
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
    // A date still being typed counts, as if the field had been left.
    m_dtDesde->commit();
    m_dtHasta->commit();
    readTab();
    if (!rangeIsSound())
        return;
    // A tick that ended through an error left its grid out; one under way keeps it.
    if (!operationRunning(*m_ctx))
        endAutomaticJob();
    AppContext &ctx = *m_ctx;
    std::optional<DownloadOutcome> outcome;
    const QDateTime started = ctx.clock.now();
    runUserOperation(ctx, QStringLiteral("CmdDescargar_Click"), [&] {
        try {
            outcome = ::zelvano::CmdDescargar_Click(ctx);
        } catch (const AppError &error) {
            DownloadOutcome failed;
            failed.fail(error);
            recordDownload(ctx, started, &failed, nullptr, &m_jobBoard);
            throw;
        }
        recordDownload(ctx, started, &*outcome, nullptr, &m_jobBoard);
    });
    if (outcome)
        showJobResult(downloadResultText(*outcome, ctx.timeText(), false, ctx.settings.ServerHost),
                      ResultLine::New);
    fitColumns();
}

void FrmSucesosAuto::cmdgrabar_Click()
{
    if (!m_ctx)
        return;
    if (!operationRunning(*m_ctx))
        endAutomaticJob();
    AppContext &ctx = *m_ctx;
    std::optional<SaveOutcome> outcome;
    const QDateTime started = ctx.clock.now();
    runUserOperation(ctx, QStringLiteral("CmdGrabar_Click"), [&] {
        try {
            outcome = ::zelvano::CmdGrabar_Click(ctx);
        } catch (const AppError &error) {
            SaveOutcome failed;
            failed.fail(error);
            recordDownload(ctx, started, nullptr, &failed, &m_jobBoard);
            throw;
        }
        recordDownload(ctx, started, nullptr, &*outcome, &m_jobBoard);
        // What was just stored shows its mark now, not at the next download.
        if (outcome->trips > 0)
            markStoredTrips();
    });
    if (outcome)
        showJobResult(saveResultText(*outcome, ctx.timeText(), false, ctx.settings.ServerHost),
                      ResultLine::New);
}

bool FrmSucesosAuto::rangeIsSound()
{
    if (m_ctx->newTripsOnly || !m_ctx->DTdesde.isValid() || m_ctx->DTdesde <= m_ctx->DThasta)
        return true;
    const QString note = QStringLiteral("Desde es posterior a Hasta");
    showDateNote(note + QStringLiteral(": corrija las fechas"));
    showJobResult(QStringLiteral("Descarga no enviada: ") + note, ResultLine::New);
    return false;
}

void FrmSucesosAuto::showDateNote(const QString &note)
{
    m_dateNote->setFullText(note);
}

QString FrmSucesosAuto::dateNote() const
{
    return m_dateNote->fullText();
}

const TripGrid &FrmSucesosAuto::shownGrid() const
{
    return m_model->grid();
}

void FrmSucesosAuto::markStoredTrips()
{
    if (!m_ctx || !m_ctx->Connected)
        return;
    TripGrid &grid = m_keptGrid ? *m_keptGrid : m_ctx->grid;
    if (grid.rowCount() > 0)
        Comparar_Guardados(*m_ctx, grid);
}

TickSteps FrmSucesosAuto::tickSteps()
{
    TickSteps steps = TickSteps::program(&m_jobBoard);
    auto saved = std::make_shared<bool>(false);
    steps.download = [this, download = steps.download](AppContext &ctx) {
        beginAutomaticJob();
        download(ctx);
    };
    steps.save = [saved, save = steps.save](AppContext &ctx) {
        *saved = true;
        save(ctx);
    };
    steps.close = [this, saved, close = steps.close](AppContext &ctx) {
        endAutomaticJob();
        if (*saved) {
            *saved = false;
            markStoredTrips();
        }
        close(ctx);
    };
    return steps;
}

void FrmSucesosAuto::beginAutomaticJob()
{
    if (!m_ctx || !m_model || !isVisible() || m_keptGrid)
        return;
    // A copy shares the rows until the job changes them.
    m_keptGrid = std::make_unique<TripGrid>(m_ctx->grid);
    m_model->setGrid(*m_keptGrid);
}

void FrmSucesosAuto::endAutomaticJob()
{
    if (!m_ctx || !m_keptGrid)
        return;
    // The jobs' grid is the shown one again: "Grabar" and "Imprimir" act on
    // what the person at the desk sees.
    m_ctx->grid = *m_keptGrid;
    m_model->setGrid(m_ctx->grid);
    m_keptGrid.reset();
}

void FrmSucesosAuto::CmdImprimir_Click(PrintForm form)
{
    if (m_ctx)
        ::zelvano::gui::CmdImprimir_Click(*m_ctx, shownGrid(), form, this);
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

void FrmSucesosAuto::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    saveWindowSettings();
}

bool FrmSucesosAuto::eventFilter(QObject *watched, QEvent *event)
{
    // The event panel covers the trip panel, shown or not.
    if (watched == m_frSum && (event->type() == QEvent::Resize || event->type() == QEvent::Move))
        m_frSuces->setGeometry(m_frSum->geometry());
    // Enter presses the button that has the focus, as Space does.
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *button = qobject_cast<QPushButton *>(watched);
        if (button && key->modifiers() == Qt::NoModifier &&
            (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            button->animateClick();
            return true;
        }
    }
    // Only a drag on the header is the user's doing; the window sets widths too.
    if (watched == m_report->header()->viewport()) {
        if (event->type() == QEvent::MouseButtonPress)
            m_headerPressed = true;
        else if (event->type() == QEvent::MouseButtonRelease && m_headerPressed) {
            m_headerPressed = false;
            saveWindowSettings();
        }
    }
    return QWidget::eventFilter(watched, event);
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
    // A desktop without a window manager does not hold the window to its
    // minimum size: the window takes it back.
    if (width() < minimumWidth() || height() < minimumHeight())
        QTimer::singleShot(0, this, [this] { resize(size().expandedTo(minimumSize())); });
    m_frEspere->centre();
    applyColumnWidths();
}

void FrmSucesosAuto::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        placeOnScreen();
    }
}

void FrmSucesosAuto::placeOnScreen()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // Room for the window manager's frame around the window.
    const QMargins frame = frameGeometry().size() != size()
                               ? QMargins(geometry().left() - frameGeometry().left(),
                                          geometry().top() - frameGeometry().top(),
                                          frameGeometry().right() - geometry().right(),
                                          frameGeometry().bottom() - geometry().bottom())
                               : QMargins(0, 0, 0, 0);
    const QSize room = area.size().shrunkBy(frame);
    const QSize fitted = size().boundedTo(room).expandedTo(minimumSize());
    if (fitted != size())
        resize(fitted);
    const QRect outer = QRect(QPoint(0, 0), fitted).marginsAdded(frame);
    QPoint at = frameGeometry().topLeft();
    if (!area.contains(QRect(at, outer.size())))
        at = area.topLeft() + QPoint(std::max(0, (area.width() - outer.width()) / 2),
                                     std::max(0, (area.height() - outer.height()) / 2));
    move(at);
}

void FrmSucesosAuto::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the events panel, wherever the focus is inside the window.
    if (event->key() == Qt::Key_Escape && m_frSuces->isVisible()) {
        PushButton1_Click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace zelvano::gui
