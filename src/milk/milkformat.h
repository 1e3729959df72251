#pragma once

#include "milk/milkgroup.h"

#include <QChar>
#include <QDate>
#include <QString>

namespace zelvano {

// Cuts the fields of one line as the export is read: each field ends at the
// next split mark, and the rest of the line goes on after the mark's first
// character. A field whose mark is missing is not cut, and the rest stays as
// it was.
class FieldCutter
{
public:
    FieldCutter(QString line, const QString &splitMark, QChar decimalMark)
        : m_rest(std::move(line)), m_splitMark(splitMark), m_decimalMark(decimalMark)
    {
    }

    // A field up to the next mark; false (nothing cut) when no mark follows.
    bool cut(QString *field);
    // A number field: read from a copy of the rest written with the locale's
    // decimal mark; the last field of a line may run to its end.
    bool cutNumber(bool last, bool *isNumber, double *value);
    // The heads: converted as written, under the locale.
    bool cutPlainNumber(bool *isNumber, double *value);

private:
    QString m_rest;
    const QString &m_splitMark;
    const QChar m_decimalMark;
};

// What one data line of an export gave.
enum class MilkLine {
    End,        // the data ends before this line
    Group,      // a group with its row
    EmptyGroup, // a group nobody was milked in: no row
    LeftOut,    // a number missing or not a number
};

// The export of one dairy program: which files it writes, what a reading is
// called after it, and how its data lines read. One class per program; the
// setting chooses one in milkFormat(), and nothing else asks which it is.
class MilkFormat
{
public:
    virtual ~MilkFormat() = default;

    // The value of the import software setting that chooses it ("delpro").
    virtual QString setting() const = 0;
    // The source of its readings ("Delpro").
    virtual QString source() const = 0;
    // The wildcard pattern of its files, from the file-name stem of the settings.
    virtual QString pattern(const QString &stem) const = 0;
    // The name a read file gets; stamp is the day and time of the reading,
    // fit for a file name.
    virtual QString readName(const QString &name, const QString &stamp) const = 0;
    // The day a reading is stored under.
    virtual QDate readingDay(const QString &fileName, const QString &stem,
                             const QDate &changedOn) const = 0;
    // A line (quotes and blanks removed, not empty) that ends the data before it is cut.
    virtual bool endsData(const QString &line) const = 0;
    // One data line. code and unused keep the value of the line before when
    // their mark is missing; *row is filled for a Group.
    virtual MilkLine readLine(FieldCutter &fields, QString &code, QString &unused,
                              MilkGroup *row) const = 0;
};

// The format the import software setting names (exact, case-sensitive), or none.
const MilkFormat *milkFormat(const QString &setting);

// The mark of a file that was read, and of one set aside unread.
inline constexpr char16_t kReadMark[] = u"leido";
QString readPrefix();  // "--leido--"
QString asidePrefix(); // "--rechazado--"

// The one rule of which names in the export folder a scan reads: those the
// format's pattern matches, without the read mark anywhere and not set aside.
bool isImportName(const MilkFormat &format, const QString &stem, const QString &name);

} // namespace zelvano
