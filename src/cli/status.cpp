#include "cli/status.h"

#include "cli/cli.h"
#include "cli/commands.h"

#include "app/databasefile.h"
#include "app/scheduler.h"
#include "common/error.h"
#include "common/errortext.h"
#include "common/vb.h"
#include "milk/milkformat.h"
#include "platform/folderlisting.h"
#include "platform/processes.h"
#include "store/settings.h"
#include "store/tables.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>

#include <algorithm>

namespace zelvano {

namespace {

const QString kRefusedMark = QStringLiteral("--rechazado--");
const QStringList kPendingKinds = {QStringLiteral("AGREGAR"), QStringLiteral("MODIFICAR"),
                                   QStringLiteral("ELIMINAR")};

class Reader
{
public:
    explicit Reader(QSqlDatabase &db) : m_db(db) {}

    QSqlQuery run(const QString &sql)
    {
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.exec(sql)) {
            const QSqlError error = query.lastError();
            raise(ErrNo::ProviderFailure,
                  error.databaseText().isEmpty() ? error.text() : error.databaseText());
        }
        return query;
    }

private:
    QSqlDatabase &m_db;
};

struct ImportSettings
{
    bool enabled = false;
    QString folder;
    QString fileName;
    QString software;
    QString time;
    double downloadEveryMinutes = 0;
};

ImportSettings readImportSettings(Reader &reader)
{
    ImportSettings s;
    QSqlQuery query = reader.run(QStringLiteral("select * from mi_empresa"));
    if (!query.next())
        return s;
    // A yes/no column holds -1 (yes) or 0.
    s.enabled = query.value(MiEmpresa::CsvImportEnabled).toInt() != 0;
    s.folder = query.value(MiEmpresa::ImportFolder).toString();
    s.fileName = query.value(MiEmpresa::ImportFileName).toString();
    s.software = query.value(MiEmpresa::ImportSoftware).toString();
    s.time = query.value(MiEmpresa::ImportTime).toString();
    s.downloadEveryMinutes = downloadIntervalOf(query.value(MiEmpresa::UseDownloadInterval),
                                                query.value(MiEmpresa::DownloadEveryMinutes));
    return s;
}

// The folder as the next scan would list it: the layout's pattern, the names
// already read left out. What the scan sets aside carries the refusal mark;
// a file still changing, or held open by its writer, is not finished yet.
WaitingFiles countWaitingFiles(const ImportSettings &s, const QDateTime &now)
{
    WaitingFiles files;
    files.folder = s.folder;
    if (!s.enabled) {
        files.problem = QStringLiteral("import off");
        return files;
    }
    const MilkFormat *format = milkFormat(s.software);
    if (!format) {
        files.problem = QStringLiteral("no import layout ('%1')").arg(s.software);
        return files;
    }
    if (Scheduler::importTimeUnreadable(s.time)) {
        files.problem = QStringLiteral("import time '%1' is not a time of day").arg(s.time);
        return files;
    }
    const QDir dir(s.folder);
    if (s.folder.isEmpty() || !dir.exists()) {
        files.problem = QStringLiteral("folder not found");
        return files;
    }
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    QSet<QString> held;
    bool heldRead = false;
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (name.startsWith(kRefusedMark)) {
            ++files.refused;
            continue;
        }
        if (!isImportName(*format, s.fileName, name))
            continue;
        if (!heldRead) {
            held = filesHeldOpen(s.folder);
            heldRead = true;
        }
        // The service tells a finished file by its own looks; from outside,
        // a file that changed a moment ago is taken for unfinished. A file
        // dated in the future is read once it stands still.
        const qint64 age = entry.lastModified().secsTo(now);
        if ((age >= 0 && age < kUnfinishedSeconds) || held.contains(entry.canonicalFilePath()))
            ++files.unfinished;
        else
            ++files.fresh;
        if (age < 0)
            ++files.future;
    }
    files.unreadable = int(unreadableNames(s.folder, format->pattern(s.fileName)).size());
    return files;
}

void readDatabase(StatusReport &report, const QDateTime &now)
{
    DatabaseFile file(report.database, DatabaseFile::Mode::ReadOnly, kStatusBusyMs);
    if (!file.isOpen())
        raise(ErrNo::ProviderFailure, file.error());
    Reader reader(file.db());
    // One read transaction: every figure from the same moment of the
    // database, and a writer waited for once at most.
    reader.run(QStringLiteral("begin"));
    report.jobs = readJobRecords(file.db());

    // Pit-feeding trips carry negative ids: the downloaded trips are the
    // positive ones.
    QSqlQuery trips = reader.run(QStringLiteral("select max(id) from lectura_viajes where id > 0"));
    if (trips.next() && !trips.value(0).isNull())
        report.newestTrip = trips.value(0).toLongLong();
    QSqlQuery today = reader.run(
        QStringLiteral("select count(*) from lectura_viajes where fecha = '%1' and id > 0")
            .arg(now.date().toString(Qt::ISODate)));
    if (today.next())
        report.tripsDatedToday = today.value(0).toInt();

    QSqlQuery pending = reader.run(QStringLiteral(
        "select upper(proceso), count(*), min(fecha) from Produccion_Lactea where actualizado = 0 "
        "and proceso in ('AGREGAR', 'MODIFICAR', 'ELIMINAR') group by upper(proceso)"));
    while (pending.next()) {
        const int count = pending.value(1).toInt();
        report.pending.byKind[pending.value(0).toString()] = count;
        report.pending.total += count;
        const QDate oldest = QDate::fromString(pending.value(2).toString(), Qt::ISODate);
        if (oldest.isValid() &&
            (!report.pending.oldest.isValid() || oldest < report.pending.oldest))
            report.pending.oldest = oldest;
    }

    QSqlQuery errors = reader.run(
        QStringLiteral("select id, fecha, descripcion from sucesos where descripcion like "
                       "'Error %' or descripcion like 'Viaje % no guardado: %' "
                       "order by id desc limit 5"));
    while (errors.next())
        report.lastErrors.push_back(
            {errors.value(0).toLongLong(), errors.value(1).toString(), errors.value(2).toString()});

    const ImportSettings settings = readImportSettings(reader);
    report.downloadEveryMinutes = settings.downloadEveryMinutes;
    reader.run(QStringLiteral("rollback"));
    report.files = countWaitingFiles(settings, now);
}

// A running program downloads every interval and records each run. When its
// last recorded run (or its start, when later) is older than two intervals,
// the record stopped being written or the ticks stopped: what it shows is
// not the present.
void markStale(StatusReport &report, const QDateTime &now)
{
    if (!report.running.held || !report.running.process)
        return;
    QDateTime since = report.running.process->started;
    const QDateTime ended = report.jobs.download.ended;
    if (ended.isValid() && (!since.isValid() || ended > since))
        since = ended;
    if (!since.isValid())
        return;
    // Minutes are the program's ticks (shortened with ZELVANO_TICK_MS as for it).
    const double ticks = std::max(report.downloadEveryMinutes, 1.0);
    if (double(since.msecsTo(now)) > 2 * ticks * Scheduler::tickIntervalMs()) {
        report.downloadStale = true;
        report.staleSince = since;
    }
}

QString processKind(const ProcessInfo &process)
{
    return process.arguments.contains(QStringLiteral("--headless"))
               ? QStringLiteral("service")
               : QStringLiteral("tray program");
}

QJsonValue isoOrNull(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(isoTime(time)) : QJsonValue(QJsonValue::Null);
}

// The status reads no settings: the advice names the server as configured.
const QString kServerForAdvice = QStringLiteral("configurado");

QString jobText(const StatusReport &r, JobKind kind, const JobState &state)
{
    QString text = jobKey(kind) + QStringLiteral(": ");
    if (kind == JobKind::Download && r.downloadStale)
        text += QStringLiteral("stale (the running program recorded no run since %1, and "
                               "downloads every %2): ")
                    .arg(isoTime(r.staleSince),
                         r.downloadEveryMinutes > 0
                             ? vb::numberText(r.downloadEveryMinutes) + QStringLiteral(" min")
                             : QStringLiteral("tick"));
    if (!state.ran)
        return text + QStringLiteral("never ran");
    text += state.ok() ? QStringLiteral("ok") : QStringLiteral("failed");
    text += QStringLiteral(", ran ") + isoTime(state.started) + QStringLiteral(" to ") +
            isoTime(state.ended);
    if (kind == JobKind::Download && state.tripsSaved)
        text += QStringLiteral(", %1 trips stored, %2 left out")
                    .arg(*state.tripsSaved)
                    .arg(state.tripsLeftOut.value_or(0));
    if (!state.ok()) {
        text +=
            QStringLiteral(", last success ") +
            (state.lastSuccess.isValid() ? isoTime(state.lastSuccess) : QStringLiteral("never"));
        text += QStringLiteral(": ") + state.error->text();
    }
    return text;
}

} // namespace

int StatusReport::exitStatus() const
{
    if (!databaseError.isEmpty())
        return 2;
    return jobs.anyFailed() || downloadStale ? 1 : 0;
}

StatusReport readStatus(const QString &home, const QDateTime &now)
{
    StatusReport report;
    report.home = home;
    report.running = FolderInstanceLock::holder(home);
    QString why;
    report.database = localDatabasePath(home, &why);
    if (report.database.isEmpty()) {
        report.databaseError = why;
        return report;
    }
    try {
        readDatabase(report, now);
        markStale(report, now);
    } catch (const AppError &error) {
        QString why = error.description();
        // A program ended in the middle of a transaction left its journal:
        // the next connection of the program rolls it back, a reader that
        // never writes cannot.
        if (why.contains(QLatin1String("readonly")) &&
            QFileInfo(report.database + QStringLiteral("-journal")).size() > 0)
            why = QStringLiteral("a transaction that a program left unfinished when it ended "
                                 "waits to be rolled back (the program does it when it next "
                                 "opens the database)");
        // Nothing half-read is shown.
        const QString database = report.database;
        const FolderInstanceLock::Holder running = report.running;
        report = StatusReport();
        report.home = home;
        report.database = database;
        report.databaseError = why;
        report.running = running;
    }
    return report;
}

QString statusText(const StatusReport &r)
{
    QString out;
    QTextStream s(&out);
    s << "home: " << r.home << '\n';
    s << "database: " << r.database << '\n';
    s << "running: ";
    if (!r.running.held)
        s << "no";
    else if (!r.running.process)
        s << "yes (its process cannot be seen)";
    else
        s << processKind(*r.running.process) << ", pid " << r.running.process->pid << ", started "
          << isoTime(r.running.process->started);
    s << '\n';
    if (!r.databaseError.isEmpty()) {
        s << "database cannot be read: " << r.databaseError << '\n';
        return out;
    }
    for (const JobKind kind : kJobKinds) {
        const JobState &state = r.jobs.of(kind);
        s << jobText(r, kind, state) << '\n';
        // What to do about it, for the person at the desk.
        if (state.ran && !state.ok())
            s << "  " << clerkExplanation(*state.error, kServerForAdvice) << '\n';
    }
    s << "newest trip: ";
    if (r.newestTrip)
        s << *r.newestTrip;
    else
        s << "none";
    s << ", " << r.tripsDatedToday << " dated today\n";
    s << "readings waiting to be sent: " << r.pending.total;
    if (r.pending.total > 0) {
        QStringList kinds;
        for (const QString &kind : kPendingKinds)
            kinds << kind + u' ' + QString::number(r.pending.byKind.value(kind));
        s << " (" << kinds.join(QStringLiteral(", ")) << "), oldest "
          << r.pending.oldest.toString(Qt::ISODate);
    }
    s << '\n';
    s << "files waiting: " << r.files.total();
    if (r.files.problem.isEmpty()) {
        s << " in " << r.files.folder << " (" << r.files.fresh << " new, " << r.files.unfinished
          << " unfinished, " << r.files.refused << " refused";
        if (r.files.unreadable > 0)
            s << ", " << r.files.unreadable << " with a name that is not text";
        if (r.files.future > 0)
            s << ", " << r.files.future << " dated in the future";
        s << ')';
    } else
        s << " (" << r.files.problem << ")";
    s << '\n';
    if (r.lastErrors.empty()) {
        s << "last errors: none\n";
    } else {
        s << "last errors:\n";
        for (const ErrorEvent &e : r.lastErrors)
            s << "  " << e.id << '\t' << e.date << '\t' << e.text << '\n';
    }
    return out;
}

QString statusJson(const StatusReport &r)
{
    const bool read = r.databaseError.isEmpty();
    QJsonObject o;
    o[QStringLiteral("home")] = r.home;
    o[QStringLiteral("database")] = r.database;
    o[QStringLiteral("database_error")] = read ? QJsonValue() : QJsonValue(r.databaseError);
    o[QStringLiteral("running")] = r.running.held;
    if (r.running.process) {
        QJsonObject p;
        p[QStringLiteral("kind")] = processKind(*r.running.process);
        p[QStringLiteral("pid")] = r.running.process->pid;
        p[QStringLiteral("started")] = isoOrNull(r.running.process->started);
        o[QStringLiteral("process")] = p;
    } else {
        o[QStringLiteral("process")] = QJsonValue();
    }
    QJsonObject jobs;
    for (const JobKind kind : kJobKinds) {
        const JobState &state = r.jobs.of(kind);
        QJsonObject job;
        job[QStringLiteral("last_run")] = isoOrNull(state.started);
        job[QStringLiteral("last_ended")] = isoOrNull(state.ended);
        job[QStringLiteral("last_success")] = isoOrNull(state.lastSuccess);
        job[QStringLiteral("ok")] = state.ran && read ? QJsonValue(state.ok()) : QJsonValue();
        if (state.error) {
            QJsonObject error;
            error[QStringLiteral("number")] = qint64(state.error->number());
            error[QStringLiteral("description")] = state.error->description();
            error[QStringLiteral("advice")] = clerkExplanation(*state.error, kServerForAdvice);
            job[QStringLiteral("error")] = error;
        } else {
            job[QStringLiteral("error")] = QJsonValue();
        }
        if (kind == JobKind::Download) {
            job[QStringLiteral("trips_saved")] =
                state.tripsSaved ? QJsonValue(*state.tripsSaved) : QJsonValue();
            job[QStringLiteral("trips_left_out")] =
                state.tripsSaved ? QJsonValue(state.tripsLeftOut.value_or(0)) : QJsonValue();
            job[QStringLiteral("stale")] = r.downloadStale;
        }
        jobs[jobKey(kind)] = job;
    }
    o[QStringLiteral("jobs")] = jobs;
    o[QStringLiteral("newest_trip")] = r.newestTrip ? QJsonValue(*r.newestTrip) : QJsonValue();
    o[QStringLiteral("trips_dated_today")] = read ? QJsonValue(r.tripsDatedToday) : QJsonValue();
    o[QStringLiteral("pending_readings")] = read ? QJsonValue(r.pending.total) : QJsonValue();
    QJsonObject kinds;
    for (const QString &kind : kPendingKinds)
        kinds[kind] = r.pending.byKind.value(kind);
    o[QStringLiteral("pending_by_kind")] = read ? QJsonValue(kinds) : QJsonValue();
    o[QStringLiteral("oldest_pending")] = r.pending.oldest.isValid()
                                              ? QJsonValue(r.pending.oldest.toString(Qt::ISODate))
                                              : QJsonValue();
    o[QStringLiteral("waiting_files")] = read ? QJsonValue(r.files.total()) : QJsonValue();
    QJsonObject files;
    files[QStringLiteral("folder")] = r.files.folder;
    files[QStringLiteral("new")] = r.files.fresh;
    files[QStringLiteral("unfinished")] = r.files.unfinished;
    files[QStringLiteral("refused")] = r.files.refused;
    files[QStringLiteral("unreadable_names")] = r.files.unreadable;
    files[QStringLiteral("future")] = r.files.future;
    files[QStringLiteral("problem")] =
        r.files.problem.isEmpty() ? QJsonValue() : QJsonValue(r.files.problem);
    o[QStringLiteral("files")] = read ? QJsonValue(files) : QJsonValue();
    QJsonArray errors;
    for (const ErrorEvent &e : r.lastErrors)
        errors.append(QJsonObject{{QStringLiteral("id"), e.id},
                                  {QStringLiteral("date"), e.date},
                                  {QStringLiteral("text"), e.text}});
    o[QStringLiteral("last_errors")] = read ? QJsonValue(errors) : QJsonValue();
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Indented));
}

// zelvano status [--json]: reads (never writes) the state of the home folder;
// exit 0 when every job's last run succeeded or never ran, 1 when one failed,
// 2 when the database cannot be read.
int cmdStatus(CliEnv &env, const QStringList &args)
{
    const bool json = args == QStringList{QStringLiteral("--json")};
    if (!args.isEmpty() && !json) {
        printError(QStringLiteral("usage: zelvano status [--json]"));
        return 2;
    }
    const StatusReport report = readStatus(env.ctx.homeDir, env.clock.now());
    QTextStream out(stdout);
    out << (json ? statusJson(report) : statusText(report));
    out.flush();
    return report.exitStatus();
}

} // namespace zelvano
