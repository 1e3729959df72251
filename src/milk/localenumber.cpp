#include "milk/localenumber.h"

#include <QString>

#include <charconv>
#include <cmath>
#include <string>

namespace zelvano {

namespace {

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= '0' && c.unicode() <= '9';
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

} // namespace

QChar importDecimalMark(const QString &localeDecimalSeparator)
{
    return localeDecimalSeparator == QLatin1String(".") ? QChar(u'.') : QChar(u',');
}

bool readLocaleNumber(QStringView text, QChar decimalMark, double *out)
{
    const QChar grouping = decimalMark == u'.' ? QChar(u',') : QChar(u'.');
    qsizetype i = 0, n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    while (n > i && isBlank(text[n - 1]))
        --n;

    // Rebuilt in the neutral form that from_chars reads: digits, ".", "e".
    std::string neutral;
    neutral.reserve(size_t(n - i) + 1);
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            neutral.push_back('-');
        ++i;
    }
    bool intDigits = false, fracDigits = false;
    while (i < n) {
        const QChar c = text[i];
        if (isAsciiDigit(c)) {
            neutral.push_back(char(c.unicode()));
            intDigits = true;
        } else if (c == grouping && intDigits && i + 1 < n && isAsciiDigit(text[i + 1])) {
            // a grouping mark between digits: ignored
        } else {
            break;
        }
        ++i;
    }
    if (i < n && text[i] == decimalMark) {
        neutral.push_back('.');
        ++i;
        while (i < n && isAsciiDigit(text[i])) {
            neutral.push_back(char(text[i].unicode()));
            fracDigits = true;
            ++i;
        }
    }
    if (!intDigits && !fracDigits)
        return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        neutral.push_back('e');
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            neutral.push_back(char(text[i].unicode()));
            ++i;
        }
        bool expDigits = false;
        while (i < n && isAsciiDigit(text[i])) {
            neutral.push_back(char(text[i].unicode()));
            expDigits = true;
            ++i;
        }
        if (!expDigits)
            return false;
    }
    if (i != n)
        return false;

    double value = 0;
    const char *first = neutral.data();
    const char *last = first + neutral.size();
    const bool negative = *first == '-';
    if (negative)
        ++first;
    const auto res = std::from_chars(first, last, value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != last || !std::isfinite(value))
        return false;
    *out = negative ? -value : value;
    return true;
}

} // namespace zelvano
