#include "support/testsupport.h"

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
