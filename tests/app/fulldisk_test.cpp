// A home on a small file system that fills up under the running service:
// status does not show the last success as the present, the failures say the
// disk is full, and once there is room again the record catches up.
#include "app/jobrecord.h"
#include "download/download.h"
#include "servicehome.h"
#include "store/connection.h"
#include "trips/save.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <unistd.h>

namespace zelvano::test {
namespace {

const QString kProgram = QStringLiteral(ZELVANO_EXECUTABLE);
constexpr int kTickMs = 300;

// A tmpfs of a few megabytes, mounted for the test and always taken away.
class SmallDisk
{
public:
    SmallDisk()
    {
        char name[] = "/tmp/zelvano-small-disk-XXXXXX";
        if (::mkdtemp(name))
            m_path = QString::fromLocal8Bit(name);
        m_mounted = !m_path.isEmpty() &&
                    QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=8m", "tmpfs", m_path}) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            QProcess::execute("umount", {"-l", m_path});
        if (!m_path.isEmpty())
            ::rmdir(QFile::encodeName(m_path).constData());
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_path; }

    // Writes until the disk is full.
    void fill() const
    {
        QFile filler(m_path + "/filler");
        filler.open(QIODevice::WriteOnly);
        const QByteArray block(64 * 1024, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        while (filler.write("x", 1) == 1 && filler.flush()) {
        }
    }
    void makeRoom() const { QFile::remove(m_path + "/filler"); }

private:
    QString m_path;
    bool m_mounted = false;
};

// The home made on the small disk.
class HomeOn : public ServiceHome
{
public:
    static std::unique_ptr<HomeOn> make(const SmallDisk &disk)
    {
        const QByteArray tmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(disk.path()));
        auto home = std::make_unique<HomeOn>();
        if (tmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", tmp);
        return home;
    }
};

struct ProgramRun
{
    int status;
    QString out;
};

ProgramRun zelvano(const ServiceHome &home, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(kProgram, QStringList{"--home", home.dir()} + args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAll())};
}

TEST(FullDisk, AHomeThatFillsUpUnderTheRunningService)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small file system takes root";
    SmallDisk disk;
    ASSERT_TRUE(disk.mounted());
    std::unique_ptr<HomeOn> home = HomeOn::make(disk);
    ASSERT_TRUE(home->dir().startsWith(disk.path()));
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

    // The program's own tables do not exist yet, and cannot be made: the
    // import says the disk is full, not that a table is missing.
    disk.fill();
    const ProgramRun import = zelvano(*home, {"import"});
    EXPECT_EQ(import.status, 1);
    EXPECT_TRUE(import.out.contains("El disco o la base de datos esta lleno")) << import.out.toStdString();
    EXPECT_FALSE(import.out.contains("no such table")) << import.out.toStdString();
    EXPECT_FALSE(import.out.contains("Parameter count mismatch")) << import.out.toStdString();

    // The last download that was recorded went well.
    disk.makeRoom();
    home->connect();
    DownloadOutcome downloaded;
    SaveOutcome saved;
    recordDownload(home->ctx, home->clock.now(), &downloaded, &saved);
    closeLocalConnection(home->ctx);
    ASSERT_EQ(zelvano(*home, {"status"}).status, 0);

    // Full under the running service, which fails every tick and can record none.
    disk.fill();
    qputenv("ZELVANO_TICK_MS", QByteArray::number(kTickMs));
    ChildProcess service;
    service.start(kProgram, serviceArguments(home->dir()), shortMinute(kTickMs));
    ASSERT_TRUE(waitForError(service, "was not written"));
    QThread::msleep(3 * kTickMs);
    const ProgramRun stale = zelvano(*home, {"status"});
    EXPECT_EQ(stale.status, 1) << stale.out.toStdString();
    EXPECT_TRUE(stale.out.contains("\ndownload: stale (the running program recorded no run since "))
        << stale.out.toStdString();
    EXPECT_TRUE(service.standardError().contains("El disco o la base de datos esta lleno"));
    EXPECT_FALSE(service.standardError().contains("no such table"));
    EXPECT_FALSE(service.standardError().contains("Parameter count mismatch"));

    // Room again: the next run writes the record, with what it kept.
    disk.makeRoom();
    EXPECT_TRUE(waitUntil(
        [&] {
            const QJsonObject o =
                QJsonDocument::fromJson(zelvano(*home, {"status", "--json"}).out.toUtf8()).object();
            return o["jobs"]["download"]["stale"] == false &&
                   o["jobs"]["download"]["ok"] == false && o["jobs"]["import"]["ok"] == true;
        },
        20000));
    service.terminate();
    EXPECT_TRUE(service.waitFinished(10000));
    qunsetenv("ZELVANO_TICK_MS");
}

} // namespace
} // namespace zelvano::test
