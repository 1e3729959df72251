// A home on a small file system that fills up under the running service:
// status does not show the last success as the present, and the failures say
// the disk is full.
#include "app/jobrecord.h"
#include "download/download.h"
#include "servicehome.h"
#include "store/connection.h"
#include "trips/save.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

const QString kProgram = QStringLiteral(ZELVANO_EXECUTABLE);
constexpr int kTickMs = 300;

// A tmpfs of 8 MB mounted for the test, always taken away; the home is made on it.
struct SmallDisk
{
    QTemporaryDir mountPoint;
    bool mounted = QProcess::execute(
                       "mount", {"-t", "tmpfs", "-o", "size=8m", "tmpfs", mountPoint.path()}) == 0;
    ~SmallDisk()
    {
        if (mounted)
            QProcess::execute("umount", {"-l", mountPoint.path()});
    }
    void fill() const
    {
        QProcess::execute(
            "dd", {"if=/dev/zero", "of=" + mountPoint.filePath("filler"), "bs=64k", "status=none"});
    }
    void makeRoom() const { QFile::remove(mountPoint.filePath("filler")); }
    std::unique_ptr<ServiceHome> home() const
    {
        const QByteArray tmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(mountPoint.path()));
        auto home = std::make_unique<ServiceHome>();
        qputenv("TMPDIR", tmp);
        return home;
    }
};

QString zelvano(const ServiceHome &home, const QStringList &args, int *status = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(kProgram, QStringList{"--home", home.dir()} + args);
    p.waitForFinished(60000);
    if (status)
        *status = p.exitCode();
    return QString::fromUtf8(p.readAll());
}

void expectFullSaidSo(const QString &out)
{
    EXPECT_TRUE(out.contains("Error 61 (El disco o la base de datos esta lleno"))
        << qPrintable(out);
    EXPECT_FALSE(out.contains("no such table") || out.contains("Parameter count mismatch"));
}

TEST(FullDisk, AHomeThatFillsUpUnderTheRunningService)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system takes root";
    const SmallDisk disk;
    ASSERT_TRUE(disk.mounted);
    const std::unique_ptr<ServiceHome> home = disk.home();
    home->settings(QStringLiteral("usa_intervalo = false, importa_csv = true, "
                                  "carpeta_importacion = '%1', archivo_importacion = 'ordene', "
                                  "hora_importacion = '00:00', software_importacion = 'delpro', "
                                  "separador_campos = ';', id_cliente_remoto = '12', "
                                  "modo_remoto = 'WEB', servidor_remoto = '127.0.0.1:%2'")
                       .arg(home->exportFolder())
                       .arg(refusedPort()));
    QFile file(home->exportFolder() + "/ordene_20261201.csv");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Grupo;Nombre;Vacas;Litros;Promedio;Fosa\r\nG1;a;40;800;0;1\r\n");
    file.close();

    // The program's own tables cannot be made: the disk is full, no table missing.
    disk.fill();
    int status = 0;
    expectFullSaidSo(zelvano(*home, {"import"}, &status));
    EXPECT_EQ(status, 1);

    // The last download recorded went well; then the disk fills under the
    // service, which fails every tick and can record none.
    disk.makeRoom();
    home->connect();
    DownloadOutcome downloaded;
    SaveOutcome saved;
    recordDownload(home->ctx, home->clock.now(), &downloaded, &saved);
    closeLocalConnection(home->ctx);
    disk.fill();
    qputenv("ZELVANO_TICK_MS", QByteArray::number(kTickMs)); // status's tick is the service's
    ChildProcess service;
    service.start(kProgram, serviceArguments(home->dir()), shortMinute(kTickMs));
    ASSERT_TRUE(waitForError(service, "was not written"));
    QThread::msleep(3 * kTickMs);
    const QString stale = zelvano(*home, {"status"}, &status);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(stale.contains("\ndownload: stale (the running program recorded no run since "))
        << qPrintable(stale);
    expectFullSaidSo(QString::fromUtf8(service.standardError()));

    service.terminate();
    EXPECT_TRUE(service.waitFinished(10000));
    qunsetenv("ZELVANO_TICK_MS");
}

} // namespace
} // namespace zelvano::test
