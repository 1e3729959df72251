#include "json/stringbuilder.h"

#include "common/error.h"

#include "printers.h"

#include <gtest/gtest.h>

using namespace zelvano;
using namespace zelvano::json;

namespace {
long errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const AppError &e) {
        return e.number();
    }
    return 0;
}
} // namespace

TEST(StringBuilder, FreshAndGrowthInWholeChunks)
{
    cStringBuilder sb;
    EXPECT_EQ(sb.Length(), 0);
    EXPECT_EQ(sb.Capacity(), 0);
    EXPECT_EQ(sb.ChunkSize(), 8192);
    EXPECT_EQ(sb.toString(), QString());
    sb.Append(u"a");
    EXPECT_EQ(sb.Capacity(), 8192);
    cStringBuilder big;
    big.Append(QString(8193, u'x'));
    EXPECT_EQ(big.Capacity(), 16384);
    EXPECT_EQ(big.Length(), 8193);
    big.Append(QString(8191, u'y'));
    EXPECT_EQ(big.Capacity(), 16384);
    big.Append(u"z");
    EXPECT_EQ(big.Capacity(), 24576);
    EXPECT_EQ(big.toString().size(), 16385);
    EXPECT_EQ(big.toString().back(), u'z');
}

TEST(StringBuilder, AppendNLTheStringAndClear)
{
    cStringBuilder sb;
    sb.AppendNL(u"ab");
    EXPECT_EQ(sb.toString(), QStringLiteral("ab\r\n"));
    EXPECT_EQ(sb.Length(), 4);
    sb.TheString(QStringLiteral("xyz"));
    EXPECT_EQ(sb.toString(), QStringLiteral("xyz"));
    EXPECT_EQ(sb.Capacity(), 8192);
    sb.AppendByVal(QStringLiteral("!"));
    EXPECT_EQ(sb.toString(), QStringLiteral("xyz!"));
    // A shorter replacement leaves none of the old text to be found.
    sb.TheString(QStringLiteral("ab"));
    EXPECT_EQ(sb.toString(), QStringLiteral("ab"));
    EXPECT_EQ(sb.Find(u"z"), 0);
    sb.Append(u"c");
    EXPECT_EQ(sb.toString(), QStringLiteral("abc"));
    sb.TheString(QString());
    EXPECT_EQ(sb.Length(), 0);
    EXPECT_EQ(sb.Capacity(), 0);
    sb.ChunkSize(10);
    sb.TheString(QString(25, u'q'));
    EXPECT_EQ(sb.Capacity(), 30);
    sb.Clear();
    EXPECT_EQ(sb.Capacity(), 0);
    EXPECT_EQ(sb.ChunkSize(), 10);
}

TEST(StringBuilder, InsertAndRemove)
{
    cStringBuilder sb;
    sb.Append(u"ab");
    sb.Insert(0, u"x");
    EXPECT_EQ(sb.toString(), QStringLiteral("xab"));
    sb.InsertByVal(3, QStringLiteral("!"));
    EXPECT_EQ(sb.toString(), QStringLiteral("xab!"));
    sb.Insert(2, u"--");
    EXPECT_EQ(sb.toString(), QStringLiteral("xa--b!"));

    cStringBuilder ab;
    ab.Append(u"ab");
    EXPECT_EQ(errorOf([&] { ab.Insert(3, u"x"); }), ErrNo::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { ab.Insert(-1, u"x"); }), ErrNo::SubscriptOutOfRange);
    EXPECT_EQ(ab.toString(), QStringLiteral("ab"));

    sb.Remove(1, 3);
    EXPECT_EQ(sb.toString(), QStringLiteral("xb!"));
    EXPECT_EQ(errorOf([&] { sb.Remove(2, 2); }), ErrNo::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { sb.Remove(4, 0); }), ErrNo::SubscriptOutOfRange);
    EXPECT_EQ(errorOf([&] { sb.Remove(-1, 1); }), ErrNo::SubscriptOutOfRange);
    sb.Remove(3, 0);
    EXPECT_EQ(sb.toString(), QStringLiteral("xb!"));
}

TEST(StringBuilder, HeapMinimizeGivesBackSpareChunks)
{
    cStringBuilder sb;
    sb.Append(QString(20000, u'x'));
    EXPECT_EQ(sb.Capacity(), 24576);
    sb.Remove(0, 15000);
    EXPECT_EQ(sb.Length(), 5000);
    sb.HeapMinimize();
    EXPECT_EQ(sb.Capacity(), 8192);
    EXPECT_EQ(sb.toString(), QString(5000, u'x'));
}

TEST(StringBuilder, FindOnlyWithinTheUsedText)
{
    cStringBuilder sb;
    sb.Append(u"Hello hello");
    EXPECT_EQ(sb.Find(u"hello"), 7);
    EXPECT_EQ(sb.Find(u"HELLO", 0, cStringBuilder::Compare::Text), 1);
    EXPECT_EQ(sb.Find(u"hello", 8), 0);
    EXPECT_EQ(sb.Find(u"Hello", -5), 1);
    EXPECT_EQ(sb.Find(u"xyz"), 0);
    // The spare room holds spaces: a match running into it does not count.
    EXPECT_EQ(sb.Find(u"o  "), 0);
    EXPECT_EQ(sb.Find(u"o", 100000), 0);
    EXPECT_EQ(cStringBuilder().Find(u"a"), 0);
}

TEST(StringBuilder, ChunkSizeLimits)
{
    cStringBuilder sb;
    EXPECT_EQ(errorOf([&] { sb.ChunkSize(0); }), ErrNo::InvalidCall);
    EXPECT_EQ(errorOf([&] { sb.ChunkSize(-4); }), ErrNo::InvalidCall);
    EXPECT_EQ(errorOf([&] { sb.ChunkSize(0x40000000); }), ErrNo::Overflow);
    EXPECT_EQ(sb.ChunkSize(), 8192);
    sb.ChunkSize(0x3FFFFFFF);
    EXPECT_EQ(sb.ChunkSize(), 0x3FFFFFFF);
    sb.ChunkSize(1);
    sb.Append(u"abc");
    EXPECT_EQ(sb.Capacity(), 3);
}
