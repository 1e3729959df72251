#include "store/sqldialect.h"

#include "common/vb.h"

#include <QRegularExpression>

#include <cmath>

#include <sqlite3.h>

namespace zelvano::SqlDialect {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

bool isComparison(const QString &op)
{
    return op == u"=" || op == u"<>" || op == u"<" || op == u">" || op == u"<=" || op == u">=" ||
           op == u"!=";
}

} // namespace

QString canonicalDate(const QDate &date, const QTime &time)
{
    if (!date.isValid())
        return QString();
    QString s = date.toString(QStringLiteral("yyyy-MM-dd"));
    if (time.isValid() && time != QTime(0, 0))
        s += QLatin1Char(' ') + time.toString(QStringLiteral("HH:mm:ss"));
    return s;
}

bool parseDateText(const QString &text, QDate *date, QTime *time)
{
    static const QRegularExpression dayFirst(QStringLiteral(
        R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4})(?:\s+(\d{1,2}):(\d{2})(?::(\d{2}))?)?\s*$)"));
    static const QRegularExpression iso(QStringLiteral(
        R"(^\s*(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{2})(?::(\d{2}))?(?:\.\d*)?)?\s*$)"));
    int y = 0, m = 0, d = 0;
    QRegularExpressionMatch match = dayFirst.match(text);
    if (match.hasMatch()) {
        d = match.captured(1).toInt();
        m = match.captured(2).toInt();
        y = match.captured(3).toInt();
    } else {
        match = iso.match(text);
        if (!match.hasMatch())
            return false;
        y = match.captured(1).toInt();
        m = match.captured(2).toInt();
        d = match.captured(3).toInt();
    }
    const QDate parsed(y, m, d);
    if (!parsed.isValid())
        return false;
    QTime t(0, 0);
    if (!match.captured(4).isEmpty()) {
        t = QTime(match.captured(4).toInt(), match.captured(5).toInt(),
                  match.captured(6).isEmpty() ? 0 : match.captured(6).toInt());
        if (!t.isValid())
            return false;
    }
    *date = parsed;
    if (time)
        *time = t;
    return true;
}

namespace {

bool isDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

// One pass over a statement: the dialect's constructs rewritten and, when asked,
// every literal value taken out as a parameter, so that statements that differ
// only in their values share one prepared statement.
class Translator
{
public:
    Translator(const QString &sql, bool parameterize) : m_sql(sql), m_parameterize(parameterize) {}

    Translated run();

private:
    void literal(const QString &sqlText, const QVariant &value);
    void word(QStringView w, int end);

    const QString &m_sql;
    bool m_parameterize;
    Translated m_result;
    QString &out() { return m_result.text; }

    QString m_lastOperator;       // the comparison just seen, if nothing else came since
    bool m_afterFunctionCall = false;
    bool m_lastWasCloseParen = false;
    bool m_afterOrderOrGroup = false; // the word just seen was ORDER or GROUP
    int m_depth = 0;
    int m_orderDepth = -1;        // inside ORDER BY / GROUP BY at this depth: numbers are positions
};

void Translator::literal(const QString &sqlText, const QVariant &value)
{
    if (m_parameterize && m_orderDepth < 0) {
        out() += u'?';
        m_result.parameters.push_back(value);
    } else {
        out() += sqlText;
    }
    m_lastOperator.clear();
    m_lastWasCloseParen = false;
    m_afterOrderOrGroup = false;
}

void Translator::word(QStringView w, int end)
{
    const int start = end - int(w.size());
    const bool standalone = (start == 0 || m_sql[start - 1] != u'.') &&
                            (end >= m_sql.size() || m_sql[end] != u'(');
    auto is = [&](const char16_t *keyword) { return w.compare(keyword, Qt::CaseInsensitive) == 0; };
    if (standalone && is(u"true")) {
        literal(QStringLiteral("-1"), qlonglong(-1));
        return;
    }
    if (standalone && is(u"false")) {
        literal(QStringLiteral("0"), qlonglong(0));
        return;
    }
    out() += w;
    const bool orderOrGroup = is(u"order") || is(u"group");
    if (m_afterOrderOrGroup && is(u"by"))
        m_orderDepth = m_depth;
    else if (m_orderDepth == m_depth && (is(u"limit") || is(u"having") || is(u"union") || is(u"offset")))
        m_orderDepth = -1;
    m_afterOrderOrGroup = orderOrGroup;
    m_lastOperator.clear();
    m_lastWasCloseParen = false;
}

Translated Translator::run()
{
    const int n = int(m_sql.size());
    out().reserve(m_sql.size() + 16);
    QString limit;

    // "select top N" at the head of the statement becomes a LIMIT at its end.
    static const QRegularExpression top(
        QStringLiteral(R"(^(\s*select\s+(?:distinct\s+)?)top\s+(\d+)\s+)"),
        QRegularExpression::CaseInsensitiveOption);
    int start = 0;
    if (auto m = top.match(m_sql); m.hasMatch()) {
        out() += m.captured(1);
        limit = m.captured(2);
        start = int(m.capturedEnd(0));
    }
    if (m_parameterize) {
        // Values are parameters only in statements that take them.
        static const QRegularExpression dml(QStringLiteral(R"(^\s*(select|insert|update|delete)\s)"),
                                            QRegularExpression::CaseInsensitiveOption);
        m_parameterize = dml.match(m_sql).hasMatch();
        m_result.cacheable = m_parameterize;
    }

    for (int i = start; i < n;) {
        const QChar c = m_sql[i];
        if (c == u'\'') {
            // A string literal, with '' inside it.
            int j = i + 1;
            QString content;
            while (j < n) {
                if (m_sql[j] == u'\'') {
                    if (j + 1 < n && m_sql[j + 1] == u'\'') {
                        content += u'\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                content += m_sql[j];
                ++j;
            }
            const int end = qMin(j + 1, n);
            double number = 0;
            if (!m_lastOperator.isEmpty() && m_afterFunctionCall && vb::parseNumber(content, &number)) {
                // val(id) = '7' compares by value
                if (number == double(qint64(number)) && std::abs(number) < 9.0e15)
                    literal(vb::numberText(number), qlonglong(number));
                else
                    literal(vb::numberText(number), number);
            } else {
                literal(m_sql.mid(i, end - i), content);
            }
            i = end;
            continue;
        }
        if (c == u'"' || c == u'[' || c == u'`') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            int j = m_sql.indexOf(close, i + 1);
            if (j < 0)
                j = n - 1;
            // Bracketed names become double-quoted identifiers.
            if (c == u'[')
                out() += u'"' + m_sql.mid(i + 1, j - i - 1) + u'"';
            else
                out() += QStringView(m_sql).mid(i, j - i + 1);
            i = j + 1;
            m_lastOperator.clear();
            m_lastWasCloseParen = false;
            continue;
        }
        if (c == u'#') {
            const int j = m_sql.indexOf(u'#', i + 1);
            if (j > i) {
                QDate d;
                QTime t;
                const QString inner = m_sql.mid(i + 1, j - i - 1);
                if (parseDateText(inner, &d, &t)) {
                    const QString canonical = canonicalDate(d, t);
                    literal(QLatin1Char('\'') + canonical + QLatin1Char('\''), canonical);
                } else {
                    out() += m_sql.mid(i, j - i + 1);
                }
                i = j + 1;
                continue;
            }
        }
        if (isDigit(c) || (c == u'.' && i + 1 < n && isDigit(m_sql[i + 1]))) {
            const bool partOfName = i > 0 && isWordChar(m_sql[i - 1]);
            int j = i;
            while (j < n && (isDigit(m_sql[j]) || m_sql[j] == u'.'))
                ++j;
            if (j < n && (m_sql[j] == u'e' || m_sql[j] == u'E')) {
                int k = j + 1;
                if (k < n && (m_sql[k] == u'+' || m_sql[k] == u'-'))
                    ++k;
                if (k < n && isDigit(m_sql[k])) {
                    j = k;
                    while (j < n && isDigit(m_sql[j]))
                        ++j;
                }
            }
            if (!partOfName && (j >= n || !isWordChar(m_sql[j]))) {
                const QString text = m_sql.mid(i, j - i);
                bool isInteger = false;
                const qlonglong whole = text.toLongLong(&isInteger);
                double real = 0;
                if (isInteger)
                    literal(text, whole);
                else if (vb::parseNumber(text, &real))
                    literal(text, real);
                else
                    out() += text;
                i = j;
                continue;
            }
        }
        if (isWordChar(c)) {
            int j = i;
            while (j < n && isWordChar(m_sql[j]))
                ++j;
            word(QStringView(m_sql).mid(i, j - i), j);
            i = j;
            continue;
        }
        if (c == u'=' || c == u'<' || c == u'>' || c == u'!') {
            int j = i + 1;
            if (j < n && (m_sql[j] == u'=' || m_sql[j] == u'>'))
                ++j;
            const QString op = m_sql.mid(i, j - i);
            out() += op;
            if (isComparison(op)) {
                m_lastOperator = op;
                m_afterFunctionCall = m_lastWasCloseParen;
            }
            m_lastWasCloseParen = false;
            m_afterOrderOrGroup = false;
            i = j;
            continue;
        }
        if (c == u'(')
            ++m_depth;
        if (c == u')') {
            --m_depth;
            if (m_orderDepth > m_depth)
                m_orderDepth = -1;
        }
        if (!c.isSpace()) {
            m_lastOperator.clear();
            m_lastWasCloseParen = c == u')';
            m_afterOrderOrGroup = false;
        }
        out() += c;
        ++i;
    }

    if (!limit.isEmpty()) {
        // Before a closing ";" and trailing blanks.
        int end = int(out().size());
        while (end > 0 && (out()[end - 1].isSpace() || out()[end - 1] == u';'))
            --end;
        out().insert(end, QStringLiteral(" LIMIT ") + limit);
    }
    return std::move(m_result);
}

} // namespace

QString translate(const QString &sql)
{
    return Translator(sql, false).run().text;
}

Translated translateWithParameters(const QString &sql)
{
    return Translator(sql, true).run();
}

namespace {

void valFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (argc != 1)
        return sqlite3_result_null(ctx);
    switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL:
        return sqlite3_result_null(ctx);
    case SQLITE_INTEGER:
        return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
    case SQLITE_FLOAT:
        return sqlite3_result_double(ctx, sqlite3_value_double(argv[0]));
    default: {
        const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
        const double v = vb::val(QString::fromUtf8(text ? text : ""));
        if (v == double(qint64(v)) && v > -9.0e18 && v < 9.0e18)
            return sqlite3_result_int64(ctx, qint64(v));
        return sqlite3_result_double(ctx, v);
    }
    }
}

} // namespace

void registerFunctions(sqlite3 *db)
{
    sqlite3_create_function_v2(db, "val", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               valFunction, nullptr, nullptr, nullptr);
}

} // namespace zelvano::SqlDialect
