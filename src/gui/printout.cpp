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

#include <QLocale>
#include <QPainter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTextLayout>

#include <optional>

namespace zelvano::gui {

namespace {

constexpr long kPrinterError = 482;

struct PrintColumn
{
    QString caption;
    bool right;
    ColumnFit fit;
    double x = 0;
    double width = 0;
};

// One printed line: a trip, one of its loads and unloads, or the short
// form's totals.
struct PrintRow
{
    std::vector<QString> texts;
    bool bold = false;
    bool child = false;
    uint32_t background = TripGrid::kNoBackground;
    bool ruleBelow = false;
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

// A cell's text in its own width: lines break between words, and inside a
// word only when the word alone is wider than the cell.
class CellText
{
public:
    CellText(const QString &text, const QFont &font, QPaintDevice *device, double width, bool right)
        : m_layout(text, font, device)
    {
        QTextOption option(right ? Qt::AlignRight : Qt::AlignLeft);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        m_layout.setTextOption(option);
        m_layout.beginLayout();
        for (QTextLine line = m_layout.createLine(); line.isValid(); line = m_layout.createLine()) {
            line.setLineWidth(std::max(1.0, width));
            line.setPosition(QPointF(0, m_height));
            m_height += line.height();
        }
        m_layout.endLayout();
    }
    double height() const { return m_height; }
    void draw(QPainter &p, const QPointF &at) { m_layout.draw(&p, at); }

private:
    QTextLayout m_layout;
    double m_height = 0;
};

// The widest word of a text: a cell narrower than that breaks a word.
double widestWord(const QFontMetricsF &fm, const QString &text)
{
    double widest = 0;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts))
        widest = std::max(widest, fm.horizontalAdvance(word));
    return widest;
}

// A cell's text as a number, for the short form's totals.
std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

QString numberText(double v)
{
    // As the grid writes them: no trailing zeros, no thousands separator.
    QString text = QLocale::c().toString(v, 'f', 2);
    while (text.contains(u'.') && (text.endsWith(u'0') || text.endsWith(u'.')))
        text.chop(1);
    return text;
}

class PrintOut
{
public:
    PrintOut(QPrinter &printer, const TripGrid &grid, const Settings &settings,
             const QDateTime &printedAt, PrintForm form)
        : m_printer(printer)
    {
        const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
        m_width = page.width();
        m_height = page.height();
        m_dot = printer.resolution() / 72.0; // one point
        m_padX = 2 * m_dot;
        m_padY = 1 * m_dot;
        m_indent = 10 * m_dot;
        m_brand = printBrandFooter();
        m_company = printCompanyFooter(settings);
        m_selection = printSelectionText(grid.selection());
        if (form == PrintForm::Summary && !m_selection.isEmpty())
            m_selection += QStringLiteral(" — resumen, un viaje por línea");
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

        if (form == PrintForm::Summary)
            collectSummary(grid);
        else
            collectFull(grid);
        layoutColumns();

        // Vertical plan of a page: header, selection line, captions, rows, footers.
        m_headerHeight = metrics(m_headerFont).height();
        m_selectionHeight = m_selection.isEmpty() ? 0 : metrics(m_selectionFont).height();
        m_captionHeight = 0;
        for (const PrintColumn &c : m_columns)
            m_captionHeight = std::max(m_captionHeight,
                                       text(c.caption, m_captionFont, c.width, c.right).height());
        m_captionHeight += 2 * m_padY;
        m_footerLine = metrics(m_footerFont).height();
        m_bodyTop = m_headerHeight + m_selectionHeight + 4 * m_dot + m_captionHeight + m_dot;
        m_bodyBottom = m_height - 2 * m_footerLine - 6 * m_dot;

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
    CellText text(const QString &s, const QFont &font, double width, bool right) const
    {
        return CellText(s, font, &m_printer, width - 2 * m_padX, right);
    }
    const QFont &fontOf(const PrintRow &r) const { return r.bold ? m_tripFont : m_bodyFont; }

    void addColumn(const TripGrid::Column &c)
    {
        PrintColumn column{c.caption, c.align == TripGrid::Align::Right, {}};
        column.fit.yieldsFirst = c.index == UnloadCell::Suceso;
        m_columns.push_back(column);
        m_sources.push_back(c.index);
    }

    // Every visible column; the trips in bold, their loads and unloads below.
    void collectFull(const TripGrid &grid)
    {
        for (const TripGrid::Column &c : grid.columns())
            if (c.visible)
                addColumn(c);
        auto add = [&](const TripGrid::Row &row, bool child) {
            PrintRow r;
            r.bold = !child;
            r.child = child;
            if (child && !row.cells.empty())
                r.background = row.cells[kChildKindCell].background;
            for (int index : m_sources)
                r.texts.push_back(TripGridModel::shownText(row, index, child));
            m_rows.push_back(std::move(r));
        };
        for (const TripGrid::Row &trip : grid.rows()) {
            m_groups.push_back(m_rows.size());
            add(trip, false);
            for (const TripGrid::Row &child : trip.children)
                add(child, true);
            m_rows.back().ruleBelow = true;
        }
    }

    // One line per trip with its totals and how many loads and unloads it
    // had, and a last line with the sums.
    void collectSummary(const TripGrid &grid)
    {
        const int kinds[] = {TripCell::Id,      TripCell::Fecha, TripCell::Receta,
                             TripCell::Cabezas, TripCell::KgSug, TripCell::KgReal};
        for (int index : kinds)
            if (size_t(index) < grid.columns().size())
                addColumn(grid.columns()[size_t(index)]);
        const size_t counts = m_columns.size();
        m_columns.push_back({QStringLiteral("Cargas"), true, {}});
        m_columns.push_back({QStringLiteral("Descargas"), true, {}});
        std::vector<double> sums(m_columns.size(), 0);
        std::vector<bool> summed(m_columns.size(), false);
        for (const TripGrid::Row &trip : grid.rows()) {
            PrintRow r;
            for (size_t i = 0; i < counts; ++i) {
                r.texts.push_back(TripGridModel::shownText(trip, m_sources[i], false));
                const bool total = m_sources[i] == TripCell::Cabezas ||
                                   m_sources[i] == TripCell::KgSug ||
                                   m_sources[i] == TripCell::KgReal;
                if (total)
                    if (const std::optional<double> v = number(r.texts.back())) {
                        sums[i] += *v;
                        summed[i] = true;
                    }
            }
            int loads = 0;
            int unloads = 0;
            for (const TripGrid::Row &child : trip.children) {
                const QString kind = TripGridModel::shownText(child, kChildKindCell, true);
                loads += kind == QLatin1String("Carga");
                unloads += kind == QLatin1String("Descarga");
            }
            r.texts.push_back(QString::number(loads));
            r.texts.push_back(QString::number(unloads));
            sums[counts] += loads;
            sums[counts + 1] += unloads;
            summed[counts] = summed[counts + 1] = true;
            m_groups.push_back(m_rows.size());
            m_rows.push_back(std::move(r));
        }
        PrintRow total;
        total.bold = true;
        for (size_t i = 0; i < m_columns.size(); ++i)
            total.texts.push_back(summed[i] ? numberText(sums[i]) : QString());
        total.texts[0] = QStringLiteral("Total");
        if (counts > 2)
            total.texts[2] = grid.rowCount() == 1
                                 ? QStringLiteral("1 viaje")
                                 : QStringLiteral("%1 viajes").arg(grid.rowCount());
        if (!m_rows.empty())
            m_rows.back().ruleBelow = true;
        m_groups.push_back(m_rows.size());
        m_rows.push_back(std::move(total));
    }

    // Widths from the page: numbers and captions never broken, free text as
    // wide as it asks within a share of the page, wrapped inside its cell
    // beyond it; what is left over is shared out.
    void layoutColumns()
    {
        const QFontMetricsF caption = metrics(m_captionFont);
        const QFontMetricsF trip = metrics(m_tripFont);
        const QFontMetricsF body = metrics(m_bodyFont);
        std::vector<ColumnFit> fits;
        for (size_t i = 0; i < m_columns.size(); ++i) {
            PrintColumn &c = m_columns[i];
            double widest = 0;
            double longestWord = 0;
            for (const PrintRow &r : m_rows) {
                const QFontMetricsF &fm = r.bold ? trip : body;
                const double indent = (r.child && i == 0) ? m_indent : 0;
                widest = std::max(widest, fm.horizontalAdvance(r.texts[i]) + indent);
                longestWord = std::max(longestWord, widestWord(fm, r.texts[i]) + indent);
            }
            const double pad = 2 * m_padX + 1;
            c.fit.content = int(widest + pad);
            const double words = c.right ? widest : std::min(longestWord, m_width * 0.12);
            c.fit.floor = int(std::max(caption.horizontalAdvance(c.caption), words) + pad);
            c.fit.ceiling = int(m_width * (c.fit.yieldsFirst ? 0.25 : 0.3));
            fits.push_back(c.fit);
        }
        const std::vector<int> widths = fitColumnWidths(fits, int(m_width), true);
        double x = 0;
        for (size_t i = 0; i < m_columns.size(); ++i) {
            m_columns[i].x = x;
            m_columns[i].width = widths[i];
            x += widths[i];
        }
    }

    double indentOf(const PrintRow &r, size_t column) const
    {
        return (r.child && column == 0) ? m_indent : 0;
    }

    void measureRows()
    {
        for (PrintRow &r : m_rows) {
            double height = metrics(fontOf(r)).height();
            for (size_t i = 0; i < m_columns.size(); ++i)
                if (!r.texts[i].isEmpty())
                    height = std::max(height,
                                      text(r.texts[i], fontOf(r),
                                           m_columns[i].width - indentOf(r, i), m_columns[i].right)
                                          .height());
            r.height = height + 2 * m_padY;
        }
    }

    // A short trip goes whole onto the page where it starts, or onto the next
    // one when it would not fit here. A long one (more than a quarter of a
    // page) fills what is left of the page and goes on over the next, which
    // opens with its trip line again. A row is never broken.
    void paginate()
    {
        const double room = m_bodyBottom - m_bodyTop;
        m_pages.emplace_back();
        double y = 0;
        auto newPage = [&] {
            m_pages.emplace_back();
            y = 0;
        };
        for (size_t t = 0; t < m_groups.size(); ++t) {
            const size_t first = m_groups[t];
            const size_t end = t + 1 < m_groups.size() ? m_groups[t + 1] : m_rows.size();
            double height = 0;
            for (size_t r = first; r < end; ++r)
                height += m_rows[r].height;
            const bool fits = y + height <= room;
            const bool longTrip = height > room / 4;
            const double few = 3 * m_rows[first].height;
            if (!fits && !m_pages.back().empty() && (!longTrip || room - y < few))
                newPage();
            for (size_t r = first; r < end; ++r) {
                if (y + m_rows[r].height > room && !m_pages.back().empty()) {
                    newPage();
                    if (r != first) { // the trip's line again over its next rows
                        m_pages.back().push_back(first);
                        y += m_rows[first].height;
                    }
                }
                m_pages.back().push_back(r);
                y += m_rows[r].height;
            }
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
        y += 4 * m_dot;

        // The column captions open every page, each within its own column.
        for (const PrintColumn &c : m_columns)
            text(c.caption, m_captionFont, c.width, c.right)
                .draw(p, QPointF(c.x + m_padX, y + m_padY));
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
        if (r.background != TripGrid::kNoBackground) {
            const uint32_t rgb = r.background;
            p.fillRect(QRectF(m_indent, y, m_width - m_indent, r.height),
                       QColor(int(rgb >> 16 & 0xFF), int(rgb >> 8 & 0xFF), int(rgb & 0xFF)));
        }
        for (size_t i = 0; i < m_columns.size(); ++i) {
            if (r.texts[i].isEmpty())
                continue;
            const PrintColumn &c = m_columns[i];
            const double indent = indentOf(r, i);
            text(r.texts[i], fontOf(r), c.width - indent, c.right)
                .draw(p, QPointF(c.x + m_padX + indent, y + m_padY));
        }
        if (r.ruleBelow) {
            p.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 0));
            p.drawLine(QPointF(0, y + r.height), QPointF(m_width, y + r.height));
            p.setPen(Qt::black);
        }
    }

    QPrinter &m_printer;
    std::vector<PrintColumn> m_columns;
    std::vector<int> m_sources; // the grid's column behind each printed one
    std::vector<PrintRow> m_rows;
    std::vector<size_t> m_groups; // first row of each trip
    std::vector<std::vector<size_t>> m_pages;
    QString m_brand, m_company, m_selection, m_date;
    QFont m_headerFont, m_selectionFont, m_bodyFont, m_tripFont, m_captionFont, m_footerFont;
    double m_width = 0, m_height = 0, m_dot = 1, m_padX = 0, m_padY = 0, m_indent = 0;
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
                  const QDateTime &printedAt, PrintForm form)
{
    keepMargins(printer);
    // The whole layout first: every page names the number of pages.
    PrintOut out(printer, grid, settings, printedAt, form);
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
                       const QDateTime &printedAt, PrintForm form)
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
    return printTripGrid(printer, grid, settings, printedAt, form);
}

QString printRefusalText(const TripGrid &grid, const QString &server)
{
    if (!grid.failure())
        return QString();
    return QStringLiteral("No se imprimió: la última descarga terminó con error y el listado "
                          "quedaría incompleto. ") +
           clerkExplanation(*grid.failure(), server) +
           QStringLiteral(". Descargue de nuevo y vuelva a imprimir.\n\n") + grid.failure()->text();
}

void CmdImprimir_Click(AppContext &ctx, const TripGrid &grid, PrintForm form, QWidget *parent)
{
    const QString refusal = printRefusalText(grid, ctx.settings.ServerHost);
    if (!refusal.isEmpty()) {
        ctx.notices.messageBox(refusal, UserNotices::Icon::Critical,
                               QStringLiteral("No se imprimió el listado"));
        return;
    }
    try {
        // A copy: a tick may rebuild the grid while the preview is open.
        TripGrid snapshot = grid;
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
                printTripGrid(*target, snapshot, settings, printedAt, form);
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
