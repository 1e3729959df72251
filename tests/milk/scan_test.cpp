#include "milkhome.h"

#include "milk/import.h"

#include <QProcess>

#include <cstdio>

namespace zelvano {
namespace {

using test::MilkHome;

const QByteArray kFile = "t\r\nG1;a;40;800;0;1\r\n";
const QString kUploadLater = QStringLiteral(
    "No se pudo conectar con el servidor, la sincronizacion se hará mas tarde automaticamente");

TEST(Scan, ReadsNewFilesOnlyAndMarksThemRead)
{
    MilkHome home;
    home.addHerd("1", "Uno", "G1");
    home.writeExport("a.csv", kFile);
    home.writeExport("--leido--b.csv", kFile);
    home.writeExport("informe_leido.csv", kFile);
    home.writeExport("LEIDO.csv", kFile);
    home.writeExport(".oculto.csv", kFile);
    home.writeExport("notas.txt", kFile);
    Abrir(home.ctx);
    EXPECT_EQ(home.exportNames(),
              QStringList({"--leido--a.csv", "--leido--b.csv", "--leido--LEIDO.csv", ".oculto.csv",
                           "informe_leido.csv", "notas.txt"}));
    EXPECT_EQ(home.count("Produccion_Lactea"), 2);
    const QStringList texts = test::eventTexts(home);
    ASSERT_EQ(texts.size(), 3);
    EXPECT_TRUE(texts[0].startsWith("La importacion del archivo a.csv ha sido"));
    EXPECT_TRUE(texts[1].startsWith("La importacion del archivo LEIDO.csv ha sido"));
    // One upload after the files; this home names no server, so it waits for later.
    EXPECT_TRUE(texts[2].startsWith(kUploadLater));

    // A second scan finds nothing new.
    Abrir(home.ctx);
    EXPECT_EQ(home.count("Produccion_Lactea"), 2);
    EXPECT_TRUE(home.notices.notices().empty());
}

TEST(Scan, DelproStemAndDateFromTheOriginalName)
{
    MilkHome home;
    home.ctx.settings.ImportFileName = "ordene";
    home.writeExport("ordene_20260312.csv", kFile);
    home.writeExport("otro_20260313.csv", kFile);
    const auto read = Abrir(home.ctx).files;
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].name, "ordene_20260312.csv");
    EXPECT_EQ(read[0].readName, "--leido--ordene_20260312.csv");
    EXPECT_EQ(home.scalar("select fecha from Produccion_Lactea").toDate(), QDate(2026, 3, 12));
}

TEST(Scan, UnderscoreInTheFolderDoesNotMoveTheDate)
{
    MilkHome home;
    QDir(home.dir()).mkpath("Leche_Export");
    home.ctx.settings.ImportFolder = home.filePath("Leche_Export");
    home.ctx.settings.ImportFileName = "ordene";
    QFile file(home.filePath("Leche_Export/ordene_20260312.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(kFile);
    file.flush();
    ASSERT_TRUE(file.setFileTime(home.clock.now().addSecs(-60), QFileDevice::FileModificationTime));
    file.close();
    Abrir(home.ctx); // the first look
    home.clock.advanceSeconds(10);
    Abrir(home.ctx);
    EXPECT_EQ(home.scalar("select fecha from Produccion_Lactea").toDate(), QDate(2026, 3, 12));
    EXPECT_TRUE(QFile::exists(home.filePath("Leche_Export/--leido--ordene_20260312.csv")));
}

TEST(Scan, DairycompNameWithTheStampOfTheReading)
{
    MilkHome home(",");
    home.ctx.settings.ImportSoftware = "dairy";
    home.ctx.settings.ImportFileName = "leche";
    home.clock.set(QDateTime(QDate(2026, 3, 12), QTime(6, 5, 9)));
    home.writeExport("leche.csv", "t\nG1;x;40;20.25\n");
    home.writeExport("leche2.csv", kFile);
    Abrir(home.ctx);
    EXPECT_EQ(home.exportNames(), QStringList({"--leido--12-03-2026 06;05;09 leche.csv", "leche2.csv"}));
    const QStringList texts = test::eventTexts(home);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], "La importacion del archivo leche.csv ha sido guardada correctamente - 06:05:09");
    EXPECT_TRUE(texts[1].startsWith(kUploadLater));

    // The next export, read in the same second, still gets a name of its own.
    home.writeExport("leche.csv", "t\nG1;x;40;20.25\n");
    home.setChanged("leche.csv", home.clock.now().addSecs(-30));
    Abrir(home.ctx);
    EXPECT_EQ(home.exportNames().size(), 3);
    EXPECT_TRUE(home.exportNames().contains("--leido--12-03-2026 06;05;09 (2) leche.csv"));
    EXPECT_EQ(home.count("Produccion_Lactea"), 2);
}

TEST(Scan, ANameReadBeforeGetsAUniqueReadName)
{
    MilkHome home;
    home.writeExport("--leido--x.csv", kFile);
    home.writeExport("x.csv", kFile);
    Abrir(home.ctx);
    EXPECT_EQ(home.exportNames(), QStringList({"--leido--07-12-2026 10;00;00 x.csv", "--leido--x.csv"}));
    EXPECT_EQ(home.count("Produccion_Lactea"), 1);
    EXPECT_TRUE(home.notices.notices().empty());
}

TEST(Scan, AFileThatCannotBeRenamedIsStoredOnceAndToldOnce)
{
    MilkHome home;
    // Its read name would be longer than a file name may be.
    const QString longName = QString(250, u'n') + ".csv";
    home.writeExport(longName, kFile);
    home.writeExport("z.csv", kFile);
    ImportOutcome first = Abrir(home.ctx);
    ASSERT_EQ(first.files.size(), 1u);
    EXPECT_EQ(first.files[0].name, "z.csv");
    ASSERT_EQ(first.failedFiles.size(), 1u);
    EXPECT_EQ(first.failedFiles[0].name, longName);
    EXPECT_FALSE(first.ok());
    EXPECT_TRUE(home.exportNames().contains(longName));
    EXPECT_EQ(home.count("Produccion_Lactea"), 2);
    const QString told = "No se pudo renombrar el archivo " + longName + " a --leido--" + longName +
                         " (File name too long); su lectura ya esta guardada y no se importara de "
                         "nuevo - 10:00:00";
    EXPECT_EQ(test::eventTexts(home).count(told), 1);

    // Scans later: the name is tried again, the reading is not stored again
    // and nothing more is told.
    const int events = test::eventTexts(home).size();
    for (int minute = 1; minute <= 2; ++minute) {
        home.clock.advanceSeconds(60);
        const ImportOutcome later = Abrir(home.ctx);
        EXPECT_TRUE(later.files.empty());
        ASSERT_EQ(later.failedFiles.size(), 1u);
        EXPECT_EQ(later.failedFiles[0].name, longName);
    }
    EXPECT_EQ(home.count("Produccion_Lactea"), 2);
    EXPECT_EQ(test::eventTexts(home).size(), events);
}

TEST(Scan, OtherSoftwareValuesDoNothing)
{
    for (const char *software : {"Delpro", "", "DAIRY"}) {
        MilkHome home;
        home.ctx.settings.ImportSoftware = software;
        home.ctx.settings.HeadCountFromMilk = true;
        home.writeExport("a.csv", kFile);
        Abrir(home.ctx);
        EXPECT_EQ(home.exportNames(), QStringList({"a.csv"}));
        EXPECT_EQ(home.count("Produccion_Lactea"), 0);
        EXPECT_TRUE(test::eventTexts(home).isEmpty());
    }
}

TEST(Scan, MissingFolderMessage)
{
    for (const char *software : {"delpro", "dairy"}) {
        MilkHome home;
        home.ctx.settings.ImportSoftware = software;
        home.ctx.settings.ImportFolder = home.filePath("no-existe");
        Abrir(home.ctx);
        ASSERT_EQ(home.notices.notices().size(), 1u);
        const auto &box = home.notices.notices()[0];
        EXPECT_EQ(box.text, "Zelvano no pudo encontrar la ruta de importacion de archivos de Delpro ''" +
                                home.filePath("no-existe") +
                                "'', verificar la misma en Brenmoor Avanzado desde Tablero de Control - "
                                "Datos Remotos");
        EXPECT_EQ(box.icon, UserNotices::Icon::Exclamation);
        EXPECT_EQ(box.title, "Zelvano");
    }
}

TEST(Scan, TwoFilesInNameOrder)
{
    MilkHome home;
    home.ctx.settings.ImportFileName = "ordene";
    home.writeExport("ordene_20260313.csv", "t\nG1;a;41;800;0;1\n");
    home.writeExport("Ordene_20260312.csv", "t\nG1;a;40;800;0;1\n");
    const auto read = Abrir(home.ctx).files;
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].name, "Ordene_20260312.csv");
    EXPECT_EQ(read[1].name, "ordene_20260313.csv");
    EXPECT_EQ(home.scalar("select fecha from Produccion_Lactea order by id desc").toDate(),
              QDate(2026, 3, 13));
}

TEST(Scan, HeadCountsFromTheNewReadingWhenConfigured)
{
    for (bool refresh : {true, false}) {
        MilkHome home;
        home.ctx.settings.HeadCountFromMilk = refresh;
        home.addHerd("1", "Uno", "G1,G2");
        home.addHerd("2", "Dos", "G3");
        home.addHerd("3", "Sin lectura", QVariant());
        home.exec("update rodeos set cabezas = 99");
        home.writeExport("a_20260311.csv", "t\nG1;a;40;800;0;1\nG2;a;3;80;0;1\nG3;a;12;300;0;1\n");
        home.writeExport("b_20260312.csv", "t\nG1;a;41;800;0;1\nG3;a;11;300;0;1\n");
        Abrir(home.ctx);
        const QStringList texts = test::eventTexts(home);
        // The refresh (when set) and then one upload, after both files.
        ASSERT_EQ(texts.size(), refresh ? 4 : 3);
        EXPECT_TRUE(texts.last().startsWith(kUploadLater));
        if (refresh) {
            // Once, after both files: the newest reading's lines.
            EXPECT_TRUE(texts[2].startsWith("Se Actualizaron las cabezas de los rodeos correctamente "
                                            "con las cabezas del orde"));
            EXPECT_EQ(home.scalar("select cabezas from rodeos where id = '1'").toInt(), 41);
            EXPECT_EQ(home.scalar("select cabezas from rodeos where id = '2'").toInt(), 11);
        } else {
            EXPECT_EQ(home.scalar("select cabezas from rodeos where id = '1'").toInt(), 99);
        }
        EXPECT_EQ(home.scalar("select cabezas from rodeos where id = '3'").toInt(), 99);
    }
}

TEST(Scan, NoFileReadNoHeadCountRefresh)
{
    MilkHome home;
    home.ctx.settings.HeadCountFromMilk = true;
    home.writeExport("--leido--a.csv", kFile);
    Abrir(home.ctx);
    EXPECT_TRUE(test::eventTexts(home).isEmpty());
    EXPECT_FALSE(home.overlay.isVisible());
}

TEST(ImportCommand, ScansTheConfiguredFolderOfTheHome)
{
    MilkHome home;
    home.exec("update mi_empresa set importa_csv = true, carpeta_importacion = '" + home.folder() +
              "', archivo_importacion = 'ordene', software_importacion = 'delpro', "
              "separador_campos = ';', separador_decimal = ','");
    home.exec("insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, actividad, corral) "
              "values ('1', 1, 'Uno', 0, 'G1', 1, 1)");
    home.writeExport("ordene_20260312.csv", "t\r\nG1;a;40;812,5;0;1\r\n");
    QProcess zelvano;
    zelvano.start(ZELVANO_EXECUTABLE, {"--home", home.dir(), "import"});
    ASSERT_TRUE(zelvano.waitForFinished(30000));
    EXPECT_EQ(zelvano.exitCode(), 0) << zelvano.readAllStandardError().toStdString();
    EXPECT_EQ(QString::fromUtf8(zelvano.readAllStandardOutput()),
              "ordene_20260312.csv -> --leido--ordene_20260312.csv\n");
    EXPECT_DOUBLE_EQ(home.scalar("select litros from detalle_Produccion_Lactea").toDouble(), 812.5);
}

// The command names each file that failed and why, and exits 1.
TEST(ImportCommand, NamesTheFilesThatFailed)
{
    MilkHome home;
    home.exec("update mi_empresa set importa_csv = true, carpeta_importacion = '" + home.folder() +
              "', archivo_importacion = 'ordene', software_importacion = 'delpro', "
              "separador_campos = ';', separador_decimal = ','");
    home.writeExport("ordene_20260311.csv", "t\r\n\x01\x02;\xff\r\n");
    home.writeExport("ordene_20260312.csv", "t\r\nG1;a;40;812,5;0;1\r\n");
    std::fclose(std::fopen((QFile::encodeName(home.folder()) + "/ordene_2026\xff.csv").data(), "w"));
    QProcess zelvano;
    zelvano.start(ZELVANO_EXECUTABLE, {"--home", home.dir(), "import"});
    ASSERT_TRUE(zelvano.waitForFinished(30000));
    EXPECT_EQ(zelvano.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(zelvano.readAllStandardOutput()),
              "ordene_20260311.csv -> --leido--ordene_20260311.csv\n"
              "ordene_20260312.csv -> --leido--ordene_20260312.csv\n"
              "ordene_2026\\xFF.csv -> --rechazado--ordene_2026\\xFF.csv (set aside)\n");
    const QString errors = QString::fromUtf8(zelvano.readAllStandardError());
    EXPECT_TRUE(errors.contains("import: ordene_20260311.csv failed: Error 13 (no group line)"))
        << errors.toStdString();
    EXPECT_FALSE(errors.contains("ordene_20260312.csv failed"));
    EXPECT_EQ(home.count("Produccion_Lactea"), 1);
}

} // namespace
} // namespace zelvano
