#include "json/json.h"
#include "json/recordwalk.h"

#include "printers.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <QDir>
#include <QFile>

using namespace zelvano::json;
using strict = nlohmann::ordered_json;

namespace {

QDir corpusDir(const char *sub)
{
    return QDir(QStringLiteral(ZELVANO_SOURCE_DIR "/tests/data/json/") + QLatin1String(sub));
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

QStringList corpusFiles(const char *sub)
{
    const QDir dir = corpusDir(sub);
    QStringList out;
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name))
        out << dir.filePath(name);
    return out;
}

// Empty when both trees agree; otherwise where they part.
std::string difference(const JsonValue &ours, const strict &theirs, const std::string &path)
{
    const auto kindError = [&](const char *want) {
        return path + ": ours is kind " + std::to_string(int(ours.kind())) + ", strict is " + want;
    };
    switch (theirs.type()) {
    case strict::value_t::object: {
        if (!ours.isDictionary())
            return kindError("object");
        if (std::size_t(ours.count()) != theirs.size())
            return path + ": " + std::to_string(ours.count()) + " keys, strict has " +
                   std::to_string(theirs.size());
        std::size_t i = 0;
        for (const auto &[key, value] : theirs.items()) {
            const auto &entry = ours.entries()[i++];
            if (entry.first.toStdString() != key)
                return path + ": key " + entry.first.toStdString() + " where strict has " + key;
            const std::string d = difference(entry.second, value, path + "/" + key);
            if (!d.empty())
                return d;
        }
        return {};
    }
    case strict::value_t::array: {
        if (!ours.isCollection())
            return kindError("array");
        if (std::size_t(ours.count()) != theirs.size())
            return path + ": " + std::to_string(ours.count()) + " elements, strict has " +
                   std::to_string(theirs.size());
        for (std::size_t i = 0; i < theirs.size(); ++i) {
            const std::string d = difference(ours.elements()[i], theirs[i], path + "/" + std::to_string(i));
            if (!d.empty())
                return d;
        }
        return {};
    }
    case strict::value_t::string:
        if (ours.kind() != JsonValue::Kind::Text)
            return kindError("string");
        if (ours.text().toStdString() != theirs.get<std::string>())
            return path + ": text differs";
        return {};
    case strict::value_t::boolean:
        if (ours.kind() != JsonValue::Kind::Boolean || ours.boolean() != theirs.get<bool>())
            return kindError("boolean");
        return {};
    case strict::value_t::null:
        return ours.isNull() ? std::string() : kindError("null");
    case strict::value_t::number_integer:
    case strict::value_t::number_unsigned:
    case strict::value_t::number_float:
        if (ours.kind() != JsonValue::Kind::Number)
            return kindError("number");
        if (ours.number() != theirs.get<double>())
            return path + ": number " + ours.text().toStdString() + " differs from " + theirs.dump();
        return {};
    default:
        return path + ": unexpected strict kind";
    }
}

} // namespace

TEST(Corpus, ValidDocumentsGiveTheStrictTree)
{
    const QStringList files = corpusFiles("valid");
    ASSERT_GE(files.size(), 300);
    for (const QString &file : files) {
        const QByteArray bytes = readFile(file);
        strict theirs;
        ASSERT_NO_THROW(theirs = strict::parse(bytes.constData(), bytes.constData() + bytes.size()))
            << file.toStdString();
        const JsonValue ours = ParseJson(QString::fromUtf8(bytes));
        EXPECT_EQ(ParserErrors(), QString()) << file.toStdString();
        EXPECT_EQ(difference(ours, theirs, ""), std::string()) << file.toStdString();
    }
}

TEST(Corpus, InvalidDocumentsAreRejectedByTheStrictParser)
{
    // Keeps the corpus honest: every one of them is broken for a strict reader.
    const QStringList files = corpusFiles("invalid");
    ASSERT_GE(files.size(), 250);
    int rejected = 0;
    for (const QString &file : files) {
        const QByteArray bytes = readFile(file);
        if (!strict::accept(bytes.constData(), bytes.constData() + bytes.size()))
            ++rejected;
        // Ours never throws: what it returns is its business, the test is that it returns.
        ParseJson(QString::fromUtf8(bytes));
    }
    // A flipped character can leave a document valid (a letter inside a text).
    EXPECT_GE(rejected, files.size() * 8 / 10);
}

TEST(Corpus, TruncationsAndWalksOfEveryDocumentReturn)
{
    QStringList files = corpusFiles("valid");
    files += corpusFiles("invalid");
    qsizetype parses = 0;
    for (const QString &file : files) {
        const QString text = QString::fromUtf8(readFile(file));
        // Every cut of a small document, about forty of a large one.
        const qsizetype step = std::max<qsizetype>(1, text.size() / 40);
        for (qsizetype cut = 0; cut <= text.size(); cut += step) {
            const QString part = text.left(cut);
            const JsonValue v = ParseJson(part);
            // A text starting with "{" or "[" after blanks always gives a tree.
            qsizetype first = 0;
            while (first < part.size() && QStringView(u" \t\r\n").contains(part[first]))
                ++first;
            if (first < part.size() && (part[first] == u'{' || part[first] == u'['))
                EXPECT_FALSE(v.isEmpty()) << file.toStdString() << " cut " << cut;
            RecordWalk walk(part);
            int rows = 0;
            while (walk.next())
                ++rows;
            EXPECT_LE(rows, part.count(u'{'));
            ++parses;
        }
    }
    EXPECT_GT(parses, 5000);
}
