#include "store/connection.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>

#include <QSqlDatabase>

#include <gtest/gtest.h>

using namespace zelvano;
using zelvano::test::TestHome;

TEST(ConnectionFile, PathStartsTwoCharactersAfterTheFirstEquals)
{
    QString path;
    ASSERT_TRUE(cutConnectionPath("Data Source= /srv/farm/local.db", &path));
    EXPECT_EQ(path, "/srv/farm/local.db");
    // No separating character: the path loses its first character.
    ASSERT_TRUE(cutConnectionPath("Data Source=/srv/farm/local.db", &path));
    EXPECT_EQ(path, "srv/farm/local.db");
    // Only the first "=" counts.
    ASSERT_TRUE(cutConnectionPath("a= /x=y.db", &path));
    EXPECT_EQ(path, "/x=y.db");
    // No "=": the whole text less its first character.
    ASSERT_TRUE(cutConnectionPath("x/data/local.db", &path));
    EXPECT_EQ(path, "/data/local.db");
    EXPECT_FALSE(cutConnectionPath("", &path));
    EXPECT_FALSE(cutConnectionPath("key=", &path));
}

TEST(ConnectionFile, LinesAreJoinedWithoutSeparators)
{
    TestHome home;
    const QByteArray split = "Data Source= " + home.dir().toUtf8() + "/\r\nlocal.db\r\n";
    home.writeConnectionFile(split);
    Conectar_Base(home.ctx);
    EXPECT_TRUE(home.ctx.Connected);
    EXPECT_EQ(home.ctx.connection->path(), home.databasePath());
}

TEST(ConnectionFile, BlanksAndTabsAfterThePathAreNotPartOfIt)
{
    QString path;
    ASSERT_TRUE(cutConnectionPath("Data Source= /srv/farm/local.db \t  ", &path));
    EXPECT_EQ(path, "/srv/farm/local.db");
    // Blanks inside the path and the leading one after the skipped character stay.
    ASSERT_TRUE(cutConnectionPath("Data Source=  /srv/mi campo/local.db\t", &path));
    EXPECT_EQ(path, " /srv/mi campo/local.db");
    ASSERT_TRUE(cutConnectionPath("key= \t ", &path));
    EXPECT_EQ(path, "");

    // The file as an editor leaves it: blanks after the path, then CR LF.
    TestHome home;
    home.writeConnectionFile("Data Source= " + home.databasePath().toUtf8() + "  \t\r\n");
    Conectar_Base(home.ctx);
    EXPECT_TRUE(home.ctx.Connected);
    EXPECT_TRUE(home.notices.notices().empty());
    ASSERT_NE(home.ctx.connection, nullptr);
    EXPECT_EQ(home.ctx.connection->path(), home.databasePath());
}

TEST(ConnectionFile, LockFileNames)
{
    EXPECT_EQ(lockFileName("/d/Dropbox/campo.mdb"), "/d/Dropbox/campo.ldb");
    EXPECT_EQ(lockFileName("/d/Google Drive/CAMPO.MDB"), "/d/Google Drive/CAMPO.ldb");
    EXPECT_EQ(lockFileName("/d/Dropbox/campo.db"), QString());
    EXPECT_EQ(localConnectionString("c.mdb"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=c.mdb;Persist Security Info=False;"
              "Jet OLEDB:Database Password=51946302");
}

namespace {

// A database inside a synchronised folder, with or without the suite's lock file.
struct SharedFolderHome
{
    explicit SharedFolderHome(const QString &folderName)
    {
        folder = home.filePath(folderName);
        QDir().mkpath(folder);
        database = folder + "/campo.mdb";
        QFile::copy(home.databasePath(), database);
        home.writeConnectionFile("Data Source= " + database.toUtf8());
    }
    void setLocked(bool locked)
    {
        const QString lock = folder + "/campo.ldb";
        if (locked) {
            QFile f(lock);
            f.open(QIODevice::WriteOnly);
        } else {
            QFile::remove(lock);
        }
    }
    int popups() const
    {
        int n = 0;
        for (const auto &notice : home.notices.notices())
            n += notice.kind == "popup";
        return n;
    }

    TestHome home;
    QString folder;
    QString database;
};

} // namespace

TEST(SharedFolderLock, NoticeOncePerRefusalAndRearmedByAConnection)
{
    SharedFolderHome s("Dropbox");
    AppContext &ctx = s.home.ctx;
    s.setLocked(true);
    ctx.LockNoticeArmed = true;

    Conectar_Base(ctx);
    EXPECT_FALSE(ctx.Connected);
    EXPECT_FALSE(ctx.LockNoticeArmed);
    ASSERT_EQ(s.popups(), 1);
    EXPECT_EQ(s.home.notices.notices().front().text,
              "          Zelvano le Informa \r\n\r\nLa base de datos esta siendo utilizada \r\n"
              " via Dropbox o Google drive, no se \r\n pudo hacer la sincronización");
    Conectar_Base(ctx);
    Conectar_Base(ctx);
    EXPECT_EQ(s.popups(), 1);
    EXPECT_FALSE(ctx.Connected);

    s.setLocked(false);
    Conectar_Base(ctx);
    EXPECT_TRUE(ctx.Connected);
    EXPECT_TRUE(ctx.LockNoticeArmed);

    s.setLocked(true);
    Conectar_Base(ctx);
    EXPECT_EQ(s.popups(), 2);
    EXPECT_FALSE(ctx.Connected);
    EXPECT_EQ(s.home.notices.notices().size(), 2u); // no message boxes
}

TEST(SharedFolderLock, OnlyTheExactFolderNamesAreTested)
{
    SharedFolderHome s("dropbox");
    s.setLocked(true);
    Conectar_Base(s.home.ctx);
    EXPECT_TRUE(s.home.ctx.Connected);
}

TEST(SharedFolderLock, ADatabaseWithoutMdbInItsNameIsNeverItsOwnLockFile)
{
    TestHome home;
    const QString folder = home.filePath("Google Drive");
    QDir().mkpath(folder);
    const QString database = folder + "/campo.db";
    QFile::copy(home.databasePath(), database);
    home.writeConnectionFile("Data Source= " + database.toUtf8());
    Conectar_Base(home.ctx);
    EXPECT_TRUE(home.ctx.Connected);
}

namespace {

const RecordingNotices::Notice &onlyMessage(const TestHome &home)
{
    EXPECT_EQ(home.notices.notices().size(), 1u);
    return home.notices.notices().front();
}

} // namespace

TEST(ConnectionFailures, AreToldInTheSuitesWords)
{
    {
        TestHome home;
        QFile::remove(home.filePath("conexion.txt"));
        bool ended = false;
        home.ctx.endProgram = [&](int) { ended = true; };
        Conectar_Base(home.ctx);
        EXPECT_FALSE(home.ctx.Connected);
        EXPECT_FALSE(ended);
        EXPECT_EQ(onlyMessage(home).title, "Servidor no Disponible");
        EXPECT_EQ(onlyMessage(home).text, "No se encontro el archivo de conexion con la base de datos");
        EXPECT_EQ(home.window.showCount(), 1);
    }
    {
        TestHome home;
        home.writeConnectionFile("Data Source= " + home.filePath("gone.db").toUtf8());
        Conectar_Base(home.ctx);
        EXPECT_FALSE(home.ctx.Connected);
        EXPECT_EQ(onlyMessage(home).title, "Servidor no Disponible");
        EXPECT_EQ(onlyMessage(home).text,
                  "El equipo remoto al que esta tratando de conectarse no esta disponible, verifique "
                  "el estado de su red");
    }
    {
        // An empty connection file: the connection-file message, and the program goes on.
        TestHome home;
        home.writeConnectionFile("");
        bool ended = false;
        home.ctx.endProgram = [&](int) { ended = true; };
        Conectar_Base(home.ctx);
        EXPECT_FALSE(ended);
        EXPECT_EQ(onlyMessage(home).text, "No se encontro el archivo de conexion con la base de datos");
    }
}

TEST(ConnectionFailures, ASuccessfulConnectionReplacesAnOpenOne)
{
    TestHome home;
    home.connect();
    // The first connection holds a write it has not committed.
    const QString firstName = home.ctx.connection->database().connectionName();
    home.ctx.db().beginTrans();
    home.ctx.db().execute("insert into sucesos (fecha, descripcion) values ('07/12/2026', 'a medias')");
    Conectar_Base(home.ctx);
    EXPECT_TRUE(home.ctx.Connected);
    EXPECT_TRUE(home.ctx.LockNoticeArmed);
    ASSERT_NE(home.ctx.connection.get(), nullptr);
    EXPECT_TRUE(home.ctx.connection->isOpen());
    // The first one is closed and gone: its name is free, its write rolled
    // back, and the database is writable by others at once.
    EXPECT_NE(home.ctx.connection->database().connectionName(), firstName);
    EXPECT_FALSE(QSqlDatabase::contains(firstName));
    EXPECT_EQ(home.scalar("select count(*) from sucesos").toInt(), 0);
    home.exec("insert into sucesos (fecha, descripcion) values ('07/12/2026', 'otro')");
    closeLocalConnection(home.ctx);
    EXPECT_FALSE(home.ctx.Connected);
    EXPECT_EQ(home.ctx.connection, nullptr);
}
