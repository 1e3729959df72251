#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>

#include <vector>

namespace zelvano {

struct AppContext;
class LocalConnection;

// A file's size and last change, as the scan saw them.
struct FileStamp
{
    qint64 size = -1;      // -1: no such file
    qint64 modifiedMs = 0; // since the epoch, UTC

    static FileStamp of(const QString &path);
    bool exists() const { return size >= 0; }
    QDateTime modified() const;
    bool operator==(const FileStamp &) const = default;
};

// What the scan commits together with a file's reading: where the file is,
// the name it arrived with, its stamp and the final name it is to get.
struct FileBooking
{
    QString folder;
    QString name;
    QString finalName;
    FileStamp stamp;
};

// One file committed by a scan (a row of zelvano_lecturas).
struct BookedFile
{
    qint64 id = 0;
    QString name;
    FileStamp stamp;
    QByteArray hash;     // hex SHA-256 of the content; empty when it was set aside unread
    QString finalName;   // "--leido--..." or "--rechazado--..."
    bool pending = true; // the file does not carry its final name yet
};

// The bookkeeping that makes a file's import happen once: a file is recorded
// in the transaction that stores its reading, with the name it is to get, and
// the record stays pending until the file carries that name. A scan after a
// crash finds a pending file still under its own name, unchanged, and only
// renames it.
namespace ImportBook {

// Inside the caller's transaction.
qint64 record(LocalConnection &db, const FileBooking &booking, const QByteArray &hash,
              qint64 readingId);
// The record of this very file (name, stamp and content), pending or not.
bool find(LocalConnection &db, const QString &folder, const QString &name, const FileStamp &stamp,
          const QByteArray &hash, BookedFile *found);
// The files of a folder that do not carry their final name yet.
std::vector<BookedFile> pending(LocalConnection &db, const QString &folder);
// The file carries its final name now (or is gone): nothing left to do.
void markDone(LocalConnection &db, qint64 id, const QString &finalName);

// Forgets what was told about a file (it was read, or its trouble is over).
void clearNotice(LocalConnection &db, const QString &folder, const QString &name);

} // namespace ImportBook

// False when the engine has rolled back the transaction the connection began:
// after some failures (disk full, I/O) it takes the whole transaction back by
// itself, and what would be written after that would stand alone.
bool transactionAlive(LocalConnection &db);

// Raises when transactionAlive is false inside a transaction.
void requireTransactionAlive(LocalConnection &db);

// Writes an event about a file once per situation: when the same situation of
// the same file (its trouble and stamp) was told before, nothing is written.
// The event and the memory of it commit together. False when it was not
// written (told before, or the database took neither: then it goes to
// standard error).
bool noticeOnce(AppContext &ctx, const QString &folder, const QString &name,
                const QString &situation, const QString &text);

} // namespace zelvano
