#include "sync/records.h"

#include "remote/answer.h"

#include <QDate>

#include <gtest/gtest.h>

namespace zelvano::syncrecords {
namespace {

syncsql::Header reading()
{
    return {QVariant(qlonglong(7)),
            QVariant(QDate(2026, 3, 12)),
            QStringLiteral("Zelvano"),
            QStringLiteral("Delpro"),
            QVariant(qlonglong(60)),
            QVariant(qlonglong(1225)),
            QVariant()};
}

// The header as the script answers it: every value a text.
ServerHeader asWebAnswers()
{
    return {QStringLiteral("31"),      QStringLiteral("7"),      QStringLiteral("2026-03-12"),
            QStringLiteral("Zelvano"), QStringLiteral("Delpro"), QStringLiteral("60"),
            QStringLiteral("1225.00")};
}

TEST(SyncMatching, TheHeaderSentForAReadingMatchesItInBothWays)
{
    EXPECT_TRUE(sentFrom(reading(), asWebAnswers()));
    // ODBC: a date, an integer and a double.
    const ServerHeader odbc{
        31, 7, QDate(2026, 3, 12), QStringLiteral("Zelvano"), QStringLiteral("Delpro"), 60, 1225.0};
    EXPECT_TRUE(sentFrom(reading(), odbc));
    // The local date as a day-first text, the server's with a time of day.
    syncsql::Header text = reading();
    text.fecha = QStringLiteral("12/03/2026");
    ServerHeader withTime = asWebAnswers();
    withTime.fecha = QStringLiteral("2026-03-12 00:00:00");
    EXPECT_TRUE(sentFrom(text, withTime));
}

// Another site's header in flight differs in one value at least: never taken.
TEST(SyncMatching, EveryValueMustMatch)
{
    const auto differing = [](auto change) {
        ServerHeader h = asWebAnswers();
        change(h);
        return sentFrom(reading(), h);
    };
    EXPECT_FALSE(differing([](ServerHeader &h) { h.idPrg = QStringLiteral("8"); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.idPrg = QVariant(); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.fecha = QStringLiteral("2026-03-13"); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.fecha = QStringLiteral("0000-00-00"); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.usuario = QStringLiteral("zelvano"); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.usuario = QStringLiteral("Zelvano "); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.turno = QStringLiteral("Dairycomp"); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.cabezas = QStringLiteral("61"); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.cabezas = QVariant(); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.litros = QStringLiteral("1225.01"); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.litros = QStringLiteral("1224.99"); }));
    EXPECT_FALSE(differing([](ServerHeader &h) { h.litros = QStringLiteral("abc"); }));
    // A reading without a date matches nothing, not even a header without one.
    syncsql::Header undated = reading();
    undated.fecha = QVariant();
    ServerHeader h = asWebAnswers();
    h.fecha = QVariant();
    EXPECT_FALSE(sentFrom(undated, h));
}

// What the server makes of the texts it is sent: litres to the hundredth,
// heads whole.
TEST(SyncMatching, NumbersWithinTheServersRounding)
{
    syncsql::Header h = reading();
    h.litros = 812.125;
    ServerHeader server = asWebAnswers();
    server.litros = QStringLiteral("812.13");
    EXPECT_TRUE(sentFrom(h, server));
    h.litros = 1.005; // a double a little below 1.005; the server rounds the text "1.005"
    server.litros = QStringLiteral("1.01");
    EXPECT_TRUE(sentFrom(h, server));
    h.litros = 812.5;
    server.litros = QStringLiteral("812.49");
    EXPECT_FALSE(sentFrom(h, server));
    h = reading();
    h.cabezas = QStringLiteral("60.4");
    EXPECT_TRUE(sentFrom(h, asWebAnswers()));
}

TEST(SyncMatching, DatesAndWholeNumbers)
{
    EXPECT_EQ(dateOf(QStringLiteral("2026-03-12")), QDate(2026, 3, 12));
    EXPECT_EQ(dateOf(QStringLiteral("12/03/2026")), QDate(2026, 3, 12));
    EXPECT_EQ(dateOf(QDateTime(QDate(2026, 3, 12), QTime(7, 0))), QDate(2026, 3, 12));
    for (const QVariant &bad : {QVariant(), QVariant(QStringLiteral("0000-00-00")),
                                QVariant(QStringLiteral("2026-02-30")), QVariant(QString()),
                                QVariant(QStringLiteral("ayer")), QVariant(QDate()),
                                QVariant(QDate(10000, 1, 1)), QVariant(42)})
        EXPECT_FALSE(dateOf(bad).isValid()) << bad.toString().toStdString();

    EXPECT_EQ(wholeNumberOf(QStringLiteral(" 31 ")), 31);
    EXPECT_EQ(wholeNumberOf(31.0), 31);
    EXPECT_EQ(wholeNumberOf(QVariant(qlonglong(5000000000))), 5000000000);
    for (const QVariant &bad :
         {QVariant(), QVariant(QStringLiteral("3.5")), QVariant(3.5), QVariant(QStringLiteral("")),
          QVariant(QStringLiteral("31a")), QVariant(-4)})
        EXPECT_EQ(wholeNumberOf(bad), -1) << bad.toString().toStdString();
}

TEST(SyncMatching, ReadingsTheServerCannotTake)
{
    EXPECT_EQ(uploadProblem(reading(), {{QStringLiteral("3"), 40.0, 812.5}}), QString());
    syncsql::Header h = reading();
    h.fecha = QStringLiteral("");
    EXPECT_EQ(uploadProblem(h, {}), QStringLiteral("la fecha '' no es una fecha valida"));
    h = reading();
    h.cabezas = QVariant();
    EXPECT_EQ(uploadProblem(h, {}), QStringLiteral("el total de cabezas '' no es un numero"));
    h = reading();
    h.litros = QStringLiteral("mil");
    EXPECT_EQ(uploadProblem(h, {}), QStringLiteral("el total de litros 'mil' no es un numero"));
    EXPECT_EQ(uploadProblem(reading(), {{QStringLiteral("3"), 40.0, 812.5},
                                        {QStringLiteral("4"), 20.0, QStringLiteral("x")}}),
              QStringLiteral("los litros 'x' del rodeo '4' no son un numero"));
}

TEST(SyncMatching, FingerprintFollowsEveryValue)
{
    const std::vector<syncsql::Detail> details{{QStringLiteral("3"), 40.0, 812.5}};
    const QString base = fingerprint(reading(), details);
    EXPECT_EQ(fingerprint(reading(), details), base);
    syncsql::Header h = reading();
    h.turno = QStringLiteral("Dairycomp");
    EXPECT_NE(fingerprint(h, details), base);
    EXPECT_NE(fingerprint(reading(), {{QStringLiteral("3"), 40.0, 812.25}}), base);
    EXPECT_NE(fingerprint(reading(), {}), base);
    // Values do not run into each other.
    EXPECT_NE(fingerprint(QStringList{QStringLiteral("ab"), QStringLiteral("c")}),
              fingerprint(QStringList{QStringLiteral("a"), QStringLiteral("bc")}));
}

} // namespace
} // namespace zelvano::syncrecords
