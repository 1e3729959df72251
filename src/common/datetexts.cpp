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
    static const QRegularExpression hms(
        QStringLiteral(R"(^\s*(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?(?:\.\d+)?\s*$)"));
    auto m = hms.match(text);
    if (!m.hasMatch())
        return QTime();
    return QTime(m.captured(1).toInt(), m.captured(2).toInt(),
                 m.captured(3).isEmpty() ? 0 : m.captured(3).toInt());
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
