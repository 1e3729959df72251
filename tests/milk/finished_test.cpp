// Which files a scan reads: only finished ones (not changed a moment ago, not
// held open for writing), not empty ones, not garbage, not oversized ones;
// and a trouble is told once, not at every scan.

#include "milkhome.h"

#include "cli/status.h"

#include "milk/csvreader.h"
#include "milk/import.h"
#include "platform/openwriters.h"

#include <QFile>
#include <QProcess>

#include <fcntl.h>

namespace zelvano {
namespace {

using test::MilkHome;

const QString kName = QStringLiteral("ordene_20260312.csv");
const QByteArray kTitle = "Grupo;Nombre;Vacas;Litros;Promedio;Fosa\r\n";

// A dairy with a pit diet and herd 1 claiming G1..G5.
class Dairy : public MilkHome
{
public:
    Dairy()
    {
        ctx.settings.ImportFileName = QStringLiteral("ordene");
        addHerd("1", "Uno", "G1,G2,G3,G4,G5");
        addPitDiet();
    }

    // Dates the file without a look of the scan.
    void date(const QDateTime &when) const
    {
        QFile file(exportPath(kName));
        if (!file.open(QIODevice::ReadWrite) ||
            !file.setFileTime(when, QFileDevice::FileModificationTime))
            throw std::runtime_error("cannot date the export");
    }

    void append(const QByteArray &bytes) const
    {
        QFile file(exportPath(kName));
        if (!file.open(QIODevice::Append))
            throw std::runtime_error("cannot append");
        file.write(bytes);
    }

    // Nothing of the file is stored and it waits under its own name.
    void expectWaiting() const
    {
        EXPECT_EQ(count("Produccion_Lactea"), 0);
        EXPECT_EQ(count("lectura_viajes"), 0);
        EXPECT_TRUE(exportNames().contains(kName));
    }
};

// Looks of the scan with the wall clock set between them: only an unchanged
// file and the program's own time across two looks tell it finished; the wall
// clock and the file's own date play no part. A file dated after the wall
// clock is read all the same, with one event about its date.
TEST(FinishedFiles, TwoLooksOnTheProgramsOwnClockAndNothingElse)
{
    struct Case
    {
        const char *what;
        qint64 datedSecs;   // the file's date, from the wall clock's now
        qint64 wallSetSecs; // the wall clock set between the first two looks
        qint64 ownSecs;     // the program's own time between them
        bool appended;      // the writer adds its second half between them
        bool readAtSecond;
        bool future; // an event tells its date is in the future
    };
    const Case cases[] = {
        {"wall clock a day ahead, writer appending", -60, 86400, 10, true, false, false},
        {"wall clock set back a day, file unchanged", -60, -86400, 10, false, true, true},
        {"unchanged for 9 s only", -3600, 0, 9, false, false, false},
        {"dated an hour ahead", 3600, 0, 10, false, true, true},
        {"dated a year ahead", 366 * 86400, 0, 10, false, true, true},
    };
    // The full 10 s, not the tests' shortened settling time.
    const QByteArray shortened = qgetenv("ZELVANO_SETTLE_MS");
    qunsetenv("ZELVANO_SETTLE_MS");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Dairy home;
        home.append(kTitle + "G1;a;200;4000;0;1\r\n");
        home.date(home.clock.now().addSecs(c.datedSecs));
        EXPECT_TRUE(Abrir(home.ctx).files.empty()); // first seen: not yet
        home.clock.set(home.clock.now().addSecs(c.wallSetSecs));
        if (c.appended) {
            home.append("G2;a;200;4000;0;1\r\n");
            home.date(home.clock.now());
        }
        home.clock.advanceSeconds(c.ownSecs);
        EXPECT_EQ(Abrir(home.ctx).files.size(), c.readAtSecond ? 1u : 0u);
        home.clock.advanceSeconds(10);
        Abrir(home.ctx);
        // One reading of the whole file, never one of a half.
        EXPECT_EQ(home.count("Produccion_Lactea"), 1);
        EXPECT_EQ(home.scalar("select total_cabezas from Produccion_Lactea").toInt(),
                  c.appended ? 400 : 200);
        EXPECT_EQ(test::eventTexts(home).filter("tiene fecha futura").size(), c.future ? 1 : 0);
    }
    qputenv("ZELVANO_SETTLE_MS", shortened);
}

// Names that are not valid text reach their file by their bytes alone: once
// finished, each is set aside under its readable name with one event, and
// counted by status before; a name that is text, however written, is read.
TEST(FinishedFiles, NamesThatAreNotTextAreSetAsideOnceAndCounted)
{
    struct Case
    {
        QByteArray name;
        QString readable;
    };
    const Case cases[] = {
        {"ordene_20250901\xff\xfe.csv", "ordene_20250901\\xFF\\xFE.csv"},
        {"ordene_2025\xc3.csv", "ordene_2025\\xC3.csv"}, // a sequence cut short
        {"ordene_20250903_\xc3\xb1\xe2\x82.csv", "ordene_20250903_\u00f1\\xE2\\x82.csv"},
    };
    Dairy home;
    home.exec("update mi_empresa set importa_csv = true, software_importacion = 'delpro', "
              "archivo_importacion = 'ordene', hora_importacion = '00:00', "
              "carpeta_importacion = '" +
              home.folder() + "'");
    const QByteArray folder = QFile::encodeName(home.folder()) + '/';
    for (const Case &c : cases) {
        QFile file;
        ASSERT_TRUE(file.open(::open((folder + c.name).constData(), O_CREAT | O_WRONLY, 0644),
                              QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
        file.write(kTitle + "G1;a;40;800;0;1\r\n");
    }
    home.append(kTitle + "G1;a;40;800;0;1\r\n");
    home.date(home.clock.now());
    const WaitingFiles waiting = readStatus(home.dir(), home.clock.now()).files;
    EXPECT_EQ(waiting.unreadable, 3);
    EXPECT_EQ(waiting.total(), 4);

    EXPECT_TRUE(Abrir(home.ctx).setAside.empty());
    home.clock.advanceSeconds(10);
    EXPECT_EQ(Abrir(home.ctx).setAside.size(), std::size(cases));
    Abrir(home.ctx);
    QStringList expected = {"--leido--" + kName}, told;
    for (const Case &c : cases) {
        expected << "--rechazado--" + c.readable;
        told << "El archivo " + c.readable +
                    " tiene un nombre que no es texto valido: no se "
                    "importo y se aparto como --rechazado--" +
                    c.readable + " - 10:00:10";
    }
    QStringList names = home.exportNames(), events = test::eventTexts(home);
    for (QStringList *list : {&expected, &told, &names, &events})
        list->sort();
    EXPECT_EQ(names, expected);
    EXPECT_EQ(events.filter("no es texto valido"), told);
    EXPECT_EQ(readStatus(home.dir(), home.clock.now()).files.refused, 3);
}

// The writer keeps the file open (this process, then another one): nothing is
// read until it lets go, whatever the file's time says; then every line is.
TEST(FinishedFiles, AFileHeldOpenForWritingWaitsForItsLastLine)
{
    Dairy home;
    home.writeExport(kName, kTitle);
    {
        QFile writer(home.exportPath(kName));
        ASSERT_TRUE(writer.open(QIODevice::Append));
        writer.write("G1;a;40;800;0;10\r\nG2;a;40;800;0;7");
        writer.flush();
        home.setChanged(kName, home.clock.now().addSecs(-60));
        EXPECT_TRUE(Abrir(home.ctx).files.empty());
        home.expectWaiting();
        // The last field of the line was cut: 7 of 70.6.
        writer.write("0.6\r\nG3;a;40;800;0;5\r\n");
    }
    home.setChanged(kName, home.clock.now().addSecs(-60));

    QProcess other;
    other.setStandardOutputFile(home.exportPath(kName), QIODevice::Append);
    other.start("sleep", {"30"});
    ASSERT_TRUE(other.waitForStarted());
    EXPECT_TRUE(SystemFileWriters().heldForWriting(home.exportPath(kName)));
    EXPECT_TRUE(Abrir(home.ctx).files.empty());
    home.expectWaiting();
    other.kill();
    other.waitForFinished();

    EXPECT_EQ(Abrir(home.ctx).files.size(), 1u);
    EXPECT_EQ(home.count("Produccion_Lactea"), 1);
    EXPECT_EQ(home.scalar("select total_cabezas from Produccion_Lactea").toInt(), 120);
    EXPECT_EQ(home.count("lectura_descarga"), 3);
    EXPECT_EQ(home.scalar("select kg_real from lectura_descarga where cabezas = 40 and id_mod = "
                          "(select min(id_mod) + 1 from lectura_descarga)")
                  .toDouble(),
              71);
    EXPECT_TRUE(SystemFileWriters().heldForWriting(home.exportPath("--leido--" + kName)) == false);
}

// A writer that opens the file for each line and closes it again: between
// its lines no process holds the file, but its time keeps moving.
TEST(FinishedFiles, AWriterThatReopensTheFilePerLineGivesOneReading)
{
    Dairy home;
    home.clock.set(QDateTime::currentDateTime());
    QFile(home.exportPath(kName)).open(QIODevice::WriteOnly);
    EXPECT_TRUE(Abrir(home.ctx).files.empty()); // empty, and just made
    for (const QByteArray &line :
         {kTitle, QByteArray("G1;a;40;800;0;1\r\n"), QByteArray("G2;a;30;600;0;1\r\n"),
          QByteArray("G3;a;20;400;0;1\r\n")}) {
        home.append(line);
        home.clock.set(QDateTime::currentDateTime().addSecs(2));
        EXPECT_TRUE(Abrir(home.ctx).files.empty());
    }
    home.expectWaiting();
    EXPECT_TRUE(test::eventTexts(home).isEmpty());
    home.clock.advanceSeconds(11);
    EXPECT_EQ(Abrir(home.ctx).files.size(), 1u);
    EXPECT_EQ(home.count("Produccion_Lactea"), 1);
    EXPECT_EQ(home.scalar("select total_cabezas from Produccion_Lactea").toInt(), 90);
}

TEST(FinishedFiles, AnEmptyFileWaitsAndIsToldOnce)
{
    Dairy home;
    home.writeExport(kName, "");
    const QString told =
        "El archivo " + kName + " esta vacio, no se importo ninguna lectura - 10:00:00";
    for (int scan = 0; scan < 3; ++scan) {
        EXPECT_TRUE(Abrir(home.ctx).files.empty());
        home.expectWaiting();
    }
    EXPECT_EQ(test::eventTexts(home), QStringList({told}));
    // Written at last: read in full.
    home.writeExport(kName, kTitle + "G1;a;40;800;0;1\r\nG2;a;40;800;0;1\r\n");
    home.setChanged(kName, home.clock.now().addSecs(-30));
    EXPECT_EQ(Abrir(home.ctx).files.size(), 1u);
    EXPECT_EQ(home.scalar("select total_cabezas from Produccion_Lactea").toInt(), 80);
    // Emptied again later under the same name: a new situation, told again.
    home.writeExport(kName, "");
    Abrir(home.ctx);
    EXPECT_EQ(test::eventTexts(home).count(told), 2);
}

// No group line in it: nothing stored, one event, its read name, and it is
// not read again.
TEST(FinishedFiles, GarbageIsNoReading)
{
    Dairy home;
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary += char((i * 131 + 7) % 256);
    home.writeExport("ordene_20260301.csv", binary);
    home.writeExport("ordene_20260302.csv", kTitle + "G1;a;x;800;0;1\r\nG2;a;;;;\r\n");
    home.writeExport("ordene_20260303.csv", kTitle);
    const ImportOutcome outcome = Abrir(home.ctx);
    EXPECT_EQ(outcome.files.size(), 3u);
    EXPECT_EQ(outcome.failedFiles.size(), 3u);
    EXPECT_EQ(home.exportNames(),
              QStringList({"--leido--ordene_20260301.csv", "--leido--ordene_20260302.csv",
                           "--leido--ordene_20260303.csv"}));
    for (const char *table : {"Produccion_Lactea", "detalle_Produccion_Lactea", "lectura_viajes",
                              "lectura_descarga", "lectura_Carga"})
        EXPECT_EQ(home.count(table), 0) << table;
    const QStringList texts = test::eventTexts(home);
    ASSERT_EQ(texts.size(), 4) << texts.join('\n').toStdString();
    EXPECT_EQ(texts[0],
              "El archivo ordene_20260301.csv no tiene ninguna linea de grupo valida, no se "
              "importo ninguna lectura - 10:00:00");
    EXPECT_EQ(texts[1],
              "El archivo ordene_20260302.csv no tiene ninguna linea de grupo valida, no se "
              "importo ninguna lectura - 10:00:00");
    EXPECT_EQ(texts[2], "Error 62 (Input past end of file) en procedimiento LeerDatos_CSV de "
                        "Formulario FrmSucesos 10:00:00");
    EXPECT_FALSE(texts.join('\n').contains("guardada correctamente"));
    EXPECT_TRUE(Abrir(home.ctx).files.empty());
    EXPECT_EQ(test::eventTexts(home).size(), 4);
}

// Too large for an export: never read, named once, moved aside under a name
// that says so, and not looked at again.
TEST(FinishedFiles, AFileOverTheSizeLimitIsSetAsideOnce)
{
    Dairy home;
    home.writeExport(kName, kTitle + "G1;a;40;800;0;1\r\n");
    {
        QFile file(home.exportPath(kName));
        ASSERT_TRUE(file.resize(kMaxMilkFileBytes + 1)); // sparse: no disk taken
    }
    home.setChanged(kName, home.clock.now().addSecs(-60));
    const ImportOutcome outcome = Abrir(home.ctx);
    EXPECT_TRUE(outcome.files.empty());
    ASSERT_EQ(outcome.setAside.size(), 1u);
    EXPECT_EQ(outcome.setAside[0].readName, "--rechazado--" + kName);
    ASSERT_EQ(outcome.failedFiles.size(), 1u);
    EXPECT_EQ(home.exportNames(), QStringList({"--rechazado--" + kName}));
    EXPECT_EQ(QFileInfo(home.exportPath("--rechazado--" + kName)).size(), kMaxMilkFileBytes + 1);
    EXPECT_EQ(home.count("Produccion_Lactea"), 0);
    EXPECT_EQ(test::eventTexts(home),
              QStringList({"El archivo " + kName +
                           " tiene 8388609 bytes, mas que los 8388608 de un "
                           "archivo de ordene: no se importo y se aparto como --rechazado--" +
                           kName + " - 10:00:00"}));
    Abrir(home.ctx);
    EXPECT_EQ(test::eventTexts(home).size(), 1);

    // One that cannot even be moved aside is told once and stays.
    const QString longName = "ordene_" + QString(240, u'x') + ".csv";
    home.writeExport(longName, "");
    {
        QFile file(home.exportPath(longName));
        ASSERT_TRUE(file.resize(kMaxMilkFileBytes + 100));
    }
    home.setChanged(longName, home.clock.now().addSecs(-60));
    for (int scan = 0; scan < 3; ++scan) {
        const ImportOutcome later = Abrir(home.ctx);
        ASSERT_EQ(later.failedFiles.size(), 1u);
        EXPECT_EQ(later.failedFiles[0].name, longName);
    }
    EXPECT_TRUE(home.exportNames().contains(longName));
    const QStringList texts = test::eventTexts(home);
    ASSERT_EQ(texts.size(), 3);
    EXPECT_TRUE(texts[1].startsWith("El archivo " + longName + " tiene 8388708 bytes"));
    EXPECT_TRUE(texts[2].startsWith("No se pudo renombrar el archivo " + longName));
    EXPECT_EQ(home.count("Produccion_Lactea"), 0);
}

// A file whose reading cannot be stored waits and is told once, not at every
// scan; once the file is mended it is read.
TEST(FinishedFiles, AFileThatCannotBeStoredIsToldOnceAndWaits)
{
    Dairy home;
    home.addHerd("2", "Dos", "G9");
    // Herd 2's litres overflow the reading's 32-bit total.
    home.writeExport(kName, kTitle + "G1;a;40;800;0;1\r\nG9;a;1;3e9;0;1\r\n");
    for (int scan = 0; scan < 3; ++scan) {
        const ImportOutcome outcome = Abrir(home.ctx);
        ASSERT_EQ(outcome.failedFiles.size(), 1u);
        EXPECT_EQ(outcome.failedFiles[0].name, kName);
        EXPECT_EQ(outcome.failedFiles[0].reason, "Error 6 (Overflow)");
        home.expectWaiting();
        home.clock.advanceSeconds(60);
    }
    EXPECT_EQ(test::eventTexts(home),
              QStringList({"Error 6 (Overflow) en procedimiento LeerDatos_CSV "
                           "de Formulario FrmSucesos 10:00:00"}));
    home.writeExport(kName, kTitle + "G1;a;40;800;0;1\r\nG9;a;1;30;0;1\r\n");
    EXPECT_EQ(Abrir(home.ctx).files.size(), 1u);
    EXPECT_EQ(home.scalar("select total_litros from Produccion_Lactea").toInt(), 830);
    EXPECT_EQ(home.count("zelvano_avisos"), 0);
}

} // namespace
} // namespace zelvano
