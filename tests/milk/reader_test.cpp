#include "milkhome.h"

#include "milk/csvreader.h"
#include "milk/localenumber.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>

#include <cmath>

namespace zelvano {
namespace {

using test::MilkHome;

MilkLayout layout(bool dairy, QChar mark)
{
    MilkLayout l;
    l.format = milkFormat(dairy ? "dairy" : "delpro");
    l.splitMark = ";";
    l.decimalMark = mark;
    return l;
}

TEST(LocaleNumber, DecimalMarkAndGroupingUnderEachLocale)
{
    double v = 0;
    EXPECT_TRUE(readLocaleNumber(u"812.5", u'.', &v));
    EXPECT_DOUBLE_EQ(v, 812.5);
    EXPECT_TRUE(readLocaleNumber(u"812,5", u',', &v));
    EXPECT_DOUBLE_EQ(v, 812.5);
    EXPECT_TRUE(readLocaleNumber(u"1,234.5", u'.', &v));
    EXPECT_DOUBLE_EQ(v, 1234.5);
    EXPECT_TRUE(readLocaleNumber(u"1.234,5", u',', &v));
    EXPECT_DOUBLE_EQ(v, 1234.5);
    EXPECT_TRUE(readLocaleNumber(u" -40 ", u',', &v));
    EXPECT_DOUBLE_EQ(v, -40);
    EXPECT_TRUE(readLocaleNumber(u"1e3", u'.', &v));
    EXPECT_DOUBLE_EQ(v, 1000);
    for (const char16_t *bad : {u"", u"x", u"12x", u",5", u"1e", u"1e999", u"--1", u"1.2.3", u"."})
        EXPECT_FALSE(readLocaleNumber(bad, u'.', &v)) << QString::fromUtf16(bad).toStdString();
    EXPECT_FALSE(readLocaleNumber(u"812,5,1", u',', &v));
    EXPECT_EQ(importDecimalMark("."), u'.');
    EXPECT_EQ(importDecimalMark(","), u',');
    EXPECT_EQ(importDecimalMark(""), u',');
}

TEST(MilkLines, EveryLineEndAndTheLastLine)
{
    EXPECT_EQ(milkFileLines("t\r\nA\r\nB"), QStringList({"t", "A", "B"}));
    EXPECT_EQ(milkFileLines("t\r\nA\r\nB\r\n"), QStringList({"t", "A", "B"}));
    EXPECT_EQ(milkFileLines("t\nA\nB\n"), QStringList({"t", "A", "B"}));
    EXPECT_EQ(milkFileLines("t\rA\rB"), QStringList({"t", "A", "B"}));
    EXPECT_EQ(milkFileLines("t\r\n\r\nA"), QStringList({"t", "", "A"}));
    EXPECT_EQ(milkFileLines("caf\xe9"), QStringList({QString::fromUtf8("café")}));
}

// Read from disk in chunks, the lines are the same as in memory: a CR LF
// split between two chunks is one line end (a second one would be an empty
// line and end the reading), and a line too long for a group is left out.
TEST(ReadMilkFile, ChunkBordersAndOverlongLines)
{
    MilkHome home;
    const MilkLayout delpro = layout(false, u'.');
    // The title fills the first chunk up to its CR; the LF opens the second.
    QByteArray file(64 * 1024 - 1, 't');
    file += "\r\nG1;x;40;800;0;1\r\n";
    file += QByteArray(kMaxLineBytes + 10, 'G') + ";x;1;1;0;1\r\n";
    file += "G2;x;2;20;0;1";
    home.writeExport("r.csv", file);
    const MilkFileRead read = readMilkFile(home.exportPath("r.csv"), delpro, kMaxMilkFileBytes);
    EXPECT_EQ(read.size, file.size());
    EXPECT_EQ(read.hash, QCryptographicHash::hash(file, QCryptographicHash::Sha256).toHex());
    ASSERT_EQ(read.content.rows.size(), 2u);
    EXPECT_EQ(read.content.rows[1].code, "G2");
    EXPECT_EQ(read.content.leftOut, std::vector<int>({3}));
    const MilkFileContent inMemory = parseMilkFile(file, delpro);
    EXPECT_EQ(inMemory.rows.size(), 2u);
    EXPECT_EQ(inMemory.leftOut, read.content.leftOut);

    // Past the limit the reading stops and says so.
    EXPECT_TRUE(readMilkFile(home.exportPath("r.csv"), delpro, 1000).overLimit);
}

// The example lines read the same under both locales and whatever the file's
// decimal setting says.
TEST(ParseMilkFile, ExampleLinesUnderPointAndCommaLocale)
{
    for (QChar mark : {QChar(u'.'), QChar(u',')}) {
        SCOPED_TRACE(QString(mark).toStdString());
        MilkFileContent delpro = parseMilkFile("t\r\nG1;x;40;812,5;7;96,4\r\nG2;x;10;100.25;7;5.5",
                                               layout(false, mark));
        ASSERT_EQ(delpro.rows.size(), 2u);
        EXPECT_EQ(delpro.rows[0].code, "G1");
        EXPECT_DOUBLE_EQ(delpro.rows[0].heads, 40);
        EXPECT_DOUBLE_EQ(delpro.rows[0].litres, 812.5);
        EXPECT_DOUBLE_EQ(delpro.rows[0].pitKg, 96.4);
        EXPECT_DOUBLE_EQ(delpro.rows[1].litres, 100.25);
        EXPECT_DOUBLE_EQ(delpro.rows[1].pitKg, 5.5);

        MilkFileContent dairy = parseMilkFile("t\nG1;x;40;20.25\nG2;x;4;20,5\n", layout(true, mark));
        ASSERT_EQ(dairy.rows.size(), 2u);
        EXPECT_DOUBLE_EQ(dairy.rows[0].litres, 810);
        EXPECT_DOUBLE_EQ(dairy.rows[1].litres, 82);
        EXPECT_DOUBLE_EQ(dairy.rows[1].pitKg, 0);
        EXPECT_TRUE(dairy.leftOut.empty());
    }
}

TEST(ParseMilkFile, HeadsWithGroupingMarkOfTheLocale)
{
    MilkFileContent point = parseMilkFile("t\nG1;x;1,200;10;0;0\n", layout(false, u'.'));
    MilkFileContent comma = parseMilkFile("t\nG1;x;1.200;10;0;0\n", layout(false, u','));
    ASSERT_EQ(point.rows.size(), 1u);
    ASSERT_EQ(comma.rows.size(), 1u);
    EXPECT_DOUBLE_EQ(point.rows[0].heads, 1200);
    EXPECT_DOUBLE_EQ(comma.rows[0].heads, 1200);
}

TEST(ParseMilkFile, QuotesAndBlanksDisappearBeforeSplitting)
{
    MilkFileContent c = parseMilkFile("t\n\"G 1\" ; \"x\" ; 4 0 ; \"8 1 2,5\";7;1\n", layout(false, u'.'));
    ASSERT_EQ(c.rows.size(), 1u);
    EXPECT_EQ(c.rows[0].code, "G1");
    EXPECT_DOUBLE_EQ(c.rows[0].heads, 40);
    EXPECT_DOUBLE_EQ(c.rows[0].litres, 812.5);
}

TEST(ParseMilkFile, WhereTheReadingEnds)
{
    const MilkLayout delpro = layout(false, u'.');
    // Heads 0 adds no row; an empty first field ends the reading.
    auto c = parseMilkFile("t\nG1;x;0;5;0;1\nG2;x;3;5;0;1\n;x;3;5;0;1\nG4;x;3;5;0;1\n", delpro);
    ASSERT_EQ(c.rows.size(), 1u);
    EXPECT_EQ(c.rows[0].code, "G2");
    // An empty line (also one of blanks only) ends it.
    c = parseMilkFile("t\nG1;x;3;5;0;1\n   \nG2;x;3;5;0;1\n", delpro);
    EXPECT_EQ(c.rows.size(), 1u);
    // Dairycomp: heads 0 is a row; a line with "=" is the totals line.
    c = parseMilkFile("t\nG1;x;0;20\nG2;x;3;20\nTotal;=;3;20\nG3;x;3;20\n", layout(true, u'.'));
    ASSERT_EQ(c.rows.size(), 2u);
    EXPECT_DOUBLE_EQ(c.rows[0].litres, 0);
    // The title line alone, and nothing at all.
    EXPECT_TRUE(parseMilkFile("G;x;h;l;f;k\r\n", delpro).titleOnly);
    EXPECT_TRUE(parseMilkFile("", delpro).empty);
}

TEST(ParseMilkFile, LinesWithMissingOrBadNumbersAreLeftOut)
{
    const QByteArray file = "t\n"
                            "G1;x;40;800;0;10\n" // line 2: fine
                            "G2;x;abc;800;0;10\n" // 3: heads not a number
                            "G3;x;40;8x;0;10\n"   // 4: litres
                            "G4;x;40;800;0;\n"    // 5: pit kilograms empty
                            "G5;x;40\n"           // 6: litres missing
                            "G6;x;30;700;0;5\n";  // 7: fine, not the values of line 6
    const MilkFileContent c = parseMilkFile(file, layout(false, u'.'));
    ASSERT_EQ(c.rows.size(), 2u);
    EXPECT_EQ(c.rows[1].code, "G6");
    EXPECT_DOUBLE_EQ(c.rows[1].heads, 30);
    EXPECT_DOUBLE_EQ(c.rows[1].pitKg, 5);
    EXPECT_EQ(c.leftOut, std::vector<int>({3, 4, 5, 6}));

    const MilkFileContent d = parseMilkFile("t\nG1;x;4;\nG2;x;4\nG3;x;4;5\n", layout(true, u','));
    ASSERT_EQ(d.rows.size(), 1u);
    EXPECT_EQ(d.leftOut, std::vector<int>({2, 3}));
}

TEST(DelproDate, FromTheFileNameAfterTheStem)
{
    EXPECT_EQ(delproDateText("ordene_20260312.csv", "ordene"), "12/03/2026");
    EXPECT_EQ(delproDateText("ord_x_20260312.csv", "ord_x"), "12/03/2026");
    EXPECT_EQ(delproDateText("20260312.csv", ""), "12/03/2026");
    EXPECT_EQ(delproDateText("ordene20260312.csv", "ordene"), "12/03/2026");
    EXPECT_EQ(delproDateText("x.csv", "x"), "//.csv"); // short names give no date
}

// --- the stored reading --------------------------------------------------------

class Reader : public ::testing::TestWithParam<const char *>
{
protected:
    Reader() : home(QString::fromLatin1(GetParam())) {}

    MilkFileOutcome read(const QString &name, const QByteArray &bytes)
    {
        home.writeExport(name, bytes);
        return LeerDatos_CSV(home.ctx, home.exportPath(name), name);
    }

    QStringList events() const { return test::eventTexts(home); }

    MilkHome home;
};

INSTANTIATE_TEST_SUITE_P(Locales, Reader, ::testing::Values(".", ","));

TEST_P(Reader, StoresTheReadingItsHerdLinesAndTotals)
{
    home.addHerd("12", "Alta produccion", "G1,G2");
    home.addHerd("13", "Segundo", "G1, G3 ");
    home.addHerd("14", "Sin codigos", "");
    home.addHerd("15", "Nulo", QVariant());
    const MilkFileOutcome outcome = read("ordene_20260312.csv", "Grupo;Nombre;Vacas;Litros;Promedio;Fosa\r\n"
                                "G1;a;40;812,5;20,3;96,4\r\n"
                                "G2;b;10;200.5;20;10\r\n"
                                "G3;c;5;100;20;4\r\n"
                                "G9;d;3;60;20;2\r\n");
    ASSERT_EQ(home.count("Produccion_Lactea"), 1);
    const int id = home.scalar("select id from Produccion_Lactea").toInt();
    EXPECT_EQ(home.scalar("select fecha from Produccion_Lactea").toDate(), QDate(2026, 3, 12));
    EXPECT_EQ(home.scalar("select usuario || '|' || turno || '|' || actualizado || '|' || proceso "
                          "from Produccion_Lactea").toString(),
              "Zelvano|Delpro|0|AGREGAR");
    EXPECT_TRUE(home.scalar("select id_remoto from Produccion_Lactea").isNull());
    // Herd 12 sums G1 and G2; herd 13 finds G1 claimed already and gets G3 only.
    EXPECT_EQ(home.count("detalle_Produccion_Lactea"), 2);
    EXPECT_DOUBLE_EQ(home.scalar(QString("select cabezas from detalle_Produccion_Lactea where id = %1 "
                                         "and Rodeo = '12'").arg(id)).toDouble(), 50);
    EXPECT_DOUBLE_EQ(home.scalar("select litros from detalle_Produccion_Lactea where Rodeo = '12'")
                         .toDouble(), 1013);
    EXPECT_DOUBLE_EQ(home.scalar("select cabezas from detalle_Produccion_Lactea where Rodeo = '13'")
                         .toDouble(), 5);
    EXPECT_EQ(home.scalar("select total_cabezas from Produccion_Lactea").toInt(), 55);
    EXPECT_EQ(home.scalar("select total_litros from Produccion_Lactea").toInt(), 1113);
    // The claimed rows now carry the herd's id; the unclaimed one its code.
    ASSERT_TRUE(outcome.ok());
    ASSERT_EQ(outcome.groups.size(), 4u);
    EXPECT_EQ(outcome.groups[0].code, "12");
    EXPECT_EQ(outcome.groups[2].code, "13");
    EXPECT_EQ(outcome.groups[3].code, "G9");
    EXPECT_EQ(events().last(),
              "La importacion del archivo ordene_20260312.csv ha sido guardada correctamente - 10:00:00");
    EXPECT_FALSE(home.overlay.isVisible());
    EXPECT_EQ(home.overlay.text(), "Leyendo... Espere!!!");
    EXPECT_EQ(home.overlay.maximum(), 8);
}

// The file's decimal setting no longer changes what a number is worth.
TEST_P(Reader, EveryDecimalSettingReadsTheNumbersAsWritten)
{
    home.addHerd("1", "Uno", "G1");
    home.addHerd("2", "Dos", "G2");
    for (const char *fileSetting : {".", ",", ""}) {
        SCOPED_TRACE(fileSetting);
        home.ctx.settings.CsvDecimalSeparator = fileSetting;
        home.exec("delete from detalle_Produccion_Lactea");
        const MilkFileOutcome outcome =
            read("r_20260312.csv", "t\r\nG1;x;40;812,5;7;96,4\r\nG2;x;10;100.25;7;1\r\n");
        EXPECT_DOUBLE_EQ(home.scalar("select litros from detalle_Produccion_Lactea where Rodeo = '1'")
                             .toDouble(), 812.5);
        EXPECT_DOUBLE_EQ(home.scalar("select litros from detalle_Produccion_Lactea where Rodeo = '2'")
                             .toDouble(), 100.25);
        ASSERT_EQ(outcome.groups.size(), 2u);
        EXPECT_DOUBLE_EQ(outcome.groups[0].pitKg, 96.4);
    }
}

TEST_P(Reader, HerdTotalsAreRoundedHalfToEvenAfterEachHerd)
{
    home.addHerd("1", "Uno", "A");
    home.addHerd("2", "Dos", "B");
    read("r_20260312.csv", "t\nA;x;1;10.5;0;0\nB;x;1;11.5;0;0\n");
    EXPECT_EQ(home.scalar("select total_litros from Produccion_Lactea").toInt(), 22);

    MilkHome one(GetParam());
    one.addHerd("1", "Uno", "A");
    one.writeExport("r_20260312.csv", "t\nA;x;1;10.5;0;0\n");
    LeerDatos_CSV(one.ctx, one.exportPath("r_20260312.csv"), "r_20260312.csv");
    EXPECT_EQ(one.scalar("select total_litros from Produccion_Lactea").toInt(), 10);
}

TEST_P(Reader, HerdCodesAreTrimmedButBlanksInsideCount)
{
    home.addHerd("1", "Con blanco", "G 1");
    home.addHerd("2", "Recortado", "  G1  ");
    read("r_20260312.csv", "t\n\"G 1\";x;4;40;0;0\n");
    EXPECT_DOUBLE_EQ(home.scalar("select cabezas from detalle_Produccion_Lactea where Rodeo = '1'")
                         .toDouble(), 0);
    EXPECT_DOUBLE_EQ(home.scalar("select cabezas from detalle_Produccion_Lactea where Rodeo = '2'")
                         .toDouble(), 4);
}

TEST_P(Reader, DairycompTakesTheDayTheFileLastChanged)
{
    home.ctx.settings.ImportSoftware = "dairy";
    home.addHerd("1", "Uno", "G1");
    const QString path = home.writeExport("leche.csv", "t\r\nG1;x;40;20.25\r\nG2;x;10;20,5\r\n");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2026, 3, 12), QTime(6, 5, 9)),
                                 QFileDevice::FileModificationTime));
    file.close();
    LeerDatos_CSV(home.ctx, path, "leche.csv");
    EXPECT_EQ(home.scalar("select fecha from Produccion_Lactea").toDate(), QDate(2026, 3, 12));
    EXPECT_EQ(home.scalar("select turno from Produccion_Lactea").toString(), "Dairycomp");
    EXPECT_EQ(home.scalar("select total_litros from Produccion_Lactea").toInt(), 810);
}

TEST_P(Reader, ManyMoreGroupsThanAThousand)
{
    QByteArray file = "t\r\n";
    for (int i = 1; i <= 1500; ++i)
        file += "G" + QByteArray::number(i) + ";x;2;30;0;1\r\n";
    home.addHerd("1", "Ultimo", "G1500");
    EXPECT_EQ(read("big_20260312.csv", file).groups.size(), 1500u);
    EXPECT_EQ(home.scalar("select total_litros from Produccion_Lactea").toInt(), 30);
}

TEST_P(Reader, LastLineWithoutEndAndEveryLineEnd)
{
    home.addHerd("1", "Uno", "A,B");
    for (const QByteArray &file : {QByteArray("t\r\nA;x;1;10;0;0\r\nB;x;2;20;0;0"),
                                   QByteArray("t\nA;x;1;10;0;0\nB;x;2;20;0;0\n"),
                                   QByteArray("t\rA;x;1;10;0;0\rB;x;2;20;0;0")}) {
        home.exec("delete from Produccion_Lactea");
        read("r_20260312.csv", file);
        EXPECT_EQ(home.scalar("select total_litros from Produccion_Lactea").toInt(), 30);
        EXPECT_EQ(home.scalar("select total_cabezas from Produccion_Lactea").toInt(), 3);
    }
}

TEST_P(Reader, LeftOutLinesAreNamedInOneEvent)
{
    home.addHerd("1", "Uno", "A,C");
    read("r_20260312.csv", "t\nA;x;1;10;0;0\nB;x;?;20;0;0\nC;x;2;20;0;0\nD;x;2;20\n");
    EXPECT_EQ(home.scalar("select total_litros from Produccion_Lactea").toInt(), 30);
    const QStringList texts = events();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "Lineas del archivo r_20260312.csv no importadas por cabezas, litros o kilos "
                        "de fosa faltantes o no numericos: 3, 5 - 10:00:00");
}

TEST_P(Reader, ManyLeftOutLinesAreNamedUpToAHundred)
{
    home.addHerd("1", "Uno", "A");
    QByteArray file = "t\nA;x;1;10;0;0\n";
    for (int i = 0; i < 150; ++i)
        file += "B;x;?;20;0;0\n";
    read("r_20260312.csv", file);
    const QString text = events().first();
    EXPECT_TRUE(text.startsWith("Lineas del archivo r_20260312.csv no importadas por cabezas, litros o "
                                "kilos de fosa faltantes o no numericos: 3, 4, 5, "));
    EXPECT_TRUE(text.endsWith(", 101, 102 y 50 mas - 10:00:00")) << text.toStdString();
}

TEST_P(Reader, EmptyFileStoresNothingAndIsNamed)
{
    read("vacio_20260312.csv", "");
    EXPECT_EQ(home.count("Produccion_Lactea"), 0);
    EXPECT_EQ(events(), QStringList({"El archivo vacio_20260312.csv esta vacio, no se importo "
                                     "ninguna lectura - 10:00:00"}));
    EXPECT_FALSE(home.overlay.isVisible());
}

TEST_P(Reader, TitleLineOnlyIsInputPastEnd)
{
    home.addHerd("1", "Uno", "A");
    read("t_20260312.csv", "Grupo;Nombre;Vacas;Litros;Promedio;Fosa\r\n");
    EXPECT_EQ(home.count("Produccion_Lactea"), 0);
    EXPECT_EQ(events(), QStringList({"Error 62 (Input past end of file) en procedimiento "
                                     "LeerDatos_CSV de Formulario FrmSucesos 10:00:00"}));
}

TEST_P(Reader, MissingFileIsFileNotFound)
{
    LeerDatos_CSV(home.ctx, home.exportPath("nada.csv"), "nada.csv");
    EXPECT_EQ(events(), QStringList({"Error 53 (File not found) en procedimiento LeerDatos_CSV de "
                                     "Formulario FrmSucesos 10:00:00"}));
}

TEST_P(Reader, AFailureWhileStoringLeavesNoHalfReading)
{
    home.addHerd("1", "Uno", "A");
    home.addHerd("2", "Dos", "B");
    // The second herd's litres overflow the 32-bit total.
    read("r_20260312.csv", "t\nA;x;1;10;0;0\nB;x;1;3e9;0;0\n");
    EXPECT_EQ(home.count("Produccion_Lactea"), 0);
    EXPECT_EQ(home.count("detalle_Produccion_Lactea"), 0);
    EXPECT_EQ(events(), QStringList({"Error 6 (Overflow) en procedimiento LeerDatos_CSV de "
                                     "Formulario FrmSucesos 10:00:00"}));
    // The connection is usable and out of its transaction afterwards.
    EXPECT_FALSE(home.ctx.db().inTransaction());
}

// A name without a real day, and a Dairycomp file changed at exactly
// midnight, give the day the file last changed: never an empty date.
TEST_P(Reader, EveryReadingHasADay)
{
    home.ctx.settings.ImportFileName = "ordene";
    const QDateTime changed(QDate(2026, 11, 30), QTime(0, 0, 0));
    int readings = 0;
    for (const char *name : {"ordene_marzo.csv", "ordene_20260231.csv", "ordene_2026xx99.csv",
                             "ordene_00000101.csv", "ordene_2026-3-1.csv"}) {
        SCOPED_TRACE(name);
        home.writeExport(name, "t\nA;x;1;10;0;0\n");
        home.setChanged(name, changed);
        LeerDatos_CSV(home.ctx, home.exportPath(name), name);
        ASSERT_EQ(home.count("Produccion_Lactea"), ++readings);
        EXPECT_EQ(home.scalar("select fecha from Produccion_Lactea order by id desc").toString(),
                  "2026-11-30");
    }
    home.ctx.settings.ImportSoftware = "dairy";
    home.writeExport("leche.csv", "t\nA;x;1;10\n");
    home.setChanged("leche.csv", changed);
    LeerDatos_CSV(home.ctx, home.exportPath("leche.csv"), "leche.csv");
    EXPECT_EQ(home.scalar("select fecha from Produccion_Lactea order by id desc").toString(), "2026-11-30");
    EXPECT_EQ(home.scalar("select count(*) from Produccion_Lactea where fecha is null or fecha = ''").toInt(), 0);
}

} // namespace
} // namespace zelvano
