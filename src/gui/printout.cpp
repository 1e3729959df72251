#include "gui/printout.h"

#include "common/error.h"
#include "common/errortext.h"
#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "common/vb.h"
#include "gui/tripgridmodel.h"
#include "store/appcontext.h"
#include "store/settings.h"

#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <optional>

namespace zelvano::gui {

namespace {

constexpr long kPrinterError = 482;

struct PrintColumn
{
    int index;
    QString caption;
    bool right;
    double x = 0;
    double width = 0;
};

// Column widths follow the grid's, with a floor so that the narrow ones
// still hold a few characters.
std::vector<PrintColumn> layoutColumns(const TripGrid &grid, double pageWidth)
{
    std::vector<PrintColumn> columns;
    double total = 0;
    for (const TripGrid::Column &c : grid.columns()) {
        if (!c.visible)
            continue;
        const double weight = std::max(c.width, 30);
        columns.push_back({c.index, c.caption, c.align == TripGrid::Align::Right, 0, weight});
        total += weight;
    }
    double x = 0;
    for (PrintColumn &c : columns) {
        c.width = c.width / total * pageWidth;
        c.x = x;
        x += c.width;
    }
    return columns;
}

class PageWriter
{
public:
    PageWriter(QPrinter &printer, QPainter &painter, const TripGrid &grid, const Settings &settings)
        : m_printer(printer), m_p(painter), m_grid(grid)
    {
        const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
        m_width = page.width();
        m_height = page.height();
        m_dot = printer.resolution() / 72.0; // one point
        m_pad = 2 * m_dot;
        m_indent = 10 * m_dot;
        m_columns = layoutColumns(grid, m_width);
        m_brand = printBrandFooter();
        m_company = printCompanyFooter(settings);

        m_headerFont = QFont(QStringLiteral("DejaVu Sans"));
        m_headerFont.setPointSize(12);
        m_headerFont.setBold(true);
        m_bodyFont = QFont(QStringLiteral("DejaVu Sans"));
        m_bodyFont.setPointSize(8);
        m_captionFont = m_bodyFont;
        m_captionFont.setBold(true);
        m_footerFont = m_bodyFont;
        m_footerFont.setPointSize(7);

        const double footerLine = QFontMetricsF(m_footerFont, &printer).height();
        m_bodyBottom = m_height - 2 * footerLine - 8 * m_dot;
    }

    int run()
    {
        startPage();
        for (int r = 0; r < m_grid.rowCount(); ++r) {
            const TripGrid::Row &trip = m_grid.row(r);
            row(trip, false);
            for (const TripGrid::Row &child : trip.children)
                row(child, true);
        }
        return m_pages;
    }

private:
    void startPage()
    {
        if (m_pages > 0 && !m_printer.newPage())
            raise(kPrinterError, QStringLiteral("Printer error"));
        ++m_pages;
        m_p.setPen(Qt::black);
        m_p.setFont(m_headerFont);
        const double headerHeight = m_p.fontMetrics().height();
        m_p.drawText(QRectF(0, 0, m_width, headerHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     printHeaderText());
        m_y = headerHeight + 6 * m_dot;

        m_p.setFont(m_footerFont);
        const double line = m_p.fontMetrics().height();
        const double top = m_height - 2 * line;
        m_p.drawLine(QPointF(0, top - 3 * m_dot), QPointF(m_width, top - 3 * m_dot));
        m_p.drawText(QRectF(0, top, m_width, line), Qt::AlignLeft | Qt::AlignVCenter, m_brand);
        m_p.drawText(QRectF(0, top + line, m_width, line), Qt::AlignLeft | Qt::AlignVCenter,
                     m_company);

        // The column captions open every page.
        m_p.setFont(m_captionFont);
        const double height = m_p.fontMetrics().height() + 2 * m_pad;
        for (const PrintColumn &c : m_columns)
            m_p.drawText(QRectF(c.x + m_pad, m_y, c.width - 2 * m_pad, height),
                         (c.right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, c.caption);
        m_y += height;
        m_p.drawLine(QPointF(0, m_y), QPointF(m_width, m_y));
        m_y += m_dot;
    }

    QRectF cellRect(const PrintColumn &c, bool child, bool first, double top, double height) const
    {
        const double indent = (child && first) ? m_indent : 0;
        return QRectF(c.x + m_pad + indent, top + m_pad, c.width - 2 * m_pad - indent, height);
    }

    void row(const TripGrid::Row &r, bool child)
    {
        m_p.setFont(m_bodyFont);
        const int flags = Qt::TextWordWrap | Qt::TextWrapAnywhere;
        std::vector<QString> texts;
        double height = m_p.fontMetrics().height();
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const PrintColumn &c = m_columns[i];
            const QString text = size_t(c.index) < r.cells.size()
                                     ? TripGridModel::cellText(r.cells[size_t(c.index)].value)
                                     : QString();
            texts.push_back(text);
            const QRectF box = cellRect(c, child, i == 0, 0, 1e6);
            height = std::max(height, m_p.boundingRect(box, flags, text).height());
        }
        height += 2 * m_pad;
        // A row taller than a whole page is printed as it is rather than looping.
        if (m_y + height > m_bodyBottom && m_rowsOnPage > 0) {
            startPage();
            m_rowsOnPage = 0;
        }
        ++m_rowsOnPage;
        m_p.setFont(m_bodyFont);

        if (child && !r.cells.empty() &&
            r.cells[kChildKindCell].background != TripGrid::kNoBackground) {
            const uint32_t rgb = r.cells[kChildKindCell].background;
            m_p.fillRect(QRectF(m_indent, m_y, m_width - m_indent, height),
                         QColor(int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)));
        }
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const PrintColumn &c = m_columns[i];
            m_p.drawText(cellRect(c, child, i == 0, m_y, height - 2 * m_pad),
                         flags | (c.right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop,
                         texts[i]);
        }
        m_y += height;
        if (!child) {
            m_p.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 0));
            m_p.drawLine(QPointF(0, m_y), QPointF(m_width, m_y));
            m_p.setPen(Qt::black);
        }
    }

    QPrinter &m_printer;
    QPainter &m_p;
    const TripGrid &m_grid;
    std::vector<PrintColumn> m_columns;
    QString m_brand;
    QString m_company;
    QFont m_headerFont, m_bodyFont, m_captionFont, m_footerFont;
    double m_width = 0, m_height = 0, m_dot = 1, m_pad = 0, m_indent = 0;
    double m_bodyBottom = 0;
    double m_y = 0;
    int m_pages = 0;
    int m_rowsOnPage = 0;
};

} // namespace

QString printHeaderText()
{
    return QStringLiteral("Listado de Sucesos");
}

QString printBrandFooter()
{
    return QStringLiteral("Brenmoor Más - Gestión de Alimentos");
}

QString printCompanyFooter(const Settings &s)
{
    return vb::joinText(s.CompanyField0) + QStringLiteral(" - ") + vb::joinText(s.CompanyField1) +
           QStringLiteral(" - ") + s.CompanyField2 + QStringLiteral(" - ") + s.CompanyField3;
}

int printTripGrid(QPrinter &printer, const TripGrid &grid, const Settings &settings)
{
    QPainter painter;
    if (!painter.begin(&printer))
        raise(kPrinterError, QStringLiteral("Printer error"));
    try {
        PageWriter writer(printer, painter, grid, settings);
        const int pages = writer.run();
        painter.end();
        return pages;
    } catch (...) {
        painter.end();
        throw;
    }
}

int printTripGridToPdf(const QString &fileName, const TripGrid &grid, const Settings &settings)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setCreator(QStringLiteral("Zelvano"));
    printer.setDocName(printHeaderText());
    return printTripGrid(printer, grid, settings);
}

void CmdImprimir_Click(AppContext &ctx, QWidget *parent)
{
    try {
        // A copy: a tick may rebuild the grid while the preview is open.
        TripGrid snapshot = ctx.grid;
        snapshot.setChangeListener({});
        snapshot.setRefreshListener({});
        const Settings settings = ctx.settings;
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setDocName(printHeaderText());
        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setWindowTitle(printHeaderText());
        std::optional<AppError> failure;
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, [&](QPrinter *target) {
            try {
                printTripGrid(*target, snapshot, settings);
            } catch (const AppError &error) {
                failure = error;
            }
        });
        dialog.exec();
        if (failure)
            throw *failure;
    } catch (const AppError &error) {
        ctx.notices.messageBox(ErrorText::inProcedure(error, QStringLiteral("CmdImprimir_Click"),
                                                      QStringLiteral("Formulario FrmSucesos")),
                               UserNotices::Icon::Critical,
                               QStringLiteral("Error en CmdImprimir_Click "));
    }
}

} // namespace zelvano::gui
