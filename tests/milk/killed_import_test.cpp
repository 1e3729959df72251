// The real program imports large Delpro exports with a pit diet and is killed
// (SIGKILL) in the middle: at named steps of a file and at random instants.
// After every kill each file is stored exactly once or not at all, and the
// scans that follow finish the job and store what a run without the kill
// stores.

#include "milkfarm.h"
#include "support/childprocess.h"

#include <QElapsedTimer>

#include <csignal>

namespace zelvano {
namespace {

using test::ChildProcess;
using test::ChildResult;
using test::MilkFarm;

constexpr int kFiles = 4;
constexpr int kGroups = 2500;

void addFiles(MilkFarm &farm)
{
    for (int day = 1; day <= kFiles; ++day)
        farm.addFile(day, kGroups);
}

ChildResult runImport(const MilkFarm &farm, int killAfterMs = 120000,
                      const QMap<QString, QString> &env = {})
{
    return ChildProcess::runKilledAfter(ZELVANO_EXECUTABLE, {"--home", farm.dir(), "import"}, env,
                                        killAfterMs);
}

// What a run without faults stores, and how long it takes.
struct Reference
{
    QString rows;
    qint64 elapsedMs = 0;
};

Reference referenceRun()
{
    MilkFarm farm;
    addFiles(farm);
    const ChildResult run = runImport(farm);
    EXPECT_TRUE(run.finished && run.exitCode == 0) << run.standardError.toStdString();
    int read = 0;
    EXPECT_TRUE(farm.exactlyOnceOrNotYet(&read));
    EXPECT_EQ(read, kFiles);
    return {farm.storedRows(), run.elapsedMs};
}

// The job finished: every file once, under its read name, nothing pending,
// the rows of a run without faults; and a scan after that stores nothing.
void expectFinished(const MilkFarm &farm, const Reference &reference)
{
    int read = 0;
    ASSERT_TRUE(farm.exactlyOnceOrNotYet(&read));
    EXPECT_EQ(read, kFiles);
    for (const auto &file : farm.files())
        EXPECT_TRUE(farm.exportNames().contains("--leido--" + file.name))
            << file.name.toStdString();
    EXPECT_EQ(farm.scalar("select count(*) from zelvano_lecturas where pendiente = 1").toInt(), 0);
    EXPECT_EQ(farm.storedRows(), reference.rows);

    const int events = test::eventTexts(farm).size();
    const ChildResult again = runImport(farm);
    EXPECT_TRUE(again.finished && again.exitCode == 0) << again.standardError.toStdString();
    EXPECT_TRUE(again.standardOutput.isEmpty()) << again.standardOutput.toStdString();
    EXPECT_EQ(farm.storedRows(), reference.rows);
    EXPECT_EQ(test::eventTexts(farm).size(), events);
}

// The process ends itself at a named step; the step after each kill shows
// the state it left, and the runs after finish it.
TEST(KilledImport, AtEachStepOfAFileTheNextScansFinishTheJob)
{
    const Reference reference = referenceRun();
    MilkFarm farm;
    addFiles(farm);
    struct Step
    {
        const char *at;
        int read;         // files stored after the kill
        int underOwnName; // of them, still under their own name
    };
    // Killed after the commit of file 1; while renaming it at the next scan;
    // in file 2's reading, in its pit trip, before its commit; after file 3's
    // commit; after file 4's rename.
    const Step steps[] = {{"committed:1", 1, 1}, {"renamed:1", 1, 0}, {"reading:1", 1, 0},
                          {"unload:1200", 1, 0}, {"commit:1", 1, 0},  {"committed:2", 3, 1},
                          {"renamed:2", 4, 0}};
    for (const Step &step : steps) {
        SCOPED_TRACE(step.at);
        const ChildResult run = runImport(farm, 120000, {{"ZELVANO_IMPORT_CRASH_AT", step.at}});
        EXPECT_TRUE(run.crashed) << "the step was not reached";
        EXPECT_EQ(run.exitCode, SIGKILL);
        int read = 0;
        ASSERT_TRUE(farm.exactlyOnceOrNotYet(&read));
        EXPECT_EQ(read, step.read);
        int ownName = 0;
        for (const auto &file : farm.files())
            ownName += farm.exportNames().contains(file.name) &&
                       farm.scalar("select count(*) from zelvano_lecturas where archivo = '" +
                                   file.name + "' and pendiente = 1")
                               .toInt() == 1;
        EXPECT_EQ(ownName, step.underOwnName);
    }
    // The last kill left file 4 renamed with its record still pending.
    EXPECT_EQ(farm.scalar("select count(*) from zelvano_lecturas where pendiente = 1").toInt(), 1);
    const ChildResult last = runImport(farm);
    EXPECT_TRUE(last.finished && last.exitCode == 0) << last.standardError.toStdString();
    expectFinished(farm, reference);
}

TEST(KilledImport, AtRandomInstantsNothingIsLostOrStoredTwice)
{
    const Reference reference = referenceRun();
    const quint32 seed = test::testSeed();
    SCOPED_TRACE(testing::Message() << "seed " << seed << " (ZELVANO_TEST_SEED)");
    // A run takes the reference's time at most; most kills land inside it.
    const int longest = int(reference.elapsedMs * 8 / 10) + 30;
    int kills = 0;
    int runs = 0;
    QElapsedTimer spent;
    spent.start();
    // Homes one after the other, each killed until a run gets through, until
    // enough kills or the time for them is spent.
    for (int home = 0; kills < 20 && spent.elapsed() < 60000; ++home) {
        MilkFarm farm;
        addFiles(farm);
        for (int attempt = 0;; ++attempt) {
            ASSERT_LT(attempt, 40) << "the import never got through";
            const int delay = test::randomDelayMs(30, longest, seed + quint32(runs++));
            const ChildResult run = runImport(farm, delay);
            ASSERT_TRUE(farm.exactlyOnceOrNotYet())
                << "killed after " << delay << " ms in home " << home;
            if (run.finished) {
                EXPECT_EQ(run.exitCode, 0) << run.standardError.toStdString();
                break;
            }
            ++kills;
        }
        expectFinished(farm, reference);
    }
    RecordProperty("kills", kills);
    std::printf("%d kills in %d runs (a whole run %lld ms)\n", kills, runs,
                static_cast<long long>(reference.elapsedMs));
    EXPECT_GE(kills, 10);
}

// Two scans at once on the same folder and database: each file once.
TEST(KilledImport, TwoScansAtOnceStoreEachFileOnce)
{
    const Reference reference = referenceRun();
    MilkFarm farm;
    addFiles(farm);
    ChildProcess first;
    ChildProcess second;
    first.start(ZELVANO_EXECUTABLE, {"--home", farm.dir(), "import"});
    second.start(ZELVANO_EXECUTABLE, {"--home", farm.dir(), "import"});
    ASSERT_TRUE(first.waitFinished(120000));
    ASSERT_TRUE(second.waitFinished(120000));
    EXPECT_FALSE(first.crashed());
    EXPECT_FALSE(second.crashed());
    // Between them they name every file once.
    const QByteArray output = first.standardOutput() + second.standardOutput();
    for (const auto &file : farm.files())
        EXPECT_EQ(output.count((file.name + " -> --leido--" + file.name + "\n").toUtf8()), 1)
            << output.toStdString();
    expectFinished(farm, reference);
}

} // namespace
} // namespace zelvano
