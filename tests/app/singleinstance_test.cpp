#include "app/singleinstance.h"
#include "fakeprocesses.h"
#include "platform/processlist.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

TEST(SingleInstance, SecondProcessOfTheSameNameIsAnotherCopy)
{
    TestHome home;
    const FakeProcessList one({"systemd", "zelvano", "bash"});
    EXPECT_FALSE(Ver_Abierto(home.ctx, one, "zelvano"));
    EXPECT_TRUE(home.notices.notices().empty());

    const FakeProcessList two({"zelvano", "bash", "zelvano"});
    EXPECT_TRUE(Ver_Abierto(home.ctx, two, "zelvano"));
    ASSERT_EQ(home.notices.notices().size(), 1u);
    const auto &n = home.notices.notices()[0];
    EXPECT_EQ(n.kind, "message");
    EXPECT_EQ(n.text, "Ya hay una version en ejecucion de Zelvano");
    EXPECT_EQ(n.title, "Zelvano");
    EXPECT_EQ(n.icon, UserNotices::Icon::Exclamation);
}

TEST(SingleInstance, NamesCompareExactlyWithLetterCase)
{
    EXPECT_FALSE(secondCopyListed({"Zelvano.exe", "zelvano.exe"}, "Zelvano.exe"));
    EXPECT_FALSE(secondCopyListed({"zelvano", "Zelvano", "ZELVANO"}, "zelvano"));
    EXPECT_FALSE(secondCopyListed({"zelvano", "zelvano-old", "xzelvano"}, "zelvano"));
    EXPECT_TRUE(
        secondCopyListed({"Zelvano.exe", "x", "Zelvano.exe", "Zelvano.exe"}, "Zelvano.exe"));
    EXPECT_FALSE(secondCopyListed({}, "zelvano"));
}

TEST(SingleInstance, ReplacedExecutableStillCounts)
{
    EXPECT_EQ(executableNameOfLink("/opt/zelvano/bin/zelvano (deleted)"), "zelvano");
    EXPECT_EQ(executableNameOfLink("/usr/bin/zelvano"), "zelvano");
}

TEST(SingleInstance, MachineListHoldsThisProgram)
{
    const QString own = ownExecutableName();
    EXPECT_EQ(own, "app_tests");
    // ctest may run other cases of this program at the same time: at least one.
    const QStringList names = SystemProcessList().names();
    EXPECT_GE(names.count(own), 1);
}

} // namespace
} // namespace zelvano::test
