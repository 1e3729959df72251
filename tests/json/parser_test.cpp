#include "json/json.h"

#include "printers.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <cstring>

using namespace zelvano::json;
using Kind = JsonValue::Kind;

namespace {
const QString CRLF = QStringLiteral("\r\n");

QString canon(const QString &text)
{
    return toCanonicalJson(ParseJson(text));
}
} // namespace

TEST(ParserTopLevel, OnlyObjectOrArrayStartsAParse)
{
    for (const char *text : {"x", "", "   ", "'a'", "12", "true"}) {
        const JsonValue v = ParseJson(QString::fromUtf8(text));
        EXPECT_TRUE(v.isEmpty()) << text;
        EXPECT_EQ(ParserErrors(), QStringLiteral("Invalid JSON")) << text;
    }
    EXPECT_EQ(canon(QStringLiteral("  [1,2] trailing garbage")), QStringLiteral("[1,2]"));
    EXPECT_EQ(ParserErrors(), QString());
}

TEST(ParserTopLevel, ErrorTextIsResetByEachParse)
{
    ParseJson(QStringLiteral("x"));
    ASSERT_FALSE(ParserErrors().isEmpty());
    ParseJson(QStringLiteral("{}"));
    EXPECT_EQ(ParserErrors(), QString());
}

TEST(ParserValues, KindsTextsAndVariants)
{
    const JsonValue v = ParseJson(
        QStringLiteral(R"({"t":"abc","n":12.50,"b":true,"f":false,"z":null,"a":[1,"x"],"o":{}})"));
    ASSERT_TRUE(v.isDictionary());
    EXPECT_EQ(ParserErrors(), QString());
    EXPECT_EQ(v.item(QStringLiteral("t")).text(), QStringLiteral("abc"));
    EXPECT_EQ(v.item(QStringLiteral("n")).kind(), Kind::Number);
    EXPECT_EQ(v.item(QStringLiteral("n")).text(), QStringLiteral("12.50"));
    EXPECT_DOUBLE_EQ(v.item(QStringLiteral("n")).number(), 12.5);
    EXPECT_EQ(v.item(QStringLiteral("b")).text(), QStringLiteral("True"));
    EXPECT_EQ(v.item(QStringLiteral("f")).text(), QStringLiteral("False"));
    EXPECT_TRUE(v.item(QStringLiteral("z")).isNull());
    EXPECT_FALSE(v.item(QStringLiteral("z")).toVariant().isValid());
    EXPECT_EQ(v.item(QStringLiteral("n")).toVariant(), QVariant(QStringLiteral("12.50")));
    EXPECT_EQ(v.item(QStringLiteral("b")).toVariant(), QVariant(true));
    EXPECT_EQ(v.item(QStringLiteral("a")).count(), 2);
    EXPECT_EQ(v.item(QStringLiteral("a")).elements()[1].text(), QStringLiteral("x"));
    EXPECT_TRUE(v.item(QStringLiteral("o")).isDictionary());
    // Keys are exact: another letter case is absent and reads as the empty text.
    EXPECT_TRUE(v.item(QStringLiteral("T")).isEmpty());
    EXPECT_FALSE(v.contains(QStringLiteral("T")));
    const QVariant missing = v.item(QStringLiteral("T")).toVariant();
    EXPECT_TRUE(missing.isValid());
    EXPECT_EQ(missing.toString(), QString());
}

TEST(ParserValues, DictionaryKeepsInsertionOrderAndWideOnesFindKeys)
{
    QString text = QStringLiteral("{");
    for (int i = 40; i > 0; --i)
        text += QStringLiteral("\"k%1\":%1%2").arg(i).arg(i > 1 ? "," : "");
    text += QStringLiteral(",\"k7\":0}");
    const JsonValue v = ParseJson(text);
    ASSERT_EQ(v.count(), 40);
    EXPECT_EQ(v.entries().front().first, QStringLiteral("k40"));
    EXPECT_EQ(v.entries().back().first, QStringLiteral("k1"));
    EXPECT_EQ(v.item(QStringLiteral("k7")).text(), QStringLiteral("7"));
    EXPECT_TRUE(ParserErrors().contains(QStringLiteral(": k7\r\n")));
}

TEST(ParserNumbers, PointDecimalWhateverTheLocale)
{
    // A comma locale for C and Qt: the value must still be read with ".".
    const char *old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    // Where the locale is installed, the C library's own number reading uses a comma.
    if (std::setlocale(LC_NUMERIC, "es_AR.UTF-8"))
        EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    QLocale::setDefault(QLocale(QLocale::Spanish, QLocale::Argentina));
    const JsonValue v = ParseJson(QStringLiteral("[812.5, -0.25, 1e3, 2.5E-1, +7 ]"));
    std::setlocale(LC_ALL, saved.c_str());
    QLocale::setDefault(QLocale::c());
    ASSERT_EQ(v.count(), 5);
    EXPECT_DOUBLE_EQ(v.elements()[0].number(), 812.5);
    EXPECT_DOUBLE_EQ(v.elements()[1].number(), -0.25);
    EXPECT_DOUBLE_EQ(v.elements()[2].number(), 1000.0);
    EXPECT_DOUBLE_EQ(v.elements()[3].number(), 0.25);
    EXPECT_DOUBLE_EQ(v.elements()[4].number(), 7.0);
    EXPECT_EQ(v.elements()[4].text(), QStringLiteral("+7"));
}

TEST(ParserNumbers, TokenRunningToTheEndIsEmpty)
{
    const JsonValue v = ParseJson(QStringLiteral("{'k':1"));
    ASSERT_TRUE(v.isDictionary());
    ASSERT_TRUE(v.contains(QStringLiteral("k")));
    EXPECT_TRUE(v.item(QStringLiteral("k")).isEmpty());
    EXPECT_EQ(ParserErrors(), QStringLiteral("Missing '}': {'k':1") + CRLF);
    // Even a malformed token is not converted when it runs to the end.
    ParseJson(QStringLiteral("[1.2.3"));
    EXPECT_EQ(ParserErrors(), QStringLiteral("Missing ']': [1.2.3") + CRLF);
}

TEST(ParserNumbers, MalformedNumberIsTrappedWithTheKey)
{
    JsonValue v = ParseJson(QStringLiteral("{\"a\":1,\"b\":1.2.3,\"c\":3}"));
    EXPECT_EQ(v.count(), 1);
    EXPECT_EQ(ParserErrors(), QStringLiteral("Type mismatch: b") + CRLF);

    v = ParseJson(QStringLiteral("{\"a\":-,\"c\":3}"));
    EXPECT_EQ(v.count(), 0);
    EXPECT_EQ(ParserErrors(), QStringLiteral("Type mismatch: a") + CRLF);

    // An unknown word is an empty number token.
    ParseJson(QStringLiteral("{\"a\":xyz}"));
    EXPECT_EQ(ParserErrors(), QStringLiteral("Type mismatch: a") + CRLF);

    // In an array the message shows what follows the position.
    v = ParseJson(QStringLiteral("[1,2e,3]"));
    EXPECT_EQ(v.count(), 1);
    EXPECT_EQ(ParserErrors(), QStringLiteral("Type mismatch: ,3]") + CRLF);

    ParseJson(QStringLiteral("[1e999]"));
    EXPECT_EQ(ParserErrors(), QStringLiteral("Overflow: ]") + CRLF);
    v = ParseJson(QStringLiteral("[1e-999]"));
    EXPECT_EQ(ParserErrors(), QString());
    EXPECT_EQ(v.elements()[0].number(), 0.0);
}

TEST(ParserObjects, DuplicateKeyKeepsTheFirstAndStops)
{
    const JsonValue v = ParseJson(QStringLiteral("{'a':1,'a':2}"));
    ASSERT_EQ(v.count(), 1);
    EXPECT_EQ(v.item(QStringLiteral("a")).text(), QStringLiteral("1"));
    EXPECT_EQ(ParserErrors(),
              QStringLiteral("This key is already associated with an element of this "
                             "collection: a") + CRLF);
}

TEST(ParserObjects, KeysQuotedSingleUnquotedAndWithBlanks)
{
    JsonValue v = ParseJson(QStringLiteral("{a : 'x'}"));
    EXPECT_EQ(v.item(QStringLiteral("a")).text(), QStringLiteral("x"));
    EXPECT_EQ(ParserErrors(), QString());
    v = ParseJson(QStringLiteral("{\"my key\":1, 'o\\tk' : 2,\n un quoted:3, \"a:b\":4}"));
    EXPECT_EQ(ParserErrors(), QString());
    EXPECT_EQ(v.item(QStringLiteral("mykey")).text(), QStringLiteral("1"));
    EXPECT_EQ(v.item(QStringLiteral("o\\tk")).text(), QStringLiteral("2"));
    EXPECT_EQ(v.item(QStringLiteral("unquoted")).text(), QStringLiteral("3"));
    EXPECT_EQ(v.item(QStringLiteral("a:b")).text(), QStringLiteral("4"));
}

TEST(ParserObjects, KeyWithoutColonAfterItsQuote)
{
    const JsonValue v = ParseJson(QStringLiteral("{\"a\" \"b\"}"));
    EXPECT_EQ(ParserErrors(), QStringLiteral("Invalid Key at position 6 : a") + CRLF);
    EXPECT_EQ(v.item(QStringLiteral("a")).text(), QStringLiteral("b"));
}

TEST(ParserObjects, MissingClosingBraceShowsTheLastTwentyCharacters)
{
    JsonValue v = ParseJson(QStringLiteral("{'k':'v'"));
    EXPECT_EQ(v.item(QStringLiteral("k")).text(), QStringLiteral("v"));
    EXPECT_EQ(ParserErrors(), QStringLiteral("Missing '}': {'k':'v'") + CRLF);
    v = ParseJson(QStringLiteral("{'key':'0123456789abcdefghij'"));
    EXPECT_EQ(ParserErrors(), QStringLiteral("Missing '}': 123456789abcdefghij'") + CRLF);
    // After a comma the end gives an empty key with the empty value first.
    v = ParseJson(QStringLiteral("{'k':'v',"));
    EXPECT_EQ(v.count(), 2);
    EXPECT_TRUE(v.item(QString()).isEmpty());
}

TEST(ParserBlanks, CommentsAndParentheses)
{
    EXPECT_EQ(canon(QStringLiteral("/* before */ {'a':1} // after")), QStringLiteral("{\"a\":1}"));
    EXPECT_EQ(ParserErrors(), QString());
    EXPECT_EQ(canon(QStringLiteral("({'a':(1)})")), canon(QStringLiteral("{'a':1}")));
    EXPECT_EQ(canon(QStringLiteral("[ // one\n 1, /* two\n still */ 2 ]")), QStringLiteral("[1,2]"));
    // A lone "/" or "*" between values is skipped like a blank.
    EXPECT_EQ(canon(QStringLiteral("[1 / , * 2]")), QStringLiteral("[1,2]"));
    // A line comment ends at the line end; a block comment does not.
    EXPECT_EQ(canon(QStringLiteral("[1,//x]\n2]")), QStringLiteral("[1,2]"));
    EXPECT_EQ(canon(QStringLiteral("[1,/*x\n]\n*/2]")), QStringLiteral("[1,2]"));
}

TEST(ParserStrings, Escapes)
{
    JsonValue v = ParseJson(QStringLiteral("['a\\u0041\\q']"));
    EXPECT_EQ(v.elements()[0].text(), QStringLiteral("aAq"));
    v = ParseJson(QStringLiteral(R"(["\"\\\/\'\b\f\n\r\t", 'it\'s', "x'y", 'x"y'])"));
    ASSERT_EQ(v.count(), 4);
    EXPECT_EQ(v.elements()[0].text(), QString::fromUtf8("\"\\/'\b\f\n\r\t"));
    EXPECT_EQ(v.elements()[1].text(), QStringLiteral("it's"));
    EXPECT_EQ(v.elements()[2].text(), QStringLiteral("x'y"));
    EXPECT_EQ(v.elements()[3].text(), QStringLiteral("x\"y"));
    // \u gives one UTF-16 code unit: a pair of them makes one character.
    v = ParseJson(QStringLiteral(R"(["\ud83d\ude00", "\u00e9", "\uFFFF"])"));
    EXPECT_EQ(v.elements()[0].text(), QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(v.elements()[1].text(), QString::fromUtf8("\xC3\xA9"));
    EXPECT_EQ(v.elements()[2].text(), QString(QChar(0xFFFF)));
    // Fewer than four digits: as far as they go, and four characters are consumed.
    v = ParseJson(QStringLiteral(R"(["\u41zz!"])"));
    EXPECT_EQ(v.elements()[0].text(), QStringLiteral("A!"));
}

TEST(ParserStrings, LongEscapedTextsAndAnEscapeSwallowingTheQuote)
{
    QString escapes;
    for (int i = 0; i < 100000; ++i)
        escapes += QStringLiteral("\\n");
    JsonValue v = ParseJson(QStringLiteral("[\"\\u0001") + escapes + QStringLiteral("\"]"));
    ASSERT_EQ(v.count(), 1);
    EXPECT_EQ(v.elements()[0].text().size(), 100001);
    // "\u1" takes the quote and the next escape's backslash as its four characters.
    v = ParseJson(QStringLiteral("[\"\\u1\"") + escapes + QStringLiteral("\"]"));
    ASSERT_EQ(v.count(), 1);
    const QString text = v.elements()[0].text();
    EXPECT_EQ(text.size(), 100000);
    EXPECT_EQ(text[0], QChar(1));
    EXPECT_EQ(text[1], QChar(u'\n'));
    EXPECT_EQ(ParserErrors(), QString());
}

TEST(ParserStrings, UnterminatedAtTheEnd)
{
    JsonValue v = ParseJson(QStringLiteral("['abc"));
    EXPECT_EQ(v.elements()[0].text(), QStringLiteral("abc"));
    EXPECT_EQ(ParserErrors(), QStringLiteral("Missing ']': ['abc") + CRLF);
    v = ParseJson(QStringLiteral("['a\\n\\"));
    EXPECT_EQ(v.elements()[0].text(), QStringLiteral("a\n"));
    v = ParseJson(QStringLiteral("['\\u12"));
    EXPECT_EQ(v.elements()[0].text(), QString(QChar(0x12)));
}

TEST(ParserWords, InvalidBooleanAndNull)
{
    JsonValue v = ParseJson(QStringLiteral("{\"a\":tru}"));
    EXPECT_EQ(v.item(QStringLiteral("a")).kind(), Kind::Boolean);
    EXPECT_TRUE(ParserErrors().startsWith(QStringLiteral("Invalid Boolean at position 6 : tru}\r\n")));
    v = ParseJson(QStringLiteral("{\"a\":nul}"));
    EXPECT_TRUE(v.item(QStringLiteral("a")).isEmpty());
    EXPECT_TRUE(
        ParserErrors().startsWith(QStringLiteral("Invalid null value at position 6 : nul}\r\n")));
    // In an array a word that does not read ends the array instead of repeating.
    v = ParseJson(QStringLiteral("[1,fals,2]"));
    EXPECT_EQ(v.count(), 2);
    EXPECT_EQ(ParserErrors(), QStringLiteral("Invalid Boolean at position 4 : fals,2]") + CRLF);
}

// Some messages repeat the rest of the input after the error, others only the
// next twenty characters: inputs with a long tail tell the two apart.
TEST(ParserWords, MessageTailsAreTheRestOrTheNextTwentyCharacters)
{
    const QString tail = QStringLiteral("\"una cola larga de mas de veinte caracteres\"");
    ParseJson(QStringLiteral("{\"a\":tru,\"b\":") + tail + QStringLiteral("}"));
    EXPECT_EQ(ParserErrors(),
              QStringLiteral("Invalid Boolean at position 6 : tru,\"b\":") + tail + u'}' + CRLF);
    ParseJson(QStringLiteral("[1,nul,") + tail + u']');
    EXPECT_EQ(ParserErrors(),
              QStringLiteral("Invalid null value at position 4 : nul,") + tail + u']' + CRLF);
    // A number that does not convert ends the array with twenty characters only.
    ParseJson(QStringLiteral("[1,2e,3,4,5,6,7,8,9,10,11,12,13]"));
    EXPECT_EQ(ParserErrors(), QStringLiteral("Type mismatch: ,3,4,5,6,7,8,9,10,11") + CRLF);
}

TEST(ParserLimits, NestingDeeperThan512Stops)
{
    const QString ok = QString(512, u'[') + QString(512, u']');
    ParseJson(ok);
    EXPECT_EQ(ParserErrors(), QString());
    const QString deep = QString(513, u'[') + QString(513, u']');
    JsonValue v = ParseJson(deep);
    EXPECT_TRUE(v.isCollection());
    EXPECT_EQ(ParserErrors(), QStringLiteral("Nesting deeper than 512 levels at position 513") + CRLF);
    // Far deeper input, objects and arrays mixed, neither crashes nor takes long.
    QString huge;
    for (int i = 0; i < 200000; ++i)
        huge += (i % 2) ? QStringLiteral("[") : QStringLiteral("{\"a\":");
    ParseJson(huge);
    EXPECT_TRUE(ParserErrors().contains(QStringLiteral("Nesting deeper than 512 levels")));
}

TEST(ParserLimits, GarbageCannotPileUpMessages)
{
    // Each bad word repeats the rest of the input in its message: the text stays
    // bounded by a few times the input.
    QString text = QStringLiteral("{");
    for (int i = 0; i < 20000; ++i)
        text += QStringLiteral("\"k%1\":[tru],").arg(i);
    ParseJson(text);
    EXPECT_FALSE(ParserErrors().isEmpty());
    EXPECT_LT(ParserErrors().size(), 3 * text.size() + 70000);
}

TEST(ParserEnd, ViewReportsWhereTheValueEnded)
{
    const QString text = QStringLiteral("  {\"a\":1} , {\"b\":2}");
    qsizetype end = -1;
    const JsonValue v = ParseJson(QStringView(text), &end);
    EXPECT_TRUE(v.isDictionary());
    EXPECT_EQ(end, 9);
}

TEST(CanonicalJson, EscapesAndEmpty)
{
    JsonValue d = JsonValue::makeDictionary();
    d.insert(QStringLiteral("e"), JsonValue());
    d.insert(QStringLiteral("s"), JsonValue::makeText(QStringLiteral("a\"b\\c\n\x01") + QChar(0xD800)));
    EXPECT_FALSE(d.insert(QStringLiteral("e"), JsonValue::makeNull()));
    EXPECT_EQ(toCanonicalJson(d),
              QStringLiteral("{\"e\":\"<empty>\",\"s\":\"a\\\"b\\\\c\\n\\u0001\\ud800\"}"));
}
