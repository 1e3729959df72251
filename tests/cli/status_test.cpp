// zelvano status: the real program run on test homes, its output and exit
// status checked exactly in both forms; it reads and never writes.
#include "app/databasefile.h"
#include "app/jobrecord.h"
#include "cli/status.h"
#include "download/download.h"
#include "platform/instancelock.h"
#include "store/connection.h"
#include "store/localconnection.h"
#include "support/testsupport.h"
#include "trips/save.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>

// Failures show texts and JSON as they read.
inline void PrintTo(const QJsonObject &o, std::ostream *os)
{
    *os << QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}
inline void PrintTo(const QJsonValue &v, std::ostream *os)
{
    *os << QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).toStdString();
}

namespace zelvano::test {
namespace {

struct StatusRun
{
    int status = -1;
    QString out;
    QString err;
    qint64 ms = 0;
    QJsonObject json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
};

StatusRun runZelvano(const QStringList &args)
{
    QElapsedTimer clock;
    clock.start();
    QProcess p;
    p.start(QStringLiteral(ZELVANO_EXECUTABLE), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError()), clock.elapsed()};
}

StatusRun status(const TestHome &home, bool json = false)
{
    QStringList args{"--home", home.dir(), "status"};
    if (json)
        args << "--json";
    return runZelvano(args);
}

// The lines every status of a home begins with.
QString head(const TestHome &home, const QString &running = QStringLiteral("no"))
{
    return "home: " + home.dir() + "\ndatabase: " + home.databasePath() + "\nrunning: " + running +
           "\n";
}

QJsonObject neverRan(bool download = false)
{
    QJsonObject job{{"last_run", QJsonValue()},
                    {"last_ended", QJsonValue()},
                    {"last_success", QJsonValue()},
                    {"ok", QJsonValue()},
                    {"error", QJsonValue()}};
    if (download) {
        job["trips_saved"] = QJsonValue();
        job["trips_left_out"] = QJsonValue();
        job["stale"] = false;
    }
    return job;
}

// The object of a home where nothing has happened yet.
QJsonObject quietHome(const TestHome &home)
{
    return QJsonObject{
        {"home", home.dir()},
        {"database", home.databasePath()},
        {"database_error", QJsonValue()},
        {"running", false},
        {"process", QJsonValue()},
        {"jobs",
         QJsonObject{{"download", neverRan(true)}, {"import", neverRan()}, {"sync", neverRan()}}},
        {"newest_trip", QJsonValue()},
        {"trips_dated_today", 0},
        {"pending_readings", 0},
        {"pending_by_kind", QJsonObject{{"AGREGAR", 0}, {"MODIFICAR", 0}, {"ELIMINAR", 0}}},
        {"oldest_pending", QJsonValue()},
        {"waiting_files", 0},
        {"files", QJsonObject{{"folder", ""},
                              {"new", 0},
                              {"unfinished", 0},
                              {"refused", 0},
                              {"unreadable_names", 0},
                              {"future", 0},
                              {"problem", "import off"}}},
        {"last_errors", QJsonArray()},
    };
}

QStringList tables(const TestHome &home)
{
    LocalConnection db;
    db.open(home.databasePath());
    Recordset rs =
        db.openRecordset("select name from sqlite_master where type = 'table' order by name");
    QStringList names;
    for (; !rs.eof(); rs.moveNext())
        names << rs.value(0).toString();
    return names;
}

TEST(Status, AFreshHomeInBothFormsAndNothingWritten)
{
    TestHome home;
    const QStringList before = tables(home);
    const QDateTime modified = QFileInfo(home.databasePath()).lastModified();
    const QByteArray bytes = [&] {
        QFile f(home.databasePath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();

    const StatusRun text = status(home);
    EXPECT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_EQ(text.out.toStdString(), (head(home) + "download: never ran\n"
                                                    "import: never ran\n"
                                                    "sync: never ran\n"
                                                    "newest trip: none, 0 dated today\n"
                                                    "readings waiting to be sent: 0\n"
                                                    "files waiting: 0 (import off)\n"
                                                    "last errors: none\n")
                                          .toStdString());
    const StatusRun json = status(home, true);
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.json(), quietHome(home)) << json.out.toStdString();

    // Read only: no table of its own made, not a byte changed, no journal left.
    EXPECT_EQ(tables(home), before);
    EXPECT_FALSE(before.contains("zelvano_jobs"));
    QFile f(home.databasePath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), bytes);
    EXPECT_EQ(QFileInfo(home.databasePath()).lastModified(), modified);
    EXPECT_EQ(QDir(home.dir()).entryList(QDir::Files, QDir::Name),
              (QStringList{"conexion.txt", "local.db"}));
}

TEST(Status, AfterASynchronisationThatFoundTheServerDown)
{
    TestHome home;
    home.exec("update mi_empresa set id_cliente_remoto = '12', servidor_remoto = '127.0.0.1:1', "
              "password_remoto = 'secreto', modo_remoto = 'WEB'");
    const StatusRun sync = runZelvano({"--home", home.dir(), "sync"});
    ASSERT_EQ(sync.status, 1) << sync.out.toStdString();

    const QString started =
        home.scalar("select started from zelvano_jobs where job = 'sync'").toString();
    const QString ended =
        home.scalar("select ended from zelvano_jobs where job = 'sync'").toString();
    ASSERT_FALSE(started.isEmpty());
    const QString event = home.scalar("select descripcion from sucesos").toString();
    const QString day = home.scalar("select fecha from sucesos").toString();
    ASSERT_TRUE(event.startsWith("Error -2147012867 (")) << event.toStdString();
    const QString error =
        "Error -2147012867 (A connection with the server could not be established)";

    const StatusRun text = status(home);
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out.toStdString(), (head(home) +
                                       "download: never ran\n"
                                       "import: never ran\n"
                                       "sync: failed, ran " +
                                       started + " to " + ended + ", last success never: " + error +
                                       "\n"
                                       "  No se pudo conectar con el servidor configurado: revise "
                                       "la conexión a Internet o el servidor configurado\n"
                                       "newest trip: none, 0 dated today\n"
                                       "readings waiting to be sent: 0\n"
                                       "files waiting: 0 (import off)\n"
                                       "last errors:\n"
                                       "  1\t" +
                                       day + "\t" + event + "\n")
                                          .toStdString());

    const StatusRun json = status(home, true);
    EXPECT_EQ(json.status, 1);
    QJsonObject expected = quietHome(home);
    QJsonObject jobs = expected["jobs"].toObject();
    jobs["sync"] = QJsonObject{
        {"last_run", started},
        {"last_ended", ended},
        {"last_success", QJsonValue()},
        {"ok", false},
        {"error", QJsonObject{{"number", -2147012867LL},
                              {"description", "A connection with the server could not be "
                                              "established"},
                              {"advice", "No se pudo conectar con el servidor configurado: "
                                         "revise la conexión a Internet o el servidor "
                                         "configurado"}}}};
    expected["jobs"] = jobs;
    expected["last_errors"] = QJsonArray{QJsonObject{{"id", 1}, {"date", day}, {"text", event}}};
    EXPECT_EQ(json.json(), expected) << json.out.toStdString();
}

void writeFile(const QString &path, const QDateTime &modified)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Grupo;Litros\n");
    f.close();
    if (modified.isValid()) {
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
    }
}

TEST(Status, ReadingsWaitingByKindAndFilesWaitingNewUnfinishedRefused)
{
    TestHome home;
    // Readings: sent ones and those another site sent down do not wait.
    const char *readings[][3] = {
        {"05/12/2026", "false", "AGREGAR"},    {"06/12/2026", "false", "AGREGAR"},
        {"06/12/2026", "false", "agregar"},    {"04/12/2026", "false", "MODIFICAR"},
        {"07/12/2026", "false", "ELIMINAR"},   {"01/12/2026", "true", "AGREGAR"},
        {"01/11/2026", "false", "DESCARGADO"},
    };
    for (const auto &r : readings)
        home.exec(QStringLiteral("insert into Produccion_Lactea (fecha, usuario, turno, "
                                 "total_cabezas, total_litros, actualizado, proceso, id_remoto) "
                                 "values ('%1', 'Tambo', 'M', 10, 100, %2, '%3', 0)")
                      .arg(r[0], r[1], r[2]));
    // Events: the last five errors, newest first.
    for (int i = 1; i <= 7; ++i)
        home.exec(QStringLiteral("insert into sucesos (fecha, descripcion) values ('0%1/12/2026', "
                                 "'%2')")
                      .arg(i)
                      .arg(i == 4
                               ? QStringLiteral("Finalizo la descarga de datos Web")
                               : QStringLiteral("Error %1 (fallo %1) en procedimiento X").arg(i)));

    const QString folder = home.filePath("export");
    ASSERT_TRUE(QDir().mkpath(folder + "/ordene_dir.csv"));
    home.exec("update mi_empresa set importa_csv = true, carpeta_importacion = '" + folder +
              "', archivo_importacion = 'ordene', software_importacion = 'delpro'");
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    writeFile(folder + "/ordene_1.csv", hourAgo);              // new
    writeFile(folder + "/ordene_2.CSV", hourAgo);              // new
    writeFile(folder + "/ordene_3.csv", QDateTime());          // being written now
    writeFile(folder + "/ordene_4.csv", hourAgo);              // still held open by its writer
    writeFile(folder + "/--rechazado--ordene_0.csv", hourAgo); // set aside
    writeFile(folder + "/--leido--ordene_9.csv", hourAgo);     // read
    writeFile(folder + "/ordene_leido.csv", hourAgo);          // never read
    writeFile(folder + "/informe.csv", hourAgo);               // not an export
    writeFile(folder + "/.ordene_h.csv", hourAgo);             // hidden
    QFile writer(folder + "/ordene_4.csv");
    ASSERT_TRUE(writer.open(QIODevice::Append));

    const StatusRun text = status(home);
    EXPECT_EQ(text.status, 0) << text.err.toStdString();
    EXPECT_EQ(text.out.toStdString(),
              (head(home) +
               "download: never ran\n"
               "import: never ran\n"
               "sync: never ran\n"
               "newest trip: none, 0 dated today\n"
               "readings waiting to be sent: 5 (AGREGAR 3, MODIFICAR 1, ELIMINAR 1), "
               "oldest 2026-12-04\n"
               "files waiting: 5 in " +
               folder +
               " (2 new, 2 unfinished, 1 refused)\n"
               "last errors:\n"
               "  7\t2026-12-07\tError 7 (fallo 7) en procedimiento X\n"
               "  6\t2026-12-06\tError 6 (fallo 6) en procedimiento X\n"
               "  5\t2026-12-05\tError 5 (fallo 5) en procedimiento X\n"
               "  3\t2026-12-03\tError 3 (fallo 3) en procedimiento X\n"
               "  2\t2026-12-02\tError 2 (fallo 2) en procedimiento X\n")
                  .toStdString());

    const QJsonObject json = status(home, true).json();
    EXPECT_EQ(json["pending_readings"], 5);
    EXPECT_EQ(json["pending_by_kind"],
              (QJsonObject{{"AGREGAR", 3}, {"MODIFICAR", 1}, {"ELIMINAR", 1}}));
    EXPECT_EQ(json["oldest_pending"], "2026-12-04");
    EXPECT_EQ(json["waiting_files"], 5);
    EXPECT_EQ(json["files"], (QJsonObject{{"folder", folder},
                                          {"new", 2},
                                          {"unfinished", 2},
                                          {"refused", 1},
                                          {"unreadable_names", 0},
                                          {"future", 0},
                                          {"problem", QJsonValue()}}));
    ASSERT_EQ(json["last_errors"].toArray().size(), 5);
    EXPECT_EQ(json["last_errors"][4],
              (QJsonObject{{"id", 2},
                           {"date", "2026-12-02"},
                           {"text", "Error 2 (fallo 2) en procedimiento X"}}));

    // Its writer lets go: the file is ready for the next scan.
    writer.close();
    EXPECT_TRUE(status(home).out.contains(" (3 new, 1 unfinished, 1 refused)\n"));
    // The Dairycomp export has one name; a layout the scan does not know counts nothing.
    home.exec("update mi_empresa set software_importacion = 'dairy', archivo_importacion = "
              "'ordene_1'");
    EXPECT_TRUE(status(home).out.contains("files waiting: 2 in " + folder +
                                          " (1 new, 0 unfinished, 1 refused)\n"));
    home.exec("update mi_empresa set software_importacion = 'Delpro'");
    EXPECT_TRUE(status(home).out.contains("files waiting: 0 (no import layout ('Delpro'))\n"));
    home.exec("update mi_empresa set software_importacion = 'delpro', carpeta_importacion = '" +
              folder + "/gone'");
    EXPECT_TRUE(status(home).out.contains("files waiting: 0 (folder not found)\n"));
}

// A job's record and trips, committed, as a save leaves them.
void saveDone(TestHome &home)
{
    home.connect();
    DownloadOutcome downloaded;
    SaveOutcome saved;
    saved.trips = 2;
    recordDownload(home.ctx, home.clock.now().addSecs(-4), &downloaded, &saved);
    const QString today = QDate::currentDate().toString("dd/MM/yyyy");
    home.exec("insert into lectura_viajes (id, fecha) values (7000, '01/01/2020')");
    home.exec("insert into lectura_viajes (id, fecha) values (7001, '" + today + "')");
    home.exec("insert into lectura_viajes (id, fecha) values (7002, '" + today + "')");
    home.exec("insert into lectura_viajes (id, fecha) values (-3, '" + today + "')"); // a pit trip
}

// A running program records a download every interval: when its last record
// (or its start, when later) is older than two intervals, the record is stale
// (it could not be written, or the ticks stopped) and status says so, exit 1.
TEST(Status, ARunningProgramsRecordOlderThanTwoIntervalsIsStale)
{
    struct Case
    {
        const char *what;
        bool running;
        const char *interval; // usa_intervalo, intervalo_minutos
        int hoursLater;
        bool stale;
    } const cases[] = {
        {"every 60 min, 3 h later", true, "true, intervalo_minutos = '60'", 3, true},
        {"every 120 min, 3 h later", true, "true, intervalo_minutos = '120'", 3, false},
        {"every tick, 1 h later", true, "false", 1, true},
        {"no program runs", false, "true, intervalo_minutos = '60'", 3, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TestHome home(QDateTime::currentDateTime());
        saveDone(home);
        closeLocalConnection(home.ctx);
        home.exec(QStringLiteral("update mi_empresa set usa_intervalo = ") + c.interval);
        FolderInstanceLock lock;
        if (c.running)
            ASSERT_TRUE(lock.claim(home.dir()));
        const StatusReport r =
            readStatus(home.dir(), QDateTime::currentDateTime().addSecs(c.hoursLater * 3600));
        EXPECT_EQ(r.downloadStale, c.stale);
        EXPECT_EQ(r.exitStatus(), c.stale ? 1 : 0);
        EXPECT_EQ(statusText(r).contains("\ndownload: stale (the running program recorded no "
                                         "run since "),
                  c.stale);
    }
}

TEST(Status, AnswersWhileASaveHoldsTheDatabase)
{
    TestHome home(QDateTime::currentDateTime());
    saveDone(home);
    const StatusRun quiet = status(home);
    ASSERT_EQ(quiet.status, 0) << quiet.out.toStdString();
    // A save under way: its trips and its record are not committed yet.
    DatabaseFile save(home.databasePath(), DatabaseFile::Mode::ReadWrite, 0);
    ASSERT_TRUE(save.isOpen());
    save.exec("begin immediate");
    save.exec("insert into lectura_viajes (id, fecha) values (7003, date('now', 'localtime'))");
    save.exec("update zelvano_jobs set ok = 0, error_number = 5, error_text = 'x'");
    const StatusRun during = status(home);
    EXPECT_EQ(during.status, 0);
    EXPECT_EQ(during.out.toStdString(), quiet.out.toStdString());
    EXPECT_TRUE(during.out.contains("\ndownload: ok, ran ")) << during.out.toStdString();
    EXPECT_TRUE(during.out.contains("\nnewest trip: 7002, 2 dated today\n"));
    EXPECT_LT(during.ms, 3000);
    save.exec("rollback");

    // The moment a commit writes the file nobody reads it: status waits a
    // second at most and says it could not read, exit 2.
    save.exec("begin exclusive");
    const StatusRun locked = status(home);
    EXPECT_EQ(locked.status, 2);
    EXPECT_EQ(locked.out.toStdString(),
              (head(home) + "database cannot be read: database is locked\n").toStdString());
    EXPECT_GE(locked.ms, 900);
    EXPECT_LT(locked.ms, 5000);
    const StatusRun lockedJson = status(home, true);
    EXPECT_EQ(lockedJson.status, 2);
    const QJsonObject o = lockedJson.json();
    EXPECT_EQ(o["database_error"], "database is locked");
    EXPECT_EQ(o["jobs"]["download"]["ok"], QJsonValue());
    EXPECT_EQ(o["pending_readings"], QJsonValue());
    save.exec("rollback");
    EXPECT_EQ(status(home).out.toStdString(), quiet.out.toStdString());
}

TEST(Status, ADatabaseThatCannotBeReadIsExitTwo)
{
    TestHome home;
    QFile::remove(home.filePath("conexion.txt"));
    const StatusRun none = status(home);
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out.toStdString(),
              ("home: " + home.dir() + "\ndatabase: \nrunning: no\n" +
               "database cannot be read: cannot read " + home.filePath("conexion.txt") + "\n")
                  .toStdString());

    // A database that is not there is not made.
    const QString missing = home.filePath("missing.db");
    home.writeConnectionFile(("Data Source= " + missing).toUtf8());
    const StatusRun gone = status(home, true);
    EXPECT_EQ(gone.status, 2);
    EXPECT_EQ(gone.json()["database_error"], "no database file at " + missing);
    EXPECT_FALSE(QFile::exists(missing));

    const QString text = home.filePath("notes.txt");
    writeFile(text, QDateTime());
    home.writeConnectionFile(("Data Source= " + text).toUtf8());
    const StatusRun garbage = status(home);
    EXPECT_EQ(garbage.status, 2);
    EXPECT_TRUE(garbage.out.endsWith("database cannot be read: file is not a database\n"))
        << garbage.out.toStdString();
}

// A program killed in the middle of a large save leaves a journal that only a
// writer can roll back: status says so (exit 2) until the program's next
// connection does it, and then reads the data as it was before the save.
TEST(Status, AProgramKilledInTheMiddleOfASaveLeavesItsJournal)
{
    TestHome home;
    {
        DatabaseFile db(home.databasePath(), DatabaseFile::Mode::ReadWrite, 1000);
        ASSERT_TRUE(db.isOpen());
        db.exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 5000) "
                "insert into lectura_viajes (id, fecha, des_receta) select i, '2024-01-01', "
                "'Engorde del lote numero ' || i from n");
    }
    const StatusRun before = status(home);
    ASSERT_EQ(before.status, 0);

    const QByteArray path = home.databasePath().toLocal8Bit();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Plain SQLite, no Qt, in the child: a save too big for its cache
        // (pages go to the file before the commit), then SIGKILL.
        sqlite3 *db = nullptr;
        sqlite3_open(path.constData(), &db);
        sqlite3_exec(db,
                     "pragma cache_size = 10; begin; update lectura_viajes set des_receta = "
                     "des_receta || ' cambiado'; insert into lectura_viajes (id, fecha) values "
                     "(9999, '2024-01-02');",
                     nullptr, nullptr, nullptr);
        ::raise(SIGKILL);
        ::_exit(0);
    }
    int how = 0;
    ASSERT_EQ(::waitpid(child, &how, 0), child);
    ASSERT_TRUE(WIFSIGNALED(how));
    ASSERT_GT(QFileInfo(home.databasePath() + "-journal").size(), 0);

    const StatusRun hot = status(home);
    EXPECT_EQ(hot.status, 2);
    EXPECT_EQ(hot.out.toStdString(),
              (head(home) + "database cannot be read: a transaction that a program left "
                            "unfinished when it ended waits to be rolled back (the program "
                            "does it when it next opens the database)\n")
                  .toStdString());
    // Still there: status wrote nothing.
    EXPECT_GT(QFileInfo(home.databasePath() + "-journal").size(), 0);

    // The program's next connection rolls it back.
    ASSERT_EQ(runZelvano({"--home", home.dir(), "settings"}).status, 0);
    EXPECT_EQ(status(home).out.toStdString(), before.out.toStdString());
    EXPECT_EQ(home.scalar("pragma integrity_check").toString(), "ok");
    EXPECT_EQ(home.scalar("select count(*) from lectura_viajes where des_receta like "
                          "'%cambiado'")
                  .toInt(),
              0);
}

TEST(Status, UsageIsTold)
{
    TestHome home;
    const StatusRun wrong = runZelvano({"--home", home.dir(), "status", "--xml"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_TRUE(wrong.out.isEmpty());
    EXPECT_EQ(wrong.err, "usage: zelvano status [--json]\n");
}

// A large farm: 100,000 trips, 100,000 events (few of them errors, so the
// search for the last five goes far back) and 10,000 readings. Its time is
// measured by bench/status_bench.
TEST(Status, ALargeFarmIsReadToTheOldestError)
{
    TestHome home;
    {
        DatabaseFile db(home.databasePath(), DatabaseFile::Mode::ReadWrite, 1000);
        ASSERT_TRUE(db.isOpen());
        db.exec("begin");
        db.exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 100000) "
                "insert into lectura_viajes (id, Turno, id_receta, des_receta, fecha, cab_tot, "
                "kg_tot_sug, kg_tot_real, id_prg, id_pres, Kg_Tot_Pres) select i, 1, 7, "
                "'Engorde', date('2024-01-01', '+' || (i / 100) || ' days'), 30, 9999, 9999, 2, "
                "7, 9999 from n");
        db.exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 100000) "
                "insert into sucesos (fecha, descripcion) select date('2024-01-01', '+' || (i / "
                "100) || ' days'), case when i = 10 then 'Error 5 (viejo)' else 'Finalizo la "
                "descarga de datos Web exitosamente a las 10:00:00' end from n");
        db.exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 10000) "
                "insert into Produccion_Lactea (fecha, usuario, turno, total_cabezas, "
                "total_litros, actualizado, proceso, id_remoto) select date('2024-01-01', '+' || "
                "(i / 10) || ' days'), 'Tambo', 'M', 10, 100, case when i > 9990 then 0 else -1 "
                "end, 'AGREGAR', i from n");
        db.exec("commit");
    }
    const StatusRun run = status(home);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.contains("\nnewest trip: 100000, 0 dated today\n"));
    EXPECT_TRUE(run.out.contains("\nreadings waiting to be sent: 10 (AGREGAR 10, MODIFICAR 0, "
                                 "ELIMINAR 0), oldest " +
                                 QDate(2024, 1, 1).addDays(999).toString(Qt::ISODate) + "\n"))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("\nlast errors:\n  10\t2024-01-01\tError 5 (viejo)\n"));
}

} // namespace
} // namespace zelvano::test
