#pragma once

#include "common/outcome.h"
#include "milk/importbook.h"
#include "milk/milkformat.h"
#include "milk/milkgroup.h"
#include "store/appcontext.h"

#include <QByteArray>
#include <QChar>
#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace zelvano {

// How a milking file is laid out and how its numbers are written.
struct MilkLayout
{
    const MilkFormat *format = milkFormat(QStringLiteral("delpro"));
    QString splitMark;        // the text between fields
    QChar decimalMark = u'.'; // the desktop locale's decimal mark
};

// What the data lines of one file give.
struct MilkFileContent
{
    bool empty = false;     // the file holds nothing at all
    bool titleOnly = false; // no line after the column titles
    int groupLines = 0;     // data lines read as a group (a Delpro group of 0 heads too)
    std::vector<MilkGroup> rows;
    std::vector<int>
        leftOut;          // line numbers (title = 1) with a missing or bad number, the first ones
    int leftOutCount = 0; // all of them
};

// At most this many left-out line numbers are kept and named.
inline constexpr int kLeftOutListed = 100;

// A line longer than this cannot be a group line: only its length is kept.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;

// Cuts bytes into lines ending at CR LF, LF or CR, chunk by chunk; an end mark
// after the last line does not start another one. A line is handed over with
// overlong set (and its text cut) when it runs past kMaxLineBytes.
class LineSplitter
{
public:
    using Sink = std::function<void(const QByteArray &line, bool overlong)>;
    explicit LineSplitter(Sink sink) : m_sink(std::move(sink)) {}
    void feed(const char *data, qsizetype size);
    void finish();

private:
    void append(const char *data, qsizetype size);
    void emitLine();

    Sink m_sink;
    QByteArray m_line;
    bool m_overlong = false;
    bool m_afterCr = false;
};

// Reads the data lines of a milking file into groups, one line at a time;
// the first line holds the column titles.
class MilkLineParser
{
public:
    explicit MilkLineParser(const MilkLayout &layout) : m_layout(layout) {}
    // Bytes are the desktop's 8-bit code page.
    void addLine(const QByteArray &line, bool overlong = false);
    // What the lines gave; the file held nothing at all when no line came.
    MilkFileContent finish();

private:
    void leaveOut(int lineNumber);

    const MilkLayout m_layout;
    MilkFileContent m_content;
    int m_lines = 0;
    bool m_ended = false;
    // Fields whose mark is missing keep the value of the line before.
    QString m_code;
    QString m_unused;
};

// The lines of a file, as LineSplitter cuts them.
QStringList milkFileLines(const QByteArray &bytes);

// Reads the data lines of a milking file held in memory.
MilkFileContent parseMilkFile(const QByteArray &bytes, const MilkLayout &layout);

// A milking file read from disk line by line, never whole: its content, its
// size and the SHA-256 of every byte.
struct MilkFileRead
{
    MilkFileContent content;
    qint64 size = 0;
    QByteArray hash;        // hex
    bool overLimit = false; // more than maxBytes: reading stopped there
};

// Raises 53 when the file is missing, 70 when it cannot be opened or read.
MilkFileRead readMilkFile(const QString &path, const MilkLayout &layout, qint64 maxBytes);

// The largest milking file the import reads. An export holds one line per
// milking group, a few dozen to a few hundred lines; this leaves room for
// hundreds of thousands, while what a larger file would cost (memory, and the
// pit trip's rows in one transaction) stays bounded.
inline constexpr qint64 kMaxMilkFileBytes = 8 * 1024 * 1024;

// The hex SHA-256 of a file's bytes, read in chunks; empty when it cannot be read.
QByteArray fileHash(const QString &path);

// The layout the settings choose.
MilkLayout milkLayout(const Settings &settings);

// The day of a Delpro export, "dd/MM/yyyy", from its own name: the eight
// digits yyyyMMdd after the first "_" that follows the name's stem (or right
// after the stem when there is none).
QString delproDateText(const QString &fileName, const QString &stem);

// What became of one milking file.
enum class MilkFileState {
    Stored,        // its reading, herd lines, totals and pit trip are committed
    NotAReading,   // no group line in it: nothing stored but the event
    Empty,         // nothing in it: nothing stored
    AlreadyStored, // an earlier or concurrent scan committed this very file
    Waiting,       // nothing stored: it changed while read, or storing failed
};

// What reading one milking file did.
struct MilkFileOutcome : Outcome
{
    MilkFileState state = MilkFileState::Waiting;
    // The file's groups as stored: a group a herd claimed carries that herd's id.
    std::vector<MilkGroup> groups;
    // With a booking: the bookkeeping row committed with the file (or found).
    BookedFile booked;
};

// Imports one milking file: the reading with one line per herd that has group
// codes, its totals, the pit-feeding trip when the suite has a pit diet, and
// the events, all in one local transaction. fullPath is the file to read;
// fileName is the name the file arrived with, for the messages and the Delpro
// date. Reports its own failures.
//
// With a booking (the folder scan), the bookkeeping of the file commits in
// the same transaction, a file already committed is not stored again, a file
// that changed since the scan looked stores nothing, and a failure is named
// once per situation instead of at every scan.
MilkFileOutcome LeerDatos_CSV(AppContext &ctx, const QString &fullPath, const QString &fileName,
                              const FileBooking *booking = nullptr);

} // namespace zelvano
