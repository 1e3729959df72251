#include "synctestsupport.h"

#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/webrequest.h"
#include "store/connection.h"
#include "sync/statements.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace zelvano {
namespace {

using test::Herd;
using test::RemoteFarm;
using test::RemotePeer;
using test::Site;
using test::statementsStartingWith;

const QString kTime = QStringLiteral("10:00:00");
const QString kSuccess =
    QStringLiteral(
        "Datos de cabezas y produccion Sincronizados correctamente con el servidor web") +
    kTime;
const QString kAuthRefused =
    QStringLiteral("Los datos de usuario o password remotos, no son correctos ") + kTime;
const QString kNoConnection =
    QStringLiteral("No se pudo conectar con el servidor, la sincronizacion se hará mas tarde "
                   "automaticamente") +
    kTime;
const QString kHeaderInsert = QStringLiteral("INSERT INTO cabezas_produccion ");
const QString kDetailInsert = QStringLiteral("INSERT INTO detalle_cabezas_produccion ");

class SyncTest : public ::testing::TestWithParam<const char *>
{
protected:
    void SetUp() override
    {
        RemotePeer::requireServices();
        if (HasFatalFailure())
            return;
        farm = std::make_unique<RemoteFarm>(test::clientIdForCurrentTest());
    }

    QString mode() const { return QString::fromLatin1(GetParam()); }
    bool web() const { return mode() != QLatin1String("ODBC"); }
    QString otherMode() const { return web() ? QStringLiteral("ODBC") : QStringLiteral("WEB"); }

    std::unique_ptr<RemoteFarm> farm;
};

qint64 serverIdOf(const Site &site, qint64 localId)
{
    return site.idRemoto(localId).toLongLong();
}

TEST_P(SyncTest, NothingPendingStillReadsAndLogsSuccess)
{
    Site site(*farm, mode());
    const SyncReport report = site.sync();

    EXPECT_TRUE(statementsStartingWith(report, QStringLiteral("INSERT")).isEmpty());
    EXPECT_TRUE(statementsStartingWith(report, QStringLiteral("update")).isEmpty());
    // Nothing to map before an insert: the read of the headers without details
    // runs once, after the (empty) additions.
    EXPECT_EQ(report.remoteStatements.count(syncsql::unsentHeadersSql(farm->id())), 1);
    EXPECT_EQ(report.remoteStatements.count(syncsql::recordLinesSql(farm->id())), 1);
    EXPECT_EQ(site.events(), QStringList{kSuccess});
}

TEST_P(SyncTest, TwoAdditionsGoUpInOneHeaderAndOneDetailInsert)
{
    Site site(*farm, mode());
    const qint64 a = site.addReading(
        QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"), QStringLiteral("Delpro"), 60, 1225,
        {{QStringLiteral("3"), 40, 812.5}, {QStringLiteral("4"), 20, 412.5}});
    const qint64 b =
        site.addReading(QStringLiteral("13/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Dairycomp"), 35, 700, {{QStringLiteral("3"), 35, 700}});
    const SyncReport report = site.sync();

    const QStringList headerInserts = statementsStartingWith(report, kHeaderInsert);
    ASSERT_EQ(headerInserts.size(), 1);
    EXPECT_EQ(headerInserts[0].count(QStringLiteral("),(")), 1) << headerInserts[0].toStdString();
    const QStringList detailInserts = statementsStartingWith(report, kDetailInsert);
    ASSERT_EQ(detailInserts.size(), 1);
    EXPECT_EQ(detailInserts[0].count(QStringLiteral(" union all select ")), 3)
        << detailInserts[0].toStdString();
    EXPECT_EQ(site.events(), QStringList{kSuccess});

    EXPECT_EQ(farm->headers(),
              (QStringList{QStringLiteral("12/03/2026|Zelvano|Delpro|60|1225"),
                           QStringLiteral("13/03/2026|Zelvano|Dairycomp|35|700")}));
    EXPECT_EQ(
        RemotePeer::scalar(QStringLiteral("select id_prg from cabezas_produccion where id = %1")
                               .arg(serverIdOf(site, a)))
            .toLongLong(),
        a);
    EXPECT_EQ(farm->details(serverIdOf(site, a)),
              (QStringList{QStringLiteral("3|40|812.5"), QStringLiteral("4|20|412.5")}));
    EXPECT_EQ(farm->details(serverIdOf(site, b)), QStringList{QStringLiteral("3|35|700")});
    EXPECT_TRUE(site.actualizado(a));
    EXPECT_TRUE(site.actualizado(b));
    EXPECT_EQ(site.proceso(a), QStringLiteral("AGREGAR"));

    // Our own records are above the stored threshold: nothing comes back down.
    const SyncReport again = site.sync();
    EXPECT_EQ(again.recordsDownloaded, 0);
    EXPECT_TRUE(statementsStartingWith(again, QStringLiteral("INSERT")).isEmpty());
    EXPECT_EQ(site.readingCount(), 2);
    EXPECT_EQ(farm->headerCount(), 2);
}

// Names with apostrophes and backslashes, and litres with decimals, reach the
// server as written.
TEST_P(SyncTest, ChangeAndDeletionReachTheServer)
{
    Site site(*farm, mode());
    const qint64 kept =
        site.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 40, 800, {{QStringLiteral("3"), 40, 800}});
    const qint64 gone =
        site.addReading(QStringLiteral("13/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 30, 600, {{QStringLiteral("3"), 30, 600}});
    site.sync();
    const qint64 keptId = serverIdOf(site, kept);
    const qint64 goneId = serverIdOf(site, gone);
    ASSERT_GT(keptId, 0);
    ASSERT_GT(goneId, 0);

    site.home.exec(
        QStringLiteral("update Produccion_Lactea set usuario = 'O''Brien', turno = 'T\\1', "
                       "total_litros = 813, proceso = 'MODIFICAR', actualizado = false "
                       "where id = %1")
            .arg(kept));
    site.home.exec(QStringLiteral("delete from detalle_Produccion_Lactea where id = %1").arg(kept));
    site.home.exec(
        QStringLiteral("insert into detalle_Produccion_Lactea (id, Rodeo, cabezas, litros) "
                       "values (%1, 'Lote ''A''', 25, 500.25)")
            .arg(kept));
    site.home.exec(
        QStringLiteral("insert into detalle_Produccion_Lactea (id, Rodeo, cabezas, litros) "
                       "values (%1, '5', 15, 312.75)")
            .arg(kept));
    site.home.exec(
        QStringLiteral("update Produccion_Lactea set proceso = 'ELIMINAR', actualizado = "
                       "false where id = %1")
            .arg(gone));

    const SyncReport report = site.sync();
    EXPECT_EQ(report.headersChanged, 1);
    EXPECT_EQ(report.headersDeleted, 1);
    EXPECT_EQ(site.events().last(), kSuccess);
    EXPECT_EQ(farm->headers(), QStringList{QStringLiteral("12/03/2026|O'Brien|T\\1|40|813")});
    EXPECT_EQ(farm->details(keptId),
              (QStringList{QStringLiteral("Lote 'A'|25|500.25"), QStringLiteral("5|15|312.75")}));
    EXPECT_EQ(farm->detailCount(goneId), 0);
    EXPECT_TRUE(site.actualizado(kept));
    EXPECT_EQ(site.readingCount(), 1);
}

// Only complete records come down: a header without details is another
// site's upload in flight. Once its details are there it is fetched, although
// its id is below the highest one this site holds.
TEST_P(SyncTest, DownloadsCompleteRecordsWhateverTheirId)
{
    const qint64 first = farm->addRecord(
        QStringLiteral("2026-03-10"), QStringLiteral("Otro sitio"), QStringLiteral("Delpro"), 50,
        1000.5, 7, {QStringLiteral("'3', 30, 600.25"), QStringLiteral("'4', 20, 400.25")});
    const qint64 inFlight =
        farm->addRecord(QStringLiteral("2026-03-11"), QStringLiteral("Otro sitio"),
                        QStringLiteral("Dairycomp"), 12, 240, 8);
    const qint64 third =
        farm->addRecord(QStringLiteral("2026-03-12"), QStringLiteral("Otro sitio"),
                        QStringLiteral("Delpro"), 5, 100, 9, {QStringLiteral("'5', 5, 100")});
    RemoteFarm stranger(farm->clientId() + 1);
    stranger.addRecord(QStringLiteral("2026-03-10"), QStringLiteral("Ajeno"),
                       QStringLiteral("Delpro"), 1, 1, 1, {QStringLiteral("'1', 1, 1")});

    Site site(*farm, mode());
    const SyncReport report = site.sync();
    EXPECT_EQ(report.recordsDownloaded, 2);
    EXPECT_EQ(report.detailsDownloaded, 3);
    EXPECT_EQ(site.events(), QStringList{kSuccess});
    EXPECT_EQ(site.readings(), (QStringList{QStringLiteral("10/03/2026|Otro sitio|Delpro|50|1000"),
                                            QStringLiteral("12/03/2026|Otro sitio|Delpro|5|100")}));
    const QVariant firstLocal = site.value(
        QStringLiteral("select id from Produccion_Lactea where id_remoto = %1").arg(first));
    ASSERT_TRUE(firstLocal.isValid());
    EXPECT_EQ(site.proceso(firstLocal.toLongLong()), QStringLiteral("DESCARGADO"));
    EXPECT_TRUE(site.actualizado(firstLocal.toLongLong()));
    EXPECT_EQ(
        site.value(QStringLiteral("select count(*) from detalle_Produccion_Lactea where id = %1")
                       .arg(firstLocal.toLongLong()))
            .toInt(),
        2);
    EXPECT_EQ(
        site.value(QStringLiteral("select litros from detalle_Produccion_Lactea where Rodeo = '3'"))
            .toDouble(),
        600.25);
    EXPECT_EQ(
        site.value(QStringLiteral("select max(id_remoto) from Produccion_Lactea")).toLongLong(),
        third);

    RemotePeer::exec(QStringLiteral("insert into detalle_cabezas_produccion (id, rodeo, cabezas, "
                                    "litros) values (%1, '6', 12, 240)")
                         .arg(inFlight));
    const SyncReport again = site.sync();
    EXPECT_EQ(again.recordsDownloaded, 1);
    EXPECT_TRUE(statementsStartingWith(again, QStringLiteral("INSERT")).isEmpty());
    EXPECT_EQ(site.readingCount(), 3);
    EXPECT_EQ(
        site.value(QStringLiteral("select count(*) from Produccion_Lactea where id_remoto = %1")
                       .arg(inFlight))
            .toInt(),
        1);
    EXPECT_EQ(site.value(QStringLiteral("select count(*) from detalle_Produccion_Lactea")).toInt(),
              4);

    // Downloaded rows are not pending: the next run neither sends nor fetches them.
    const SyncReport still = site.sync();
    EXPECT_EQ(still.recordsDownloaded, 0);
    EXPECT_TRUE(statementsStartingWith(still, QStringLiteral("INSERT")).isEmpty());
    EXPECT_EQ(site.readingCount(), 3);
    EXPECT_EQ(farm->headerCount(), 3);
}

TEST_P(SyncTest, WrongPasswordChangesNothing)
{
    farm->addRecord(QStringLiteral("2026-03-10"), QStringLiteral("Otro"), QStringLiteral("Delpro"),
                    5, 5, 1);
    Site site(*farm, mode(), QStringLiteral("equivocada"));
    const qint64 a =
        site.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 40, 800, {{QStringLiteral("3"), 40, 800}});
    const SyncReport report = site.sync();
    EXPECT_EQ(report.remoteStatements.size(), 1);
    EXPECT_EQ(site.events(), QStringList{kAuthRefused});
    EXPECT_EQ(site.readingCount(), 1);
    EXPECT_FALSE(site.actualizado(a));
    EXPECT_EQ(farm->headerCount(), 1);

    site.sync(true);
    EXPECT_EQ(site.events(), QStringList{kAuthRefused});
}

// The server refuses a change after the additions went up: the change's
// local transaction is rolled back and its failure logged, while the additions,
// whose details the server took, stay sent with their server ids.
TEST_P(SyncTest, RefusedChangeRollsBackButKeepsServerIds)
{
    RemotePeer::exec(QStringLiteral(
        "create trigger if not exists zelvano_refuse_update before update on cabezas_produccion "
        "for "
        "each row begin if new.usuario = 'FALLA' then signal sqlstate '45000' set message_text = "
        "'refused'; end if; end"));
    Site site(*farm, mode());
    const qint64 changed =
        site.addReading(QStringLiteral("11/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 10, 100, {{QStringLiteral("3"), 10, 100}});
    site.sync();
    site.home.exec(QStringLiteral("update Produccion_Lactea set usuario = 'FALLA', proceso = "
                                  "'MODIFICAR', actualizado = false where id = %1")
                       .arg(changed));
    const qint64 added =
        site.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 40, 800, {{QStringLiteral("3"), 40, 800}});

    site.sync();
    const QString failure = site.events().last();
    if (web())
        EXPECT_EQ(failure,
                  QStringLiteral("error de sincronizacion en tabla cabezas_produccion ") + kTime);
    else
        EXPECT_TRUE(
            failure.startsWith(QStringLiteral("Error -2147217900 (")) &&
            failure.endsWith(QStringLiteral(") en procedimiento Sincronizar_CabProd ") + kTime))
            << failure.toStdString();
    EXPECT_TRUE(site.actualizado(added));
    EXPECT_FALSE(site.actualizado(changed));
    ASSERT_FALSE(site.idRemoto(added).isNull());
    EXPECT_EQ(farm->detailCount(serverIdOf(site, added)), 1);
    EXPECT_EQ(farm->headerCount(), 2);

    site.home.exec(QStringLiteral("update Produccion_Lactea set usuario = 'Zelvano' where id = %1")
                       .arg(changed));
    const SyncReport report = site.sync();
    EXPECT_TRUE(statementsStartingWith(report, kHeaderInsert).isEmpty());
    EXPECT_TRUE(statementsStartingWith(report, kDetailInsert).size() == 1); // the change's details
    EXPECT_EQ(site.events().last(), kSuccess);
    EXPECT_TRUE(site.actualizado(added));
    EXPECT_TRUE(site.actualizado(changed));
    EXPECT_EQ(farm->headerCount(), 2);
    EXPECT_EQ(farm->detailCount(), 2);
}

// Headers that reached the server without their details (the detail insert
// was refused) get them in the next run, under the same server id.
TEST_P(SyncTest, RefusedDetailsAreSentLaterUnderTheSameHeader)
{
    RemotePeer::exec(QStringLiteral(
        "create trigger if not exists zelvano_refuse_detail before insert on "
        "detalle_cabezas_produccion for each row begin if new.rodeo = 'FALLA' then signal sqlstate "
        "'45000' set message_text = 'refused'; end if; end"));
    Site site(*farm, mode());
    const qint64 a =
        site.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 40, 800, {{QStringLiteral("FALLA"), 40, 800}});
    site.sync();
    if (web())
        EXPECT_EQ(site.events().last(),
                  QStringLiteral("error de sincronizacion en tabla detalle_cabezas_produccion ") +
                      kTime);
    EXPECT_NE(site.events().last(), kSuccess);
    EXPECT_FALSE(site.actualizado(a));
    const qint64 serverId = serverIdOf(site, a);
    ASSERT_GT(serverId, 0);

    site.home.exec(
        QStringLiteral("update detalle_Produccion_Lactea set Rodeo = '3' where id = %1").arg(a));
    site.sync();
    site.sync();
    EXPECT_EQ(site.events().last(), kSuccess);
    EXPECT_EQ(farm->headerCount(), 1);
    EXPECT_EQ(farm->details(serverId), QStringList{QStringLiteral("3|40|800")});
    EXPECT_TRUE(site.actualizado(a));
    EXPECT_EQ(serverIdOf(site, a), serverId);
}

// A record whose details cannot be read is not stored half: the next run
// fetches it whole.
TEST_P(SyncTest, DownloadFailureStoresNoRecordWithoutItsDetails)
{
    const qint64 first = farm->addRecord(
        QStringLiteral("2026-03-10"), QStringLiteral("Otro sitio"), QStringLiteral("Delpro"), 50,
        1000, 7, {QStringLiteral("'3', 30, 600"), QStringLiteral("'4', 20, 400")});
    Site site(*farm, mode());
    RemotePeer::exec(QStringLiteral("rename table detalle_cabezas_produccion to detalle_guardado"));
    SyncReport report;
    try {
        report = site.sync();
    } catch (...) {
        RemotePeer::exec(
            QStringLiteral("rename table detalle_guardado to detalle_cabezas_produccion"));
        throw;
    }
    RemotePeer::exec(QStringLiteral("rename table detalle_guardado to detalle_cabezas_produccion"));

    EXPECT_EQ(report.recordsDownloaded, 0);
    EXPECT_EQ(site.readingCount(), 0);
    const QStringList events = site.events();
    ASSERT_FALSE(events.isEmpty());
    EXPECT_TRUE(
        events[0].startsWith(QStringLiteral("Error ")) &&
        events[0].endsWith(
            QStringLiteral(" en procedimiento Sincronizar_nuevos de Módulo Module1") + kTime))
        << events[0].toStdString();
    EXPECT_NE(events.last(), kSuccess);

    site.sync();
    EXPECT_EQ(site.events().last(), kSuccess);
    EXPECT_EQ(site.readingCount(), 1);
    EXPECT_EQ(site.value(QStringLiteral("select count(*) from detalle_Produccion_Lactea")).toInt(),
              2);
    EXPECT_EQ(site.value(QStringLiteral("select id_remoto from Produccion_Lactea")).toLongLong(),
              first);
}

// Another site's upload in flight: its header without details carries our
// pending reading's local id as id_prg and differs from it only in the litres.
// It must neither take our server id nor receive our details, nor come down
// before it is complete; once complete it comes down exactly once.
TEST_P(SyncTest, AnotherSitesHeaderInFlightIsNeverTaken)
{
    Site site(*farm, mode());
    const qint64 ours =
        site.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 40, 800, {{QStringLiteral("3"), 40, 800}});
    const qint64 othersRecord =
        farm->addRecord(QStringLiteral("2026-03-12"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 40, 801, ours);
    site.sync();

    EXPECT_EQ(site.events().last(), kSuccess);
    const qint64 oursOnServer = serverIdOf(site, ours);
    EXPECT_GT(oursOnServer, othersRecord);
    EXPECT_EQ(farm->detailCount(othersRecord), 0);
    EXPECT_EQ(farm->details(oursOnServer), QStringList{QStringLiteral("3|40|800")});
    EXPECT_EQ(site.readingCount(), 1);

    // The other site finishes: its record comes down; ours keeps its id.
    RemotePeer::exec(QStringLiteral("insert into detalle_cabezas_produccion (id, rodeo, cabezas, "
                                    "litros) values (%1, '3', 40, 801)")
                         .arg(othersRecord));
    const qint64 next =
        site.addReading(QStringLiteral("13/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 20, 400, {{QStringLiteral("4"), 20, 400}});
    site.sync();
    site.sync();
    EXPECT_EQ(site.events().last(), kSuccess);
    EXPECT_EQ(serverIdOf(site, ours), oursOnServer);
    EXPECT_EQ(site.value(QStringLiteral("select count(*) from Produccion_Lactea where id_remoto = "
                                        "%1 and proceso = 'DESCARGADO'")
                             .arg(othersRecord))
                  .toInt(),
              1);
    EXPECT_EQ(site.readingCount(), 3);
    EXPECT_EQ(farm->details(othersRecord), QStringList{QStringLiteral("3|40|801")});
    EXPECT_EQ(farm->details(oursOnServer), QStringList{QStringLiteral("3|40|800")});
    EXPECT_EQ(farm->details(serverIdOf(site, next)), QStringList{QStringLiteral("4|20|400")});
    EXPECT_EQ(farm->headerCount(), 3);
}

// A server record with a date the local table cannot take ("0000-00-00", which
// the server makes of an empty date) among good ones: it is named once and
// skipped, the records after it come down, and the upload goes on; once
// corrected at its site, it comes down.
TEST_P(SyncTest, UnreadableServerRecordIsNamedOnceAndSkipped)
{
    const QString other = QStringLiteral("Otro sitio");
    farm->addRecord(QStringLiteral("2026-03-10"), other, QStringLiteral("Delpro"), 5, 100, 1,
                    {QStringLiteral("'1', 5, 100")});
    const qint64 bad =
        farm->addRecord(QStringLiteral("0000-00-00"), other, QStringLiteral("Delpro"), 6, 120, 2,
                        {QStringLiteral("'2', 6, 120")});
    farm->addRecord(QStringLiteral("2026-03-12"), other, QStringLiteral("Delpro"), 7, 140, 3,
                    {QStringLiteral("'3', 7, 140")});
    Site site(*farm, mode());
    const qint64 ours =
        site.addReading(QStringLiteral("13/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 40, 800, {{QStringLiteral("3"), 40, 800}});

    const SyncReport report = site.sync();
    EXPECT_EQ(report.recordsDownloaded, 2);
    const QStringList events = site.events();
    ASSERT_EQ(events.size(), 2) << events.join(u'\n').toStdString();
    EXPECT_TRUE(events[0].startsWith(
        QStringLiteral("Registro de produccion %1 del servidor no descargado: la fecha '")
            .arg(bad)))
        << events[0].toStdString();
    EXPECT_TRUE(events[0].endsWith(QStringLiteral("' no es una fecha valida ") + kTime))
        << events[0].toStdString();
    EXPECT_EQ(events[1], kSuccess);
    EXPECT_EQ(site.readingCount(), 3);
    EXPECT_TRUE(site.actualizado(ours));
    EXPECT_EQ(farm->details(serverIdOf(site, ours)), QStringList{QStringLiteral("3|40|800")});

    // Not tried, nor named, again.
    const SyncReport again = site.sync();
    EXPECT_EQ(again.recordsDownloaded, 0);
    EXPECT_EQ(site.events(), (QStringList{events[0], kSuccess, kSuccess}));

    RemotePeer::exec(
        QStringLiteral("update cabezas_produccion set fecha = '2026-03-11' where id = %1")
            .arg(bad));
    EXPECT_EQ(site.sync().recordsDownloaded, 1);
    EXPECT_EQ(site.readings(), (QStringList{QStringLiteral("10/03/2026|Otro sitio|Delpro|5|100"),
                                            QStringLiteral("11/03/2026|Otro sitio|Delpro|6|120"),
                                            QStringLiteral("12/03/2026|Otro sitio|Delpro|7|140"),
                                            QStringLiteral("13/03/2026|Zelvano|Delpro|40|800")}));
    EXPECT_EQ(site.events().last(), kSuccess);
}

// Local readings the server cannot take (no date, a herd's litres that are no
// number) are named once and left out; the others go up. Corrected, they go up.
TEST_P(SyncTest, LocalReadingThatCannotGoUpIsNamedOnce)
{
    Site site(*farm, mode());
    const qint64 good =
        site.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 40, 800, {{QStringLiteral("3"), 40, 800}});
    const qint64 undated =
        site.addReading(QStringLiteral("13/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 30, 600, {{QStringLiteral("3"), 30, 600}});
    site.home.exec(
        QStringLiteral("update Produccion_Lactea set fecha = null where id = %1").arg(undated));
    const qint64 badHerd =
        site.addReading(QStringLiteral("14/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 20, 400, {{QStringLiteral("4"), 20, 400}});
    site.home.exec(
        QStringLiteral("update detalle_Produccion_Lactea set litros = 'mucho' where id = %1")
            .arg(badHerd));

    // A reading that cannot go up fails every run until it is mended; it is named once.
    EXPECT_FALSE(site.sync().ok());
    const QStringList named{
        QStringLiteral("Lectura de produccion %1 no enviada al servidor: la fecha '' no es una "
                       "fecha valida ")
                .arg(undated) +
            kTime,
        QStringLiteral("Lectura de produccion %1 no enviada al servidor: los litros 'mucho' del "
                       "rodeo '4' no son un numero ")
                .arg(badHerd) +
            kTime};
    EXPECT_EQ(site.events(), named);
    EXPECT_EQ(farm->headers(), QStringList{QStringLiteral("12/03/2026|Zelvano|Delpro|40|800")});
    EXPECT_TRUE(site.actualizado(good));
    EXPECT_FALSE(site.actualizado(undated));
    EXPECT_FALSE(site.actualizado(badHerd));

    EXPECT_FALSE(site.sync().ok());
    EXPECT_EQ(site.events(), named);
    EXPECT_EQ(farm->headerCount(), 1);

    site.home.exec(QStringLiteral("update Produccion_Lactea set fecha = '13/03/2026' where id = %1")
                       .arg(undated));
    EXPECT_FALSE(site.sync().ok());
    EXPECT_TRUE(site.actualizado(undated));
    EXPECT_EQ(farm->details(serverIdOf(site, undated)), QStringList{QStringLiteral("3|30|600")});
    EXPECT_EQ(farm->headerCount(), 2);
    site.home.exec(QStringLiteral("update detalle_Produccion_Lactea set litros = 400 where id = %1")
                       .arg(badHerd));
    EXPECT_TRUE(site.sync().ok());
    EXPECT_EQ(site.events(), named + QStringList{kSuccess});
    EXPECT_EQ(farm->headerCount(), 3);
}

// Pending changes of rows the server never had: a change goes up as an
// addition, a deletion is local only; no statement ends in "id = ".
TEST_P(SyncTest, ChangeAndDeletionOfRowsTheServerNeverHad)
{
    Site site(*farm, mode());
    const qint64 added =
        site.addReading(QStringLiteral("11/03/2026"), QStringLiteral("Zelvano"),
                        QStringLiteral("Delpro"), 10, 200, {{QStringLiteral("1"), 10, 200}});
    const qint64 changed = site.addReading(
        QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"), QStringLiteral("Delpro"), 40, 800,
        {{QStringLiteral("3"), 25, 500}, {QStringLiteral("4"), 15, 300}},
        QStringLiteral("MODIFICAR"));
    const qint64 deleted = site.addReading(
        QStringLiteral("13/03/2026"), QStringLiteral("Zelvano"), QStringLiteral("Delpro"), 30, 600,
        {{QStringLiteral("3"), 30, 600}}, QStringLiteral("ELIMINAR"));

    const SyncReport report = site.sync();
    EXPECT_EQ(site.events(), QStringList{kSuccess});
    for (const QString &sql : report.remoteStatements)
        EXPECT_FALSE(sql.trimmed().endsWith(QStringLiteral("id ="))) << sql.toStdString();
    EXPECT_TRUE(statementsStartingWith(report, QStringLiteral("DELETE")).isEmpty());
    EXPECT_TRUE(statementsStartingWith(report, QStringLiteral("delete")).isEmpty());
    EXPECT_TRUE(statementsStartingWith(report, QStringLiteral("update")).isEmpty());
    EXPECT_EQ(report.headersAdded, 2);
    EXPECT_EQ(farm->headers(), (QStringList{QStringLiteral("11/03/2026|Zelvano|Delpro|10|200"),
                                            QStringLiteral("12/03/2026|Zelvano|Delpro|40|800")}));
    EXPECT_EQ(farm->details(serverIdOf(site, changed)),
              (QStringList{QStringLiteral("3|25|500"), QStringLiteral("4|15|300")}));
    EXPECT_TRUE(site.actualizado(added));
    EXPECT_TRUE(site.actualizado(changed));
    for (const char *table : {"Produccion_Lactea", "detalle_Produccion_Lactea"})
        EXPECT_EQ(site.value(QStringLiteral("select count(*) from %1 where id = %2")
                                 .arg(QLatin1String(table))
                                 .arg(deleted))
                      .toInt(),
                  0)
            << table;

    const SyncReport again = site.sync();
    EXPECT_EQ(again.remoteStatements.filter(QStringLiteral("INSERT")).size(), 0);
    EXPECT_EQ(farm->headerCount(), 2);
    EXPECT_EQ(farm->detailCount(), 3);
}

// Two local databases of one farm through one server, each in its own mode:
// what one site imports the other receives, and repeated runs duplicate nothing.
TEST_P(SyncTest, TwoSitesOfOneFarmRoundTrip)
{
    Site a(*farm, mode());
    Site b(*farm, otherMode());
    a.addReading(QStringLiteral("10/03/2026"), QStringLiteral("Zelvano"), QStringLiteral("Delpro"),
                 60, 1225, {{QStringLiteral("3"), 40, 812.5}, {QStringLiteral("4"), 20, 412.5}});
    b.addReading(QStringLiteral("10/03/2026"), QStringLiteral("O'Neil"),
                 QStringLiteral("Dairycomp"), 30, 600, {{QStringLiteral("7"), 30, 600}});
    for (int round = 0; round < 3; ++round) {
        a.sync();
        b.sync();
        if (round == 0)
            a.addReading(QStringLiteral("11/03/2026"), QStringLiteral("Zelvano"),
                         QStringLiteral("Delpro"), 61, 1230, {{QStringLiteral("3"), 61, 1230}});
    }
    const QStringList expected{QStringLiteral("10/03/2026|O'Neil|Dairycomp|30|600"),
                               QStringLiteral("10/03/2026|Zelvano|Delpro|60|1225"),
                               QStringLiteral("11/03/2026|Zelvano|Delpro|61|1230")};
    EXPECT_EQ(a.readings(), expected);
    EXPECT_EQ(b.readings(), expected);
    EXPECT_EQ(farm->headerCount(), 3);
    EXPECT_EQ(farm->detailCount(), 4);
    for (Site *site : {&a, &b}) {
        EXPECT_EQ(
            site->value(QStringLiteral("select count(*) from detalle_Produccion_Lactea")).toInt(),
            4);
        EXPECT_EQ(
            site->value(QStringLiteral("select count(*) from Produccion_Lactea where actualizado "
                                       "= false"))
                .toInt(),
            0);
        EXPECT_EQ(
            site->value(QStringLiteral("select count(distinct id_remoto) from Produccion_Lactea"))
                .toInt(),
            3);
        EXPECT_EQ(site->events().last(), kSuccess);
    }
    EXPECT_EQ(
        b.value(QStringLiteral("select litros from detalle_Produccion_Lactea where Rodeo = '4'"))
            .toDouble(),
        412.5);
}

INSTANTIATE_TEST_SUITE_P(Modes, SyncTest, ::testing::Values("ODBC", "WEB"),
                         [](const auto &info) { return std::string(info.param); });

// --- failures to reach the server

// A listener on another loopback address that never answers.
class SilentListener
{
public:
    SilentListener(const char *address, int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        ::inet_pton(AF_INET, address, &addr.sin_addr);
        addr.sin_port = htons(quint16(port));
        m_ok = ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 &&
               ::listen(m_fd, 128) == 0;
    }
    ~SilentListener() { ::close(m_fd); }
    bool ok() const { return m_ok; }

private:
    int m_fd = -1;
    bool m_ok = false;
};

class SyncFailureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemotePeer::requireServices();
        if (HasFatalFailure())
            return;
        farm = std::make_unique<RemoteFarm>(test::clientIdForCurrentTest());
    }
    // A site whose server host is replaced after the settings were loaded.
    std::unique_ptr<Site> siteOn(const QString &mode, const QString &host)
    {
        auto site = std::make_unique<Site>(*farm, mode);
        site->home.exec(QStringLiteral("update mi_empresa set servidor_remoto = '%1'").arg(host));
        site->home.ctx.settings.ServerHost = host;
        return site;
    }

    std::unique_ptr<RemoteFarm> farm;
};

TEST_F(SyncFailureTest, WebServerThatNeverAnswersTimesOut)
{
    test::SilentServer silent;
    auto site = siteOn(QStringLiteral("WEB"), QStringLiteral("127.0.0.1:%1").arg(silent.port()));
    site->options.limits.connectMs = 2000;
    site->options.limits.sendMs = 500;
    site->options.limits.receiveMs = 500;
    const qint64 a =
        site->addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                         QStringLiteral("Delpro"), 40, 800, {{QStringLiteral("3"), 40, 800}});
    site->sync();
    EXPECT_EQ(site->events(), QStringList{kNoConnection});
    EXPECT_FALSE(site->actualizado(a));
    EXPECT_TRUE(site->idRemoto(a).isNull());

    site->sync(true);
    EXPECT_EQ(site->events(), QStringList{kNoConnection});
    EXPECT_FALSE(site->actualizado(a));
}

TEST_F(SyncFailureTest, OdbcServerThatNeverAnswersTimesOut)
{
    SilentListener silent("127.0.0.5", 3306);
    ASSERT_TRUE(silent.ok());
    auto site = siteOn(QStringLiteral("ODBC"), QStringLiteral("127.0.0.5"));
    site->options.limits.loginSeconds = 2;
    const qint64 a =
        site->addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                         QStringLiteral("Delpro"), 40, 800, {{QStringLiteral("3"), 40, 800}});
    site->sync();
    EXPECT_EQ(site->events(), QStringList{kNoConnection});
    EXPECT_FALSE(site->actualizado(a));

    site->sync(true);
    EXPECT_EQ(site->events(), QStringList{kNoConnection});
}

TEST_F(SyncFailureTest, UnreachableServerInBothModes)
{
    // Nothing listens on 127.0.0.9:3306 nor on a closed port of 127.0.0.1.
    auto odbc = siteOn(QStringLiteral("ODBC"), QStringLiteral("127.0.0.9"));
    odbc->sync();
    EXPECT_EQ(odbc->events(), QStringList{kNoConnection});

    auto web =
        siteOn(QStringLiteral("WEB"), QStringLiteral("127.0.0.1:%1").arg(test::closedPort()));
    web->sync();
    ASSERT_EQ(web->events().size(), 1);
    // Refused connections are not among the three numbers of the friendly text.
    EXPECT_TRUE(
        web->events()[0].startsWith(QStringLiteral("Error %1 (").arg(ErrNo::HttpCannotConnect)))
        << web->events()[0].toStdString();

    odbc->sync(true);
    web->sync(true);
    EXPECT_EQ(odbc->events().size(), 1);
    EXPECT_EQ(web->events().size(), 1);
}

// The command line runs one synchronisation and tells what went up and down.
TEST_F(SyncFailureTest, SyncCommandPrintsWhatMoved)
{
    farm->addRecord(QStringLiteral("2026-03-10"), QStringLiteral("Otro sitio"),
                    QStringLiteral("Delpro"), 50, 1000, 7, {QStringLiteral("'3', 30, 600")});
    Site site(*farm, QStringLiteral("WEB"));
    site.addReading(QStringLiteral("12/03/2026"), QStringLiteral("Zelvano"),
                    QStringLiteral("Delpro"), 40, 800,
                    {{QStringLiteral("3"), 40, 800}, {QStringLiteral("4"), 0, 0}});
    closeLocalConnection(site.home.ctx);

    QProcess process;
    process.start(QStringLiteral(ZELVANO_EXECUTABLE),
                  {QStringLiteral("--home"), site.home.dir(), QStringLiteral("sync")});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString output = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_EQ(process.exitCode(), 0)
        << output.toStdString() << process.readAllStandardError().toStdString();
    EXPECT_TRUE(
        output.contains(QStringLiteral("Up:   1 added, 0 changed, 0 deleted, 2 detail rows")))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("Down: 1 records, 1 detail rows")))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("Event: Datos de cabezas y produccion Sincronizados "
                                               "correctamente con el servidor web")))
        << output.toStdString();
    EXPECT_EQ(farm->headerCount(), 2);
}

} // namespace
} // namespace zelvano
