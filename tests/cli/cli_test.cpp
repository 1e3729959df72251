#include "support/testsupport.h"

#include "store/localconnection.h"
#include "store/schema.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

using namespace zelvano;
using zelvano::test::TestHome;

namespace {

struct ProgramRun
{
    int status = -1;
    QString out;
    QString err;
};

ProgramRun runZelvano(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(ZELVANO_EXECUTABLE), args);
    p.waitForFinished(30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(CommandLine, InitDbCreatesAndNeverOverwrites)
{
    TestHome home;
    const QString path = home.filePath("fresh.db");
    ProgramRun first = runZelvano({"init-db", path});
    EXPECT_EQ(first.status, 0) << first.err.toStdString();
    EXPECT_TRUE(QFile::exists(path));
    const qint64 size = QFileInfo(path).size();
    ProgramRun second = runZelvano({"init-db", path});
    EXPECT_NE(second.status, 0);
    EXPECT_EQ(QFileInfo(path).size(), size);
}

TEST(CommandLine, SettingsAndEventsOfTheHome)
{
    TestHome home;
    home.exec("update mi_empresa set id_cliente_remoto = '12', modo_remoto = 'ODBC'");
    home.exec("insert into sucesos (fecha, descripcion) values ('06/12/2026', 'ayer')");
    home.exec("insert into sucesos (fecha, descripcion) values ('20/11/2026', 'viejo')");
    ProgramRun settings = runZelvano({"--home", home.dir(), "settings"});
    ASSERT_EQ(settings.status, 0) << settings.err.toStdString();
    const QStringList lines = settings.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 19);
    EXPECT_EQ(lines[0], "CompanyField0=");
    EXPECT_EQ(lines[4], "ClientId=12");
    EXPECT_EQ(lines[7], "RemoteMode=ODBC");

    // The events command reads the real clock: only a row of this week shows.
    home.exec("insert into sucesos (fecha, descripcion) values ('" +
              QDate::currentDate().toString("dd/MM/yyyy") + "', 'hoy')");
    ProgramRun events = runZelvano({"--home", home.dir(), "events"});
    ASSERT_EQ(events.status, 0) << events.err.toStdString();
    EXPECT_TRUE(events.out.contains("\t" + QDate::currentDate().toString("dd/MM/yyyy") + "\thoy\n"));
    EXPECT_FALSE(events.out.contains("viejo"));
}

TEST(CommandLine, AFailureShowsTheMessageAndExitsNonZero)
{
    TestHome home;
    QFile::remove(home.filePath("conexion.txt"));
    ProgramRun run = runZelvano({"--home", home.dir(), "settings"});
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(run.err.contains(
        "Servidor no Disponible: No se encontro el archivo de conexion con la base de datos"))
        << run.err.toStdString();
    ProgramRun unknown = runZelvano({"no-such-command"});
    EXPECT_EQ(unknown.status, 2);
}

// setup points the home's conexion.txt at a database only when that file is
// the suite's database (or a new one it made), and keeps an existing
// conexion.txt unless told --force.
TEST(CommandLine, SetupChecksTheDatabaseAndKeepsAnExistingConnectionFile)
{
    struct Case
    {
        const char *name;
        const char *database;    // in the folder; "local.db" is a suite database
        QByteArray content;      // written into it first (null: leave it as it is)
        bool keepConnectionFile; // the home's conexion.txt (naming local.db) stays
        QStringList flags;
        int status;
        const char *said;  // on standard error, or standard output on success
        const char *named; // the database conexion.txt names afterwards ("" none)
    };
    const QByteArray noTables = "SQLite format 3";
    const Case cases[] = {
        {"text file", "notes.txt", "not a database\n", false, {}, 1, "is no database", ""},
        {"empty file", "empty.db", "", false, {}, 1, "is no database", ""},
        {"sqlite without the tables",
         "other.db",
         noTables,
         false,
         {},
         1,
         "is not the suite's database: it lacks the tables mi_empresa, sucesos",
         ""},
        {"no settings row", "local.db", {}, false, {}, 1, "holds no settings row", ""},
        {"missing file", "absent.db", {}, false, {}, 1, "does not exist", ""},
        {"suite database", "local.db", {}, false, {}, 0, "Checked", "local.db"},
        {"new database", "new.db", {}, false, {"--new"}, 0, "Created", "new.db"},
        {"new over a file", "notes.txt", "keep me", false, {"--new"}, 1, "already exists", ""},
        {"connection file kept", "new.db", {}, true, {"--new"}, 1, "it is kept", "local.db"},
        {"same database again", "local.db", {}, true, {}, 0, "nothing changed", "local.db"},
        {"connection file forced", "new.db", {}, true, {"--new", "--force"}, 0, "Wrote", "new.db"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TestHome home;
        const QString path = home.filePath(c.database);
        if (!c.keepConnectionFile)
            QFile::remove(home.filePath("conexion.txt"));
        if (QByteArray(c.name) == "no settings row")
            home.exec("delete from mi_empresa");
        if (c.content == noTables) {
            createLocalDatabase(path);
            LocalConnection db;
            db.open(path);
            db.execute("drop table mi_empresa");
            db.execute("drop table sucesos");
        } else if (!c.content.isNull()) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.content);
        }
        ProgramRun run =
            runZelvano(QStringList{"--home", home.dir(), "setup", "--database", path} + c.flags);
        EXPECT_EQ(run.status, c.status) << run.err.toStdString();
        EXPECT_TRUE((c.status == 0 ? run.out : run.err).contains(c.said))
            << run.out.toStdString() << run.err.toStdString();
        QFile connection(home.filePath("conexion.txt"));
        const QString named = connection.open(QIODevice::ReadOnly)
                                  ? QString::fromUtf8(connection.readAll()).trimmed()
                                  : QString();
        EXPECT_EQ(named.toStdString(),
                  (*c.named ? "Data Source= " + home.filePath(c.named) : QString()).toStdString());
        // A refusal leaves the file as it was, and makes none.
        if (c.status != 0 && c.content.isNull() && c.database != QLatin1String("local.db"))
            EXPECT_FALSE(QFile::exists(path));
        if (c.status != 0 && !c.content.isNull() && c.content != noTables) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll(), c.content);
        }
        if (c.status == 0)
            EXPECT_EQ(runZelvano({"--home", home.dir(), "settings"}).status, 0);
    }
}
