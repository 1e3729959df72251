#include "remote/answer.h"

#include "common/error.h"
#include "json/json.h"
#include "json/recordwalk.h"
#include "remote/odbc.h"
#include "remote/remote.h"

#include <QStringDecoder>

namespace zelvano {

QVariant RemoteRow::field(const RemoteColumn &column) const
{
    if (m_keys) {
        const qsizetype at = m_keys->indexOf(column.key);
        return at < 0 ? QVariant(QString()) : m_values[size_t(at)];
    }
    if (column.position < 0 || size_t(column.position) >= m_values.size())
        raise(ErrNo::SubscriptOutOfRange,
              QStringLiteral("Item cannot be found in the collection corresponding to the "
                             "requested name or ordinal."));
    return m_values[size_t(column.position)];
}

bool RemoteRow::sameAs(const RemoteRow &other) const
{
    if (m_values.size() != other.m_values.size())
        return false;
    if (bool(m_keys) != bool(other.m_keys) || (m_keys && *m_keys != *other.m_keys))
        return false;
    for (size_t i = 0; i < m_values.size(); ++i) {
        const QVariant &a = m_values[i];
        const QVariant &b = other.m_values[i];
        if (a.isNull() != b.isNull() || (!a.isNull() && a != b))
            return false;
    }
    return true;
}

QString decodeReceivedText(const QByteArray &bytes)
{
    QStringDecoder strict(QStringDecoder::Utf8);
    QString text = strict(bytes);
    if (!strict.hasError())
        return text;
    // Byte by byte: the valid sequences as text, every other byte escaped.
    text.clear();
    text.reserve(bytes.size());
    const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = b[i];
        int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        char32_t code = length == 1   ? c
                        : length == 2 ? (c & 0x1F)
                        : length == 3 ? (c & 0x0F)
                                      : (c & 0x07);
        bool valid = length > 0 && i + length <= n;
        for (int k = 1; valid && k < length; ++k) {
            valid = (b[i + k] & 0xC0) == 0x80;
            code = (code << 6) | (b[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        valid =
            valid && code >= kLeast[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
        if (!valid) {
            text += QChar(char16_t(0xDC00 + c));
            ++i;
            continue;
        }
        text += QString::fromUcs4(&code, 1);
        i += length;
    }
    return text;
}

namespace {

bool isScalar(const json::JsonValue &value)
{
    return !value.isDictionary() && !value.isCollection();
}

// A flat object as a row; false when a value is itself an object or a list.
bool appendRow(const json::JsonValue &object, std::shared_ptr<const QStringList> &keys,
               std::vector<RemoteRow> &rows)
{
    QStringList rowKeys;
    std::vector<QVariant> values;
    values.reserve(size_t(object.count()));
    for (const auto &[key, value] : object.entries()) {
        if (!isScalar(value))
            return false;
        rowKeys << key;
        values.push_back(value.toVariant());
    }
    // Rows of one answer nearly always carry the same keys: one list for all.
    if (!keys || rowKeys != *keys)
        keys = std::make_shared<const QStringList>(std::move(rowKeys));
    rows.emplace_back(keys, std::move(values));
    return true;
}

QString excerpt(const QString &body)
{
    QString text = body.simplified();
    return text.size() > 80 ? text.left(77) + QStringLiteral("...") : text;
}

} // namespace

WebAnswerRead readWebAnswer(const QString &body)
{
    WebAnswerRead read;
    const QString trimmed = body.trimmed();
    if (!trimmed.contains(u'{')) {
        if (trimmed.isEmpty() || trimmed == QLatin1String("[]") || trimmed == QLatin1String("null")) {
            read.whole = true;
            return read;
        }
        read.problem = trimmed.startsWith(u'<')
                           ? QStringLiteral("an HTML page instead of the script's answer: ") +
                                 excerpt(trimmed)
                           : QStringLiteral("not the script's answer: ") + excerpt(trimmed);
        return read;
    }
    if (trimmed.startsWith(u'<')) {
        read.problem = QStringLiteral("an HTML page instead of the script's answer: ") +
                       excerpt(trimmed);
        return read;
    }
    qsizetype end = 0;
    const json::JsonValue value = json::ParseJson(QStringView(body), &end);
    if (!json::ParserErrors().isEmpty()) {
        read.problem = QStringLiteral("the answer is not whole JSON (%1 characters): %2")
                           .arg(body.size())
                           .arg(excerpt(json::ParserErrors().section(QStringLiteral("\r\n"), 0, 0)));
        return read;
    }
    if (!QStringView(body).sliced(end).trimmed().isEmpty()) {
        read.problem = QStringLiteral("more text after the answer at character %1").arg(end + 1);
        return read;
    }
    std::shared_ptr<const QStringList> keys;
    if (value.isDictionary()) {
        if (!appendRow(value, keys, read.rows)) {
            read.problem = QStringLiteral("an object inside the answer's object");
            return read;
        }
    } else {
        read.rows.reserve(size_t(value.count()));
        for (const json::JsonValue &element : value.elements()) {
            if (!element.isDictionary() || !appendRow(element, keys, read.rows)) {
                read.rows.clear();
                read.problem = QStringLiteral("a row that is not a flat object");
                return read;
            }
        }
    }
    read.whole = true;
    return read;
}

void raiseUnaccepted(const RemoteAnswer &answer)
{
    if (answer.status != 200)
        raise(ErrNo::ProviderFailure, QStringLiteral("The server answered status %1: %2")
                                          .arg(answer.status)
                                          .arg(answer.refusal.left(300).trimmed()));
    raise(ErrNo::HttpConnectionError,
          QStringLiteral("The server's answer could not be read whole: ") + answer.refusal);
}

std::vector<RemoteRow> odbcResultRows(OdbcResult &result)
{
    std::vector<RemoteRow> rows;
    rows.reserve(size_t(result.recordCount()));
    for (; !result.eof(); result.moveNext()) {
        std::vector<QVariant> values;
        values.reserve(size_t(result.columnCount()));
        for (int i = 0; i < result.columnCount(); ++i) {
            QVariant value = result.value(i);
            // A binary column's text: as the WEB way reads an answer.
            if (value.typeId() == QMetaType::QByteArray)
                value = decodeReceivedText(value.toByteArray());
            values.push_back(std::move(value));
        }
        rows.emplace_back(std::move(values));
    }
    return rows;
}

} // namespace zelvano
