#include "common/error.h"
#include "common/tripgrid.h"
#include "gui/printout.h"
#include "store/settings.h"
#include "support/testsupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

using Align = TripGrid::Align;

// The sixteen columns the download lays out.
void addTripColumns(TripGrid &grid)
{
    const struct
    {
        const char *caption;
        int width;
        Align align;
        bool visible;
    } columns[] = {
        {"Id", 50, Align::Left, true},
        {"Fecha", 50, Align::Right, true},
        {"Receta", 100, Align::Left, true},
        {"Cabezas Total", 40, Align::Right, true},
        {"Kg Sugeridos", 40, Align::Right, true},
        {"Kg Reales", 40, Align::Right, true},
        {"id receta", 40, Align::Right, false},
        {"turno", 40, Align::Right, false},
        {"id prg", 40, Align::Right, false},
        {"id pres", 40, Align::Right, false},
        {"", 40, Align::Right, false},
        {"", 40, Align::Right, false},
        {"", 40, Align::Right, false},
        {"", 40, Align::Right, false},
        {"GPS", 10, Align::Right, true},
        {"Suceso", 10, Align::Right, true},
    };
    int index = 0;
    for (const auto &c : columns) {
        grid.addColumn(
            {index, QString::fromUtf8(c.caption), c.width, c.align, c.visible, index == 0});
        ++index;
    }
}

void addTrip(TripGrid &grid, int id)
{
    const int r = grid.addRow();
    grid.setValue(r, 0, id);
    grid.setValue(r, 1, "2026-12-07");
    grid.setValue(r, 2, QStringLiteral("Receta%1").arg(id));
    grid.setValue(r, 3, 120);
    grid.setValue(r, 4, 2500.5);
    grid.setValue(r, 5, 2480);
    grid.setValue(r, 7, QStringLiteral("OCULTO%1").arg(id));
    for (int i = 0; i < 2; ++i) {
        const int c = grid.addChild(r);
        grid.setChildValue(r, c, 0, "Carga");
        grid.setChildValue(r, c, 1, QStringLiteral("08:1%1:00").arg(i));
        grid.setChildValue(r, c, 2, QStringLiteral("Maiz%1x%2").arg(id).arg(i));
        grid.setChildValue(r, c, 4, 1200);
        grid.setChildBackground(r, c, TripGrid::kLoadBackground);
    }
    const int u = grid.addChild(r);
    grid.setChildValue(r, u, 0, "Descarga");
    grid.setChildValue(r, u, 1, "09:00:00");
    grid.setChildValue(r, u, 2, QStringLiteral("Corral%1").arg(id));
    grid.setChildValue(r, u, 14, "-31.25,-61.5");
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

TEST(Printout, FooterJoinsCompanyFieldsWithNullAsNothing)
{
    EXPECT_EQ(gui::printCompanyFooter(companySettings()), "Campo Demo SA -  - Rafaela - Santa Fe");
    EXPECT_EQ(gui::printBrandFooter(), "Brenmoor Más - Gestión de Alimentos");
    EXPECT_EQ(gui::printHeaderText(), "Listado de Sucesos");
}

TEST(Printout, PageHoldsHeaderFootersAndTheGridRows)
{
    QTemporaryDir dir;
    TripGrid grid;
    addTripColumns(grid);
    for (int id : {5001, 5002, 5003})
        addTrip(grid, id);
    const QString file = dir.filePath("grid.pdf");
    EXPECT_EQ(gui::printTripGridToPdf(file, grid, companySettings()), 1);
    const QStringList pages = pdfPages(file);
    ASSERT_EQ(pages.size(), 1);
    const QString &page = pages[0];
    EXPECT_TRUE(page.contains("Listado de Sucesos"));
    EXPECT_TRUE(page.contains("Brenmoor Más - Gestión de Alimentos"));
    EXPECT_TRUE(page.contains("Campo Demo SA - - Rafaela - Santa Fe") ||
                page.contains("Campo Demo SA -  - Rafaela - Santa Fe"))
        << page.toStdString();
    for (const char *caption : {"Id", "Fecha", "Receta", "Cabezas Total", "Kg Reales", "Suceso"})
        EXPECT_TRUE(page.contains(caption)) << caption;
    EXPECT_FALSE(page.contains("id receta")) << "hidden columns are not printed";
    EXPECT_FALSE(page.contains("OCULTO5001"));
    EXPECT_TRUE(page.contains("2500.5"));
    EXPECT_TRUE(page.contains("Maiz5002x1"));
    EXPECT_TRUE(page.contains("Corral5003"));
    EXPECT_EQ(page.count(QRegularExpression("\\bCarga\\b")), 6);
    EXPECT_EQ(page.count("Descarga"), 3);

    // Children stand indented under their trip.
    const QStringList lines = page.split(u'\n');
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
}

TEST(Printout, ManyTripsSpreadOverPagesWithNothingCut)
{
    QTemporaryDir dir;
    // KEEP_TEST_OUTPUT=1 leaves the PDF behind for a look at the layout.
    dir.setAutoRemove(!qEnvironmentVariableIsSet("KEEP_TEST_OUTPUT"));
    TripGrid grid;
    addTripColumns(grid);
    for (int i = 0; i < 300; ++i)
        addTrip(grid, 10001 + i);
    const QString file = dir.filePath("many.pdf");
    const int printed = gui::printTripGridToPdf(file, grid, companySettings());
    if (!dir.autoRemove())
        std::printf("kept %s\n", file.toLocal8Bit().constData());
    const QStringList pages = pdfPages(file);
    ASSERT_EQ(pages.size(), printed);
    ASSERT_GT(pages.size(), 5);

    QString all;
    for (const QString &page : pages) {
        EXPECT_TRUE(page.contains("Listado de Sucesos"));
        EXPECT_TRUE(page.contains("Brenmoor Más - Gestión de Alimentos"));
        EXPECT_TRUE(page.contains("Rafaela - Santa Fe"));
        all += page;
    }
    for (int i = 0; i < 300; ++i) {
        const QString id = QString::number(10001 + i);
        // Each trip once, its id and recipe on one line, its rows complete.
        EXPECT_EQ(all.count(QRegularExpression("\\b" + id + "\\b")), 1) << id.toStdString();
        EXPECT_TRUE(QRegularExpression("\\b" + id + "\\b.*Receta" + id).match(all).hasMatch())
            << id.toStdString();
        EXPECT_TRUE(all.contains("Maiz" + id + "x0") && all.contains("Maiz" + id + "x1") &&
                    all.contains("Corral" + id))
            << id.toStdString();
    }
    EXPECT_EQ(all.count(QRegularExpression("\\bCarga\\b")), 600);
    EXPECT_EQ(all.count("Descarga"), 300);
}

TEST(Printout, UnwritableFileRaisesThePrinterError)
{
    TripGrid grid;
    addTripColumns(grid);
    try {
        gui::printTripGridToPdf("/nonexistent-folder/x/grid.pdf", grid, companySettings());
        FAIL() << "no error";
    } catch (const AppError &error) {
        EXPECT_EQ(error.number(), 482);
    }
}

TEST(Printout, PrintCommandWritesThePdf)
{
    TestHome home;
    home.exec("update mi_empresa set razon_social = 'Campo Uno', direccion = 'Ruta 34', "
              "localidad = 'Rafaela', telefono = '555'");
    const QString file = home.filePath("out.pdf");
    QProcess p;
    p.start(ZELVANO_EXECUTABLE, {"--home", home.dir(), "print", "--pdf", file});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    const QStringList pages = pdfPages(file);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains("Listado de Sucesos"));
    EXPECT_TRUE(pages[0].contains("Campo Uno - Ruta 34 - Rafaela - 555")) << pages[0].toStdString();

    QProcess bad;
    bad.start(ZELVANO_EXECUTABLE, {"--home", home.dir(), "print"});
    ASSERT_TRUE(bad.waitForFinished(60000));
    EXPECT_EQ(bad.exitCode(), 2);
}

} // namespace
} // namespace zelvano::test
