// The service's signs of life against the reference server: no beat while a
// tick hangs on a server that does not answer, the beats and the status back
// once the tick ends, and the status command beside the running service.
#include "notifysocket.h"
#include "remote/remotetestsupport.h"
#include "servicehome.h"
#include "support/faultproxy.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

const QString kProgram = QStringLiteral(ZELVANO_EXECUTABLE);

// Trips first .. first+count-1 of farm 12, one load and one unload each.
void seedTrips(int first, int count)
{
    QStringList trips, loads, unloads;
    for (int id = first; id < first + count; ++id) {
        // Dated today: the status counts them.
        trips << QStringLiteral("(12, %1, 1, 7, 'Engorde', '%2', 30, 9999, 9999, 2, '7')")
                     .arg(id)
                     .arg(QDate::currentDate().toString(Qt::ISODate));
        loads << QStringLiteral("(%1, 51, 'Maiz', 0, 100.50, 99.25, '06:10:00', '7', 'T1', "
                                "'Mixer', '')")
                     .arg(id);
        unloads << QStringLiteral("(%1, 3, 'Corral 3', 30, 1, 2, 3, 200, 198.5, '07:10:00', '7', "
                                  "'T1', 'Mixer', '-31.4,-64.1', '')")
                       .arg(id);
    }
    RemotePeer::execAll(RemotePeer::feedInserts(trips, loads, unloads));
}

int runStatus(const ServiceHome &home, QJsonObject *json)
{
    QProcess p;
    p.start(kProgram, {"--home", home.dir(), "status", "--json"});
    p.waitForFinished(30000);
    *json = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    return p.exitCode();
}

TEST(ServiceHealth, NoBeatWhileATickHangsOnASilentServerAndBeatsAgainAfterIt)
{
    if (!RemotePeer::freshServer())
        return;
    seedTrips(5001, 3);
    FaultProxy proxy(FaultProxy::referenceServerHost());
    // The first request for the trips is taken and never answered for 3 s.
    proxy.setRules(
        {{.match = "from lectura_viajes_feed", .action = "drop", .times = 1, .ms = 3000}});
    ServiceHome home;
    home.settings(QStringLiteral("id_cliente_remoto = '12', servidor_remoto = '%1', "
                                 "password_remoto = 'secreto', modo_remoto = 'WEB', "
                                 "usa_intervalo = false, importa_csv = false, "
                                 "cabezas_desde_alimentacion = false")
                      .arg(proxy.host()));
    home.exec("insert into usuario (id, apellido, nombre, login, activo) values "
              "(7, 'Perez', 'Juan', 'jp', true)");

    NotifySocket manager;
    ChildProcess service;
    // A watchdog of 0.8 s: a job that moves on beats at most every 0.2 s.
    service.start(kProgram, serviceArguments(home.dir()),
                  {{"NOTIFY_SOCKET", manager.path()},
                   {"ZELVANO_TICK_MS", "300"},
                   {"WATCHDOG_USEC", "800000"},
                   {"WATCHDOG_PID", QString()}});
    ASSERT_TRUE(manager.waitFor("READY=1", 15000)) << service.standardError().constData();

    // The statement is at the server: from now on the tick waits.
    ASSERT_TRUE(proxy.waitForCount("from lectura_viajes_feed", 1, 15000));
    manager.collect(0); // what came before
    const std::vector<NotifySocket::Datagram> during = manager.collect(2200);
    for (const auto &d : during)
        ADD_FAILURE() << "sent while the tick hung: " << d.text.toStdString();
    EXPECT_EQ(proxy.count("from lectura_viajes_feed"), 1);

    // The server lets go: the download fails, the tick ends and beats with the
    // record (a beat of a job moving on carries none).
    std::vector<NotifySocket::Datagram> after;
    const QString tickBeat = QStringLiteral("WATCHDOG=1\nSTATUS=");
    const std::optional<NotifySocket::Datagram> failed = manager.waitFor(tickBeat, 10000, &after);
    ASSERT_TRUE(failed) << service.standardError().constData();
    EXPECT_TRUE(failed->text.startsWith("WATCHDOG=1\nSTATUS=download failed "))
        << failed->text.toStdString();

    // The next tick stores the trips, and says so.
    const QRegularExpression stored(
        QStringLiteral("^WATCHDOG=1\\nSTATUS=download ok \\d\\d:\\d\\d:\\d\\d, 3 trips stored, 0 "
                       "left out; import never "
                       "ran; sync never ran$"));
    bool ok = false;
    for (int i = 0; i < 20 && !ok; ++i) {
        const std::optional<NotifySocket::Datagram> d = manager.waitFor(tickBeat, 10000);
        ASSERT_TRUE(d) << service.standardError().constData();
        ok = stored.match(d->text).hasMatch();
    }
    EXPECT_TRUE(ok);

    // Status beside the running service: it reads while the service works.
    QJsonObject json;
    EXPECT_EQ(runStatus(home, &json), 0);
    EXPECT_TRUE(json["running"].toBool());
    EXPECT_EQ(json["process"].toObject()["pid"].toInteger(), service.pid());
    const QJsonObject download = json["jobs"].toObject()["download"].toObject();
    EXPECT_TRUE(download["ok"].toBool());
    EXPECT_EQ(download["error"], QJsonValue());
    EXPECT_EQ(json["newest_trip"].toInteger(), 5003);
    EXPECT_EQ(json["trips_dated_today"].toInteger(), 3);

    service.terminate();
    ASSERT_TRUE(service.waitFinished(10000));
    // Each trip once, whatever the hang left behind.
    EXPECT_EQ(home.rows("lectura_viajes").size(), 3);
    EXPECT_EQ(home.scalar("select count(*) from lectura_Carga").toInt(), 3);
}

} // namespace
} // namespace zelvano::test
