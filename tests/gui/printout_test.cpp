#include "common/error.h"
#include "common/gridcolumns.h"
#include "common/tripgrid.h"
#include "download/download.h"
#include "gui/printout.h"
#include "store/settings.h"
#include "support/testsupport.h"

#include <QFile>
#include <QProcess>
#include <QRectF>
#include <QRegularExpression>
#include <QSizeF>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

const QDateTime kPrintedAt(QDate(2026, 12, 7), QTime(10, 5, 0));

void addTrip(TripGrid &grid, int id)
{
    const int r = grid.addRow();
    grid.setValue(r, TripCell::Id, id);
    grid.setValue(r, TripCell::Fecha, "2026-12-07");
    grid.setValue(r, TripCell::Receta, QStringLiteral("Receta%1").arg(id));
    grid.setValue(r, TripCell::Cabezas, 120);
    grid.setValue(r, TripCell::KgSug, 2500.5);
    grid.setValue(r, TripCell::KgReal, 2480);
    grid.setValue(r, TripCell::Turno, QStringLiteral("OCULTO%1").arg(id));
    for (int i = 0; i < 2; ++i) {
        const int c = grid.addChild(r);
        grid.setChildValue(r, c, LoadCell::Kind, "Carga");
        grid.setChildValue(r, c, LoadCell::Hora, QStringLiteral("08:1%1:00").arg(i));
        grid.setChildValue(r, c, LoadCell::Alimento, QStringLiteral("Maiz%1x%2").arg(id).arg(i));
        grid.setChildValue(r, c, LoadCell::KgSug, 1200);
        grid.setChildBackground(r, c, TripGrid::kLoadBackground);
    }
    const int u = grid.addChild(r);
    grid.setChildValue(r, u, UnloadCell::Kind, "Descarga");
    grid.setChildValue(r, u, UnloadCell::Hora, "09:00:00");
    grid.setChildValue(r, u, UnloadCell::Rodeo, QStringLiteral("Corral%1").arg(id));
    grid.setChildValue(r, u, UnloadCell::Gps, "-31.25,-61.5");
    grid.setChildBackground(r, u, TripGrid::kUnloadBackground);
}

Settings companySettings()
{
    Settings s;
    s.CompanyField0 = QStringLiteral("Campo Demo SA");
    s.CompanyField1 = QVariant(); // Null prints as nothing
    s.CompanyField2 = QStringLiteral("Rafaela");
    s.CompanyField3 = QStringLiteral("Santa Fe");
    return s;
}

// The PDF's text, one string per page, laid out as on the page.
QStringList pdfPages(const QString &file)
{
    QProcess p;
    p.start("pdftotext", {"-layout", file, "-"});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// A word of a PDF page and its box, in points.
struct PdfWord
{
    QString text;
    QRectF box;
};
struct PdfPage
{
    QSizeF size;
    std::vector<PdfWord> words;
};

std::vector<PdfPage> pdfWords(const QString &file)
{
    QProcess p;
    p.start("pdftotext", {"-bbox", file, "-"});
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression item(
        "<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">|<word xMin=\"([\\d.]+)\" "
        "yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    std::vector<PdfPage> pages;
    for (const QRegularExpressionMatch &m : item.globalMatch(html)) {
        if (!m.captured(1).isEmpty()) {
            pages.push_back({QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble()), {}});
            continue;
        }
        if (pages.empty())
            continue;
        const QPointF topLeft(m.captured(3).toDouble(), m.captured(4).toDouble());
        const QPointF bottomRight(m.captured(5).toDouble(), m.captured(6).toDouble());
        pages.back().words.push_back({m.captured(7), QRectF(topLeft, bottomRight)});
    }
    return pages;
}

// The texts pdftohtml reads as bold and as regular, over the whole file.
struct FontTexts
{
    QStringList bold;
    QStringList regular;
};

FontTexts pdfFontTexts(const QString &file)
{
    QProcess p;
    p.start("pdftohtml", {"-xml", "-stdout", "-i", file});
    EXPECT_TRUE(p.waitForFinished(60000));
    const QString xml = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression text("<text [^>]*>(<b>)?([^<]*)(</b>)?</text>");
    FontTexts texts;
    for (const QRegularExpressionMatch &m : text.globalMatch(xml))
        (m.captured(1).isEmpty() ? texts.regular : texts.bold) << m.captured(2);
    return texts;
}

TEST(Printout, FooterJoinsCompanyFieldsWithNullAsNothing)
{
    EXPECT_EQ(gui::printCompanyFooter(companySettings()), "Campo Demo SA -  - Rafaela - Santa Fe");
    EXPECT_EQ(gui::printBrandFooter(), "Brenmoor Más - Gestión de Alimentos");
    EXPECT_EQ(gui::printHeaderText(), "Listado de Sucesos");
}

TEST(Printout, SelectionLineSaysWhatTheDownloadAskedFor)
{
    EXPECT_EQ(gui::printSelectionText({}), QString()) << "no download yet";
    EXPECT_EQ(gui::printSelectionText({true, true, QDate(), QDate(2026, 12, 7)}), "Viajes nuevos");
    EXPECT_EQ(gui::printSelectionText({true, false, QDate(2024, 1, 5), QDate(2024, 1, 7)}),
              "Viajes del 05/01/2024 al 07/01/2024");
    EXPECT_EQ(gui::printSelectionText({true, false, QDate(), QDate(2024, 1, 7)}),
              "Viajes hasta el 07/01/2024");
    EXPECT_EQ(gui::printPageText(2, 7), "Página 2 de 7");
    EXPECT_EQ(gui::printDateText(kPrintedAt), "Impreso el 07/12/2026 10:05");
}

TEST(Printout, PageHoldsHeaderFootersAndTheGridRows)
{
    QTemporaryDir dir;
    TripGrid grid;
    resetTripGrid(grid); // the download's own sixteen columns
    grid.setSelection({true, false, QDate(2024, 1, 5), QDate(2024, 1, 7)});
    for (int id : {5001, 5002, 5003})
        addTrip(grid, id);
    // An unload whose tablet had no position: "," prints as nothing.
    const int u = grid.addChild(2);
    grid.setChildValue(2, u, UnloadCell::Kind, "Descarga");
    grid.setChildValue(2, u, UnloadCell::Rodeo, "CorralSinGps");
    grid.setChildValue(2, u, UnloadCell::Gps, ",");
    const QString file = dir.filePath("grid.pdf");
    EXPECT_EQ(gui::printTripGridToPdf(file, grid, companySettings(), kPrintedAt), 1);
    const QStringList pages = pdfPages(file);
    ASSERT_EQ(pages.size(), 1);
    const QString &page = pages[0];
    EXPECT_TRUE(page.contains("Listado de Sucesos"));
    EXPECT_TRUE(page.contains("Brenmoor Más - Gestión de Alimentos"));
    EXPECT_TRUE(page.contains("Campo Demo SA - - Rafaela - Santa Fe") ||
                page.contains("Campo Demo SA -  - Rafaela - Santa Fe"))
        << page.toStdString();
    EXPECT_TRUE(page.contains("Viajes del 05/01/2024 al 07/01/2024"));
    EXPECT_TRUE(page.contains("Página 1 de 1"));
    EXPECT_TRUE(page.contains("Impreso el 07/12/2026 10:05"));
    for (const char *caption : {"Id", "Fecha", "Receta", "Cabezas Total", "Kg Reales", "Suceso"})
        EXPECT_TRUE(page.contains(caption)) << caption;
    EXPECT_FALSE(page.contains("id receta")) << "hidden columns are not printed";
    EXPECT_FALSE(page.contains("OCULTO5001"));
    EXPECT_TRUE(page.contains("2500.5"));
    EXPECT_TRUE(page.contains("Maiz5002x1"));
    EXPECT_TRUE(page.contains("Corral5003"));
    EXPECT_TRUE(page.contains("-31.25,-61.5")) << "a position prints whole on its line";
    EXPECT_EQ(page.count(QRegularExpression("\\bCarga\\b")), 6);
    EXPECT_EQ(page.count("Descarga"), 4);
    const QStringList lines = page.split(u'\n');
    for (const QString &line : lines)
        if (line.contains("CorralSinGps"))
            EXPECT_FALSE(line.contains(',')) << line.toStdString();

    // Children stand indented under their trip.
    int tripColumn = -1;
    int loadColumn = -1;
    for (const QString &line : lines) {
        if (line.contains("Receta5001"))
            tripColumn = int(line.indexOf("5001"));
        if (line.contains("Maiz5001x0"))
            loadColumn = int(line.indexOf("Carga"));
    }
    ASSERT_GE(tripColumn, 0);
    ASSERT_GE(loadColumn, 0);
    EXPECT_GT(loadColumn, tripColumn);

    // Trips and their totals in bold, their loads and unloads not.
    const FontTexts fonts = pdfFontTexts(file);
    for (const char *trip : {"5001", "Receta5001", "2500.5", "2480"})
        EXPECT_TRUE(
            fonts.bold.filter(QRegularExpression(QStringLiteral("\\b%1\\b").arg(trip))).size() > 0)
            << trip;
    EXPECT_TRUE(fonts.regular.filter("Maiz5001x0").size() > 0);
    EXPECT_TRUE(fonts.bold.filter("Maiz5001x0").isEmpty());
    EXPECT_TRUE(fonts.bold.filter("Corral5003").isEmpty());
}

TEST(Printout, EveryWordKeepsTenMillimetresFromTheEdges)
{
    QTemporaryDir dir;
    TripGrid grid;
    resetTripGrid(grid); // the download's own sixteen columns
    grid.setSelection({true, true, QDate(), QDate(2026, 12, 7)});
    for (int i = 0; i < 30; ++i)
        addTrip(grid, 6001 + i);
    const QString file = dir.filePath("margins.pdf");
    const int printed = gui::printTripGridToPdf(file, grid, companySettings(), kPrintedAt);
    const std::vector<PdfPage> pages = pdfWords(file);
    ASSERT_EQ(int(pages.size()), printed);
    ASSERT_GT(printed, 1);
    const double margin = 10 / 25.4 * 72; // 10 mm in points
    for (size_t n = 0; n < pages.size(); ++n) {
        const PdfPage &page = pages[n];
        EXPECT_GT(page.size.width(), page.size.height()) << "landscape";
        ASSERT_FALSE(page.words.empty());
        const QRectF allowed(margin, margin, page.size.width() - 2 * margin,
                             page.size.height() - 2 * margin);
        QRectF used;
        for (const PdfWord &w : page.words) {
            EXPECT_TRUE(allowed.contains(w.box))
                << w.text.toStdString() << " on page " << n + 1 << " at " << w.box.left() << ","
                << w.box.top() << "-" << w.box.right() << "," << w.box.bottom();
            used = used.united(w.box);
        }
        // The text runs from margin to margin, not in a corner of the page.
        EXPECT_GT(used.width(), allowed.width() * 0.9);
        EXPECT_GT(used.height(), allowed.height() * 0.9);
    }
}

// The page (0-based) whose text holds a word, -1 when none.
int pageOf(const QStringList &pages, const QString &word)
{
    const QRegularExpression re("\\b" + QRegularExpression::escape(word) + "\\b");
    for (int i = 0; i < pages.size(); ++i)
        if (pages[i].contains(re))
            return i;
    return -1;
}

TEST(Printout, ManyTripsSpreadOverPagesWithNoTripSplit)
{
    QTemporaryDir dir;
    // KEEP_TEST_OUTPUT=1 leaves the PDF behind for a look at the layout.
    dir.setAutoRemove(!qEnvironmentVariableIsSet("KEEP_TEST_OUTPUT"));
    TripGrid grid;
    resetTripGrid(grid); // the download's own sixteen columns
    grid.setSelection({true, true, QDate(), QDate(2026, 12, 7)});
    for (int i = 0; i < 300; ++i)
        addTrip(grid, 10001 + i);
    const QString file = dir.filePath("many.pdf");
    const int printed = gui::printTripGridToPdf(file, grid, companySettings(), kPrintedAt);
    if (!dir.autoRemove())
        std::printf("kept %s\n", file.toLocal8Bit().constData());
    const QStringList pages = pdfPages(file);
    ASSERT_EQ(pages.size(), printed);
    ASSERT_GT(pages.size(), 5);

    QString all;
    for (int n = 0; n < pages.size(); ++n) {
        const QString &page = pages[n];
        EXPECT_TRUE(page.contains("Listado de Sucesos"));
        EXPECT_TRUE(page.contains("Viajes nuevos"));
        EXPECT_TRUE(page.contains("Brenmoor Más - Gestión de Alimentos"));
        EXPECT_TRUE(page.contains("Rafaela - Santa Fe"));
        EXPECT_TRUE(page.contains(gui::printPageText(n + 1, printed))) << n + 1;
        EXPECT_TRUE(page.contains("Impreso el 07/12/2026 10:05")) << n + 1;
        all += page;
    }
    for (int i = 0; i < 300; ++i) {
        const QString id = QString::number(10001 + i);
        // Each trip once, its id and recipe on one line, its rows on its page.
        EXPECT_EQ(all.count(QRegularExpression("\\b" + id + "\\b")), 1) << id.toStdString();
        EXPECT_TRUE(QRegularExpression("\\b" + id + "\\b.*Receta" + id).match(all).hasMatch())
            << id.toStdString();
        const int page = pageOf(pages, id);
        ASSERT_GE(page, 0) << id.toStdString();
        for (const QString &row : {"Maiz" + id + "x0", "Maiz" + id + "x1", "Corral" + id})
            EXPECT_EQ(pageOf(pages, row), page) << row.toStdString();
    }
    EXPECT_EQ(all.count(QRegularExpression("\\bCarga\\b")), 600);
    EXPECT_EQ(all.count("Descarga"), 300);
}

TEST(Printout, TripLongerThanAPageGoesOnOverTheNextOnes)
{
    QTemporaryDir dir;
    TripGrid grid;
    resetTripGrid(grid); // the download's own sixteen columns
    addTrip(grid, 7001);
    addTrip(grid, 7002);
    for (int i = 0; i < 100; ++i) { // a day of pen-by-pen unloads
        const int u = grid.addChild(1);
        grid.setChildValue(1, u, 0, "Descarga");
        grid.setChildValue(1, u, 2, QStringLiteral("Corral%1").arg(100 + i));
    }
    addTrip(grid, 7003);
    const QString file = dir.filePath("long.pdf");
    const int printed = gui::printTripGridToPdf(file, grid, companySettings(), kPrintedAt);
    const QStringList pages = pdfPages(file);
    ASSERT_EQ(pages.size(), printed);
    ASSERT_GE(printed, 3);
    // The long trip starts right after the first one, on the first page, and
    // its rows go on over the next pages; nothing is left out.
    EXPECT_EQ(pageOf(pages, "7001"), 0);
    EXPECT_EQ(pageOf(pages, "7002"), 0);
    EXPECT_GT(pageOf(pages, "Corral199"), 0);
    for (int i = 0; i < 100; ++i)
        EXPECT_GE(pageOf(pages, QStringLiteral("Corral%1").arg(100 + i)), 0) << i;
    EXPECT_EQ(pageOf(pages, "7003"), pageOf(pages, "Corral7003"));
}

TEST(Printout, UnwritableFileRaisesThePrinterError)
{
    TripGrid grid;
    resetTripGrid(grid); // the download's own sixteen columns
    try {
        gui::printTripGridToPdf("/nonexistent-folder/x/grid.pdf", grid, companySettings(),
                                kPrintedAt);
        FAIL() << "no error";
    } catch (const AppError &error) {
        EXPECT_EQ(error.number(), 482);
    }
}

// A download that failed leaves part of the trips: the command says why in
// words, writes no file and fails; its options are checked first.
TEST(Printout, PrintCommandWritesNothingWhenTheDownloadFailed)
{
    TestHome home; // no server configured
    const QString file = home.filePath("out.pdf");
    QProcess p;
    p.start(ZELVANO_EXECUTABLE, {"--home", home.dir(), "print", "--pdf", file, "--summary"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 1) << err.toStdString();
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(err.contains("No se imprimió nada")) << err.toStdString();
    EXPECT_TRUE(err.contains("No hay un servidor remoto configurado")) << err.toStdString();

    for (const QStringList &args :
         {QStringList{"print"},
          QStringList{"print", "--pdf", file, "--from", "09/12/2026", "--to", "01/12/2026"}}) {
        QProcess bad;
        bad.start(ZELVANO_EXECUTABLE, QStringList{"--home", home.dir()} + args);
        ASSERT_TRUE(bad.waitForFinished(60000));
        EXPECT_EQ(bad.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_FALSE(QFile::exists(file));
    }
}

// Paper: captions, numbers and words whole however long a recipe's name;
// the long text wraps inside its own cell.
TEST(Printout, LongTextsWrapInTheirCellAndNumbersStayWhole)
{
    QTemporaryDir dir;
    TripGrid grid;
    resetTripGrid(grid);
    addTrip(grid, 5001);
    QString recipe;
    for (int i = 0; recipe.size() < 200; ++i)
        recipe += QStringLiteral("Terminación%1 ").arg(i);
    grid.setValue(0, TripCell::Receta, recipe.trimmed());
    grid.setValue(0, TripCell::KgReal, 21283.6);
    grid.setChildValue(0, 2, UnloadCell::Suceso, "Faltante de silo en el corral");
    const QString file = dir.filePath("long.pdf");
    ASSERT_EQ(gui::printTripGridToPdf(file, grid, companySettings(), kPrintedAt), 1);
    const QString page = pdfPages(file).value(0);
    for (const char *whole : {"Cabezas Total", "Kg Sugeridos", "Kg Reales", "21283.6", "2500.5",
                              "-31.25,-61.5", "Faltante", "silo"})
        EXPECT_TRUE(page.contains(QString::fromUtf8(whole))) << whole << "\n" << page.toStdString();
    // Wrapped between words: each word whole, no line with the whole name.
    for (const QString &word : recipe.split(' ', Qt::SkipEmptyParts))
        EXPECT_TRUE(page.contains(QRegularExpression("\\b" + word + "\\b"))) << word.toStdString();
    EXPECT_FALSE(page.contains(recipe.left(80)));
}

// The short form: one line per trip with its totals and the sums, at least
// 35 lines a page, a day of 320 trips in at most 15 pages.
TEST(Printout, ShortFormOneLinePerTripWithTotals)
{
    QTemporaryDir dir;
    TripGrid grid;
    resetTripGrid(grid);
    grid.setSelection({true, false, QDate(2026, 12, 7), QDate(2026, 12, 7)});
    for (int i = 0; i < 320; ++i)
        addTrip(grid, 20001 + i);
    const QString file = dir.filePath("summary.pdf");
    const int printed =
        gui::printTripGridToPdf(file, grid, companySettings(), kPrintedAt, gui::PrintForm::Summary);
    const QStringList pages = pdfPages(file);
    ASSERT_EQ(pages.size(), printed);
    EXPECT_LE(printed, 15);
    static const QRegularExpression tripLine(
        "^\\s*(2\\d{4})\\s+2026-12-07\\s+Receta\\1\\s+120\\s+2500.5\\s+2480\\s+2\\s+1\\s*$",
        QRegularExpression::MultilineOption);
    int lines = 0;
    for (int n = 0; n < pages.size(); ++n) {
        const int onPage = int(pages[n].count(tripLine));
        if (n + 1 < pages.size())
            EXPECT_GE(onPage, 35) << "page " << n + 1;
        lines += onPage;
        EXPECT_TRUE(pages[n].contains("Viajes del 07/12/2026 al 07/12/2026")) << n;
        EXPECT_TRUE(pages[n].contains("Cargas")) << n;
    }
    EXPECT_EQ(lines, 320);
    const QString all = pages.join('\n');
    EXPECT_FALSE(all.contains("Maiz")) << "loads and unloads are left out";
    EXPECT_TRUE(QRegularExpression("Total\\s+320 viajes\\s+38400\\s+800160\\s+793600\\s+640\\s+320")
                    .match(all)
                    .hasMatch())
        << pages.last().toStdString();
}

} // namespace
} // namespace zelvano::test
