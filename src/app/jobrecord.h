#pragma once

#include "common/error.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

class QSqlDatabase;

namespace zelvano {

struct AppContext;
class Outcome;
struct DownloadOutcome;
struct SaveOutcome;
struct ImportOutcome;
struct SyncReport;

// The jobs whose last run the program keeps: the download with its save, the
// scan of the import folder, the production synchronisation.
enum class JobKind { Download, Import, Sync };
inline constexpr JobKind kJobKinds[] = {JobKind::Download, JobKind::Import, JobKind::Sync};

// "download", "import", "sync": the record's key and the status command's names.
QString jobKey(JobKind kind);

// One run as it ended.
struct JobRun
{
    JobKind kind = JobKind::Download;
    QDateTime started;
    QDateTime ended;
    std::optional<AppError> error; // the first failure; none when it succeeded
    // The download's save: the trips it stored (0 when it failed and rolled
    // back) and those it left out; none when no save ran.
    std::optional<int> tripsSaved;
    std::optional<int> tripsLeftOut;
    // A success of the same job that was never recorded and is no longer kept.
    QDateTime lastSuccessBefore;
};

// The record of a job: its last run, the end of its last success, and for
// the download the trips its last save stored.
struct JobState
{
    bool ran = false;
    QDateTime started;
    QDateTime ended;
    std::optional<AppError> error;
    QDateTime lastSuccess; // invalid: never
    std::optional<int> tripsSaved;
    std::optional<int> tripsLeftOut;

    bool ok() const { return !error; }
    // The record after one more run.
    JobState after(const JobRun &run) const;
};

struct JobRecords
{
    JobState download;
    JobState import;
    JobState sync;

    JobState &of(JobKind kind);
    const JobState &of(JobKind kind) const;
    // A job's last run failed.
    bool anyFailed() const;
};

// The table of the record, one row per job; its definition lives with the
// program's other tables.
inline constexpr const char *kJobTable = "zelvano_jobs";

// Times as the record and the status command write them: ISO 8601 with the
// offset from UTC ("2026-12-07T10:00:05-03:00"); "" for an invalid time.
QString isoTime(const QDateTime &time);

// The database file that conexion.txt in homeDir names; "" with the reason
// when it cannot be read.
QString localDatabasePath(const QString &homeDir, QString *why = nullptr);

// Reads the record from an open database (any connection, read-only ones
// included); a database without the table gives jobs that never ran. Raises
// AppError when it cannot be read.
JobRecords readJobRecords(QSqlDatabase &db);

// How long the record waits for a database that another connection holds.
inline constexpr int kJobRecordBusyMs = 250;

// Writes one run into the record of the local database of ctx: its own
// connection and its own short transaction (the job's work is committed
// before), waiting kJobRecordBusyMs at most. It never raises: a record that
// cannot be written is told on standard error and the job goes on, and the
// run is kept in memory and written, before its own, by the next record of
// this process that can be written. Returns the record as it now stands in
// the database, or nothing.
std::optional<JobState> writeJobRecord(AppContext &ctx, const JobRun &run) noexcept;

// What a running program knows of its jobs' last runs: loaded from the
// database at start-up, brought up to date after every job, told to whoever
// shows it (the tray tip, the window, the service manager).
class JobBoard
{
public:
    // Reads the record of the database of ctx, quietly (a database that
    // cannot be read now leaves the board as it is).
    void load(AppContext &ctx);

    const JobRecords &records() const { return m_records; }
    void set(JobKind kind, const JobState &state);

    // Called after every change.
    void onChange(std::function<void()> listener) { m_listeners.push_back(std::move(listener)); }

private:
    JobRecords m_records;
    std::vector<std::function<void()>> m_listeners;
};

// Records a run: the database first, then the board (when given) with what the
// database now holds, or with the run alone when the database said no.
void recordJob(AppContext &ctx, const JobRun &run, JobBoard *board = nullptr) noexcept;

// The runs of the program's jobs, from their outcomes. A download-and-save
// cycle fails with the first failure of the two; `download` or `save` may be
// missing when only the other ran. An import that ran a synchronisation
// records it too, with the scan's times.
void recordDownload(AppContext &ctx, const QDateTime &started, const DownloadOutcome *download,
                    const SaveOutcome *save, JobBoard *board = nullptr) noexcept;
void recordImport(AppContext &ctx, const QDateTime &started, const ImportOutcome &outcome,
                  JobBoard *board = nullptr) noexcept;
void recordSync(AppContext &ctx, const QDateTime &started, const SyncReport &report,
                JobBoard *board = nullptr) noexcept;

// The record in one line for the service manager's status:
// "download ok 10:00:05, 5 trips stored; import never ran; sync failed 10:00:07: Error ..."
QString jobStatusLine(const JobRecords &records, const QDate &today);

// The record for the person at the desk, one line per job:
// "Descarga: correcta a las 10:00:05 (5 viajes grabados)".
// A failed run's line says what to do about it too (`server`: the remote host).
QStringList jobSummaryLines(const JobRecords &records, const QDate &today,
                            const QString &server = QString());

} // namespace zelvano
