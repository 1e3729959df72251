#include "common/error.h"
#include "common/vb.h"

#include "support/testsupport.h"

#include <QDate>

#include <gtest/gtest.h>

using namespace zelvano;


TEST(Conversions, NullIsEmptyWhenJoinedAndAnErrorWhenConverted)
{
    EXPECT_EQ(vb::joinText(QVariant()), "");
    EXPECT_EQ(test::errorNumberOf([] { vb::toText(QVariant()); }), ErrNo::InvalidUseOfNull);
    EXPECT_EQ(test::errorNumberOf([] { vb::toDouble(QVariant()); }), ErrNo::InvalidUseOfNull);
    EXPECT_EQ(test::errorNumberOf([] { vb::toBool(QVariant()); }), ErrNo::InvalidUseOfNull);
}

TEST(Conversions, NumbersUseAPointWhateverTheLocale)
{
    EXPECT_EQ(vb::numberText(1500.0), "1500");
    EXPECT_EQ(vb::numberText(1495.5), "1495.5");
    EXPECT_EQ(vb::numberText(-3.0), "-3");
    EXPECT_EQ(vb::numberText(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(vb::numberText(812.5), "812.5");
    EXPECT_EQ(vb::joinText(QVariant(12.25)), "12.25");
    EXPECT_EQ(vb::joinText(QVariant(QDate(2026, 3, 12))), "12/03/2026");
    EXPECT_EQ(vb::toDouble(QVariant("812.5")), 812.5);
    EXPECT_EQ(test::errorNumberOf([] { vb::toDouble(QVariant("812,5")); }), ErrNo::TypeMismatch);
    EXPECT_EQ(test::errorNumberOf([] { vb::toDouble(QVariant("")); }), ErrNo::TypeMismatch);
}

TEST(Conversions, WholeNumbersRoundHalvesToEvenAndOverflow)
{
    EXPECT_EQ(vb::toLong(QVariant(2.5)), 2);
    EXPECT_EQ(vb::toLong(QVariant(3.5)), 4);
    EXPECT_EQ(vb::toLong(QVariant("-2.5")), -2);
    EXPECT_EQ(vb::toInteger(QVariant(32767)), 32767);
    EXPECT_EQ(test::errorNumberOf([] { vb::toInteger(QVariant(32768)); }), ErrNo::Overflow);
    EXPECT_EQ(test::errorNumberOf([] { vb::toLong(QVariant(3.0e9)); }), ErrNo::Overflow);
    EXPECT_EQ(vb::roundHalfAway(2.5), 3.0);
    EXPECT_EQ(vb::roundHalfAway(1234.5), 1235.0);
    EXPECT_EQ(vb::roundHalfEven(10.5), 10.0);
    EXPECT_EQ(vb::roundHalfEven(21.5), 22.0);
}

TEST(Conversions, Booleans)
{
    EXPECT_TRUE(vb::toBool(QVariant(-1)));
    EXPECT_TRUE(vb::toBool(QVariant(5)));
    EXPECT_FALSE(vb::toBool(QVariant(0)));
    EXPECT_TRUE(vb::toBool(QVariant("True")));
    EXPECT_FALSE(vb::toBool(QVariant("false")));
    EXPECT_TRUE(vb::toBool(QVariant("-1")));
    EXPECT_EQ(test::errorNumberOf([] { vb::toBool(QVariant("si")); }), ErrNo::TypeMismatch);
    EXPECT_EQ(vb::toDouble(QVariant(true)), -1.0);
}
