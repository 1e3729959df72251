#include "store/sqldialect.h"

#include "common/vb.h"

#include <QRegularExpression>

#include <sqlite3.h>

namespace zelvano::SqlDialect {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// "#30/11/2026#" -> "'2026-11-30'"; anything else between "#" stays as written.
QString dateLiteral(const QString &inner)
{
    QDate d;
    QTime t;
    if (parseDateText(inner, &d, &t))
        return QLatin1Char('\'') + canonicalDate(d, t) + QLatin1Char('\'');
    return QLatin1Char('#') + inner + QLatin1Char('#');
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

QString translate(const QString &sql)
{
    QString out;
    out.reserve(sql.size() + 16);
    const int n = int(sql.size());
    QString limit;

    // "select top N" at the head of the statement becomes a LIMIT at its end.
    static const QRegularExpression top(
        QStringLiteral(R"(^(\s*select\s+(?:distinct\s+)?)top\s+(\d+)\s+)"),
        QRegularExpression::CaseInsensitiveOption);
    int start = 0;
    if (auto m = top.match(sql); m.hasMatch()) {
        out += m.captured(1);
        limit = m.captured(2);
        start = int(m.capturedEnd(0));
    }

    QString lastOperator; // the comparison operator just seen, if nothing else came since
    bool afterFunctionCall = false; // the operand before that operator ended with ")"
    bool lastWasCloseParen = false;

    for (int i = start; i < n;) {
        const QChar c = sql[i];
        if (c == u'\'') {
            // A string literal, with '' inside it.
            int j = i + 1;
            QString content;
            while (j < n) {
                if (sql[j] == u'\'') {
                    if (j + 1 < n && sql[j + 1] == u'\'') {
                        content += u'\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                content += sql[j];
                ++j;
            }
            const int end = qMin(j + 1, n);
            double number = 0;
            if (!lastOperator.isEmpty() && afterFunctionCall && vb::parseNumber(content, &number))
                out += vb::numberText(number); // val(id) = '7' compares by value
            else
                out += QStringView(sql).mid(i, end - i);
            i = end;
            lastOperator.clear();
            lastWasCloseParen = false;
            continue;
        }
        if (c == u'"' || c == u'[' || c == u'`') {
            const QChar close = c == u'[' ? QChar(u']') : c;
            int j = sql.indexOf(close, i + 1);
            if (j < 0)
                j = n - 1;
            // Bracketed names become double-quoted identifiers.
            if (c == u'[')
                out += u'"' + sql.mid(i + 1, j - i - 1) + u'"';
            else
                out += QStringView(sql).mid(i, j - i + 1);
            i = j + 1;
            lastOperator.clear();
            lastWasCloseParen = false;
            continue;
        }
        if (c == u'#') {
            const int j = sql.indexOf(u'#', i + 1);
            if (j > i) {
                out += dateLiteral(sql.mid(i + 1, j - i - 1));
                i = j + 1;
                lastOperator.clear();
                lastWasCloseParen = false;
                continue;
            }
        }
        if (isWordChar(c)) {
            int j = i;
            while (j < n && isWordChar(sql[j]))
                ++j;
            const QStringView word = QStringView(sql).mid(i, j - i);
            const bool standalone = (i == 0 || sql[i - 1] != u'.') && (j >= n || sql[j] != u'(');
            if (standalone && word.compare(u"true", Qt::CaseInsensitive) == 0)
                out += QLatin1String("-1");
            else if (standalone && word.compare(u"false", Qt::CaseInsensitive) == 0)
                out += QLatin1String("0");
            else
                out += word;
            i = j;
            lastOperator.clear();
            lastWasCloseParen = false;
            continue;
        }
        if (c == u'=' || c == u'<' || c == u'>' || c == u'!') {
            int j = i + 1;
            if (j < n && (sql[j] == u'=' || sql[j] == u'>'))
                ++j;
            const QString op = sql.mid(i, j - i);
            out += op;
            if (isComparison(op)) {
                lastOperator = op;
                afterFunctionCall = lastWasCloseParen;
            }
            lastWasCloseParen = false;
            i = j;
            continue;
        }
        if (!c.isSpace()) {
            lastOperator.clear();
            lastWasCloseParen = c == u')';
        }
        out += c;
        ++i;
    }

    if (!limit.isEmpty()) {
        // Before a closing ";" and trailing blanks.
        int end = int(out.size());
        while (end > 0 && (out[end - 1].isSpace() || out[end - 1] == u';'))
            --end;
        out.insert(end, QStringLiteral(" LIMIT ") + limit);
    }
    return out;
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
