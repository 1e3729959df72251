#include "common/datetexts.h"

#include <QRegularExpression>
#include <QVariant>

namespace zelvano::DateTexts {

QString date(const QDate &d)
{
    return d.isValid() ? d.toString(QLatin1String(kDateFormat)) : QString();
}

QString time(const QTime &t)
{
    return t.isValid() ? t.toString(QLatin1String(kTimeFormat)) : QString();
}

QString dateTime(const QDateTime &dt)
{
    if (!dt.isValid())
        return QString();
    if (dt.time() == QTime(0, 0))
        return date(dt.date());
    return date(dt.date()) + QLatin1Char(' ') + time(dt.time());
}

QDate parseDate(const QString &text)
{
    static const QRegularExpression dayFirst(
        QStringLiteral(R"(^\s*(\d{1,2})/(\d{1,2})/(\d{4})(?:\s.*)?$)"));
    static const QRegularExpression iso(QStringLiteral(R"(^\s*(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T].*)?$)"));
    static const QRegularExpression compact(QStringLiteral(R"(^\s*(\d{4})(\d{2})(\d{2})\s*$)"));
    if (auto m = dayFirst.match(text); m.hasMatch())
        return QDate(m.captured(3).toInt(), m.captured(2).toInt(), m.captured(1).toInt());
    if (auto m = iso.match(text); m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (auto m = compact.match(text); m.hasMatch())
        return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return QDate();
}

QTime parseTime(const QString &text)
{
    // By hand: every load and unload a save writes reads its time through here.
    // Accepts blanks, H:M, H:M:S and a fraction of a second, one or two digits each.
    const char16_t *p = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *const end = p + text.size();
    const auto blank = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    const auto digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    const auto number = [&](int *out) {
        if (p == end || !digit(*p))
            return false;
        int n = *p++ - u'0';
        if (p != end && digit(*p))
            n = n * 10 + (*p++ - u'0');
        *out = n;
        return true;
    };
    while (p != end && blank(*p))
        ++p;
    int h = 0, m = 0, s = 0;
    if (!number(&h) || p == end || *p++ != u':' || !number(&m))
        return QTime();
    if (p != end && *p == u':' && (++p, !number(&s)))
        return QTime();
    if (p != end && *p == u'.') {
        if (++p == end || !digit(*p))
            return QTime();
        while (p != end && digit(*p))
            ++p;
    }
    while (p != end && blank(*p))
        ++p;
    // A 12-hour form: "AM"/"PM", "a.m."/"p.m.", "a. m." in any letter case.
    if (p != end && (*p == u'a' || *p == u'A' || *p == u'p' || *p == u'P')) {
        const bool pm = *p == u'p' || *p == u'P';
        ++p;
        if (p != end && *p == u'.')
            ++p;
        while (p != end && blank(*p))
            ++p;
        if (p == end || (*p != u'm' && *p != u'M'))
            return QTime();
        ++p;
        if (p != end && *p == u'.')
            ++p;
        while (p != end && blank(*p))
            ++p;
        // 12 AM is midnight, 12 PM noon; an hour past 12 already means itself.
        if (h == 12 && !pm)
            h = 0;
        else if (h < 12 && pm)
            h += 12;
    }
    return p == end ? QTime(h, m, s) : QTime();
}

QString hoursMinutes(const QVariant &value)
{
    QTime t;
    if (value.typeId() == QMetaType::QTime)
        t = value.toTime();
    else if (value.typeId() == QMetaType::QDateTime)
        t = value.toDateTime().time();
    else if (!value.isNull() && value.isValid()) {
        const QString s = value.toString().trimmed();
        t = parseTime(s);
        if (!t.isValid()) {
            // "07/12/2026 07:30:00" and the like: the time after the blank
            const int blank = s.indexOf(QLatin1Char(' '));
            if (blank > 0)
                t = parseTime(s.mid(blank + 1));
        }
    }
    return t.isValid() ? t.toString(QStringLiteral("HH:mm")) : QString();
}

} // namespace zelvano::DateTexts
