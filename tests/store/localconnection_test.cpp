#include "common/error.h"
#include "common/vb.h"
#include "store/localconnection.h"
#include "store/tables.h"
#include "store/sqldialect.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

using namespace zelvano;
using zelvano::test::TestHome;
using zelvano::test::errorNumberOf;

namespace {

class LocalConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override { db.open(home.databasePath()); }

    QVariant scalar(const QString &sql)
    {
        Recordset rs = db.openRecordset(sql);
        return rs.eof() ? QVariant() : rs.value(0);
    }

    TestHome home;
    LocalConnection db;
};

} // namespace

TEST(SqlDialect, TranslatesTheSuitesConstructs)
{
    EXPECT_EQ(SqlDialect::translate(
                  "Select * from sucesos where fecha between #30/11/2026# and #07/12/2026# order by fecha desc, id desc "),
              "Select * from sucesos where fecha between '2026-11-30' and '2026-12-07' order by fecha desc, id desc ");
    EXPECT_EQ(SqlDialect::translate("select top 1 v.id from lectura_viajes v order by fecha desc"),
              "select v.id from lectura_viajes v order by fecha desc LIMIT 1");
    EXPECT_EQ(SqlDialect::translate("select top 5 id from t;"), "select id from t LIMIT 5;");
    EXPECT_EQ(SqlDialect::translate("update p set actualizado = true where actualizado = false"),
              "update p set actualizado = -1 where actualizado = 0");
    // Words inside texts and names that merely contain the keywords stay as written.
    EXPECT_EQ(SqlDialect::translate("select 'true #1/2/2020#' as truex, false_flag from t"),
              "select 'true #1/2/2020#' as truex, false_flag from t");
    EXPECT_EQ(SqlDialect::translate("select * from rodeos where val(id) = '7' "),
              "select * from rodeos where val(id) = 7 ");
    // A quoted number compared with a column keeps its quotes: the column's type decides.
    EXPECT_EQ(SqlDialect::translate("select * from t where receta = '5'"),
              "select * from t where receta = '5'");
    EXPECT_EQ(SqlDialect::translate("insert into t (a) values ('12.50')"),
              "insert into t (a) values ('12.50')");
}

TEST(SqlDialect, ReadsDateTextsDayFirstAndIso)
{
    QDate d;
    QTime t;
    ASSERT_TRUE(SqlDialect::parseDateText("07/12/2026", &d, &t));
    EXPECT_EQ(d, QDate(2026, 12, 7));
    ASSERT_TRUE(SqlDialect::parseDateText("2026-03-12 00:00:00", &d, &t));
    EXPECT_EQ(d, QDate(2026, 3, 12));
    EXPECT_EQ(t, QTime(0, 0));
    ASSERT_TRUE(SqlDialect::parseDateText("7/3/2026 14:05:09", &d, &t));
    EXPECT_EQ(SqlDialect::canonicalDate(d, t), "2026-03-07 14:05:09");
    EXPECT_FALSE(SqlDialect::parseDateText("31/02/2026", &d, &t));
    EXPECT_FALSE(SqlDialect::parseDateText("20260312", &d, &t));
}

TEST_F(LocalConnectionTest, DatesInEveryWrittenFormCompareChronologically)
{
    db.execute("insert into sucesos (fecha, descripcion) values ('07/12/2026', 'day first')");
    db.execute("insert into sucesos (fecha, descripcion) values ('2026-03-12', 'iso')");
    db.execute("insert into sucesos (fecha, descripcion) values ('2026-11-30 00:00:00', 'iso midnight')");
    db.execute("insert into sucesos (fecha, descripcion) values ('01/12/2025', 'last year')");
    TableWriter w = db.openTable("sucesos");
    w.addNew();
    w.setValue(Sucesos::Fecha, "05/12/2026");
    w.setValue(Sucesos::Descripcion, "row set");
    w.update();

    // Stored in one form, whatever the statement wrote.
    EXPECT_EQ(scalar("select count(*) from sucesos where fecha = #07/12/2026#").toInt(), 1);
    EXPECT_EQ(scalar("select count(*) from sucesos where fecha = #30/11/2026#").toInt(), 1);
    EXPECT_EQ(scalar("select count(*) from sucesos where fecha between #30/11/2026# and #07/12/2026#").toInt(), 3);

    Recordset rs = db.openRecordset("select descripcion, fecha from sucesos order by fecha");
    QStringList order;
    for (; !rs.eof(); rs.moveNext())
        order << rs.value(0).toString();
    EXPECT_EQ(order, QStringList({"last year", "iso", "iso midnight", "row set", "day first"}));

    // Read back as a date, not as the stored text.
    Recordset one = db.openRecordset("select fecha from sucesos where descripcion = 'iso'");
    EXPECT_EQ(one.value(0).typeId(), QMetaType::QDate);
    EXPECT_EQ(one.value(0).toDate(), QDate(2026, 3, 12));
}

TEST_F(LocalConnectionTest, TopValBooleansAndLetterCase)
{
    db.execute("insert into rodeos (id, Descripcion, cabezas) values ('7', 'Vaquillonas', 40)");
    db.execute("insert into rodeos (id, Descripcion, cabezas) values ('12 norte', 'Secas', 20)");
    db.execute("insert into rodeos (id, Descripcion, cabezas) values ('abc', 'Sin numero', 5)");

    EXPECT_EQ(scalar("select Descripcion from rodeos where val(id) = '7' ").toString(), "Vaquillonas");
    EXPECT_EQ(scalar("select Descripcion from rodeos where val(id) = 12").toString(), "Secas");
    EXPECT_EQ(scalar("select count(*) from rodeos where val(id) = 0").toInt(), 1);
    EXPECT_EQ(scalar("select top 1 descripcion from RODEOS order by CABEZAS desc").toString(), "Vaquillonas");
    EXPECT_EQ(scalar("select count(*) from rodeos where descripcion = 'SECAS'").toInt(), 1);

    db.execute("insert into dietas (id, nombre, delpro) values (1, 'Fosa', true)");
    db.execute("insert into dietas (id, nombre, delpro) values (2, 'Engorde', false)");
    EXPECT_EQ(scalar("select id from dietas where delpro = - 1").toInt(), 1);
    EXPECT_EQ(scalar("select delpro + 0 from dietas where id = 1").toInt(), -1); // stored as -1
    Recordset rs = db.openRecordset("select delpro from dietas where id = 2");
    EXPECT_EQ(rs.value(0).typeId(), QMetaType::Bool);
    EXPECT_FALSE(rs.value(0).toBool());
}

TEST(Val, ReadsTheLeadingNumber)
{
    EXPECT_EQ(vb::val("15 min"), 15.0);
    EXPECT_EQ(vb::val("2.5"), 2.5);
    EXPECT_EQ(vb::val("  -3.25e2x"), -325.0);
    EXPECT_EQ(vb::val("1 2 3"), 123.0);
    EXPECT_EQ(vb::val("abc"), 0.0);
    EXPECT_EQ(vb::val(""), 0.0);
    EXPECT_EQ(vb::val("12,5"), 12.0);
    EXPECT_EQ(vb::val("4e"), 4.0);
}

TEST_F(LocalConnectionTest, RowSetWritesConvertToTheColumnType)
{
    namespace D = LecturaDescarga;
    TableWriter w = db.openTable("lectura_descarga");
    w.addNew();
    w.setValue(D::IdViaje, "101");
    w.setValue(D::Cabezas, "40");
    w.setValue(D::KgSug, "812.5");
    w.setValue(D::Hora, "06:05:09");
    w.setValue(D::Descripcion, 12.5);
    EXPECT_EQ(w.value(D::IdViaje).toLongLong(), 101);
    EXPECT_EQ(w.value(D::KgSug).toDouble(), 812.5);
    EXPECT_EQ(w.value(D::Descripcion).toString(), "12.5");
    // A text that is no number never reaches a number column.
    EXPECT_EQ(errorNumberOf([&] { w.setValue(D::IdRodeo, "G1"); }), ErrNo::TypeMismatch);
    EXPECT_EQ(errorNumberOf([&] { w.setValue(D::KgReal, ""); }), ErrNo::TypeMismatch);
    EXPECT_EQ(errorNumberOf([&] { w.setValue(D::Cabezas, "99999999999"); }), ErrNo::Overflow);
    EXPECT_TRUE(w.value(D::IdRodeo).isNull());
    w.update();

    Recordset rs = db.openRecordset("select * from lectura_descarga");
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs.value(D::IdViaje).toInt(), 101);
    EXPECT_TRUE(rs.value(D::IdRodeo).isNull());
    EXPECT_EQ(rs.value(D::Cabezas).toInt(), 40);
    EXPECT_EQ(rs.value(D::Hora).toTime(), QTime(6, 5, 9));
    EXPECT_EQ(rs.fieldName(D::IdMod), "id_mod");
}

// The row set binds each row's texts in place; every row must read back its
// own, whatever the row before it held.
TEST_F(LocalConnectionTest, RowSetTextsOfAnyLengthAndScriptReadBackAsWritten)
{
    const QString longAccented = QString(300, u'ñ') + QStringLiteral(" fin");
    const QStringList names{QStringLiteral("Maíz partido"),
                            QString(300, u'x'),
                            longAccented,
                            QStringLiteral("A"),
                            QString(),
                            QStringLiteral("Corral \"7\" 'b'")};
    TableWriter w = db.openTable("lectura_Carga");
    for (int i = 0; i < names.size(); ++i) {
        w.addNew();
        w.setValue(LecturaCarga::IdViaje, i + 1);
        w.setValue(LecturaCarga::DesAlim, names[i]);
        w.setValue(LecturaCarga::Hora, QStringLiteral("%1:07").arg(i + 5));
        // Halves kept in a number column, rounded to even in an integer one.
        w.setValue(LecturaCarga::KgSug, QStringLiteral(" %1.5 ").arg(i));
        w.setValue(LecturaCarga::Operario, QStringLiteral("%1.5").arg(i));
        w.update();
    }
    w.close();
    Recordset rs = db.openRecordset("select des_alim, hora, kg_sug, operario, length(des_alim) "
                                    "from lectura_Carga order by id_viaje");
    ASSERT_EQ(rs.recordCount(), names.size());
    for (int i = 0; i < names.size(); ++i, rs.moveNext()) {
        EXPECT_EQ(rs.value(0).toString(), names[i]) << i;
        EXPECT_EQ(rs.value(4).toInt(), names[i].size()) << i; // characters, not bytes
        EXPECT_EQ(rs.value(1).toTime(), QTime(i + 5, 7)) << i;
        EXPECT_EQ(rs.value(2).toDouble(), i + 0.5) << i;
        EXPECT_EQ(rs.value(3).toInt(), int(vb::roundHalfEven(i + 0.5))) << i;
    }
    EXPECT_EQ(scalar("select count(*) from lectura_Carga where des_alim is null").toInt(), 0);
}

TEST_F(LocalConnectionTest, StatementsWithBoundValues)
{
    db.execute("insert into lectura_viajes (id, Turno) values (1, 1)");
    db.execute("insert into lectura_viajes (id, Turno) values (2, 1)");
    db.execute("insert into lectura_viajes (id, Turno) values (3, 1)");
    EXPECT_EQ(db.execute("update lectura_viajes set Kg_Tot_Pres = ? where id in (?,?)",
                         {QVariant(812.5), QVariant(qlonglong(1)), QVariant(3)}),
              2);
    EXPECT_EQ(db.execute("update lectura_viajes set Turno = ? where id in (?)", {QVariant(), 2}),
              1);
    EXPECT_EQ(scalar("select Kg_Tot_Pres from lectura_viajes where id = 3").toDouble(), 812.5);
    EXPECT_TRUE(scalar("select Kg_Tot_Pres from lectura_viajes where id = 2").isNull());
    EXPECT_TRUE(scalar("select Turno from lectura_viajes where id = 2").isNull());
    // The text is the engine's own: it is not translated.
    EXPECT_EQ(
        errorNumberOf([&] { db.execute("update lectura_viajes set fecha = #2026-12-01#", {}); }),
        ErrNo::SqlError);
}

TEST_F(LocalConnectionTest, AutonumberIsKnownRightAfterTheAdd)
{
    TableWriter w = db.openTable("Produccion_Lactea");
    w.addNew();
    const qlonglong first = w.value(ProduccionLactea::Id).toLongLong();
    EXPECT_EQ(first, 1);
    w.setValue(ProduccionLactea::Fecha, "12/03/2026");
    w.update();
    w.addNew();
    EXPECT_EQ(w.value(ProduccionLactea::Id).toLongLong(), 2);
    w.update();
    // Keys of deleted rows are not given again.
    db.execute("delete from Produccion_Lactea where id = 2");
    db.beginTrans();
    TableWriter again = db.openTable("produccion_lactea");
    again.addNew();
    EXPECT_EQ(again.value(0).toLongLong(), 3);
    again.update();
    again.addNew();
    EXPECT_EQ(again.value(0).toLongLong(), 4);
    again.update();
    db.commitTrans();
    EXPECT_EQ(scalar("select max(id) from produccion_lactea").toInt(), 4);
    EXPECT_EQ(scalar("select fecha from produccion_lactea where id = 1").toDate(), QDate(2026, 3, 12));
}

TEST_F(LocalConnectionTest, RollbackLeavesNothingAndKeysStayConsistent)
{
    db.beginTrans();
    TableWriter w = db.openTable("lectura_Carga");
    for (int i = 0; i < 3; ++i) {
        w.addNew();
        w.setValue(LecturaCarga::IdViaje, 5);
        w.update();
    }
    db.execute("insert into lectura_viajes (id, fecha) values (5, '07/12/2026')");
    db.rollbackTrans();
    EXPECT_EQ(scalar("select count(*) from lectura_carga").toInt(), 0);
    EXPECT_EQ(scalar("select count(*) from lectura_viajes").toInt(), 0);

    w = db.openTable("lectura_Carga");
    w.addNew();
    EXPECT_EQ(w.value(LecturaCarga::IdMod).toLongLong(), 1);
    w.update();
    // The newest-key query of the save.
    EXPECT_EQ(scalar("select id_mod from lectura_carga order by id_mod desc").toInt(), 1);
}

TEST_F(LocalConnectionTest, UpdatableResultsSaveTheCurrentRow)
{
    db.execute("insert into rodeos (id, Descripcion, cabezas) values ('3', 'Lote 3', 10)");
    db.execute("insert into rodeos (id, Descripcion, cabezas) values ('4', 'Lote 4', 11)");
    Recordset rs = db.openRecordset("select id, cabezas, Descripcion from rodeos", true);
    ASSERT_EQ(rs.recordCount(), 2);
    rs.moveNext();
    rs.setValue(1, "118");
    rs.update();
    EXPECT_EQ(rs.value(1).toLongLong(), 118);
    EXPECT_EQ(scalar("select cabezas from rodeos where id = '4'").toInt(), 118);
    EXPECT_EQ(scalar("select cabezas from rodeos where id = '3'").toInt(), 10);
    EXPECT_EQ(errorNumberOf([&] { rs.setValue(1, "x"); }), ErrNo::TypeMismatch);

    // A join cannot be saved back.
    EXPECT_NE(errorNumberOf([&] {
                  db.openRecordset("select * from rodeos r, dietas d where r.id = d.id", true);
              }),
              0);
}

TEST_F(LocalConnectionTest, ErrorsCarryTheNumbersTheMessagesNeed)
{
    EXPECT_EQ(errorNumberOf([&] { db.execute("select * from no_such_table"); }), ErrNo::SqlError);
    db.execute("insert into lectura_viajes (id) values (1)");
    EXPECT_EQ(errorNumberOf([&] { db.execute("insert into lectura_viajes (id) values (1)"); }),
              ErrNo::ProviderFailure);
    db.close();
    EXPECT_EQ(errorNumberOf([&] { db.execute("select 1"); }), ErrNo::ConnectionClosed);

    LocalConnection other;
    EXPECT_EQ(errorNumberOf([&] { other.open(home.filePath("missing.db")); }), ErrNo::ProviderFailure);
    EXPECT_FALSE(QFile::exists(home.filePath("missing.db"))); // never created by the attempt
    home.writeConnectionFile("not a database at all, just text");
    EXPECT_EQ(errorNumberOf([&] { other.open(home.filePath("conexion.txt")); }), ErrNo::ProviderFailure);
}

TEST(SqlDialect, ValuesBecomeParametersExceptColumnPositions)
{
    const auto t = SqlDialect::translateWithParameters(
        "select top 2 * from lectura_viajes where id = 12 and des_receta = 'it''s' and fecha = "
        "#07/12/2026# and Kg_Tot_Pres = 1.5 and Turno <> - 1 order by 2 desc, id");
    EXPECT_EQ(t.text, "select * from lectura_viajes where id = ? and des_receta = ? and fecha = ? "
                      "and Kg_Tot_Pres = ? and Turno <> - ? order by 2 desc, id LIMIT 2");
    ASSERT_EQ(t.parameters.size(), 5u);
    EXPECT_EQ(t.parameters[0].toLongLong(), 12);
    EXPECT_EQ(t.parameters[1].toString(), "it's");
    EXPECT_EQ(t.parameters[2].toString(), "2026-12-07");
    EXPECT_EQ(t.parameters[3].toDouble(), 1.5);
    EXPECT_TRUE(t.cacheable);
    // Inside a sub-select's ORDER BY only, then values again.
    const auto sub = SqlDialect::translateWithParameters(
        "select * from t where a in (select b from u order by 1) and c = 3");
    EXPECT_EQ(sub.text, "select * from t where a in (select b from u order by 1) and c = ?");
    EXPECT_FALSE(SqlDialect::translateWithParameters("create table x (a integer default 0)").cacheable);
}

TEST_F(LocalConnectionTest, PreparedStatementsAreReusedWithTheirNewValues)
{
    for (int i = 1; i <= 5; ++i)
        db.execute(QStringLiteral("insert into lectura_viajes (id, des_receta, fecha) values (%1, 'Receta %1', '0%1/12/2026')").arg(i));
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(scalar(QStringLiteral("select des_receta from lectura_viajes where id = %1").arg(i)).toString(),
                  QStringLiteral("Receta %1").arg(i));
    EXPECT_EQ(scalar("select count(*) from lectura_viajes where fecha between #02/12/2026# and #04/12/2026#").toInt(), 3);
    EXPECT_EQ(scalar("select count(*) from lectura_viajes where fecha between #01/12/2026# and #01/12/2026#").toInt(), 1);
    // A column position in ORDER BY still orders by that column.
    Recordset rs = db.openRecordset("select des_receta, id from lectura_viajes order by 2 desc");
    EXPECT_EQ(rs.value(1).toInt(), 5);
    // A failing statement leaves the cached ones usable.
    EXPECT_NE(errorNumberOf([&] { db.execute("insert into lectura_viajes (id) values (3)"); }), 0);
    EXPECT_EQ(scalar("select des_receta from lectura_viajes where id = 3").toString(), "Receta 3");
}

// The engine may end a transaction on its own (disk full, I/O error): the
// statements after it must not commit by themselves, apart from their work.
TEST_F(LocalConnectionTest, ATransactionTheEngineEndedStopsEveryStatementUntilRolledBack)
{
    db.beginTrans();
    db.execute("insert into sucesos (fecha, descripcion) values ('07/12/2026', 'primera')");
    // Behind the connection's back, as the engine does after such a failure.
    db.execute("rollback");
    EXPECT_EQ(errorNumberOf([&] {
                  db.execute("insert into sucesos (fecha, descripcion) values ('07/12/2026', 'suelta')");
              }),
              ErrNo::ProviderFailure);
    EXPECT_NE(errorNumberOf([&] { db.commitTrans(); }), 0);
    db.rollbackTrans();
    EXPECT_FALSE(db.inTransaction());
    EXPECT_EQ(scalar("select count(*) from sucesos").toInt(), 0) << "nothing committed by itself";
    db.execute("insert into sucesos (fecha, descripcion) values ('07/12/2026', 'despues')");
    EXPECT_EQ(scalar("select count(*) from sucesos").toInt(), 1);
}
