#include "app/headless.h"
#include "servicehome.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

const QString kProgram = QStringLiteral(ZELVANO_EXECUTABLE);
constexpr int kFiles = 24;
constexpr int kGroups = 300;

// A dairy whose milking files the service imports from the first tick on,
// with a pit diet; the server is unreachable, so that the synchronisation
// after the files fails at once and leaves the readings pending.
void makeDairy(const ServiceHome &home, const QString &folder)
{
    home.settings(QStringLiteral("usa_intervalo = true, intervalo_minutos = '1000', "
                                 "importa_csv = true, carpeta_importacion = '%1', "
                                 "archivo_importacion = 'ordene', hora_importacion = '00:00', "
                                 "software_importacion = 'delpro', separador_campos = ';', "
                                 "separador_decimal = '.', cabezas_desde_ordene = true, "
                                 "id_cliente_remoto = '12', password_remoto = 'secreto', "
                                 "modo_remoto = 'WEB', servidor_remoto = '127.0.0.1:%2'")
                      .arg(folder)
                      .arg(refusedPort()));
    for (int herd = 1; herd <= 20; ++herd) {
        QStringList codes;
        for (int g = herd; g <= kGroups; g += 20)
            codes << QStringLiteral("G%1").arg(g);
        home.exec(QStringLiteral("insert into rodeos (id, id_cat, Descripcion, cabezas, codigos, "
                                 "actividad, corral) values ('%1', 1, 'Rodeo %1', 0, '%2', 1, %1)")
                      .arg(herd)
                      .arg(codes.join(u',')));
    }
    home.exec("insert into dietas (id, nombre, delpro) values (7, 'Fosa', true)");
    home.exec("insert into prescripcion_viajes values (30, 2, 'Racion fosa', 0, '06:30:00', "
              "'2', '7')");
    home.exec(
        "insert into Prescripcion_detalle_alimentos values (30, 2, 501, 'Balanceado fosa', 0)");
    for (int f = 1; f <= kFiles; ++f) {
        QByteArray text = "Grupo;Nombre;Vacas;Litros;Promedio;Fosa\r\n";
        for (int g = 1; g <= kGroups; ++g)
            text += QStringLiteral("G%1;Grupo %1;%2;%3.5;%4.2;%5.25\r\n")
                        .arg(g)
                        .arg(10 + (g * f) % 17)
                        .arg(200 + (g * 7 + f) % 300)
                        .arg(20 + g % 9)
                        .arg(30 + (g + f) % 11)
                        .toLatin1();
        QFile file(QStringLiteral("%1/ordene_202611%2.csv").arg(folder).arg(f, 2, 10, QChar('0')));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        // A finished export: the import leaves files changed a moment ago alone.
        ASSERT_TRUE(file.flush());
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                     QFileDevice::FileModificationTime));
    }
}

const QStringList kMilkTables = {"Produccion_Lactea", "detalle_Produccion_Lactea", "lectura_viajes",
                                 "lectura_Carga",     "lectura_descarga",          "rodeos"};

// Files read so far (renamed) and files left as they came.
std::pair<int, int> readAndLeft(const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files);
    const int read = int(names.filter(QStringLiteral("--leido--")).size());
    return {read, int(names.size()) - read};
}

TEST(StopOnTime, SigtermDuringAnImportLeavesEveryFileWholeOrUntouched)
{
    const quint32 seed = testSeed();
    SCOPED_TRACE(testing::Message() << "seed " << seed << " (ZELVANO_TEST_SEED)");

    // The same dairy imported without a fault, by the one-shot command.
    ServiceHome reference;
    makeDairy(reference, reference.exportFolder());
    QProcess oneShot;
    QElapsedTimer importing;
    importing.start();
    oneShot.start(kProgram, {"--home", reference.dir(), "import"});
    ASSERT_TRUE(oneShot.waitForFinished(60000));
    const int importMs = int(importing.elapsed());
    ASSERT_EQ(readAndLeft(reference.exportFolder()), std::make_pair(kFiles, 0));

    ServiceHome home;
    const QString folder = home.exportFolder();
    makeDairy(home, folder);
    ChildProcess service;
    service.start(kProgram, serviceArguments(home.dir()), shortMinute());
    ASSERT_TRUE(waitUntil([&] { return readAndLeft(folder).first > 0; }, 20000))
        << service.standardError().data();
    // Within the first quarter of a whole import, so that the signal finds it
    // under way however fast the machine is.
    QThread::msleep(randomDelayMs(0, importMs / 4, seed));
    ASSERT_GT(readAndLeft(folder).second, 0) << "the import ended before the signal";
    service.terminate();
    QElapsedTimer stopping;
    stopping.start();
    ASSERT_TRUE(service.waitFinished(10000)) << "still running 10 s after SIGTERM";
    EXPECT_LT(stopping.elapsed(), 10000);
    const QByteArray err = service.standardError();
    EXPECT_TRUE(service.exitCode() == 0 || service.exitCode() == kExitStopForced) << err.data();
    EXPECT_TRUE(err.contains("SIGTERM during Abrir")) << err.data();
    EXPECT_TRUE(err.contains("zelvano: stopped") || err.contains("did not end in time"))
        << err.data();

    // Each file read is stored once, with its pit trip; the others are untouched.
    EXPECT_EQ(integrity(home), "ok");
    const auto [read, left] = readAndLeft(folder);
    EXPECT_EQ(read + left, kFiles);
    EXPECT_EQ(home.count("select count(*) from Produccion_Lactea"), read);
    EXPECT_EQ(home.count("select count(*) from lectura_viajes where id < 0"), read);
    EXPECT_EQ(home.count("select count(*) from detalle_Produccion_Lactea"), read * 20);

    // The next run reads the rest, and everything equals the run without a fault.
    ChildProcess next;
    next.start(kProgram, serviceArguments(home.dir()), shortMinute());
    ASSERT_TRUE(waitUntil([&] { return readAndLeft(folder).second == 0; }, 30000))
        << next.standardError().data();
    ASSERT_TRUE(waitUntil(
        [&] { return home.countIs("select count(*) from Produccion_Lactea", kFiles); }, 30000));
    next.terminate();
    ASSERT_TRUE(next.waitFinished(10000));
    EXPECT_EQ(home.stored(kMilkTables), reference.stored(kMilkTables));
}

} // namespace
} // namespace zelvano::test
