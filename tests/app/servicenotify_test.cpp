// The service under a service manager: the real program as a child, its
// notification socket opened by the test.
#include "notifysocket.h"
#include "servicehome.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

const QString kProgram = QStringLiteral(ZELVANO_EXECUTABLE);

struct ProgramRun
{
    int status = -1;
    QString out;
};

ProgramRun runZelvano(const QStringList &args)
{
    QProcess p;
    p.start(kProgram, args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

TEST(ServiceNotify, ReadyOnceStartedAndABeatWithTheJobsAfterEveryTick)
{
    ServiceHome home;
    // The server is down: every tick's download fails at once.
    home.settings(QStringLiteral("id_cliente_remoto = '12', servidor_remoto = '127.0.0.1:%1', "
                                 "password_remoto = 'secreto', modo_remoto = 'WEB', "
                                 "usa_intervalo = false, importa_csv = false")
                      .arg(refusedPort()));
    NotifySocket manager;
    ChildProcess service;
    const QDateTime launched = QDateTime::currentDateTime();
    service.start(kProgram, serviceArguments(home.dir()),
                  {{"NOTIFY_SOCKET", manager.path()},
                   {"ZELVANO_TICK_MS", "300"},
                   {"WATCHDOG_USEC", QString()}});

    const std::optional<NotifySocket::Datagram> ready = manager.next(15000);
    ASSERT_TRUE(ready) << service.standardError().constData();
    EXPECT_EQ(ready->text, "READY=1\nSTATUS=download never ran; import never ran; sync never ran");

    std::vector<NotifySocket::Datagram> seen;
    for (int beats = 0; beats < 4; ++beats)
        ASSERT_TRUE(manager.waitFor("WATCHDOG=1", 10000, &seen))
            << service.standardError().constData();
    const QRegularExpression beat(QStringLiteral(
        "^WATCHDOG=1\\nSTATUS=download failed \\d\\d:\\d\\d:\\d\\d: Error -2147012867 \\(A "
        "connection with the server could not be established\\); import never ran; sync never "
        "ran$"));
    for (const auto &d : seen)
        if (d.text.startsWith("WATCHDOG"))
            EXPECT_TRUE(beat.match(d.text).hasMatch()) << d.text.toStdString();

    // While it runs, status names it and tells the failure: exit 1.
    const ProgramRun text = runZelvano({"--home", home.dir(), "status"});
    EXPECT_EQ(text.status, 1) << text.out.toStdString();
    const QStringList lines = text.out.split('\n');
    ASSERT_GE(lines.size(), 4);
    const QRegularExpression running(
        QStringLiteral("^running: service, pid %1, started (\\S+)$").arg(service.pid()));
    const QRegularExpressionMatch m = running.match(lines[2]);
    ASSERT_TRUE(m.hasMatch()) << lines[2].toStdString();
    const QDateTime started = QDateTime::fromString(m.captured(1), Qt::ISODate);
    EXPECT_LE(std::abs(started.secsTo(launched)), 2) << m.captured(1).toStdString();
    EXPECT_TRUE(lines[3].startsWith("download: failed, ran ")) << lines[3].toStdString();
    const ProgramRun json = runZelvano({"--home", home.dir(), "status", "--json"});
    EXPECT_EQ(json.status, 1);
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_TRUE(o["running"].toBool());
    EXPECT_EQ(o["process"]["pid"].toInteger(), service.pid());
    EXPECT_EQ(o["process"]["kind"].toString(), "service");
    EXPECT_FALSE(o["jobs"]["download"]["ok"].toBool(true));
    EXPECT_EQ(o["jobs"]["download"]["error"]["number"].toInteger(), -2147012867);

    service.terminate();
    ASSERT_TRUE(service.waitFinished(10000));
    EXPECT_EQ(service.exitCode(), 0);
    const std::vector<NotifySocket::Datagram> rest = manager.collect(200);
    seen.insert(seen.end(), rest.begin(), rest.end());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().text, "STOPPING=1");

    // One beat per tick that ended, no more: each tick logged its failed download once.
    int beats = 0;
    qint64 last = ready->atMs;
    for (const auto &d : seen) {
        if (!d.text.startsWith("WATCHDOG=1"))
            continue;
        ++beats;
        // Never faster than the minute (300 ms here) would allow.
        EXPECT_GE(d.atMs - last, 200) << "beat " << beats;
        last = d.atMs;
    }
    int ticks = 0;
    for (const QString &event : eventTexts(home))
        if (event.contains("en procedimiento CmdDescargar_Click"))
            ++ticks;
    EXPECT_EQ(beats, ticks);
    EXPECT_GE(beats, 4);

    // Once it has ended, nothing runs for the folder.
    EXPECT_EQ(runZelvano({"--home", home.dir(), "status"}).out.split('\n').value(2), "running: no");
}

} // namespace
} // namespace zelvano::test
