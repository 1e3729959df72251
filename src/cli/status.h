#pragma once

#include "app/jobrecord.h"
#include "platform/instancelock.h"

#include <QDate>
#include <QDateTime>
#include <QMap>
#include <QString>

#include <optional>
#include <vector>

namespace zelvano {

// Milking files in the export folder that no scan has read yet.
struct WaitingFiles
{
    QString folder;
    QString problem;    // why none are counted ("import off", ...); "" when the folder was read
    int fresh = 0;      // ready for the next scan
    int unfinished = 0; // changed within kUnfinishedSeconds, or held open by a process
    int refused = 0;    // set aside by a scan ("--rechazado--" before the name)
    int unreadable = 0; // names that are not text, to be set aside once finished
    int future = 0;     // of fresh and unfinished: dated after now
    int total() const { return fresh + unfinished + refused + unreadable; }
};

// A file changed this recently may still be being written.
inline constexpr int kUnfinishedSeconds = 10;

struct PendingReadings
{
    int total = 0;
    QMap<QString, int> byKind; // AGREGAR, MODIFICAR, ELIMINAR
    QDate oldest;
};

struct ErrorEvent
{
    qint64 id = 0;
    QString date; // as stored, "yyyy-MM-dd"
    QString text;
};

// What `zelvano status` tells about a home folder, read without writing
// anything anywhere.
struct StatusReport
{
    QString home;
    QString database;
    QString databaseError; // "" when the database was read
    FolderInstanceLock::Holder running;
    JobRecords jobs;
    std::optional<qint64> newestTrip;
    // Trips of today's date that the database holds. The suite's trip table
    // keeps no time of storing, and a count kept beside it would miss a save
    // ended between its commit and its record.
    int tripsDatedToday = 0;
    PendingReadings pending;
    WaitingFiles files;
    std::vector<ErrorEvent> lastErrors; // newest first, five at most
    double downloadEveryMinutes = 0;    // 0: every tick
    // A program runs and has recorded no download for two intervals since staleSince.
    bool downloadStale = false;
    QDateTime staleSince;

    // 2 when the database could not be read, 1 when a job's last run failed
    // or the running program's record is stale, else 0 (every job succeeded
    // or never ran).
    int exitStatus() const;
};

// How long status waits for a database that a job holds.
inline constexpr int kStatusBusyMs = 1000;

StatusReport readStatus(const QString &home, const QDateTime &now);
QString statusText(const StatusReport &report);
QString statusJson(const StatusReport &report);

} // namespace zelvano
