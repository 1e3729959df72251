#include "remote/remotetestsupport.h"

#include "remote/columns.h"
#include "remote/odbc.h"
#include "remote/remote.h"
#include "remote/webrequest.h"
#include "store/settings.h"

#include <QDate>
#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace zelvano {
namespace {

using test::RemotePeer;

class RemoteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemotePeer::requireServices();
        if (HasFatalFailure())
            return;
        RemotePeer::reset();
    }
};

TEST_F(RemoteTest, WebAnswersRowsCountsAndErrors)
{
    WebRequest web(RemoteOptions::tripDownload());
    web.open(webUrl(RemotePeer::webHost()));

    WebAnswer rows = web.send(QStringLiteral("select id, nombre from clientes"));
    EXPECT_EQ(rows.status, 200);
    EXPECT_EQ(rows.text, QStringLiteral("[{\"id\":\"12\",\"nombre\":\"Feedlot La Esperanza\"}]"));

    // Texts travel as UTF-8 both ways; the same opened request serves every statement.
    WebAnswer insert = web.send(QStringLiteral(
        "insert into clientes (id, password, nombre) values (13, 'x', 'Tambo Ñandú')"));
    EXPECT_EQ(insert.status, 200);
    EXPECT_TRUE(insert.text.contains(QStringLiteral("\"affected_rows\":1"))) << insert.text.toStdString();
    EXPECT_EQ(web.send(QStringLiteral("select nombre from clientes where id = 13")).text,
              QStringLiteral("[{\"nombre\":\"Tambo Ñandú\"}]"));

    WebAnswer none = web.send(QStringLiteral("select * from clientes where id = 99"));
    EXPECT_EQ(none.status, 200);
    EXPECT_EQ(none.text, QStringLiteral("[]"));

    WebAnswer bad = web.send(QStringLiteral("select * from no_table"));
    EXPECT_EQ(bad.status, 500);
    EXPECT_TRUE(bad.text.contains(QStringLiteral("no_table"))) << bad.text.toStdString();
    EXPECT_EQ(web.sendCount(), 5);
}

TEST_F(RemoteTest, LargeBodyIsSentWithoutWaitingForContinue)
{
    QString sql = QStringLiteral("select '");
    sql += QString(1500000, QLatin1Char('x'));
    sql += QStringLiteral("' as t");
    WebRequest web;
    web.open(webUrl(RemotePeer::webHost()));
    QElapsedTimer timer;
    timer.start();
    const WebAnswer answer = web.send(sql);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.text.size(), 1500000 + 10);
    EXPECT_LT(timer.elapsed(), 900);
}

TEST_F(RemoteTest, OdbcReadsByPositionWithNullsAndCounts)
{
    RemotePeer::exec(QStringLiteral(
        "insert into lectura_viajes_feed values (12, 501, 1, 7, 'Engorde', '2024-01-05', 120, "
        "1500.50, 1498, 3, NULL), (12, 502, 2, 7, 'Engorde', '2024-01-06', 80, 900, 910, 3, '4')"));
    OdbcConnection db(odbcConnectionString(RemotePeer::odbcHost()));
    OdbcResult rs = db.openRecordset(
        QStringLiteral("select * from lectura_viajes_feed where cliente = 12 order by id_viaje"));
    EXPECT_EQ(rs.recordCount(), 2);
    ASSERT_EQ(rs.columnCount(), 11);
    EXPECT_EQ(rs.columnName(RemoteTrip::IdViaje.position), RemoteTrip::IdViaje.key);
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(rs.value(RemoteTrip::IdViaje.position).toInt(), 501);
    EXPECT_EQ(rs.value(RemoteTrip::DesReceta.position).toString(), QStringLiteral("Engorde"));
    EXPECT_EQ(rs.value(RemoteTrip::Fecha.position).toDate(), QDate(2024, 1, 5));
    EXPECT_DOUBLE_EQ(rs.value(RemoteTrip::KgTotSug.position).toDouble(), 1500.5);
    EXPECT_FALSE(rs.value(RemoteTrip::IdPres.position).isValid());
    EXPECT_THROW(rs.value(rs.columnCount()), AppError);
    rs.moveNext();
    EXPECT_EQ(rs.value(RemoteTrip::IdPres.position).toString(), QStringLiteral("4"));
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_THROW(rs.value(0), AppError);

    EXPECT_EQ(db.execute(QStringLiteral("update lectura_viajes_feed set turno = 1 where cliente = 12")),
              2); // matched rows, one of them unchanged
    try {
        db.openRecordset(QStringLiteral("select * from nowhere"));
        FAIL() << "no error";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::SqlError);
        EXPECT_TRUE(e.description().contains(QStringLiteral("nowhere"))) << e.what();
    }
    db.close();
    EXPECT_THROW(db.execute(QStringLiteral("select 1")), AppError);
}

TEST_F(RemoteTest, OdbcOpenFailureAndLogin)
{
    try {
        OdbcConnection db(odbcConnectionString(QStringLiteral("127.0.0.2")));
        FAIL() << "opened";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::ProviderFailure);
        EXPECT_FALSE(e.description().isEmpty());
    }
    Settings s;
    s.ClientId = QStringLiteral("12");
    s.ClientPassword = QStringLiteral("secreto");
    OdbcConnection db(odbcConnectionString(RemotePeer::odbcHost()));
    EXPECT_EQ(db.openRecordset(authenticationSql(s)).recordCount(), 1);
    s.ClientPassword = QStringLiteral("x' or '1'='1");
    EXPECT_EQ(db.openRecordset(authenticationSql(s)).recordCount(), 0);
}

} // namespace
} // namespace zelvano
