#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

class QVariant;

namespace zelvano {

// The one place that decides how dates and times become text: day-first short
// dates and 24-hour times, whatever the desktop's regional settings say.
namespace DateTexts {

inline constexpr const char *kDateFormat = "dd/MM/yyyy";
inline constexpr const char *kTimeFormat = "HH:mm:ss";

QString date(const QDate &d);         // 07/12/2026; an invalid date gives ""
QString time(const QTime &t);         // 14:05:09
QString dateTime(const QDateTime &dt); // "07/12/2026 14:05:09", the time left out at midnight

// Reads "dd/MM/yyyy" (one- or two-digit day and month), "yyyy-MM-dd" and
// "yyyyMMdd"; an invalid date when none fits.
QDate parseDate(const QString &text);

// Reads "H:mm", "HH:mm" and "HH:mm:ss", also in 12-hour form ("7:30 PM",
// "07:30:00 p.m.", "12:00 AM" is midnight); an invalid time when none fits.
QTime parseTime(const QString &text);

// Formats a value as a time of day with mask "HH:mm": a text holding a time
// is read as that time; anything unreadable or empty gives "".
QString hoursMinutes(const QVariant &value);

} // namespace DateTexts
} // namespace zelvano
