// zelvano status after real saves against the reference server: a good save,
// and saves killed at random instants (the record is written after the save's
// commit, in its own transaction) followed by one that runs to its end.
#include "app/servicehome.h"
#include "remote/remotetestsupport.h"

#include <QElapsedTimer>
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
    QString err;
};

ProgramRun runZelvano(const ServiceHome &home, const QStringList &args)
{
    QProcess p;
    p.start(kProgram, QStringList{"--home", home.dir()} + args);
    p.waitForFinished(120000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Trips first .. first+count-1 of farm 12 dated today, two loads and two
// unloads each.
void seedTrips(int first, int count)
{
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    QStringList trips, loads, unloads;
    for (int id = first; id < first + count; ++id) {
        trips << QStringLiteral("(12, %1, 1, 7, 'Engorde', '%2', 30, 9999, 9999, 2, '7')")
                     .arg(id)
                     .arg(today);
        for (int r = 0; r < 2; ++r) {
            loads << QStringLiteral("(%1, %2, 'Maiz', 0, 100.50, 99.25, '06:1%3:00', '7', 'T1', "
                                    "'Mixer', '')")
                         .arg(id)
                         .arg(51 + r)
                         .arg(r);
            unloads << QStringLiteral("(%1, %2, 'Corral %2', 30, 1, 2, %2, 200, 198.5, "
                                      "'07:1%3:00', '7', 'T1', 'Mixer', '-31.4,-64.1', '')")
                           .arg(id)
                           .arg(3 + r)
                           .arg(r);
        }
    }
    RemotePeer::execAll(RemotePeer::feedInserts(trips, loads, unloads));
}

void webFarm(const ServiceHome &home)
{
    home.settings(QStringLiteral("id_cliente_remoto = '12', servidor_remoto = '%1', "
                                 "password_remoto = 'secreto', modo_remoto = 'WEB', "
                                 "usa_intervalo = false, importa_csv = false, "
                                 "cabezas_desde_alimentacion = false")
                      .arg(RemotePeer::webHost()));
    home.exec("insert into usuario (id, apellido, nombre, login, activo) values "
              "(7, 'Perez', 'Juan', 'jp', true)");
}

QString recordOf(const ServiceHome &home, const QString &column)
{
    return home.scalar("select " + column + " from zelvano_jobs where job = 'download'").toString();
}

// The record of the download, whole: a row that a kill could have torn would
// break one of these. A save killed before its first connection made the
// program's tables leaves no record at all, and that is whole too.
void expectWholeRecord(const ServiceHome &home)
{
    if (home.scalar("select count(*) from sqlite_master where name = 'zelvano_jobs'").toInt() ==
            0 ||
        home.scalar("select count(*) from zelvano_jobs").toInt() == 0)
        return;
    EXPECT_EQ(home.scalar("select count(*) from zelvano_jobs where job = 'download' and "
                          "started <= ended and ((ok = 1 and error_number is null and "
                          "last_success = ended) or (ok = 0 and error_number is not null))")
                  .toInt(),
              1);
}

const QStringList kTripTables = {"lectura_viajes", "lectura_Carga", "lectura_descarga",
                                 "lectura_carga_detalle_conc"};

// The status of a home after a save that went to its end: exact, both forms.
void expectStatusAfterSave(const ServiceHome &home, int tripsStored)
{
    const QString started = recordOf(home, "started");
    const QString ended = recordOf(home, "ended");
    const ProgramRun text = runZelvano(home, {"status"});
    EXPECT_EQ(text.status, 0);
    const QStringList lines = text.out.split('\n');
    ASSERT_GE(lines.size(), 7) << text.out.toStdString();
    EXPECT_EQ(lines[3].toStdString(), ("download: ok, ran " + started + " to " + ended + ", " +
                                       QString::number(tripsStored) + " trips stored, 0 left out")
                                          .toStdString());
    EXPECT_EQ(lines[6].toStdString(), "newest trip: 8300, 300 dated today");

    const ProgramRun json = runZelvano(home, {"status", "--json"});
    EXPECT_EQ(json.status, 0);
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    EXPECT_EQ(o["jobs"]["download"].toObject(), (QJsonObject{{"last_run", started},
                                                             {"last_ended", ended},
                                                             {"last_success", ended},
                                                             {"ok", true},
                                                             {"error", QJsonValue()},
                                                             {"trips_saved", tripsStored},
                                                             {"trips_left_out", 0},
                                                             {"stale", false}}));
    EXPECT_EQ(o["newest_trip"].toInteger(), 8300);
    EXPECT_EQ(o["trips_dated_today"].toInteger(), 300);
}

int storedBy(const ProgramRun &save)
{
    const QRegularExpressionMatch m = QRegularExpression("\ntrips\t(\\d+)\n").match(save.out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

TEST(StatusRemote, AfterAGoodSaveAndAfterASaveKilledAtRandom)
{
    if (!RemotePeer::freshServer())
        return;
    seedTrips(8001, 300);

    // The run without a fault.
    ServiceHome reference;
    webFarm(reference);
    QElapsedTimer clock;
    clock.start();
    const ProgramRun good = runZelvano(reference, {"save"});
    const int saveMs = int(clock.elapsed());
    ASSERT_EQ(good.status, 0) << good.err.toStdString();
    std::printf("a save of 300 trips took %d ms\n", saveMs);
    EXPECT_EQ(storedBy(good), 300);
    expectStatusAfterSave(reference, 300);
    const QStringList expected = reference.stored(kTripTables);

    // Killed anywhere in its life (download, save, commit, record), then run again.
    const quint32 seed = testSeed();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    for (int k = 0; k < 4; ++k) {
        ServiceHome home;
        webFarm(home);
        const int delay = randomDelayMs(10, saveMs, seed + k);
        const ChildResult r =
            ChildProcess::runKilledAfter(kProgram, {"--home", home.dir(), "save"}, {}, delay);
        SCOPED_TRACE(testing::Message() << "killed after " << delay << " ms: " << r.killed);
        ASSERT_EQ(integrity(home), "ok");
        expectWholeRecord(home);
        const ProgramRun again = runZelvano(home, {"save"});
        ASSERT_EQ(again.status, 0) << again.err.toStdString();
        EXPECT_EQ(home.stored(kTripTables), expected);
        // The record tells the run that went to its end: what it stored is
        // what the killed one had not committed.
        EXPECT_GE(storedBy(again), 0);
        expectStatusAfterSave(home, storedBy(again));
    }

    // Nothing new on the server: the next save stores nothing and says so.
    ASSERT_EQ(runZelvano(reference, {"save"}).status, 0);
    EXPECT_TRUE(runZelvano(reference, {"status"}).out.contains(", 0 trips stored, 0 left out\n"));
    EXPECT_EQ(reference.stored(kTripTables), expected);
}

} // namespace
} // namespace zelvano::test
