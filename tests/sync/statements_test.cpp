#include "sync/statements.h"

#include <QDate>
#include <QLocale>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>

namespace zelvano::syncsql {
namespace {

Header reading()
{
    return {QVariant(qlonglong(7)),   QVariant(QDate(2026, 3, 12)), QStringLiteral("Zelvano"),
            QStringLiteral("Delpro"), QVariant(qlonglong(40)),      QVariant(qlonglong(812)),
            QVariant(qlonglong(31))};
}

TEST(SyncStatements, HeaderGroupsAndInsert)
{
    const QString groups =
        headerGroup(QStringLiteral("12"), reading()) + headerGroup(QStringLiteral("12"), reading());
    EXPECT_EQ(headerGroup(QStringLiteral("12"), reading()),
              QStringLiteral("('12','2026-03-12','Zelvano','Delpro','40','812','7'),"));
    EXPECT_EQ(headerInsertSql(groups),
              QStringLiteral("INSERT INTO cabezas_produccion (cliente, fecha, usuario, turno, "
                             "total_cabezas, total_litros, id_prg) values "
                             "('12','2026-03-12','Zelvano','Delpro','40','812','7'),"
                             "('12','2026-03-12','Zelvano','Delpro','40','812','7')"));
}

TEST(SyncStatements, QuotesAndBackslashesAreDoubled)
{
    Header h = reading();
    h.usuario = QStringLiteral("O'Brien");
    h.turno = QStringLiteral("tarde\\");
    EXPECT_EQ(headerGroup(QStringLiteral("12"), h),
              QStringLiteral("('12','2026-03-12','O''Brien','tarde\\\\','40','812','7'),"));
    EXPECT_EQ(detailGroup(31, {QStringLiteral("Lote 'A'"), 40.0, 812.5}),
              QStringLiteral(" union all select 31,'Lote ''A''','40','812.5'"));
    EXPECT_EQ(headerUpdateSql(QStringLiteral("12"), h),
              QStringLiteral("update cabezas_produccion set fecha = '2026-03-12', usuario = "
                             "'O''Brien', turno = 'tarde\\\\', total_cabezas = '40', total_litros "
                             "= '812' where cliente = 12 and id = 31"));
}

// Under a comma locale 812.5 would be written 812,5; the server must read 812.5.
TEST(SyncStatements, NumbersKeepThePointUnderACommaLocale)
{
    // The desktop's locale reaches the program through the C library (which
    // QCoreApplication switches to the user's locale) and through Qt's default.
    const std::string savedC = std::setlocale(LC_ALL, nullptr);
    const QLocale savedQt;
    ASSERT_NE(std::setlocale(LC_ALL, "es_AR.UTF-8"), nullptr)
        << "the es_AR.UTF-8 locale is missing (scripts/setup makes it)";
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Argentina));
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 812.5);
    const QString group = detailGroup(5, {QStringLiteral("3"), 40.0, 812.5});
    const QString big = detailGroup(5, {QStringLiteral("3"), 1234.0, 12345.75});
    std::setlocale(LC_ALL, savedC.c_str());
    QLocale::setDefault(savedQt);
    ASSERT_STREQ(probe, "812,5") << "the comma locale did not take effect";
    EXPECT_EQ(group, QStringLiteral(" union all select 5,'3','40','812.5'"));
    EXPECT_EQ(big, QStringLiteral(" union all select 5,'3','1234','12345.75'"));
}

TEST(SyncStatements, DatesAreIso)
{
    EXPECT_EQ(isoDate(QDate(2026, 1, 5)), QStringLiteral("2026-01-05"));
    EXPECT_EQ(isoDate(QDateTime(QDate(2026, 1, 5), QTime(13, 4))), QStringLiteral("2026-01-05"));
    EXPECT_EQ(isoDate(QStringLiteral("05/01/2026")), QStringLiteral("2026-01-05"));
    EXPECT_EQ(isoDate(QVariant()), QString());
    Header h = reading();
    h.fecha = QVariant();
    EXPECT_EQ(headerGroup(QStringLiteral("12"), h),
              QStringLiteral("('12','','Zelvano','Delpro','40','812','7'),"));
}

TEST(SyncStatements, DetailInsertGuardsItsHeadersInTheStatement)
{
    const QString groups = detailGroup(31, {QStringLiteral("1"), 20.0, 400.0}) +
                           detailGroup(31, {QStringLiteral("o'b"), 20.0, 412.5});
    EXPECT_EQ(detailInsertSql(groups),
              QStringLiteral("INSERT INTO detalle_cabezas_produccion (id, rodeo, cabezas, litros) "
                             "select v.id, v.rodeo, v.cabezas, v.litros from (select 0 as id, '' "
                             "as rodeo, '' as cabezas, '' as litros from dual where 1 = 0 union "
                             "all select 31,'1','20','400' union all select 31,'o''b','20',"
                             "'412.5') v where not exists (select 1 from "
                             "detalle_cabezas_produccion x where x.id = v.id) and exists "
                             "(select 1 from cabezas_produccion c where c.id = v.id)"));
}

// The trailing blanks belong to the texts the server receives.
TEST(SyncStatements, DownloadReadsKeepTheirBlanks)
{
    EXPECT_EQ(headersByIdSql(QStringLiteral("12"), {31, 7, 1200}),
              QStringLiteral("select * from cabezas_produccion where cliente = 12 and id in "
                             "(31,7,1200) order by id"));
    EXPECT_EQ(remoteDetailsSql(QStringLiteral("31"), false),
              QStringLiteral("select * from detalle_cabezas_produccion where id = 31"));
    EXPECT_EQ(remoteDetailsSql(QStringLiteral("31"), true),
              QStringLiteral("select * from detalle_cabezas_produccion where id = 31 "));
}

} // namespace
} // namespace zelvano::syncsql
