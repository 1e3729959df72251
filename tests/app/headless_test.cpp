#include "support/testsupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace zelvano::test {
namespace {

class ServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A name of its own, so that a copy of the program that runs elsewhere
        // on this machine is not taken for this one.
        program =
            home.filePath(QStringLiteral("zelvano-svc-%1").arg(QCoreApplication::applicationPid()));
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZELVANO_EXECUTABLE), program));
    }

    void start(QProcess &p)
    {
        p.setProgram(program);
        p.setArguments({"--home", home.dir(), "--headless"});
        p.start();
        ASSERT_TRUE(p.waitForStarted(5000));
    }

    // Waits until standard error holds the text.
    static bool waitForError(QProcess &p, QByteArray *seen, const QByteArray &text)
    {
        QElapsedTimer clock;
        clock.start();
        while (!seen->contains(text) && clock.elapsed() < 10000) {
            p.waitForReadyRead(100);
            *seen += p.readAllStandardError();
        }
        return seen->contains(text);
    }

    TestHome home;
    QString program;
};

TEST_F(ServiceTest, RunsUntilSigtermAndRefusesSecondCopy)
{
    QProcess first;
    start(first);
    QByteArray err;
    ASSERT_TRUE(waitForError(first, &err, "running without a window")) << err.constData();

    QProcess second;
    start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    const QByteArray secondErr = second.readAllStandardError();
    EXPECT_TRUE(secondErr.contains("Zelvano: Ya hay una version en ejecucion de Zelvano"))
        << secondErr.constData();
    EXPECT_EQ(first.state(), QProcess::Running) << "the running copy must stay";

    ::kill(pid_t(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(10000));
    err += first.readAllStandardError();
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_TRUE(err.contains("zelvano: stopped")) << err.constData();
}

TEST_F(ServiceTest, SigintEndsCleanly)
{
    QProcess p;
    start(p);
    QByteArray err;
    ASSERT_TRUE(waitForError(p, &err, "running without a window")) << err.constData();
    ::kill(pid_t(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}

} // namespace
} // namespace zelvano::test
