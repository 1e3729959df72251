#include "childwait.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <csignal>

namespace zelvano::test {
namespace {

const QString kProgram = QStringLiteral(ZELVANO_EXECUTABLE);

TEST(Service, SigtermOrSigintEndItCleanlyWhenIdle)
{
    TestHome home;
    for (const bool interrupt : {false, true}) {
        ChildProcess service;
        service.start(kProgram, serviceArguments(home.dir()));
        ASSERT_TRUE(waitForError(service, "running without a window"))
            << service.standardError().data();
        if (interrupt)
            ::kill(pid_t(service.pid()), SIGINT);
        else
            service.terminate();
        ASSERT_TRUE(service.waitFinished(10000));
        EXPECT_FALSE(service.crashed());
        EXPECT_EQ(service.exitCode(), 0);
        EXPECT_TRUE(service.standardError().contains("zelvano: stopped"))
            << service.standardError().data();
    }
}

} // namespace
} // namespace zelvano::test
