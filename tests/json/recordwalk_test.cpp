#include "json/recordwalk.h"

#include "printers.h"

#include <gtest/gtest.h>

using namespace zelvano::json;

namespace {
QStringList rows(const QString &answer)
{
    QStringList out;
    RecordWalk walk(answer);
    while (walk.next())
        out << toCanonicalJson(walk.row());
    return out;
}
// The walk as first written: the rest of the answer is copied and the next row
// starts at the next "{" after the current row's opening brace.
QStringList writtenWalk(const QString &answer)
{
    QStringList out;
    qsizetype p = answer.indexOf(u'{');
    if (p < 0)
        return out;
    QString rest = answer.mid(p).chopped(1);
    while (!rest.isEmpty()) {
        out << toCanonicalJson(ParseJson(rest));
        rest = rest.mid(1);
        p = rest.indexOf(u'{');
        if (p < 0)
            break;
        rest = rest.mid(p);
    }
    return out;
}
} // namespace

TEST(RecordWalk, FlatObjectsGiveTheRowsOfTheWrittenWalk)
{
    const QStringList answers = {
        QStringLiteral("[{\"id\":\"1\",\"kg\":\"12.50\"},{\"id\":\"2\",\"kg\":null}]"),
        QStringLiteral(" [ {\"a\":1} ,\r\n {\"a\":2.5e3}, {\"b\":true,\"c\":\"x]\"} ]\n"),
        QStringLiteral("{\"only\":\"one\"}"),
        QStringLiteral("{\"n\":7}"),
        QStringLiteral("[{}]"),
        QStringLiteral("[{},{},{\"a\":[1,2]}]"),
        QStringLiteral("garbage {\"a\":\"b\"} more {'c':'d'} x"),
        QStringLiteral("[{\"a\":\"1\"},{\"a\":\"2\""),
    };
    for (const QString &answer : answers)
        EXPECT_EQ(rows(answer), writtenWalk(answer)) << answer.toStdString();
}

TEST(RecordWalk, ArrayOfFlatObjectsAndBareObject)
{
    EXPECT_EQ(rows(QStringLiteral("[{\"id\":\"1\",\"kg\":\"12.50\"},{\"id\":\"2\",\"kg\":null}]")),
              QStringList({QStringLiteral("{\"id\":\"1\",\"kg\":\"12.50\"}"),
                           QStringLiteral("{\"id\":\"2\",\"kg\":null}")}));
    RecordWalk bare(QStringLiteral("{\"id\":\"7\"}"));
    EXPECT_TRUE(bare.hasRows());
    ASSERT_TRUE(bare.next());
    EXPECT_EQ(bare.row().item(QStringLiteral("id")).text(), QStringLiteral("7"));
    // The closing brace was cut off: the parser says so, the row is still there.
    EXPECT_TRUE(ParserErrors().startsWith(QStringLiteral("Missing '}'")));
    EXPECT_FALSE(bare.next());
}

TEST(RecordWalk, NoRows)
{
    for (const char *answer : {"", "[]", "null", "Error en la consulta", "{"}) {
        RecordWalk walk(QString::fromUtf8(answer));
        EXPECT_FALSE(walk.next()) << answer;
        EXPECT_TRUE(walk.row().isEmpty());
    }
    EXPECT_FALSE(RecordWalk(QStringLiteral("[]")).hasRows());
    EXPECT_TRUE(RecordWalk(QStringLiteral("{")).hasRows());
}

TEST(RecordWalk, BracesInsideTextsAndNestedObjectsMakeNoRows)
{
    const QStringList got = rows(QStringLiteral(
        "[{\"a\":\"x{y}\",\"n\":{\"inner\":1}},{\"a\":\"{\"},{\"a\":\"z\"}]"));
    EXPECT_EQ(got, QStringList({QStringLiteral("{\"a\":\"x{y}\",\"n\":{\"inner\":1}}"),
                                QStringLiteral("{\"a\":\"{\"}"), QStringLiteral("{\"a\":\"z\"}")}));
}

TEST(RecordWalk, NumberAtTheCutEndAndTextBeforeTheFirstBrace)
{
    // The last character is cut: a row ending in a number loses nothing but the
    // brace, and the number token before it still has its "}"... except in the
    // bare object, where the number runs to the end and reads as empty.
    const QStringList got = rows(QStringLiteral("rows: [{\"a\":1},{\"a\":2}]"));
    EXPECT_EQ(got, QStringList({QStringLiteral("{\"a\":1}"), QStringLiteral("{\"a\":2}")}));
    EXPECT_EQ(rows(QStringLiteral("{\"a\":1}")), QStringList({QStringLiteral("{\"a\":\"<empty>\"}")}));
}

TEST(RecordWalk, BrokenRowsStillMoveForward)
{
    const QStringList got = rows(QStringLiteral("[{\"a\":,{\"b\":\"2\"},{{{]"));
    ASSERT_GE(got.size(), 2);
    EXPECT_EQ(got.front(), QStringLiteral("{}"));
}

TEST(RecordWalk, ManyRowsAreLinear)
{
    QString answer = QStringLiteral("[");
    for (int i = 0; i < 200000; ++i)
        answer += QStringLiteral("{\"id\":\"%1\",\"t\":\"x{\"},").arg(i);
    answer.chop(1);
    answer += u']';
    RecordWalk walk(answer);
    int n = 0;
    QString last;
    while (walk.next()) {
        ++n;
        last = walk.row().item(QStringLiteral("id")).text();
    }
    EXPECT_EQ(n, 200000);
    EXPECT_EQ(last, QStringLiteral("199999"));
}
