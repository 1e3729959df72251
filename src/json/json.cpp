#include "json/json.h"

#include "common/error.h"
#include "json/stringbuilder.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <charconv>
#include <string>

namespace zelvano::json {

// ---------------------------------------------------------------- JsonValue

struct JsonValue::Container
{
    std::vector<Entry> entries;
    std::vector<JsonValue> elements;
    // Built once a dictionary is wide enough that a linear look-up would cost.
    QHash<QString, qsizetype> index;
};

namespace {
constexpr std::size_t kIndexFrom = 16;

const JsonValue &emptyValue()
{
    static const JsonValue empty;
    return empty;
}
const std::vector<JsonValue::Entry> &noEntries()
{
    static const std::vector<JsonValue::Entry> none;
    return none;
}
const std::vector<JsonValue> &noElements()
{
    static const std::vector<JsonValue> none;
    return none;
}
} // namespace

JsonValue JsonValue::makeNull()
{
    JsonValue v;
    v.m_kind = Kind::Null;
    return v;
}

JsonValue JsonValue::makeBoolean(bool value)
{
    JsonValue v;
    v.m_kind = Kind::Boolean;
    v.m_bool = value;
    return v;
}

JsonValue JsonValue::makeNumber(QString text, double value)
{
    JsonValue v;
    v.m_kind = Kind::Number;
    v.m_text = std::move(text);
    v.m_number = value;
    return v;
}

JsonValue JsonValue::makeText(QString value)
{
    JsonValue v;
    v.m_kind = Kind::Text;
    v.m_text = std::move(value);
    return v;
}

JsonValue JsonValue::makeDictionary()
{
    JsonValue v;
    v.m_kind = Kind::Dictionary;
    v.m_container = std::make_shared<Container>();
    return v;
}

JsonValue JsonValue::makeCollection()
{
    JsonValue v;
    v.m_kind = Kind::Collection;
    v.m_container = std::make_shared<Container>();
    return v;
}

const JsonValue &JsonValue::item(const QString &key) const
{
    if (m_kind != Kind::Dictionary)
        return emptyValue();
    const Container &c = *m_container;
    if (!c.index.isEmpty()) {
        const auto it = c.index.constFind(key);
        return it == c.index.cend() ? emptyValue() : c.entries[std::size_t(*it)].second;
    }
    for (const Entry &e : c.entries) {
        if (e.first == key)
            return e.second;
    }
    return emptyValue();
}

const JsonValue &JsonValue::item(QStringView key) const
{
    if (m_kind != Kind::Dictionary)
        return emptyValue();
    if (!m_container->index.isEmpty())
        return item(key.toString());
    for (const Entry &e : m_container->entries) {
        if (e.first == key)
            return e.second;
    }
    return emptyValue();
}

bool JsonValue::contains(const QString &key) const
{
    if (m_kind != Kind::Dictionary)
        return false;
    const Container &c = *m_container;
    if (!c.index.isEmpty())
        return c.index.contains(key);
    for (const Entry &e : c.entries) {
        if (e.first == key)
            return true;
    }
    return false;
}

const std::vector<JsonValue::Entry> &JsonValue::entries() const
{
    return m_kind == Kind::Dictionary ? m_container->entries : noEntries();
}

const std::vector<JsonValue> &JsonValue::elements() const
{
    return m_kind == Kind::Collection ? m_container->elements : noElements();
}

qsizetype JsonValue::count() const
{
    if (m_kind == Kind::Dictionary)
        return qsizetype(m_container->entries.size());
    if (m_kind == Kind::Collection)
        return qsizetype(m_container->elements.size());
    return 0;
}

QString JsonValue::text() const
{
    switch (m_kind) {
    case Kind::Text:
    case Kind::Number:
        return m_text;
    case Kind::Boolean:
        return m_bool ? QStringLiteral("True") : QStringLiteral("False");
    default:
        return QString();
    }
}

double JsonValue::number() const
{
    if (m_kind == Kind::Number)
        return m_number;
    if (m_kind == Kind::Boolean)
        return m_bool ? -1.0 : 0.0;
    return 0.0;
}

bool JsonValue::boolean() const
{
    if (m_kind == Kind::Boolean)
        return m_bool;
    if (m_kind == Kind::Number)
        return m_number != 0.0;
    return false;
}

QVariant JsonValue::toVariant() const
{
    switch (m_kind) {
    case Kind::Text:
    case Kind::Number:
        return QVariant(m_text);
    case Kind::Boolean:
        return QVariant(m_bool);
    case Kind::Null:
        return QVariant();
    default:
        return QVariant(QString());
    }
}

bool JsonValue::insert(QString key, JsonValue value)
{
    Container &c = *m_container;
    if (!c.index.isEmpty()) {
        if (c.index.contains(key))
            return false;
        c.index.insert(key, qsizetype(c.entries.size()));
    } else {
        for (const Entry &e : c.entries) {
            if (e.first == key)
                return false;
        }
        if (c.entries.size() + 1 >= kIndexFrom) {
            c.index.reserve(qsizetype(kIndexFrom * 2));
            for (std::size_t i = 0; i < c.entries.size(); ++i)
                c.index.insert(c.entries[i].first, qsizetype(i));
            c.index.insert(key, qsizetype(c.entries.size()));
        }
    }
    c.entries.emplace_back(std::move(key), std::move(value));
    return true;
}

void JsonValue::append(JsonValue value)
{
    m_container->elements.push_back(std::move(value));
}

void JsonValue::reserve(qsizetype n)
{
    if (m_kind == Kind::Dictionary)
        m_container->entries.reserve(std::size_t(n));
    else if (m_kind == Kind::Collection)
        m_container->elements.reserve(std::size_t(n));
}

// ---------------------------------------------------------------- parser

namespace {

thread_local QString t_errors;

constexpr int kMaxDepth = 512;
constexpr long kDuplicateKey = 457;

QString duplicateKeyText()
{
    return QStringLiteral("This key is already associated with an element of this collection");
}

bool isNumberChar(char16_t c)
{
    return (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' ||
           c == u'E';
}

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The value of a number token, "." as decimal point whatever the locale.
double convertNumber(QStringView token)
{
    if (token.isEmpty())
        raise(ErrNo::TypeMismatch);
    char small[64];
    std::string large;
    char *buf = small;
    if (token.size() > qsizetype(sizeof small)) {
        large.resize(std::size_t(token.size()));
        buf = large.data();
    }
    for (qsizetype i = 0; i < token.size(); ++i)
        buf[i] = char(token[i].unicode()); // the token holds ASCII only
    const char *first = buf;
    const char *last = buf + token.size();
    if (*first == '+' && last - first > 1 && first[1] != '+' && first[1] != '-')
        ++first;
    double value = 0.0;
    const auto res = std::from_chars(first, last, value, std::chars_format::general);
    if (res.ptr != last || res.ec == std::errc::invalid_argument)
        raise(ErrNo::TypeMismatch);
    if (res.ec == std::errc::result_out_of_range) {
        // Too small to hold reads as zero; too large is an overflow.
        const std::string_view t(first, std::size_t(last - first));
        const auto e = t.find_first_of("eE");
        if (e == std::string_view::npos || e + 1 >= t.size() || t[e + 1] != '-')
            raise(ErrNo::Overflow);
        value = (*first == '-') ? -0.0 : 0.0;
    }
    return value;
}

class Parser
{
public:
    explicit Parser(QStringView text)
        : m_text(text), m_data(text.utf16()), m_len(text.size()),
          m_errorLimit(2 * text.size() + 65536)
    {
    }

    JsonValue parseTop(qsizetype &p)
    {
        skipBlanks(p);
        if (p < m_len && m_data[p] == u'{')
            return readObject(p);
        if (p < m_len && m_data[p] == u'[')
            return readArray(p);
        t_errors = QStringLiteral("Invalid JSON");
        return JsonValue();
    }

private:
    // Appends one message; past a size of a few times the input the parse stops,
    // so that garbage cannot pile up messages that each repeat the rest of it.
    void addMessage(const QString &message)
    {
        t_errors += message;
        t_errors += QLatin1String("\r\n");
        if (t_errors.size() > m_errorLimit)
            m_stop = true;
    }

    QString posText(qsizetype p) const { return QString::number(p + 1); }
    QString rest(qsizetype p) const
    {
        return p >= m_len ? QString() : m_text.sliced(p).toString();
    }
    QString next20(qsizetype p) const
    {
        return p >= m_len ? QString() : m_text.sliced(p, std::min<qsizetype>(20, m_len - p)).toString();
    }
    QString last20() const { return m_text.sliced(std::max<qsizetype>(0, m_len - 20)).toString(); }

    void skipBlanks(qsizetype &p) const
    {
        bool pending = false, comment = false, block = false;
        while (p < m_len) {
            switch (m_data[p]) {
            case u'\r':
            case u'\n':
                if (!block)
                    comment = pending = false;
                break;
            case u'\t':
            case u' ':
            case u'(':
            case u')':
                break;
            case u'/':
                if (block) {
                    if (pending)
                        block = comment = pending = false;
                } else if (pending) {
                    comment = true;
                    pending = false;
                } else {
                    comment = block = false;
                    pending = true;
                }
                break;
            case u'*':
                if (pending) {
                    comment = block = true;
                    pending = false;
                } else {
                    pending = true;
                }
                break;
            default:
                if (!comment)
                    return;
                break;
            }
            ++p;
        }
    }

    bool enter(qsizetype p)
    {
        if (m_depth >= kMaxDepth) {
            addMessage(QStringLiteral("Nesting deeper than %1 levels at position %2")
                           .arg(kMaxDepth)
                           .arg(p + 1));
            m_stop = true;
            return false;
        }
        ++m_depth;
        return true;
    }

    JsonValue readObject(qsizetype &p)
    {
        JsonValue dict = JsonValue::makeDictionary();
        skipBlanks(p);
        if (p >= m_len || m_data[p] != u'{') {
            addMessage(QStringLiteral("Invalid Object at position ") + posText(p) +
                       QStringLiteral(" : ") + rest(p));
            return dict;
        }
        if (!enter(p))
            return dict;
        ++p;
        while (!m_stop) {
            skipBlanks(p);
            if (p < m_len && m_data[p] == u'}') {
                ++p;
                break;
            }
            if (p < m_len && m_data[p] == u',') {
                ++p;
                skipBlanks(p);
            } else if (p >= m_len) {
                addMessage(QStringLiteral("Missing '}': ") + last20());
                break;
            }
            QString key = readKey(p);
            try {
                JsonValue value = readValue(p);
                if (!dict.insert(key, std::move(value)))
                    raise(kDuplicateKey, duplicateKeyText());
            } catch (const AppError &error) {
                addMessage(error.description() + QStringLiteral(": ") + key);
                break;
            }
        }
        --m_depth;
        return dict;
    }

    JsonValue readArray(qsizetype &p)
    {
        JsonValue list = JsonValue::makeCollection();
        skipBlanks(p);
        if (p >= m_len || m_data[p] != u'[') {
            addMessage(QStringLiteral("Invalid Array at position ") + posText(p) +
                       QStringLiteral(" : ") + next20(p));
            return list;
        }
        if (!enter(p))
            return list;
        ++p;
        while (!m_stop) {
            skipBlanks(p);
            if (p < m_len && m_data[p] == u']') {
                ++p;
                break;
            }
            if (p < m_len && m_data[p] == u',') {
                ++p;
                skipBlanks(p);
            } else if (p >= m_len) {
                addMessage(QStringLiteral("Missing ']': ") + last20());
                break;
            }
            const qsizetype before = p;
            try {
                list.append(readValue(p));
            } catch (const AppError &error) {
                addMessage(error.description() + QStringLiteral(": ") + next20(p));
                break;
            }
            // A value that consumed nothing (an invalid true/false/null) would be
            // read again and again: it ends the array.
            if (p == before && p < m_len)
                break;
        }
        --m_depth;
        return list;
    }

    JsonValue readValue(qsizetype &p)
    {
        skipBlanks(p);
        if (p >= m_len)
            return readNumber(p);
        switch (m_data[p]) {
        case u'{':
            return readObject(p);
        case u'[':
            return readArray(p);
        case u'"':
        case u'\'':
            return JsonValue::makeText(readString(p));
        case u't':
        case u'f':
            return readBoolean(p);
        case u'n':
            return readNull(p);
        default:
            return readNumber(p);
        }
    }

    QString readString(qsizetype &p)
    {
        skipBlanks(p);
        if (p >= m_len)
            return QString();
        const char16_t delimiter = m_data[p];
        ++p;
        // Most texts hold no escape: take them in one piece.
        qsizetype q = p;
        while (q < m_len && m_data[q] != delimiter && m_data[q] != u'\\')
            ++q;
        if (q >= m_len || m_data[q] == delimiter) {
            QString text(reinterpret_cast<const QChar *>(m_data + p), q - p);
            p = q < m_len ? q + 1 : q;
            return text;
        }
        // The text is never longer than its escaped form: one chunk of that size
        // holds it, so the builder allocates once.
        qsizetype bound = q;
        while (bound < m_len && m_data[bound] != delimiter)
            bound += m_data[bound] == u'\\' ? 2 : 1;
        cStringBuilder sb;
        sb.ChunkSize(qint32(std::clamp<qsizetype>(bound - p, 16, 1 << 28)));
        sb.Append(m_text.sliced(p, q - p));
        p = q;
        while (p < m_len) {
            const char16_t c = m_data[p];
            if (c == u'\\') {
                ++p;
                if (p >= m_len)
                    break;
                switch (m_data[p]) {
                case u'"':
                case u'\\':
                case u'/':
                case u'\'':
                    sb.Append(QChar(m_data[p]));
                    ++p;
                    break;
                case u'b':
                    sb.Append(QChar(8));
                    ++p;
                    break;
                case u'f':
                    sb.Append(QChar(12));
                    ++p;
                    break;
                case u'n':
                    sb.Append(QChar(10));
                    ++p;
                    break;
                case u'r':
                    sb.Append(QChar(13));
                    ++p;
                    break;
                case u't':
                    sb.Append(QChar(9));
                    ++p;
                    break;
                case u'u': {
                    // Up to four hexadecimal digits; the position moves past four
                    // characters in any case.
                    unsigned value = 0;
                    for (qsizetype i = p + 1; i < std::min(p + 5, m_len); ++i) {
                        const int d = hexDigit(m_data[i]);
                        if (d < 0)
                            break;
                        value = value * 16 + unsigned(d);
                    }
                    sb.Append(QChar(char16_t(value & 0xFFFF)));
                    p = std::min(p + 5, m_len);
                    break;
                }
                default:
                    // The backslash is dropped; the letter is read as it stands.
                    break;
                }
                continue;
            }
            if (c == delimiter) {
                ++p;
                return sb.toString();
            }
            qsizetype run = p + 1;
            while (run < m_len && m_data[run] != delimiter && m_data[run] != u'\\')
                ++run;
            // A "\u" can swallow the quote the bound stopped at: grow geometrically then.
            if (sb.Capacity() - sb.Length() < run - p)
                sb.ChunkSize(qint32(std::min<qsizetype>(sb.Capacity() + (run - p), 1 << 28)));
            sb.Append(m_text.sliced(p, run - p));
            p = run;
        }
        return sb.toString();
    }

    JsonValue readNumber(qsizetype &p)
    {
        skipBlanks(p);
        const qsizetype start = p;
        while (p < m_len && isNumberChar(m_data[p]))
            ++p;
        if (p >= m_len)
            return JsonValue(); // the token runs to the end: no number
        const QStringView token = m_text.sliced(start, p - start);
        const double value = convertNumber(token);
        return JsonValue::makeNumber(token.toString(), value);
    }

    bool matches(qsizetype p, QStringView word) const
    {
        return m_len - p >= word.size() && m_text.sliced(p, word.size()) == word;
    }

    JsonValue readBoolean(qsizetype &p)
    {
        skipBlanks(p);
        if (matches(p, u"true")) {
            p += 4;
            return JsonValue::makeBoolean(true);
        }
        if (matches(p, u"false")) {
            p += 5;
            return JsonValue::makeBoolean(false);
        }
        addMessage(QStringLiteral("Invalid Boolean at position ") + posText(p) +
                   QStringLiteral(" : ") + rest(p));
        return JsonValue::makeBoolean(false);
    }

    JsonValue readNull(qsizetype &p)
    {
        skipBlanks(p);
        if (matches(p, u"null")) {
            p += 4;
            return JsonValue::makeNull();
        }
        addMessage(QStringLiteral("Invalid null value at position ") + posText(p) +
                   QStringLiteral(" : ") + rest(p));
        return JsonValue();
    }

    static bool isBlank(char16_t c) { return c == u'\r' || c == u'\n' || c == u'\t' || c == u' '; }

    QString readKey(qsizetype &p)
    {
        skipBlanks(p);
        // The usual "name": in one piece.
        if (p < m_len && m_data[p] == u'"') {
            qsizetype q = p + 1;
            while (q < m_len) {
                const char16_t c = m_data[q];
                if (c == u'"' || c == u'\'' || c == u':' || isBlank(c))
                    break;
                ++q;
            }
            if (q < m_len && m_data[q] == u'"') {
                qsizetype after = q + 1;
                skipBlanks(after);
                if (after < m_len && m_data[after] == u':') {
                    QString key(reinterpret_cast<const QChar *>(m_data + p + 1), q - p - 1);
                    p = after + 1;
                    return key;
                }
            }
        }
        QVarLengthArray<char16_t, 64> key;
        bool inDouble = false, inSingle = false;
        const auto keyText = [&key] {
            return QString(reinterpret_cast<const QChar *>(key.constData()), key.size());
        };
        while (p < m_len) {
            const char16_t c = m_data[p];
            if (c == u'"' || c == u'\'') {
                ++p;
                bool &flag = c == u'"' ? inDouble : inSingle;
                flag = !flag;
                if (!flag) {
                    skipBlanks(p);
                    if (p < m_len && m_data[p] != u':') {
                        addMessage(QStringLiteral("Invalid Key at position ") + posText(p) +
                                   QStringLiteral(" : ") + keyText());
                        return keyText();
                    }
                }
            } else if (c == u':') {
                ++p;
                if (!inDouble && !inSingle)
                    return keyText();
                key.append(c);
            } else {
                ++p;
                if (!isBlank(c))
                    key.append(c);
            }
        }
        return keyText();
    }

    QStringView m_text;
    const char16_t *m_data;
    qsizetype m_len;
    qsizetype m_errorLimit;
    int m_depth = 0;
    bool m_stop = false;
};

} // namespace

JsonValue ParseJson(QStringView text, qsizetype *end)
{
    t_errors.clear();
    Parser parser(text);
    qsizetype p = 0;
    JsonValue result = parser.parseTop(p);
    if (end)
        *end = p;
    return result;
}

JsonValue ParseJson(const QString &text)
{
    return ParseJson(QStringView(text), nullptr);
}

QString ParserErrors()
{
    return t_errors;
}

// ---------------------------------------------------------------- canonical text

namespace {

void writeString(QString &out, const QString &s)
{
    out += u'"';
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        switch (c) {
        case u'"':
            out += QLatin1String("\\\"");
            break;
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case u'\t':
            out += QLatin1String("\\t");
            break;
        default: {
            const bool high = QChar::isHighSurrogate(c);
            const bool low = QChar::isLowSurrogate(c);
            const bool paired = (high && i + 1 < s.size() && s[i + 1].isLowSurrogate()) ||
                                (low && i > 0 && s[i - 1].isHighSurrogate());
            // Control characters and lone surrogates would not survive UTF-8.
            if (c < 0x20 || ((high || low) && !paired))
                out += QStringLiteral("\\u%1").arg(unsigned(c), 4, 16, QLatin1Char('0'));
            else
                out += QChar(c);
        }
        }
    }
    out += u'"';
}

void writeValue(QString &out, const JsonValue &v)
{
    switch (v.kind()) {
    case JsonValue::Kind::Empty:
        out += QLatin1String("\"<empty>\"");
        break;
    case JsonValue::Kind::Null:
        out += QLatin1String("null");
        break;
    case JsonValue::Kind::Boolean:
        out += v.boolean() ? QLatin1String("true") : QLatin1String("false");
        break;
    case JsonValue::Kind::Number:
        out += v.text();
        break;
    case JsonValue::Kind::Text:
        writeString(out, v.text());
        break;
    case JsonValue::Kind::Dictionary: {
        out += u'{';
        bool first = true;
        for (const auto &[key, value] : v.entries()) {
            if (!first)
                out += u',';
            first = false;
            writeString(out, key);
            out += u':';
            writeValue(out, value);
        }
        out += u'}';
        break;
    }
    case JsonValue::Kind::Collection: {
        out += u'[';
        bool first = true;
        for (const JsonValue &e : v.elements()) {
            if (!first)
                out += u',';
            first = false;
            writeValue(out, e);
        }
        out += u']';
        break;
    }
    }
}

} // namespace

QString toCanonicalJson(const JsonValue &value)
{
    QString out;
    writeValue(out, value);
    return out;
}

} // namespace zelvano::json
