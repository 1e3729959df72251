#include "gui/printout.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "common/gridcolumns.h"
#include "common/vb.h"
#include "gui/columnfit.h"
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
constexpr int kTextFlags = Qt::TextWordWrap | Qt::TextWrapAnywhere;

struct PrintColumn
{
    int index;
    QString caption;
    bool right;
    double x = 0;
    double width = 0;
};

// One printed line of the grid: a trip, or one of its loads and unloads.
struct PrintRow
{
    const TripGrid::Row *row;
    bool child;
    bool lastOfTrip;
    std::vector<QString> texts;
    double height = 0;
};

// Makes sure no side of the paper gets less than the minimum margin.
void keepMargins(QPrinter &printer)
{
    const QMarginsF m = printer.pageLayout().margins(QPageLayout::Millimeter);
    auto side = [](double v) { return v < kMinimumPrintMarginMm ? kPrintMarginMm : v; };
    const QMarginsF kept(side(m.left()), side(m.top()), side(m.right()), side(m.bottom()));
    if (kept != m)
        printer.setPageMargins(kept, QPageLayout::Millimeter);
}

class PrintOut
{
public:
    PrintOut(QPrinter &printer, const TripGrid &grid, const Settings &settings,
             const QDateTime &printedAt)
        : m_printer(printer)
    {
        const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
        m_width = page.width();
        m_height = page.height();
        m_dot = printer.resolution() / 72.0; // one point
        m_pad = 2 * m_dot;
        m_indent = 10 * m_dot;
        m_brand = printBrandFooter();
        m_company = printCompanyFooter(settings);
        m_selection = printSelectionText(grid.selection());
        m_date = printDateText(printedAt);

        const QString family = QStringLiteral("DejaVu Sans");
        m_headerFont = QFont(family);
        m_headerFont.setPointSize(12);
        m_headerFont.setBold(true);
        m_selectionFont = QFont(family);
        m_selectionFont.setPointSize(9);
        m_bodyFont = QFont(family);
        m_bodyFont.setPointSize(8);
        m_tripFont = m_bodyFont;
        m_tripFont.setBold(true);
        m_captionFont = m_tripFont;
        m_footerFont = m_bodyFont;
        m_footerFont.setPointSize(7);

        // Vertical plan of a page: header, selection line, captions, rows, footers.
        m_headerHeight = metrics(m_headerFont).height();
        m_selectionHeight = m_selection.isEmpty() ? 0 : metrics(m_selectionFont).height();
        m_captionHeight = metrics(m_captionFont).height() + 2 * m_pad;
        m_footerLine = metrics(m_footerFont).height();
        m_bodyTop = m_headerHeight + m_selectionHeight + 6 * m_dot + m_captionHeight + m_dot;
        m_bodyBottom = m_height - 2 * m_footerLine - 8 * m_dot;

        collectRows(grid);
        layoutColumns(grid);
        measureRows();
        paginate();
    }

    int pageCount() const { return int(m_pages.size()); }

    void paint(QPainter &p)
    {
        for (size_t page = 0; page < m_pages.size(); ++page) {
            if (page > 0 && !m_printer.newPage())
                raise(kPrinterError, QStringLiteral("Printer error"));
            paintFrame(p, int(page) + 1);
            double y = m_bodyTop;
            for (size_t r : m_pages[page]) {
                paintRow(p, m_rows[r], y);
                y += m_rows[r].height;
            }
        }
    }

private:
    QFontMetricsF metrics(const QFont &font) const { return QFontMetricsF(font, &m_printer); }

    void collectRows(const TripGrid &grid)
    {
        for (const TripGrid::Row &trip : grid.rows()) {
            m_rows.push_back({&trip, false, trip.children.empty(), {}, 0});
            m_tripStarts.push_back(m_rows.size() - 1);
            for (size_t c = 0; c < trip.children.size(); ++c)
                m_rows.push_back({&trip.children[c], true, c + 1 == trip.children.size(), {}, 0});
        }
    }

    // Each visible column as wide as its widest text, within reason, and the
    // page's width shared out in proportion.
    void layoutColumns(const TripGrid &grid)
    {
        const QFontMetricsF caption = metrics(m_captionFont);
        const QFontMetricsF trip = metrics(m_tripFont);
        const QFontMetricsF body = metrics(m_bodyFont);
        std::vector<ColumnFit> fits;
        for (const TripGrid::Column &c : grid.columns()) {
            if (!c.visible)
                continue;
            m_columns.push_back({c.index, c.caption, c.align == TripGrid::Align::Right});
            ColumnFit fit;
            fit.floor = int(caption.horizontalAdvance(c.caption) + 2 * m_pad) + 1;
            fit.ceiling = int(m_width * 0.3);
            fit.yieldsFirst = c.index == UnloadCell::Suceso;
            double widest = 0;
            const bool first = m_columns.size() == 1;
            for (PrintRow &r : m_rows) {
                const QString text = TripGridModel::shownText(*r.row, c.index, r.child);
                r.texts.push_back(text);
                const double w = (r.child ? body : trip).horizontalAdvance(text) +
                                 ((r.child && first) ? m_indent : 0);
                widest = std::max(widest, w);
            }
            fit.content = int(widest + 2 * m_pad) + 1;
            fits.push_back(fit);
        }
        const std::vector<int> widths = fitColumnWidths(fits, int(m_width), true);
        double x = 0;
        for (size_t i = 0; i < m_columns.size(); ++i) {
            m_columns[i].x = x;
            m_columns[i].width = widths[i];
            x += widths[i];
        }
    }

    QRectF cellRect(size_t column, bool child, double top, double height) const
    {
        const PrintColumn &c = m_columns[column];
        const double indent = (child && column == 0) ? m_indent : 0;
        return QRectF(c.x + m_pad + indent, top + m_pad, c.width - 2 * m_pad - indent, height);
    }

    void measureRows()
    {
        const QFontMetricsF trip = metrics(m_tripFont);
        const QFontMetricsF body = metrics(m_bodyFont);
        for (PrintRow &r : m_rows) {
            const QFontMetricsF &fm = r.child ? body : trip;
            double height = fm.height();
            for (size_t i = 0; i < m_columns.size(); ++i) {
                if (r.texts[i].isEmpty())
                    continue;
                const QRectF box = cellRect(i, r.child, 0, 1e6);
                height = std::max(height, fm.boundingRect(box, kTextFlags, r.texts[i]).height());
            }
            r.height = height + 2 * m_pad;
        }
    }

    // A trip goes whole onto the page where it starts, or onto the next one
    // when it would not fit here but fits there; only a trip longer than a
    // page is broken between its rows. A row is never broken.
    void paginate()
    {
        const double room = m_bodyBottom - m_bodyTop;
        m_pages.emplace_back();
        double y = 0;
        auto place = [&](size_t r) {
            if (y + m_rows[r].height > room && !m_pages.back().empty()) {
                m_pages.emplace_back();
                y = 0;
            }
            m_pages.back().push_back(r);
            y += m_rows[r].height;
        };
        for (size_t t = 0; t < m_tripStarts.size(); ++t) {
            const size_t first = m_tripStarts[t];
            const size_t end = t + 1 < m_tripStarts.size() ? m_tripStarts[t + 1] : m_rows.size();
            double height = 0;
            for (size_t r = first; r < end; ++r)
                height += m_rows[r].height;
            if (y + height > room && height <= room && !m_pages.back().empty()) {
                m_pages.emplace_back();
                y = 0;
            }
            for (size_t r = first; r < end; ++r)
                place(r);
        }
    }

    void paintFrame(QPainter &p, int page)
    {
        p.setPen(Qt::black);
        p.setFont(m_headerFont);
        p.drawText(QRectF(0, 0, m_width, m_headerHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   printHeaderText());
        double y = m_headerHeight;
        if (!m_selection.isEmpty()) {
            p.setFont(m_selectionFont);
            p.drawText(QRectF(0, y, m_width, m_selectionHeight), Qt::AlignLeft | Qt::AlignVCenter,
                       m_selection);
            y += m_selectionHeight;
        }
        y += 6 * m_dot;

        // The column captions open every page.
        p.setFont(m_captionFont);
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const PrintColumn &c = m_columns[i];
            p.drawText(QRectF(c.x + m_pad, y, c.width - 2 * m_pad, m_captionHeight),
                       (c.right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, c.caption);
        }
        y += m_captionHeight;
        p.drawLine(QPointF(0, y), QPointF(m_width, y));

        // Footers: the system's two texts on the left, page and date on the right.
        p.setFont(m_footerFont);
        const double top = m_height - 2 * m_footerLine;
        p.drawLine(QPointF(0, top - 3 * m_dot), QPointF(m_width, top - 3 * m_dot));
        const QRectF first(0, top, m_width, m_footerLine);
        const QRectF second(0, top + m_footerLine, m_width, m_footerLine);
        p.drawText(first, Qt::AlignLeft | Qt::AlignVCenter, m_brand);
        p.drawText(second, Qt::AlignLeft | Qt::AlignVCenter, m_company);
        p.drawText(first, Qt::AlignRight | Qt::AlignVCenter, printPageText(page, pageCount()));
        p.drawText(second, Qt::AlignRight | Qt::AlignVCenter, m_date);
    }

    void paintRow(QPainter &p, const PrintRow &r, double y)
    {
        if (r.child && !r.row->cells.empty() &&
            r.row->cells[kChildKindCell].background != TripGrid::kNoBackground) {
            const uint32_t rgb = r.row->cells[kChildKindCell].background;
            p.fillRect(QRectF(m_indent, y, m_width - m_indent, r.height),
                       QColor(int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)));
        }
        p.setFont(r.child ? m_bodyFont : m_tripFont);
        for (size_t i = 0; i < m_columns.size(); ++i)
            p.drawText(cellRect(i, r.child, y, r.height - 2 * m_pad),
                       kTextFlags | (m_columns[i].right ? Qt::AlignRight : Qt::AlignLeft) |
                           Qt::AlignTop,
                       r.texts[i]);
        if (r.lastOfTrip) {
            p.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 0));
            p.drawLine(QPointF(0, y + r.height), QPointF(m_width, y + r.height));
            p.setPen(Qt::black);
        }
    }

    QPrinter &m_printer;
    std::vector<PrintColumn> m_columns;
    std::vector<PrintRow> m_rows;
    std::vector<size_t> m_tripStarts;
    std::vector<std::vector<size_t>> m_pages;
    QString m_brand, m_company, m_selection, m_date;
    QFont m_headerFont, m_selectionFont, m_bodyFont, m_tripFont, m_captionFont, m_footerFont;
    double m_width = 0, m_height = 0, m_dot = 1, m_pad = 0, m_indent = 0;
    double m_headerHeight = 0, m_selectionHeight = 0, m_captionHeight = 0, m_footerLine = 0;
    double m_bodyTop = 0, m_bodyBottom = 0;
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

QString printSelectionText(const TripGrid::Selection &s)
{
    if (!s.known)
        return QString();
    if (s.newTripsOnly)
        return QStringLiteral("Viajes nuevos");
    if (!s.from.isValid())
        return QStringLiteral("Viajes hasta el ") + DateTexts::date(s.to);
    return QStringLiteral("Viajes del ") + DateTexts::date(s.from) + QStringLiteral(" al ") +
           DateTexts::date(s.to);
}

QString printPageText(int page, int pages)
{
    return QStringLiteral("Página %1 de %2").arg(page).arg(pages);
}

QString printDateText(const QDateTime &printedAt)
{
    return QStringLiteral("Impreso el ") + DateTexts::date(printedAt.date()) + u' ' +
           printedAt.time().toString(QStringLiteral("HH:mm"));
}

int printTripGrid(QPrinter &printer, const TripGrid &grid, const Settings &settings,
                  const QDateTime &printedAt)
{
    keepMargins(printer);
    // The whole layout first: every page names the number of pages.
    PrintOut out(printer, grid, settings, printedAt);
    QPainter painter;
    if (!painter.begin(&printer))
        raise(kPrinterError, QStringLiteral("Printer error"));
    try {
        out.paint(painter);
        painter.end();
        return out.pageCount();
    } catch (...) {
        painter.end();
        throw;
    }
}

int printTripGridToPdf(const QString &fileName, const TripGrid &grid, const Settings &settings,
                       const QDateTime &printedAt)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(
        QMarginsF(kPrintMarginMm, kPrintMarginMm, kPrintMarginMm, kPrintMarginMm),
        QPageLayout::Millimeter);
    printer.setCreator(QStringLiteral("Zelvano"));
    printer.setDocName(printHeaderText());
    return printTripGrid(printer, grid, settings, printedAt);
}

void CmdImprimir_Click(AppContext &ctx, QWidget *parent)
{
    try {
        // A copy: a tick may rebuild the grid while the preview is open.
        TripGrid snapshot = ctx.grid;
        snapshot.setChangeListener({});
        snapshot.setRefreshListener({});
        const Settings settings = ctx.settings;
        const QDateTime printedAt = ctx.clock.now();
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setPageMargins(
            QMarginsF(kPrintMarginMm, kPrintMarginMm, kPrintMarginMm, kPrintMarginMm),
            QPageLayout::Millimeter);
        printer.setDocName(printHeaderText());
        QPrintPreviewDialog dialog(&printer, parent);
        dialog.setWindowTitle(printHeaderText());
        std::optional<AppError> failure;
        QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, [&](QPrinter *target) {
            try {
                printTripGrid(*target, snapshot, settings, printedAt);
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
