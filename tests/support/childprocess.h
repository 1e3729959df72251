#pragma once

// A program under test run as a child process, to be killed at a chosen
// moment (SIGKILL, SIGTERM) by crash-consistency tests. Its standard output and
// error go to temporary files (never to a pipe that could fill and stall it)
// and can be read at any time. Depends on Qt Core only.
//
//   const quint32 seed = testSeed();
//   SCOPED_TRACE(testing::Message() << "seed " << seed);   // reproduce with ZELVANO_TEST_SEED
//   const ChildResult r = ChildProcess::runKilledAfter(
//       ZELVANO_EXECUTABLE, {"--download"}, {{"HOME", home.dir()}}, randomDelayMs(50, 800, seed));

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <memory>

namespace zelvano::test {

struct ChildResult
{
    bool killed = false;   // still running at the delay: SIGKILL ended it
    bool finished = false; // ended by itself before the SIGKILL
    int exitCode = -1;     // its exit code when finished (the signal number when killed)
    bool crashed = false;  // ended by a signal
    int delayMs = 0;
    qint64 elapsedMs = 0; // from start to its end
    QByteArray standardOutput;
    QByteArray standardError;
};

class ChildProcess
{
public:
    ChildProcess();
    // SIGKILL when still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // Starts program; env adds to (or, with a null QString value, removes
    // from) this process's environment; an empty workingDir keeps ours.
    // Throws std::runtime_error when it cannot start.
    void start(const QString &program, const QStringList &args = {},
               const QMap<QString, QString> &env = {}, const QString &workingDir = {});

    bool running();
    qint64 pid() const;
    // True when it has ended (within timeoutMs).
    bool waitFinished(int timeoutMs);
    // True once its standard output contains text; false when it ended or
    // timeoutMs passed before.
    bool waitForOutput(const QByteArray &text, int timeoutMs);
    // SIGKILL, then waits for its end (a few seconds at most).
    void killHard();
    // SIGTERM only: the caller waits.
    void terminate();

    int exitCode() const;     // the signal number when it crashed
    bool crashed() const;     // ended by a signal
    qint64 elapsedMs() const; // since start (to its end once it ended)
    QByteArray standardOutput() const;
    QByteArray standardError() const;

    // Starts the program, sends SIGKILL after delayMs if it still runs, and
    // says which happened.
    static ChildResult runKilledAfter(const QString &program, const QStringList &args,
                                      const QMap<QString, QString> &env, int delayMs,
                                      const QString &workingDir = {});

private:
    std::unique_ptr<QProcess> m_process;
    QTemporaryFile m_out;
    QTemporaryFile m_err;
    qint64 m_startedMs = 0;
    qint64 m_endedMs = -1;
};

// A reproducible delay in [lo, hi] for a seed (the same on every machine).
int randomDelayMs(int lo, int hi, quint32 seed);
// ZELVANO_TEST_SEED when set, else a fresh random seed: print it on failure.
quint32 testSeed();

} // namespace zelvano::test
