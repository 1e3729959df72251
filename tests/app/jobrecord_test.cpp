// The record of each job's last run: what it keeps from run to run, that it
// never holds a job up on a database another connection holds, and that every
// path that runs a job (the tick, the window's buttons) records it.
#include "app/databasefile.h"
#include "app/jobrecord.h"
#include "app/scheduler.h"
#include "app/ticktimer.h"
#include "common/stoprequest.h"
#include "download/download.h"
#include "gui/frmsucesosauto.h"
#include "gui/windowrig.h"
#include "milk/import.h"
#include "servicehome.h"
#include "store/connection.h"
#include "sync/sync.h"
#include "trips/save.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

namespace zelvano::test {
namespace {

const QString kRecordColumns =
    QStringLiteral("job, started, ended, ok, error_number, error_text, last_success, trips_saved, "
                   "trips_left_out");

// The record's rows, "|"-joined in the table's order, by job name.
QStringList recordRows(const ServiceHome &home)
{
    LocalConnection db;
    db.open(home.databasePath());
    Recordset rs = db.openRecordset(QStringLiteral("select ") + kRecordColumns +
                                    QStringLiteral(" from zelvano_jobs order by job"));
    QStringList rows;
    for (; !rs.eof(); rs.moveNext()) {
        QStringList values;
        for (int i = 0; i < rs.fieldCount(); ++i)
            values << (rs.value(i).isNull() ? QStringLiteral("<null>") : rs.value(i).toString());
        rows << values.join(u'|');
    }
    return rows;
}

QString at(const TestHome &home)
{
    return isoTime(home.clock.now());
}

TEST(JobRecord, KeepsTheLastRunItsLastSuccessAndTheTripsOfTheLastSave)
{
    ServiceHome home;
    home.connect(); // the connection creates the table
    const QString t0 = at(home);

    DownloadOutcome downloaded;
    downloaded.trips = 4;
    SaveOutcome saved;
    saved.trips = 3;
    saved.refusedTrips = 1; // left out, not failed
    home.clock.advanceSeconds(5);
    recordDownload(home.ctx, home.clock.now().addSecs(-5), &downloaded, &saved);
    const QString t5 = at(home);
    EXPECT_EQ(recordRows(home),
              QStringList{"download|" + t0 + "|" + t5 + "|1|<null>|<null>|" + t5 + "|3|1"});

    // A download that fails: the save after it stores nothing. The last
    // success stays where it was.
    home.clock.advanceSeconds(60);
    const QString t65 = at(home);
    DownloadOutcome refused;
    refused.fail(ErrNo::HttpCannotConnect, "A connection with the server could not be established");
    SaveOutcome empty;
    recordDownload(home.ctx, home.clock.now(), &refused, &empty);
    EXPECT_EQ(recordRows(home), QStringList{"download|" + t65 + "|" + t65 +
                                            "|0|-2147012867|A connection with "
                                            "the server could not be established|" +
                                            t5 + "|0|0"});

    // A save that fails after its commit (the head counts, say): the save's
    // error, and the trips its transaction stored.
    SaveOutcome failedSave;
    failedSave.trips = 2;
    failedSave.fail(ErrNo::ProviderFailure, "database is locked");
    recordDownload(home.ctx, home.clock.now(), &downloaded, &failedSave);
    EXPECT_TRUE(recordRows(home).at(0).startsWith(
        "download|" + t65 + "|" + t65 + "|0|-2147467259|database is locked|" + t5 + "|2|0"));

    // A download alone (the window's button) keeps the trips of the last save.
    recordDownload(home.ctx, home.clock.now(), &downloaded, nullptr);
    EXPECT_EQ(recordRows(home).at(0),
              "download|" + t65 + "|" + t65 + "|1|<null>|<null>|" + t65 + "|2|0");
}

TEST(JobRecord, AnImportRecordsTheSynchronisationItRan)
{
    ServiceHome home;
    home.connect();
    const QString t0 = at(home);
    ImportOutcome scan;
    scan.files.push_back({"a.csv", "--leido--a.csv"});
    SyncReport sync;
    sync.fail(ErrNo::HttpCannotConnect, "A connection with the server could not be established");
    scan.sync = sync;
    home.clock.advanceSeconds(2);
    const QString t2 = at(home);
    recordImport(home.ctx, home.clock.now().addSecs(-2), scan);
    EXPECT_EQ(recordRows(home),
              (QStringList{"import|" + t0 + "|" + t2 + "|1|<null>|<null>|" + t2 + "|<null>|<null>",
                           "sync|" + t0 + "|" + t2 +
                               "|0|-2147012867|A connection with the server "
                               "could not be established|<null>|<null>|<null>"}));

    // A scan without files runs no synchronisation: its record stays.
    home.clock.advanceSeconds(60);
    const QString t62 = at(home);
    recordImport(home.ctx, home.clock.now(), ImportOutcome());
    const QStringList rows = recordRows(home);
    EXPECT_EQ(rows.at(0),
              "import|" + t62 + "|" + t62 + "|1|<null>|<null>|" + t62 + "|<null>|<null>");
    EXPECT_TRUE(rows.at(1).startsWith("sync|" + t0 + "|" + t2 + "|0|"));
}

TEST(JobRecord, ADatabaseHeldByAnotherConnectionNeverHoldsTheJobUp)
{
    ServiceHome home;
    home.connect();
    JobBoard board;
    int changes = 0;
    board.onChange([&] { ++changes; });

    // Another program in the middle of its commit: not even a read gets in.
    DatabaseFile other(home.databasePath(), DatabaseFile::Mode::ReadWrite, 0);
    ASSERT_TRUE(other.isOpen()) << other.error().toStdString();
    other.exec("begin exclusive");
    SyncReport report;
    QElapsedTimer clock;
    clock.start();
    recordSync(home.ctx, home.clock.now(), report, &board);
    const qint64 waited = clock.elapsed();
    EXPECT_GE(waited, kJobRecordBusyMs - 50);
    EXPECT_LT(waited, kJobRecordBusyMs + 1500);
    const QString t0 = at(home);
    recordImport(home.ctx, home.clock.now(), ImportOutcome());
    other.exec("rollback");
    EXPECT_TRUE(recordRows(home).isEmpty());
    // The window and the service still learn how the job ended.
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(board.records().sync.ran);
    EXPECT_TRUE(board.records().sync.ok());

    // Free again: the runs kept in memory are written first, then this one,
    // and the board shows what the database holds.
    home.clock.advanceSeconds(1);
    const QString t1 = at(home);
    report.fail(ErrNo::HttpTimeout, "The operation timed out");
    recordSync(home.ctx, home.clock.now(), report, &board);
    EXPECT_EQ(recordRows(home),
              QStringList({"import|" + t0 + "|" + t0 + "|1|<null>|<null>|" + t0 + "|<null>|<null>",
                           "sync|" + t1 + "|" + t1 + "|0|-2147012894|The operation timed out|" +
                               t0 + "|<null>|<null>"}));
    EXPECT_EQ(isoTime(board.records().sync.lastSuccess), t0);
    EXPECT_EQ(board.records().sync.error->number(), ErrNo::HttpTimeout);
}

class TickRecord : public ::testing::Test
{
protected:
    TickRecord() : scheduler(home.ctx, timer, steps())
    {
        // No server is set: every download fails at once. A download and a
        // save on every tick; the import from midnight on, on a missing folder.
        home.settings("usa_intervalo = false, importa_csv = true, hora_importacion = '00:00', "
                      "software_importacion = 'delpro', carpeta_importacion = '" +
                      home.filePath("no-such-folder") + "'");
    }
    ~TickRecord() override { clearStopRequest(); }

    TickSteps steps()
    {
        TickSteps s = TickSteps::program(&board);
        auto download = s.download;
        s.download = [this, download](AppContext &ctx) {
            download(ctx);
            home.clock.advanceSeconds(3); // as long as it took
            if (stopAfterDownload)
                requestStop();
        };
        return s;
    }

    ServiceHome home;
    JobBoard board;
    ManualTickTimer timer;
    Scheduler scheduler;
    bool stopAfterDownload = false;
};

TEST_F(TickRecord, TheTickRecordsItsCycleAndItsScan)
{
    const QString t0 = at(home);
    scheduler.TimeDesc_Timer();
    const QString t3 = at(home);
    const QStringList rows = recordRows(home);
    ASSERT_EQ(rows.size(), 2) << rows.join('\n').toStdString();
    // The download's error is the cycle's, though its save went well.
    EXPECT_TRUE(rows[0].startsWith("download|" + t0 + "|" + t3 + "|0|")) << rows[0].toStdString();
    EXPECT_TRUE(rows[0].endsWith("|<null>|0|0")) << rows[0].toStdString();
    EXPECT_TRUE(rows[1].startsWith("import|" + t3 + "|" + t3 + "|0|76|")) << rows[1].toStdString();
    // The board shows what the database holds.
    ASSERT_FALSE(board.records().download.ok());
    EXPECT_EQ(
        board.records().download.error->number(),
        home.scalar("select error_number from zelvano_jobs where job = 'download'").toLongLong());
    ASSERT_FALSE(board.records().import.ok());
    EXPECT_EQ(board.records().import.error->number(), ErrNo::PathNotFound);
}

TEST_F(TickRecord, ADownloadCutShortByAStopIsRecordedWithoutItsSave)
{
    stopAfterDownload = true;
    const QString t0 = at(home);
    scheduler.TimeDesc_Timer();
    const QStringList rows = recordRows(home);
    ASSERT_EQ(rows.size(), 1) << rows.join('\n').toStdString();
    // No save ran: no trips counted, none claimed.
    EXPECT_TRUE(rows[0].startsWith("download|" + t0 + "|" + at(home) + "|0|"));
    EXPECT_TRUE(rows[0].endsWith("|<null>|<null>")) << rows[0].toStdString();
    EXPECT_FALSE(home.ctx.Connected);
}

TEST(JobRecordWindow, TheWindowShowsEachJobsLastRunBesideTheSystemsTip)
{
    WindowRig rig;
    // An earlier run of the service left a synchronisation behind.
    rig.home.connect();
    SyncReport report;
    rig.home.clock.advanceSeconds(-3600);
    recordSync(rig.home.ctx, rig.home.clock.now(), report);
    rig.home.clock.advanceSeconds(3600);
    closeLocalConnection(rig.home.ctx);
    rig.form.jobBoard().load(rig.ctx);
    ASSERT_TRUE(rig.start());
    rig.form.showWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));

    auto *jobs = child<QLabel>(rig.form, "lblTrabajos");
    const QStringList before = {"Descarga: sin ejecutar", "Importación: sin ejecutar",
                                "Sincronización: correcta a las 09:00:00"};
    EXPECT_EQ(jobs->toolTip(), before.join('\n'));
    EXPECT_EQ(rig.form.trayToolTip(), (QStringList{rig.form.trayTip()} + before).join('\n'));

    // No server is set: the window's download fails, and says so in both places.
    rig.form.CmdDescargar_Click();
    const QStringList lines = jobs->toolTip().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith("Descarga: con error a las 10:00:00: No hay un servidor "))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith("(Error -2147012889 (The server name or address could not be "
                                  "resolved))"));
    EXPECT_EQ(lines.mid(1), before.mid(1));
    EXPECT_EQ(rig.form.trayToolTip(), (QStringList{rig.form.trayTip()} + lines).join('\n'));
    // The system's own tip is left as it writes it.
    EXPECT_EQ(rig.form.trayTip(), rig.form.caption().left(64));
    // What the window shows is what the database holds.
    EXPECT_EQ(rig.home.scalar("select ok from zelvano_jobs where job = 'download'").toInt(), 0);

    // Every line fits the label; a line too long for it is cut, never wrapped.
    const QStringList shown = jobs->text().split('\n');
    ASSERT_EQ(shown.size(), 3);
    for (const QString &line : shown)
        EXPECT_LE(jobs->fontMetrics().horizontalAdvance(line), jobs->width());
    const char *names[] = {"lblTrabajos", "lblResultado", "CmdImprimir", "cmdsalir", "cmdgrabar"};
    for (QSize size : {rig.form.minimumSize(), QSize(1200, 800)}) {
        rig.form.resize(size);
        ASSERT_EQ(rig.form.size(), size);
        for (size_t a = 0; a < std::size(names); ++a) {
            const QRect ra = rig.form.control(names[a])->geometry();
            EXPECT_TRUE(rig.form.rect().contains(ra)) << names[a];
            for (size_t b = a + 1; b < std::size(names); ++b)
                EXPECT_FALSE(ra.intersects(rig.form.control(names[b])->geometry()))
                    << names[a] << " and " << names[b];
        }
    }
}

} // namespace
} // namespace zelvano::test
