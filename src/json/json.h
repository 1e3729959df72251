#pragma once

#include <QString>
#include <QStringView>
#include <QVariant>

#include <memory>
#include <utility>
#include <vector>

namespace zelvano::json {

// One value of a parsed JSON text. Copies are cheap: dictionaries and
// collections are shared, and a parsed tree is never changed afterwards.
class JsonValue
{
public:
    enum class Kind { Empty, Null, Boolean, Number, Text, Dictionary, Collection };
    using Entry = std::pair<QString, JsonValue>;

    JsonValue() = default; // the empty value
    static JsonValue makeNull();
    static JsonValue makeBoolean(bool value);
    // The number's text exactly as written and its value.
    static JsonValue makeNumber(QString text, double value);
    static JsonValue makeText(QString value);
    static JsonValue makeDictionary();
    static JsonValue makeCollection();

    Kind kind() const { return m_kind; }
    bool isEmpty() const { return m_kind == Kind::Empty; }
    bool isNull() const { return m_kind == Kind::Null; }
    bool isDictionary() const { return m_kind == Kind::Dictionary; }
    bool isCollection() const { return m_kind == Kind::Collection; }

    // Dictionary: the value under a key (exact, case-sensitive); an empty value
    // when absent or when this is no dictionary.
    const JsonValue &item(const QString &key) const;
    const JsonValue &item(QStringView key) const;
    bool contains(const QString &key) const;
    const std::vector<Entry> &entries() const; // insertion order

    // Collection: the elements in order (index 1 of the JSON texts is elements()[0]).
    const std::vector<JsonValue> &elements() const;
    // Entries of a dictionary or elements of a collection; 0 for scalars.
    qsizetype count() const;

    // Text: the text; Number: its decimal text as written ("12.50"); Boolean:
    // "True"/"False"; Null and Empty: "". Containers give "".
    QString text() const;
    // Number: its value (read with "." as decimal point); Boolean: -1 / 0; else 0.
    double number() const;
    bool boolean() const;
    // As a grid or database cell: Text and Number -> QString (the number's exact
    // text), Boolean -> bool, Null -> QVariant() (null), Empty -> QString().
    QVariant toVariant() const;

    // Building (the parser, and tests): false, and nothing added, when the key is
    // already present. Only for a dictionary / a collection this value owns alone.
    bool insert(QString key, JsonValue value);
    void append(JsonValue value);
    void reserve(qsizetype n);

private:
    struct Container;

    Kind m_kind = Kind::Empty;
    bool m_bool = false;
    double m_number = 0.0;
    QString m_text;
    std::shared_ptr<Container> m_container;
};

// Parses a JSON text (tolerant: comments, apostrophes, unquoted keys). Never
// throws; problems are collected in ParserErrors() and the tree built so far is
// returned. An empty value when the text starts with neither "{" nor "[".
JsonValue ParseJson(const QString &text);
// The same on a view; *end receives the 0-based offset of the first character
// the parse did not consume.
JsonValue ParseJson(QStringView text, qsizetype *end);
// The messages of the last parse, each ended by CR LF ("Invalid JSON" alone).
QString ParserErrors();

// Canonical JSON: objects in insertion order, numbers as their text, the empty
// value as "<empty>", strings escaped (non-ASCII kept as it is).
QString toCanonicalJson(const JsonValue &value);

} // namespace zelvano::json
