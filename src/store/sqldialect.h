#pragma once

#include <QDate>
#include <QString>
#include <QVariant>

#include <vector>

struct sqlite3;

namespace zelvano::SqlDialect {

// Rewrites a statement of the suite's dialect into SQLite: #dd/mm/yyyy# date
// literals, "select top N", the true/false keywords as -1/0, and a function
// result compared with a quoted number compared by value.
QString translate(const QString &accessSql);

// The same translation with every literal value taken out as a "?" parameter,
// so that statements differing only in their values share one prepared
// statement. Numbers of ORDER BY and GROUP BY (column positions) stay in the
// text; statements other than select, insert, update and delete keep all values
// and are not cacheable.
struct Translated
{
    QString text;
    std::vector<QVariant> parameters;
    bool cacheable = false;
};
Translated translateWithParameters(const QString &accessSql);

// The stored form of a date: "yyyy-MM-dd", or "yyyy-MM-dd HH:mm:ss" with a time.
QString canonicalDate(const QDate &date, const QTime &time = QTime());
// Reads a date written as '07/12/2026', '2026-03-12' or '2026-03-12 00:00:00'
// (and their variants with a time); false when the text is no date.
bool parseDateText(const QString &text, QDate *date, QTime *time);

// Registers val() on a connection.
void registerFunctions(sqlite3 *db);

} // namespace zelvano::SqlDialect
