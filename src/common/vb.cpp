#include "common/vb.h"

#include "common/datetexts.h"
#include "common/error.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace zelvano::vb {

bool isNull(const QVariant &v)
{
    return v.isNull(); // an invalid variant is null too
}

QString numberText(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return QStringLiteral("0");
    if (value == 0.0)
        return QStringLiteral("0");
    char buf[64];
    // The shortest text that reads back as the same double: 812.5, not 812.5000001.
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (res.ec != std::errc())
        return QString::number(value, 'f', 6);
    return QString::fromLatin1(buf, int(res.ptr - buf));
}

QString joinText(const QVariant &v)
{
    if (isNull(v))
        return QString();
    switch (v.typeId()) {
    case QMetaType::QString:
        return *static_cast<const QString *>(v.constData());
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(v.toDouble());
    case QMetaType::QDate:
        return DateTexts::date(v.toDate());
    case QMetaType::QDateTime:
        return DateTexts::dateTime(v.toDateTime());
    case QMetaType::QTime:
        return DateTexts::time(v.toTime());
    default:
        return v.toString();
    }
}

QString toText(const QVariant &v)
{
    if (isNull(v))
        raise(ErrNo::InvalidUseOfNull);
    return joinText(v);
}

bool parseNumber(const QString &text, double *out)
{
    // On a stack buffer: every number cell of a saved trip passes through here.
    char buf[128];
    qsizetype first = 0, last = text.size();
    while (first < last && text[first].isSpace())
        ++first;
    while (last > first && text[last - 1].isSpace())
        --last;
    const qsizetype n = last - first;
    if (n == 0 || n >= qsizetype(sizeof buf))
        return false;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[first + i].unicode();
        if (c > 127)
            return false;
        buf[i] = char(c);
    }
    const char *begin = buf;
    const char *end = buf + n;
    if (*begin == '+')
        ++begin;
    double value = 0;
    auto res = std::from_chars(begin, end, value, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != end || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

double toDouble(const QVariant &v)
{
    if (isNull(v))
        raise(ErrNo::InvalidUseOfNull);
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? -1.0 : 0.0;
    // The common kinds read in place, without Qt's conversion machinery.
    case QMetaType::Int:
        return *static_cast<const int *>(v.constData());
    case QMetaType::LongLong:
        return double(*static_cast<const qlonglong *>(v.constData()));
    case QMetaType::Double:
        return *static_cast<const double *>(v.constData());
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Float:
        return v.toDouble();
    case QMetaType::QString: {
        double d = 0;
        if (parseNumber(*static_cast<const QString *>(v.constData()), &d))
            return d;
        raise(ErrNo::TypeMismatch);
    }
    case QMetaType::QByteArray: {
        double d = 0;
        if (parseNumber(v.toString(), &d))
            return d;
        raise(ErrNo::TypeMismatch);
    }
    default:
        raise(ErrNo::TypeMismatch);
    }
}

bool isStorableNumber(double value)
{
    return std::isfinite(value) && std::fabs(value) <= kLargestNumber;
}

double roundHalfEven(double value)
{
    return std::nearbyint(value); // default rounding mode is to nearest, ties to even
}

double roundHalfAway(double value)
{
    return std::round(value);
}

qint32 toLong(const QVariant &v)
{
    const double r = roundHalfEven(toDouble(v));
    // Written so that NaN fails too.
    if (!(r >= double(std::numeric_limits<qint32>::min()) &&
          r <= double(std::numeric_limits<qint32>::max())))
        raise(ErrNo::Overflow);
    return qint32(r);
}

qint16 toInteger(const QVariant &v)
{
    const double r = roundHalfEven(toDouble(v));
    if (!(r >= -32768.0 && r <= 32767.0))
        raise(ErrNo::Overflow);
    return qint16(r);
}

bool toBool(const QVariant &v)
{
    if (isNull(v))
        raise(ErrNo::InvalidUseOfNull);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return toDouble(v) != 0.0;
}

double val(const QString &text)
{
    // Collect the leading number, skipping blanks, tabs and line feeds as Val does.
    QByteArray digits;
    int i = 0;
    const int n = int(text.size());
    auto isBlank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; };
    while (i < n && isBlank(text[i]))
        ++i;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        digits.append(char(text[i].unicode()));
        ++i;
    }
    bool seenDigit = false, seenPoint = false, seenExp = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isBlank(c))
            continue;
        if (c.isDigit() && c.unicode() < 128) {
            digits.append(char(c.unicode()));
            seenDigit = true;
        } else if (c == u'.' && !seenPoint && !seenExp) {
            digits.append('.');
            seenPoint = true;
        } else if ((c == u'e' || c == u'E' || c == u'd' || c == u'D') && seenDigit && !seenExp) {
            // only an exponent when digits follow (optionally signed)
            int j = i + 1;
            while (j < n && isBlank(text[j]))
                ++j;
            QByteArray exp("e");
            if (j < n && (text[j] == u'-' || text[j] == u'+'))
                exp.append(char(text[j++].unicode()));
            if (j < n && text[j].isDigit() && text[j].unicode() < 128) {
                digits.append(exp);
                seenExp = true;
                i = j - 1;
            } else {
                break;
            }
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    const char *first = digits.constData();
    const char *last = first + digits.size();
    bool negative = false;
    if (*first == '-' || *first == '+') {
        negative = *first == '-';
        ++first;
    }
    double value = 0;
    auto res = std::from_chars(first, last, value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range)
        value = std::numeric_limits<double>::infinity();
    return negative ? -value : value;
}

std::optional<qint32> plainWholeNumber(const QString &text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    const bool negative = t.startsWith(u'-');
    if (negative || t.startsWith(u'+'))
        ++i;
    const qsizetype first = i;
    qint64 n = 0;
    for (; i < t.size() && t[i] >= u'0' && t[i] <= u'9'; ++i) {
        n = n * 10 + (t[i].unicode() - u'0');
        if (n > qint64(1) << 31)
            return std::nullopt;
    }
    if (i == first)
        return std::nullopt;
    if (i < t.size() && t[i] == u'.')
        for (++i; i < t.size() && t[i] == u'0';)
            ++i;
    if (i != t.size())
        return std::nullopt;
    n = negative ? -n : n;
    if (n > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(n);
}

bool hasInvalidText(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true;
    }
    return false;
}

QString visibleText(const QString &text)
{
    if (!hasInvalidText(text))
        return text;
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            shown += c;
            shown += text[++i];
        } else if (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF) {
            shown += QStringLiteral("\\x") + QString::number(c.unicode() - 0xDC00, 16).toUpper();
        } else if (c.isSurrogate()) {
            shown += QStringLiteral("\\u") +
                     QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0');
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace zelvano::vb
