#pragma once

#include "common/outcome.h"
#include "milk/milkgroup.h"
#include "store/appcontext.h"

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>

#include <vector>

namespace zelvano {

// How a milking file is laid out and how its numbers are written.
struct MilkLayout
{
    bool dairy = false;    // Dairycomp; otherwise Delpro
    QString splitMark;     // the text between fields
    QChar decimalMark = u'.'; // the desktop locale's decimal mark
};

// What the data lines of one file give.
struct MilkFileContent
{
    bool empty = false;     // the file holds nothing at all
    bool titleOnly = false; // no line after the column titles
    std::vector<MilkGroup> rows;
    std::vector<int> leftOut; // line numbers (title = 1) with a missing or bad number
};

// The lines of a file, ending at CR LF, LF or CR; an end mark after the last
// line does not start another one. Bytes are the desktop's 8-bit code page.
QStringList milkFileLines(const QByteArray &bytes);

// Reads the data lines of a milking file into groups, without touching the
// database.
MilkFileContent parseMilkFile(const QByteArray &bytes, const MilkLayout &layout);

// The layout the settings choose.
MilkLayout milkLayout(const Settings &settings);

// The day of a Delpro export, "dd/MM/yyyy", from its own name: the eight
// digits yyyyMMdd after the first "_" that follows the name's stem (or right
// after the stem when there is none).
QString delproDateText(const QString &fileName, const QString &stem);

// What reading one milking file did.
struct MilkFileOutcome : Outcome
{
    // The file's groups as stored: a group a herd claimed carries that herd's id.
    std::vector<MilkGroup> groups;
};

// Imports one milking file: the reading with one line per herd that has group
// codes, its totals, and the pit-feeding trip when the suite has a pit diet.
// fullPath is the file to read; fileName is the name the file arrived with,
// for the messages and the Delpro date. Reports its own failures.
MilkFileOutcome LeerDatos_CSV(AppContext &ctx, const QString &fullPath, const QString &fileName);

} // namespace zelvano
