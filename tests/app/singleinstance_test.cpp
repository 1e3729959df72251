#include "app/singleinstance.h"
#include "childwait.h"
#include "platform/instancelock.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace zelvano::test {
namespace {

TEST(SingleInstance, OneClaimPerFolderWhateverItsSpelling)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("farm/sub"));
    ASSERT_TRUE(QFile::link(dir.filePath("farm"), dir.filePath("link")));
    const QString farm = dir.filePath("farm");

    auto holder = std::make_unique<FolderInstanceLock>();
    ASSERT_TRUE(holder->claim(farm));
    EXPECT_TRUE(holder->claim(farm)) << "the holder keeps its claim";
    for (const QString &spelling : {farm, farm + "/", dir.filePath("farm/sub/.."),
                                    dir.filePath("link"), dir.filePath("./farm")}) {
        FolderInstanceLock other;
        EXPECT_FALSE(other.claim(spelling)) << spelling.toStdString();
    }
    // Another folder, even inside this one, is free.
    FolderInstanceLock inner;
    EXPECT_TRUE(inner.claim(dir.filePath("farm/sub")));
    FolderInstanceLock missing;
    EXPECT_TRUE(missing.claim(dir.filePath("not-there")));

    // The claim goes with its holder.
    holder.reset();
    FolderInstanceLock next;
    EXPECT_TRUE(next.claim(dir.filePath("link")));
}

TEST(SingleInstance, ARefusedStartTellsWhy)
{
    TestHome home;
    FolderInstanceLock running;
    ASSERT_TRUE(running.claim(home.dir()));
    FolderInstanceLock second;
    EXPECT_TRUE(Ver_Abierto(home.ctx, second));
    ASSERT_EQ(home.notices.notices().size(), 1u);
    const auto &n = home.notices.notices()[0];
    EXPECT_EQ(n.kind, "message");
    EXPECT_EQ(n.text, "Ya hay una version en ejecucion de Zelvano");
    EXPECT_EQ(n.title, "Zelvano");
    EXPECT_EQ(n.icon, UserNotices::Icon::Exclamation);

    TestHome other;
    FolderInstanceLock elsewhere;
    EXPECT_FALSE(Ver_Abierto(other.ctx, elsewhere));
    EXPECT_TRUE(other.notices.notices().empty());
}

const QString kProgram = QStringLiteral(ZELVANO_EXECUTABLE);

TEST(SingleInstance, OnlyTheServiceAndTrayCountAndOnlyForTheirOwnFolder)
{
    TestHome home;
    TestHome other;
    ChildProcess first;
    first.start(kProgram, serviceArguments(home.dir()));
    ASSERT_TRUE(waitForError(first, "running without a window")) << first.standardError().data();

    // A second service on the same folder is refused, with a status systemd restarts on.
    ChildProcess second;
    second.start(kProgram, serviceArguments(home.dir()));
    ASSERT_TRUE(second.waitFinished(10000));
    EXPECT_FALSE(second.crashed());
    EXPECT_EQ(second.exitCode(), kExitAnotherCopyRuns);
    EXPECT_TRUE(
        second.standardError().contains("Zelvano: Ya hay una version en ejecucion de Zelvano"))
        << second.standardError().data();
    EXPECT_TRUE(first.running()) << "the running copy must stay";

    // Another folder runs its own service.
    ChildProcess elsewhere;
    elsewhere.start(kProgram, serviceArguments(other.dir()));
    EXPECT_TRUE(waitForError(elsewhere, "running without a window"))
        << elsewhere.standardError().data();

    // One-shot commands are never refused, nor do they count.
    for (const QStringList &command : {QStringList{"settings"}, QStringList{"events"}}) {
        QProcess oneShot;
        oneShot.start(kProgram, QStringList{"--home", home.dir()} + command);
        ASSERT_TRUE(oneShot.waitForFinished(15000));
        EXPECT_EQ(oneShot.exitCode(), 0) << command.join(' ').toStdString() << ": "
                                         << oneShot.readAllStandardError().constData();
    }

    first.terminate();
    elsewhere.terminate();
    ASSERT_TRUE(first.waitFinished(10000));
    ASSERT_TRUE(elsewhere.waitFinished(10000));
    EXPECT_EQ(first.exitCode(), 0);

    // The folder is free again, also after a copy killed outright.
    ChildProcess killed;
    killed.start(kProgram, serviceArguments(home.dir()));
    ASSERT_TRUE(waitForError(killed, "running without a window")) << killed.standardError().data();
    killed.killHard();
    ChildProcess after;
    after.start(kProgram, serviceArguments(home.dir()));
    EXPECT_TRUE(waitForError(after, "running without a window")) << after.standardError().data();
    after.terminate();
    EXPECT_TRUE(after.waitFinished(10000));
}

TEST(SingleInstance, TheTrayProgramAndTheServiceShareTheFolder)
{
    TestHome home;
    // The tray program (offscreen: no notification area, so its window stays
    // and it logs so once it holds the folder).
    ChildProcess tray;
    tray.start(kProgram, {"--home", home.dir()});
    ASSERT_TRUE(waitUntil([&] { return !eventTexts(home).isEmpty() || !tray.running(); }, 15000));
    ASSERT_TRUE(tray.running()) << tray.standardError().data();

    ChildProcess service;
    service.start(kProgram, serviceArguments(home.dir()));
    ASSERT_TRUE(service.waitFinished(10000));
    EXPECT_EQ(service.exitCode(), kExitAnotherCopyRuns) << service.standardError().data();

    tray.terminate();
    ASSERT_TRUE(tray.waitFinished(10000));
    EXPECT_EQ(tray.exitCode(), 0);

    // Now the service holds it and the tray program is refused: it says so,
    // and ends with the refusal's status once its box is gone.
    ChildProcess holder;
    holder.start(kProgram, serviceArguments(home.dir()));
    ASSERT_TRUE(waitForError(holder, "running without a window")) << holder.standardError().data();
    ChildProcess refused;
    refused.start(kProgram, {"--home", home.dir()});
    ASSERT_TRUE(waitForError(refused, "another copy")) << refused.standardError().data();
    refused.terminate();
    ASSERT_TRUE(refused.waitFinished(10000));
    EXPECT_EQ(refused.exitCode(), kExitAnotherCopyRuns);
    EXPECT_TRUE(holder.running());
    holder.terminate();
    EXPECT_TRUE(holder.waitFinished(10000));
}

} // namespace
} // namespace zelvano::test
