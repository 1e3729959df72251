#include "support/testsupport.h"
#include "trips/save.h"
#include "tripgridbuilder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

using namespace zelvano;

namespace {

TEST(KilledSave, LeavesAnIntactDatabaseWithoutAnyOfItsRows)
{
    test::TestHome home;
    home.exec("insert into lectura_viajes (id, Turno, fecha) values (5, 1, #01/12/2026#)");
    home.exec("insert into lectura_Carga (id_viaje, Id_alim) values (5, 1)");

    QProcess helper;
    helper.start(QStringLiteral(TRIPS_KILL_HELPER),
                 {home.dir(), QStringLiteral("1000"), QStringLiteral("2000")});
    ASSERT_TRUE(helper.waitForStarted(10000));
    QByteArray output;
    while (!output.contains("saving") && helper.state() == QProcess::Running)
        if (helper.waitForReadyRead(30000))
            output += helper.readAllStandardOutput();
    ASSERT_TRUE(output.contains("saving")) << output.toStdString();
    ASSERT_EQ(helper.state(), QProcess::Running);
    helper.kill(); // SIGKILL
    ASSERT_TRUE(helper.waitForFinished(10000));
    EXPECT_EQ(helper.exitStatus(), QProcess::CrashExit);
    EXPECT_FALSE(helper.readAllStandardOutput().contains("saved"));
    // Killed inside the transaction: its journal is still there.
    EXPECT_TRUE(QFile::exists(home.databasePath() + "-journal") ||
                QFile::exists(home.databasePath() + "-wal"));

    EXPECT_EQ(home.scalar("pragma integrity_check").toString(), "ok");
    EXPECT_EQ(home.scalar("select count(*) from lectura_viajes").toInt(), 1);
    EXPECT_EQ(home.scalar("select count(*) from lectura_Carga").toInt(), 1);
    EXPECT_EQ(home.scalar("select count(*) from lectura_descarga").toInt(), 0);
    EXPECT_EQ(home.scalar("select count(*) from lectura_viajes where id >= 1000").toInt(), 0);

    // The next save starts from a clean state.
    home.connect();
    test::setTripColumns(home.ctx.grid);
    const int r = test::addTrip(home.ctx.grid, test::TripCells{});
    test::addLoad(home.ctx.grid, r, test::LoadCells{});
    CmdGrabar_Click(home.ctx);
    EXPECT_EQ(home.scalar("select count(*) from lectura_viajes").toInt(), 2);
    EXPECT_EQ(home.scalar("pragma integrity_check").toString(), "ok");
}

} // namespace
