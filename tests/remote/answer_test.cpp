#include "remote/answer.h"
#include "remote/columns.h"
#include "remote/remote.h"

#include "common/error.h"

#include <gtest/gtest.h>

namespace zelvano {
namespace {

const RemoteColumn kId{QStringLiteral("id"), 0};
const RemoteColumn kName{QStringLiteral("nombre"), 1};

TEST(WebAnswer, WholeAnswersGiveTheirRows)
{
    const WebAnswerRead rows = readWebAnswer(
        QStringLiteral("[{\"id\":\"1\",\"nombre\":\"Uno\"},{\"id\":\"2\",\"nombre\":null}]\n"));
    ASSERT_TRUE(rows.whole) << rows.problem.toStdString();
    ASSERT_EQ(rows.rows.size(), 2u);
    EXPECT_EQ(rows.rows[0].field(kName).toString(), "Uno");
    EXPECT_EQ(rows.rows[1].field(kId).toString(), "2");
    EXPECT_TRUE(rows.rows[1].field(kName).isNull());
    // A key the row does not carry reads as the empty text.
    EXPECT_EQ(rows.rows[0].field(RemoteColumn{QStringLiteral("otro"), 5}).toString(), "");

    const WebAnswerRead statement =
        readWebAnswer(QStringLiteral("{\"affected_rows\": 3, \"insert_id\": 0}"));
    ASSERT_TRUE(statement.whole);
    ASSERT_EQ(statement.rows.size(), 1u);

    for (const char *empty : {"", "  \r\n", "[]", "null", " [] "}) {
        const WebAnswerRead none = readWebAnswer(QString::fromLatin1(empty));
        EXPECT_TRUE(none.whole) << empty;
        EXPECT_TRUE(none.rows.empty()) << empty;
    }
}

TEST(WebAnswer, CutOrForeignAnswersAreNotWhole)
{
    const QString full =
        QStringLiteral("[{\"id\":\"1\",\"kg_real\":\"1758.4\"},{\"id\":\"2\",\"kg_real\":\"7\"}]");
    // Every cut of a whole answer, at any character, is refused: between two
    // objects, inside a value, inside a key.
    for (qsizetype cut = 1; cut < full.size(); ++cut) {
        const WebAnswerRead read = readWebAnswer(full.left(cut));
        EXPECT_FALSE(read.whole) << full.left(cut).toStdString();
        EXPECT_TRUE(read.rows.empty());
    }
    for (const char *foreign :
         {"<html><body>Gateway Timeout</body></html>",
          "<html><head><style>body { color: red }</style></head><body>{x}</body></html>",
          "  <!DOCTYPE html><p>Proxy</p>", "Service Unavailable", "[1,2]", "[{\"a\":{\"b\":1}}]",
          "[{\"a\":\"1\"}] trailing", "[{\"a\":\"1\"}][{\"a\":\"2\"}]", "[\"texto\"]"}) {
        const WebAnswerRead read = readWebAnswer(QString::fromUtf8(foreign));
        EXPECT_FALSE(read.whole) << foreign;
        EXPECT_FALSE(read.problem.isEmpty()) << foreign;
    }
}

// The answer to a statement without rows is one bare object: every cut of it
// is refused too, except the cut to nothing, which cannot be told from an
// empty answer (callers whose reads always have a row rely on that row).
TEST(WebAnswer, CutStatementAnswersAreNotWhole)
{
    const QString full = QStringLiteral("{\"affected_rows\": 3, \"insert_id\": 1207}");
    for (qsizetype cut = 1; cut < full.size(); ++cut) {
        const WebAnswerRead read = readWebAnswer(full.left(cut));
        EXPECT_FALSE(read.whole) << full.left(cut).toStdString();
    }
    EXPECT_TRUE(readWebAnswer(full.left(0)).whole);
    for (const char *foreign : {"[{\"id\":\"1\",\"id\":\"2\"}]", "[]x", "5", "{}{}", "\"texto\""}) {
        const WebAnswerRead read = readWebAnswer(QString::fromUtf8(foreign));
        EXPECT_FALSE(read.whole) << foreign;
    }
}

TEST(WebAnswer, UnacceptedAnswersRaiseTheirKind)
{
    RemoteAnswer refused;
    refused.status = 500;
    refused.refusal = QStringLiteral("Table 'x' doesn't exist");
    try {
        raiseUnaccepted(refused);
        FAIL();
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::ProviderFailure);
        EXPECT_TRUE(e.description().contains("status 500: Table 'x' doesn't exist"));
    }
    RemoteAnswer broken;
    broken.whole = false;
    broken.refusal = readWebAnswer(QStringLiteral("[{\"id\":")).problem;
    EXPECT_FALSE(broken.accepted());
    try {
        raiseUnaccepted(broken);
        FAIL();
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), -2147012866L);
    }
}

TEST(RemoteRowTest, OdbcRowsAreReadByPosition)
{
    const RemoteRow row(std::vector<QVariant>{QVariant(7), QVariant(QStringLiteral("Siete"))});
    EXPECT_EQ(row.field(kName).toString(), "Siete");
    EXPECT_EQ(row.field(kId).toInt(), 7);
    try {
        row.field(RemoteColumn{QStringLiteral("id"), 2});
        FAIL() << "past the last column";
    } catch (const AppError &e) {
        EXPECT_EQ(e.number(), ErrNo::SubscriptOutOfRange);
    }
}

} // namespace
} // namespace zelvano
