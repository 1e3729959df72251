// The resident memory of the real program importing the largest file it
// accepts, and refusing files far larger (1 GB, 200 MB): all well under
// 200 MB. The large files are sparse: they take no disk.

#include "milkfarm.h"

#include "milk/csvreader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStorageInfo>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>

extern char **environ;

namespace zelvano {
namespace {

using test::MilkFarm;

constexpr long kLimitKb = 200 * 1024;

// Under the address sanitizer every allocation carries red zones and freed
// memory is held back: the figures are printed, the limit is for real builds.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

struct Measured
{
    int exitCode = -1;
    long maxRssKb = 0;
    double seconds = 0;
};

// Runs the program to its end and takes its own peak resident memory.
Measured runMeasured(const QString &home)
{
    const QByteArray program = ZELVANO_EXECUTABLE;
    const QByteArray homeArg = QFile::encodeName(home);
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>("--home"),
                    const_cast<char *>(homeArg.constData()), const_cast<char *>("import"), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    Measured m;
    const int rc = posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return m;
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return m;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    m.maxRssKb = usage.ru_maxrss;
    m.seconds = timer.elapsed() / 1000.0;
    return m;
}

// A file of sizeBytes with no disk behind it.
void sparseFile(const MilkFarm &farm, const QString &name, qint64 sizeBytes)
{
    farm.writeExport(name, "Grupo;Nombre;Vacas;Litros;Promedio;Fosa\r\nG1;a;1;1;0;1\r\n");
    QFile file(farm.exportPath(name));
    ASSERT_TRUE(file.resize(sizeBytes));
    file.close();
    farm.setChanged(name, farm.clock.now().addSecs(-60));
}

TEST(Memory, RefusingFilesOfAGigabyteAndOf200MB)
{
    MilkFarm farm;
    sparseFile(farm, "ordene_20260301.csv", qint64(1) << 30);
    sparseFile(farm, "ordene_20260302.csv", qint64(200) << 20);
    const Measured refused = runMeasured(farm.dir());
    std::printf("refusing a 1 GB and a 200 MB file: peak resident %ld kB in %.2f s\n",
                refused.maxRssKb, refused.seconds);
    RecordProperty("refusing_peak_kb", int(refused.maxRssKb));
    EXPECT_EQ(refused.exitCode, 1); // both files failed: set aside
    EXPECT_GT(refused.maxRssKb, 0);
    if (!kSanitized)
        EXPECT_LT(refused.maxRssKb, kLimitKb);
    EXPECT_EQ(farm.exportNames(), QStringList({"--rechazado--ordene_20260301.csv",
                                               "--rechazado--ordene_20260302.csv"}));
    EXPECT_EQ(farm.count("Produccion_Lactea"), 0);
}

// The largest file accepted, made of the shortest group lines a Delpro export
// can have: the most groups, every one a pit-trip unload.
TEST(Memory, ImportingTheLargestAcceptedFile)
{
    MilkFarm farm;
    const QStorageInfo disk(farm.dir());
    if (disk.bytesAvailable() < 2 * kMaxMilkFileBytes + (qint64(400) << 20))
        GTEST_SKIP() << "not enough free disk for the file and its rows";
    QByteArray text = "Grupo;Nombre;Vacas;Litros;Promedio;Fosa\r\n";
    text.reserve(kMaxMilkFileBytes);
    int groups = 0;
    for (;;) {
        const QByteArray line = "G" + QByteArray::number(groups + 1) + ";;1;2;;3\r\n";
        if (text.size() + line.size() > kMaxMilkFileBytes)
            break;
        text += line;
        ++groups;
    }
    farm.writeExport("ordene_20260301.csv", text);
    text.clear();
    text.squeeze();
    const Measured imported = runMeasured(farm.dir());
    std::printf("importing %lld bytes, %d groups with their pit trip: peak resident %ld kB in "
                "%.2f s\n",
                static_cast<long long>(kMaxMilkFileBytes), groups, imported.maxRssKb,
                imported.seconds);
    RecordProperty("importing_peak_kb", int(imported.maxRssKb));
    EXPECT_EQ(imported.exitCode, 0);
    if (!kSanitized)
        EXPECT_LT(imported.maxRssKb, kLimitKb);
    EXPECT_EQ(farm.count("Produccion_Lactea"), 1);
    EXPECT_EQ(farm.count("lectura_descarga"), groups);
    EXPECT_EQ(farm.exportNames(), QStringList({"--leido--ordene_20260301.csv"}));
}

} // namespace
} // namespace zelvano
