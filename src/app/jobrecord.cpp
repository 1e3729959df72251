#include "app/jobrecord.h"

#include "app/databasefile.h"
#include "common/datetexts.h"
#include "common/errortext.h"
#include "download/download.h"
#include "milk/import.h"
#include "store/appcontext.h"
#include "store/connection.h"
#include "store/localconnection.h"
#include "store/programtables.h"
#include "sync/sync.h"
#include "trips/save.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringDecoder>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace zelvano {

namespace {

QDateTime parseIso(const QVariant &value)
{
    if (value.isNull())
        return {};
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

[[noreturn]] void raiseQuery(const QSqlQuery &query)
{
    const QSqlError error = query.lastError();
    raiseEngineFailure(error.nativeErrorCode().toInt(),
                       error.databaseText().isEmpty() ? error.text() : error.databaseText(),
                       ErrNo::ProviderFailure);
}

// Runs this process could not record yet, by the database they belong to:
// written first by the next record of that database that can be written.
std::vector<JobRun> &unwrittenRuns(const QString &database)
{
    static std::map<QString, std::vector<JobRun>> runs;
    return runs[database];
}

constexpr size_t kUnwrittenRunsKept = 100;

void writeJobRow(QSqlDatabase &db, JobKind kind, const JobState &next)
{
    QSqlQuery insert(db);
    // A statement that cannot be prepared says why, not "Parameter count mismatch".
    if (!insert.prepare(QStringLiteral("insert or replace into %1 (job, started, ended, ok, "
                                       "error_number, error_text, last_success, trips_saved, "
                                       "trips_left_out) values (?, ?, ?, ?, ?, ?, ?, ?, ?)")
                            .arg(QLatin1String(kJobTable))))
        raiseQuery(insert);
    insert.addBindValue(jobKey(kind));
    insert.addBindValue(isoTime(next.started));
    insert.addBindValue(isoTime(next.ended));
    insert.addBindValue(next.ok() ? 1 : 0);
    insert.addBindValue(next.error ? QVariant(qint64(next.error->number()))
                                   : QVariant(QMetaType(QMetaType::LongLong)));
    insert.addBindValue(next.error ? QVariant(next.error->description())
                                   : QVariant(QMetaType(QMetaType::QString)));
    insert.addBindValue(next.lastSuccess.isValid() ? QVariant(isoTime(next.lastSuccess))
                                                   : QVariant(QMetaType(QMetaType::QString)));
    insert.addBindValue(next.tripsSaved ? QVariant(*next.tripsSaved)
                                        : QVariant(QMetaType(QMetaType::Int)));
    insert.addBindValue(next.tripsLeftOut ? QVariant(*next.tripsLeftOut)
                                          : QVariant(QMetaType(QMetaType::Int)));
    if (!insert.exec())
        raiseQuery(insert);
}

JobRun runOf(JobKind kind, const QDateTime &started, const QDateTime &ended, const Outcome &outcome)
{
    JobRun run;
    run.kind = kind;
    run.started = started;
    run.ended = ended;
    if (outcome.error())
        run.error = *outcome.error();
    return run;
}

} // namespace

QString jobKey(JobKind kind)
{
    switch (kind) {
    case JobKind::Download:
        return QStringLiteral("download");
    case JobKind::Import:
        return QStringLiteral("import");
    case JobKind::Sync:
        return QStringLiteral("sync");
    }
    return QString();
}

JobState JobState::after(const JobRun &run) const
{
    JobState next = *this;
    next.ran = true;
    next.started = run.started;
    next.ended = run.ended;
    next.error = run.error;
    if (!run.error)
        next.lastSuccess = run.ended;
    else if (run.lastSuccessBefore.isValid() &&
             (!next.lastSuccess.isValid() || run.lastSuccessBefore > next.lastSuccess))
        next.lastSuccess = run.lastSuccessBefore;
    if (run.tripsSaved) {
        next.tripsSaved = run.tripsSaved;
        next.tripsLeftOut = run.tripsLeftOut;
    }
    return next;
}

JobState &JobRecords::of(JobKind kind)
{
    return kind == JobKind::Download ? download : kind == JobKind::Import ? import : sync;
}

const JobState &JobRecords::of(JobKind kind) const
{
    return kind == JobKind::Download ? download : kind == JobKind::Import ? import : sync;
}

bool JobRecords::anyFailed() const
{
    for (const JobKind kind : kJobKinds)
        if (of(kind).ran && !of(kind).ok())
            return true;
    return false;
}

QString isoTime(const QDateTime &time)
{
    if (!time.isValid())
        return QString();
    const int offset = time.offsetFromUtc() / 60;
    const int minutes = std::abs(offset);
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QChar(u'0'))
               .arg(minutes % 60, 2, 10, QChar(u'0'));
}

QString localDatabasePath(const QString &homeDir, QString *why)
{
    // As the connection reads conexion.txt: the lines joined, the path after
    // the first "=".
    QFile file(QDir(homeDir).filePath(QStringLiteral("conexion.txt")));
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = QStringLiteral("cannot read %1").arg(file.fileName());
        return QString();
    }
    const QByteArray bytes = file.readAll();
    auto toUtf16 = QStringDecoder(QStringDecoder::Utf8);
    QString text = toUtf16(bytes);
    if (toUtf16.hasError())
        text = QString::fromLatin1(bytes);
    static const QRegularExpression lineEnds(QStringLiteral("\r\n|\r|\n"));
    QString path;
    if (!cutConnectionPath(text.split(lineEnds).join(QString()), &path) || path.isEmpty()) {
        if (why)
            *why = QStringLiteral("%1 names no database").arg(file.fileName());
        return QString();
    }
    return path;
}

JobRecords readJobRecords(QSqlDatabase &db)
{
    JobRecords records;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("select count(*) from sqlite_master where type = 'table' and "
                                   "name = '%1'")
                        .arg(QLatin1String(kJobTable))))
        raiseQuery(query);
    if (!query.next() || query.value(0).toInt() == 0)
        return records;
    // A record written before the trips left out were counted has no column for them.
    if (!query.exec(QStringLiteral("select count(*) from pragma_table_info('%1') where name = "
                                   "'trips_left_out'")
                        .arg(QLatin1String(kJobTable))))
        raiseQuery(query);
    const bool leftOutKept = query.next() && query.value(0).toInt() > 0;
    if (!query.exec(QStringLiteral("select job, started, ended, ok, error_number, error_text, "
                                   "last_success, trips_saved, %2 from %1")
                        .arg(QLatin1String(kJobTable), leftOutKept
                                                           ? QStringLiteral("trips_left_out")
                                                           : QStringLiteral("null"))))
        raiseQuery(query);
    while (query.next()) {
        for (const JobKind kind : kJobKinds) {
            if (query.value(0).toString() != jobKey(kind))
                continue;
            JobState &state = records.of(kind);
            state.ran = true;
            state.started = parseIso(query.value(1));
            state.ended = parseIso(query.value(2));
            if (query.value(3).toInt() == 0)
                state.error = AppError(query.value(4).toLongLong(), query.value(5).toString());
            state.lastSuccess = parseIso(query.value(6));
            if (!query.value(7).isNull())
                state.tripsSaved = query.value(7).toInt();
            if (!query.value(8).isNull())
                state.tripsLeftOut = query.value(8).toInt();
        }
    }
    return records;
}

std::optional<JobState> writeJobRecord(AppContext &ctx, const JobRun &run) noexcept
{
    QString database;
    try {
        QString why;
        const QString path = ctx.connection && ctx.connection->isOpen()
                                 ? ctx.connection->path()
                                 : localDatabasePath(ctx.homeDir, &why);
        database = path;
        if (path.isEmpty())
            raise(ErrNo::FileNotFound, why);
        DatabaseFile file(path, DatabaseFile::Mode::ReadWrite, kJobRecordBusyMs);
        if (!file.isOpen())
            raise(ErrNo::ProviderFailure, file.error());
        // The write lock first: the rows are read and replaced under it, so
        // two programs recording at once never lose each other's count.
        file.exec(QStringLiteral("begin immediate"));
        try {
            // The table comes with the program's first connection; one that
            // could not make it (a full disk) makes it here, or says why not.
            QSqlQuery create(file.db());
            if (!create.exec(QString::fromLatin1(programTableDefinition(kJobTable))
                                 .replace(QStringLiteral("create table"),
                                          QStringLiteral("create table if not exists"))))
                raiseQuery(create);
            // Runs whose record could not be written before go first, in order.
            JobRecords records = readJobRecords(file.db());
            std::vector<JobRun> runs = unwrittenRuns(path);
            runs.push_back(run);
            bool touched[3] = {false, false, false};
            for (const JobRun &each : runs) {
                records.of(each.kind) = records.of(each.kind).after(each);
                touched[int(each.kind)] = true;
            }
            for (const JobKind kind : kJobKinds)
                if (touched[int(kind)])
                    writeJobRow(file.db(), kind, records.of(kind));
            file.exec(QStringLiteral("commit"));
            unwrittenRuns(path).clear();
            return records.of(run.kind);
        } catch (...) {
            QSqlQuery(file.db()).exec(QStringLiteral("rollback"));
            throw;
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr,
                     "zelvano: the record of the %s run was not written (kept to be written "
                     "by the next run that can): %s\n",
                     jobKey(run.kind).toLatin1().constData(), error.what());
    } catch (...) {
        std::fprintf(stderr, "zelvano: the record of the %s run was not written\n",
                     jobKey(run.kind).toLatin1().constData());
    }
    std::fflush(stderr);
    try {
        std::vector<JobRun> &unwritten = unwrittenRuns(database);
        unwritten.push_back(run);
        // Bounded: the oldest runs matter least; their last success is kept.
        if (unwritten.size() > kUnwrittenRunsKept) {
            const JobRun dropped = unwritten.front();
            unwritten.erase(unwritten.begin());
            const QDateTime success = dropped.error ? dropped.lastSuccessBefore : dropped.ended;
            for (JobRun &later : unwritten) {
                if (later.kind != dropped.kind)
                    continue;
                if (success.isValid() &&
                    (!later.lastSuccessBefore.isValid() || later.lastSuccessBefore < success))
                    later.lastSuccessBefore = success;
                break;
            }
        }
    } catch (...) {
    }
    return std::nullopt;
}

void JobBoard::load(AppContext &ctx)
{
    try {
        const QString path = ctx.connection && ctx.connection->isOpen()
                                 ? ctx.connection->path()
                                 : localDatabasePath(ctx.homeDir);
        if (path.isEmpty())
            return;
        DatabaseFile file(path, DatabaseFile::Mode::ReadOnly, kJobRecordBusyMs);
        if (!file.isOpen())
            return;
        m_records = readJobRecords(file.db());
    } catch (const AppError &) {
        return;
    }
    for (const auto &listener : m_listeners)
        listener();
}

void JobBoard::set(JobKind kind, const JobState &state)
{
    m_records.of(kind) = state;
    for (const auto &listener : m_listeners)
        listener();
}

void recordJob(AppContext &ctx, const JobRun &run, JobBoard *board) noexcept
{
    const std::optional<JobState> stored = writeJobRecord(ctx, run);
    if (!board)
        return;
    try {
        board->set(run.kind, stored ? *stored : board->records().of(run.kind).after(run));
    } catch (...) {
        // Showing the record must not fail the job either.
    }
}

void recordDownload(AppContext &ctx, const QDateTime &started, const DownloadOutcome *download,
                    const SaveOutcome *save, JobBoard *board) noexcept
{
    Outcome cycle;
    if (download)
        cycle.take(*download);
    if (save)
        cycle.take(*save);
    JobRun run = runOf(JobKind::Download, started, ctx.clock.now(), cycle);
    // The save's counts are those of its committed transaction (0 when it
    // rolled back); trips it left out do not fail it.
    if (save) {
        run.tripsSaved = save->trips;
        run.tripsLeftOut = save->refusedTrips;
    }
    recordJob(ctx, run, board);
}

void recordImport(AppContext &ctx, const QDateTime &started, const ImportOutcome &outcome,
                  JobBoard *board) noexcept
{
    const QDateTime ended = ctx.clock.now();
    recordJob(ctx, runOf(JobKind::Import, started, ended, outcome), board);
    // The synchronisation ran at the end of the scan: the scan's times are its own.
    if (outcome.sync)
        recordJob(ctx, runOf(JobKind::Sync, started, ended, *outcome.sync), board);
}

void recordSync(AppContext &ctx, const QDateTime &started, const SyncReport &report,
                JobBoard *board) noexcept
{
    recordJob(ctx, runOf(JobKind::Sync, started, ctx.clock.now(), report), board);
}

namespace {

// "10:00:05" today, "06/12/2026 10:00:05" on another day.
QString whenText(const QDateTime &time, const QDate &today)
{
    const QDateTime local = time.toLocalTime();
    if (local.date() == today)
        return DateTexts::time(local.time());
    return DateTexts::date(local.date()) + u' ' + DateTexts::time(local.time());
}

} // namespace

QString jobStatusLine(const JobRecords &records, const QDate &today)
{
    QStringList parts;
    for (const JobKind kind : kJobKinds) {
        const JobState &state = records.of(kind);
        QString part = jobKey(kind) + u' ';
        if (!state.ran) {
            part += QStringLiteral("never ran");
        } else if (state.ok()) {
            part += QStringLiteral("ok ") + whenText(state.ended, today);
            if (kind == JobKind::Download && state.tripsSaved)
                part += QStringLiteral(", %1 trips stored, %2 left out")
                            .arg(*state.tripsSaved)
                            .arg(state.tripsLeftOut.value_or(0));
        } else {
            part += QStringLiteral("failed ") + whenText(state.ended, today) +
                    QStringLiteral(": ") + state.error->text();
            if (state.lastSuccess.isValid())
                part += QStringLiteral(" (last ok ") + whenText(state.lastSuccess, today) + u')';
        }
        parts << part;
    }
    return parts.join(QStringLiteral("; "));
}

QStringList jobSummaryLines(const JobRecords &records, const QDate &today, const QString &server)
{
    auto at = [&](const QDateTime &time) {
        const QDateTime local = time.toLocalTime();
        if (local.date() == today)
            return QStringLiteral("a las ") + DateTexts::time(local.time());
        return QStringLiteral("el ") + DateTexts::date(local.date()) + QStringLiteral(" a las ") +
               DateTexts::time(local.time());
    };
    QStringList lines;
    for (const JobKind kind : kJobKinds) {
        const JobState &state = records.of(kind);
        QString line = kind == JobKind::Download ? QStringLiteral("Descarga: ")
                       : kind == JobKind::Import ? QStringLiteral("Importación: ")
                                                 : QStringLiteral("Sincronización: ");
        if (!state.ran) {
            line += QStringLiteral("sin ejecutar");
        } else if (state.ok()) {
            line += QStringLiteral("correcta ") + at(state.ended);
            if (kind == JobKind::Download && state.tripsSaved) {
                line += *state.tripsSaved == 1
                            ? QStringLiteral(" (1 viaje grabado")
                            : QStringLiteral(" (%1 viajes grabados").arg(*state.tripsSaved);
                const int leftOut = state.tripsLeftOut.value_or(0);
                if (leftOut > 0)
                    line += leftOut == 1 ? QStringLiteral(", 1 no grabado")
                                         : QStringLiteral(", %1 no grabados").arg(leftOut);
                line += u')';
            }
        } else {
            line += QStringLiteral("con error ") + at(state.ended) + QStringLiteral(": ") +
                    withClerkExplanation(state.error->text(), *state.error, server);
        }
        lines << line;
    }
    return lines;
}

} // namespace zelvano
