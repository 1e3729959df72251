#include "support/childprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QThread>

#include <random>
#include <stdexcept>

namespace zelvano::test {

namespace {

qint64 nowMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

ChildProcess::ChildProcess() = default;

ChildProcess::~ChildProcess()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

void ChildProcess::start(const QString &program, const QStringList &args,
                         const QMap<QString, QString> &env, const QString &workingDir)
{
    if (m_process)
        throw std::runtime_error("ChildProcess: started twice");
    if (!m_out.open() || !m_err.open())
        throw std::runtime_error("ChildProcess: no temporary files for the output");
    m_process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = env.begin(); it != env.end(); ++it) {
        if (it.value().isNull())
            environment.remove(it.key());
        else
            environment.insert(it.key(), it.value());
    }
    m_process->setProcessEnvironment(environment);
    if (!workingDir.isEmpty())
        m_process->setWorkingDirectory(workingDir);
    m_process->setStandardInputFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(m_out.fileName(), QIODevice::Truncate);
    m_process->setStandardErrorFile(m_err.fileName(), QIODevice::Truncate);
    m_startedMs = nowMs();
    m_process->start(program, args);
    if (!m_process->waitForStarted(10000))
        throw std::runtime_error(
            ("ChildProcess: " + program + " did not start: " + m_process->errorString())
                .toStdString());
}

bool ChildProcess::running()
{
    if (!m_process)
        return false;
    if (m_process->state() != QProcess::NotRunning)
        waitFinished(0);
    return m_process->state() != QProcess::NotRunning;
}

qint64 ChildProcess::pid() const
{
    return m_process ? m_process->processId() : 0;
}

bool ChildProcess::waitFinished(int timeoutMs)
{
    if (!m_process)
        return true;
    if (m_process->state() != QProcess::NotRunning && !m_process->waitForFinished(timeoutMs))
        return m_process->state() == QProcess::NotRunning;
    if (m_endedMs < 0)
        m_endedMs = nowMs();
    return true;
}

bool ChildProcess::waitForOutput(const QByteArray &text, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (standardOutput().contains(text))
            return true;
        if (!running())
            return standardOutput().contains(text);
        if (timer.elapsed() >= timeoutMs)
            return false;
        waitFinished(5); // sleeps at most 5 ms, and notices an end
    }
}

void ChildProcess::killHard()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->kill();
    waitFinished(5000);
}

void ChildProcess::terminate()
{
    if (m_process && m_process->state() != QProcess::NotRunning)
        m_process->terminate();
}

int ChildProcess::exitCode() const
{
    return m_process ? m_process->exitCode() : -1;
}

bool ChildProcess::crashed() const
{
    return m_process && m_process->state() == QProcess::NotRunning &&
           m_process->exitStatus() == QProcess::CrashExit;
}

qint64 ChildProcess::elapsedMs() const
{
    return (m_endedMs >= 0 ? m_endedMs : nowMs()) - m_startedMs;
}

QByteArray ChildProcess::standardOutput() const
{
    return m_process ? readFile(m_out.fileName()) : QByteArray();
}

QByteArray ChildProcess::standardError() const
{
    return m_process ? readFile(m_err.fileName()) : QByteArray();
}

ChildResult ChildProcess::runKilledAfter(const QString &program, const QStringList &args,
                                         const QMap<QString, QString> &env, int delayMs,
                                         const QString &workingDir)
{
    ChildProcess child;
    child.start(program, args, env, workingDir);
    ChildResult result;
    result.delayMs = delayMs;
    bool signalled = false;
    if (!child.waitFinished(delayMs)) {
        signalled = true;
        child.killHard();
    }
    child.waitFinished(5000);
    result.crashed = child.crashed();
    // A child that ended by itself just as the signal went counts as finished.
    result.killed = signalled && result.crashed;
    result.finished = !result.killed;
    result.exitCode = child.exitCode();
    result.elapsedMs = child.elapsedMs();
    result.standardOutput = child.standardOutput();
    result.standardError = child.standardError();
    return result;
}

int randomDelayMs(int lo, int hi, quint32 seed)
{
    if (hi <= lo)
        return lo;
    // mt19937's output is fixed by the standard; the distributions are not.
    std::mt19937 engine(seed);
    return lo + int(engine() % quint32(hi - lo + 1));
}

quint32 testSeed()
{
    bool ok = false;
    const quint32 seed = qEnvironmentVariable("ZELVANO_TEST_SEED").toUInt(&ok);
    return ok ? seed : QRandomGenerator::system()->generate();
}

} // namespace zelvano::test
