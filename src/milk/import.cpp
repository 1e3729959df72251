#include "milk/import.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/errortext.h"
#include "milk/crashpoint.h"
#include "milk/csvreader.h"
#include "milk/importbook.h"
#include "platform/filerename.h"
#include "platform/folderlisting.h"
#include "platform/openwriters.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "store/programtables.h"
#include "store/transaction.h"
#include "sync/sync.h"
#include "trips/headcounts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/stat.h>

namespace zelvano {

namespace {

const QString kReadPrefix = readPrefix();
const QString kAsidePrefix = asidePrefix();

// A file dated this far past the wall clock is noted as dated in the future.
constexpr qint64 kFutureMs = 60000;

// "07-12-2026 10;00;00": the day and time of now, fit for a file name.
QString stamp(AppContext &ctx)
{
    const QDateTime now = ctx.clock.now();
    QString text = DateTexts::date(now.date()) + u' ' + DateTexts::time(now.time());
    text.replace(u'/', u'-');
    text.replace(u':', u';');
    return text;
}

// The wanted name, made unique when a file of that name is already there: the
// prefix, the day and time, then the name (and a number when needed).
QString freeName(AppContext &ctx, const QDir &folder, const QString &wanted, const QString &prefix,
                 const QString &name)
{
    if (!QFileInfo::exists(folder.filePath(wanted)))
        return wanted;
    const QString stamped = prefix + stamp(ctx) + u' ' + name;
    if (!QFileInfo::exists(folder.filePath(stamped)))
        return stamped;
    for (int n = 2;; ++n) {
        const QString numbered = prefix + stamp(ctx) + QStringLiteral(" (%1) ").arg(n) + name;
        if (!QFileInfo::exists(folder.filePath(numbered)))
            return numbered;
    }
}

// The stamp of a file reached by the bytes of its path.
FileStamp stampOfBytes(const QByteArray &path)
{
    FileStamp stamp;
    struct stat info
    {
    };
    if (::stat(path.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return stamp;
    stamp.size = info.st_size;
    stamp.modifiedMs = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
    return stamp;
}

// One scan of one folder.
class Scan
{
public:
    Scan(AppContext &ctx, ImportOutcome &outcome, const QString &folder, const MilkFormat &format)
        : m_ctx(ctx), m_outcome(outcome), m_dir(folder), m_format(format)
    {
        // The folder as the bookkeeping knows it, however the setting spells it.
        m_folder = QFileInfo(folder).canonicalFilePath();
        if (m_folder.isEmpty())
            m_folder = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    }

    // Files committed by an earlier scan that do not carry their final name
    // yet (the process ended in between, or the rename failed): each one still
    // there, unchanged, gets its name now and is not read again. Returns their
    // names.
    QSet<QString> finishCommitted(const QStringList &names)
    {
        QSet<QString> finished;
        const QSet<QString> present(names.begin(), names.end());
        for (const BookedFile &file : ImportBook::pending(m_ctx.db(), m_folder)) {
            const QString path = m_dir.filePath(file.name);
            if (present.contains(file.name) && FileStamp::of(path) == file.stamp &&
                (file.hash.isEmpty() || fileHash(path) == file.hash)) {
                finished.insert(file.name);
                giveFinalName(file);
                continue;
            }
            // Renamed before the bookkeeping heard of it, taken away, or
            // replaced by a new file of the same name (read as new).
            markDone(file.id, file.finalName, file.name);
        }
        return finished;
    }

    void importFile(const QString &name)
    {
        const QString path = m_dir.filePath(name);
        const FileStamp stamp = FileStamp::of(path);
        if (!stamp.exists())
            return;
        // Not finished: it changed since the last look, or stood too short a
        // while, or a process is still writing it.
        m_looked.insert(path);
        if (!FileLooks::ofProcess().finished(path, stamp, m_ctx.clock.monotonicMs()) ||
            m_writers.heldForWriting(path)) {
            ++m_outcome.unfinished;
            return;
        }
        if (stamp.modifiedMs > m_ctx.clock.now().toMSecsSinceEpoch() + kFutureMs)
            noticeOnce(m_ctx, m_folder, name, QStringLiteral("futuro %1").arg(stamp.modifiedMs),
                       QStringLiteral("El archivo %1 tiene fecha futura (%2 %3), posterior a la "
                                      "hora de esta computadora; se importa igual - %4")
                           .arg(name, DateTexts::date(stamp.modified().date()),
                                DateTexts::time(stamp.modified().time()), m_ctx.timeText()));
        if (stamp.size == 0) {
            // It waits: an export caught before its first line is read once written.
            noticeOnce(
                m_ctx, m_folder, name, QStringLiteral("vacio %1").arg(stamp.modifiedMs),
                QStringLiteral("El archivo %1 esta vacio, no se importo ninguna lectura - %2")
                    .arg(name, m_ctx.timeText()));
            return;
        }
        if (stamp.size > kMaxMilkFileBytes) {
            setAside(name, stamp);
            return;
        }

        FileBooking booking;
        booking.folder = m_folder;
        booking.name = name;
        booking.finalName =
            freeName(m_ctx, m_dir, readFileName(m_ctx, name, m_format), kReadPrefix, name);
        booking.stamp = stamp;
        const MilkFileOutcome file = LeerDatos_CSV(m_ctx, path, name, &booking);
        if (!file.ok()) {
            failed(name, file.errorText());
            m_outcome.take(file);
        }
        switch (file.state) {
        case MilkFileState::Stored:
            ++m_outcome.stored;
            giveFinalName(file.booked);
            break;
        case MilkFileState::NotAReading:
        case MilkFileState::AlreadyStored:
            giveFinalName(file.booked);
            break;
        case MilkFileState::Empty:
        case MilkFileState::Waiting:
            break;
        }
    }

    // A name that is not valid text reaches its file by its bytes alone, and
    // the reading, the bookkeeping and the events all work with text: once
    // finished, the file is moved aside under its readable name, told in one event.
    void setAsideUnreadable(const UnreadableName &name)
    {
        const QByteArray from = QFile::encodeName(m_dir.path()) + '/' + name.bytes;
        const FileStamp stamp = stampOfBytes(from);
        if (!stamp.exists())
            return;
        const QString key = m_dir.filePath(name.readable);
        m_looked.insert(key);
        if (!FileLooks::ofProcess().finished(key, stamp, m_ctx.clock.monotonicMs())) {
            ++m_outcome.unfinished;
            return;
        }
        const QString aside =
            freeName(m_ctx, m_dir, asideFileName(name.readable), kAsidePrefix, name.readable);
        noticeOnce(m_ctx, m_folder, name.readable,
                   QStringLiteral("nombre %1 %2").arg(stamp.size).arg(stamp.modifiedMs),
                   QStringLiteral("El archivo %1 tiene un nombre que no es texto valido: no se "
                                  "importo y se aparto como %2 - %3")
                       .arg(name.readable, aside, m_ctx.timeText()));
        QString reason;
        if (!renameNoReplace(from, QFile::encodeName(m_dir.filePath(aside)), &reason)) {
            m_outcome.fail(ErrNo::PermissionDenied,
                           QStringLiteral("No se pudo apartar el archivo %1").arg(name.readable));
            failed(name.readable, QStringLiteral("a name that is not text, could not be set "
                                                 "aside as %1: %2")
                                      .arg(aside, reason));
            return;
        }
        m_outcome.setAside.push_back({name.readable, aside});
        failed(name.readable, QStringLiteral("a name that is not text: set aside unread"));
    }

    // The files this scan no longer found are forgotten.
    void forgetGone() { FileLooks::ofProcess().keepOnly(m_dir.path(), m_looked); }

private:
    // Too large to be an export: recorded, named in one event and moved aside.
    void setAside(const QString &name, const FileStamp &stamp)
    {
        FileBooking booking;
        booking.folder = m_folder;
        booking.name = name;
        booking.finalName = freeName(m_ctx, m_dir, asideFileName(name), kAsidePrefix, name);
        booking.stamp = stamp;
        BookedFile booked;
        try {
            LocalConnection &db = m_ctx.db();
            Transaction transaction(db);
            ImportBook::clearNotice(db, m_folder, name);
            if (!ImportBook::find(db, m_folder, name, stamp, QByteArray(), &booked)) {
                booked.id = ImportBook::record(db, booking, QByteArray(), 0);
                booked.name = name;
                booked.stamp = stamp;
                booked.finalName = booking.finalName;
                Grabar_Suceso(
                    m_ctx, m_ctx.today(),
                    QStringLiteral("El archivo %1 tiene %2 bytes, mas que los %3 de un archivo "
                                   "de ordene: no se importo y se aparto como %4 - %5")
                        .arg(name)
                        .arg(stamp.size)
                        .arg(kMaxMilkFileBytes)
                        .arg(booking.finalName, m_ctx.timeText()));
            }
            transaction.commit();
        } catch (const AppError &error) {
            reportUnlogged(error, QStringLiteral("Abrir"));
            m_outcome.fail(error);
            failed(name, error.text());
            return;
        }
        failed(name, QStringLiteral("%1 bytes, more than %2: set aside unread")
                         .arg(stamp.size)
                         .arg(kMaxMilkFileBytes));
        giveFinalName(booked);
    }

    // After the commit: the file takes the name it was recorded with (a fresh
    // one when that was taken meanwhile), then the record is done.
    void giveFinalName(const BookedFile &file)
    {
        crashPoint("committed");
        const bool aside = file.finalName.startsWith(kAsidePrefix);
        const QString prefix = aside ? kAsidePrefix : kReadPrefix;
        const QString from = m_dir.filePath(file.name);
        QString finalName = file.finalName;
        QString reason;
        bool renamed = renameNoReplace(from, m_dir.filePath(finalName), &reason);
        if (!renamed && QFileInfo::exists(m_dir.filePath(finalName))) {
            finalName = freeName(m_ctx, m_dir, finalName, prefix, file.name);
            renamed = renameNoReplace(from, m_dir.filePath(finalName), &reason);
        }
        if (!renamed) {
            if (!QFileInfo::exists(from)) {
                markDone(file.id, file.finalName, file.name); // renamed by a concurrent scan
                return;
            }
            // Stored already: only the name is missing. Told once; every scan tries again.
            noticeOnce(
                m_ctx, m_folder, file.name,
                QStringLiteral("renombrar %1 %2 %3")
                    .arg(file.stamp.size)
                    .arg(file.stamp.modifiedMs)
                    .arg(reason),
                QStringLiteral("No se pudo renombrar el archivo %1 a %2 (%3); su lectura ya esta "
                               "guardada y no se importara de nuevo - %4")
                    .arg(file.name, finalName, reason, m_ctx.timeText()));
            m_outcome.fail(ErrNo::PermissionDenied,
                           QStringLiteral("No se pudo renombrar el archivo %1").arg(file.name));
            failed(file.name, QStringLiteral("committed, but could not be renamed to %1: %2")
                                  .arg(finalName, reason));
            return;
        }
        crashPoint("renamed");
        markDone(file.id, finalName, file.name);
        (aside ? m_outcome.setAside : m_outcome.files).push_back({file.name, finalName});
    }

    // One entry per file, with every reason it failed for.
    void failed(const QString &name, const QString &reason)
    {
        std::vector<FailedFile> &files = m_outcome.failedFiles;
        if (!files.empty() && files.back().name == name)
            files.back().reason += QStringLiteral("; ") + reason;
        else
            files.push_back({name, reason});
    }

    // A failure here leaves the record pending: the next scan finds the file
    // gone from its name and marks it done then.
    void markDone(qint64 id, const QString &finalName, const QString &name)
    {
        try {
            LocalConnection &db = m_ctx.db();
            Transaction transaction(db);
            ImportBook::markDone(db, id, finalName);
            ImportBook::clearNotice(db, m_folder, name);
            transaction.commit();
        } catch (const AppError &) {
        }
    }

    AppContext &m_ctx;
    ImportOutcome &m_outcome;
    QDir m_dir;
    QString m_folder;
    const MilkFormat &m_format;
    SystemFileWriters m_writers;
    QSet<QString> m_looked;
};

} // namespace

QString readFileName(AppContext &ctx, const QString &name, const MilkFormat &format)
{
    return format.readName(name, stamp(ctx));
}

qint64 settleMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("ZELVANO_SETTLE_MS", &ok);
    return ok && ms >= 0 && ms <= kSettleMs ? ms : kSettleMs;
}

bool FileLooks::finished(const QString &path, const FileStamp &stamp, qint64 nowMs)
{
    auto it = m_looks.find(path);
    if (it == m_looks.end() || it->stamp != stamp) {
        m_looks.insert(path, {stamp, nowMs});
        return false;
    }
    return nowMs - it->sinceMs >= settleMs();
}

void FileLooks::seen(const QString &path, const FileStamp &stamp, qint64 atMs)
{
    auto it = m_looks.find(path);
    if (it == m_looks.end() || it->stamp != stamp)
        m_looks.insert(path, {stamp, atMs});
}

void FileLooks::keepOnly(const QString &folder, const QSet<QString> &paths)
{
    const QString prefix = QDir(folder).path() + u'/';
    for (auto it = m_looks.begin(); it != m_looks.end();) {
        if (it.key().startsWith(prefix) && !paths.contains(it.key()))
            it = m_looks.erase(it);
        else
            ++it;
    }
}

FileLooks &FileLooks::ofProcess()
{
    static FileLooks looks;
    return looks;
}

int lookAtImportFolder(AppContext &ctx)
{
    const Settings &settings = ctx.settings;
    const MilkFormat *format = milkFormat(settings.ImportSoftware);
    if (!format)
        return 0;
    int unfinished = 0;
    try {
        const QDir dir(settings.ImportFolder);
        const qint64 now = ctx.clock.monotonicMs();
        for (const QString &name :
             listFolder(settings.ImportFolder, format->pattern(settings.ImportFileName))) {
            if (!isImportName(*format, settings.ImportFileName, name))
                continue;
            const QString path = dir.filePath(name);
            const FileStamp stamp = FileStamp::of(path);
            if (stamp.exists() && !FileLooks::ofProcess().finished(path, stamp, now))
                ++unfinished;
        }
        const QString pattern = format->pattern(settings.ImportFileName);
        for (const UnreadableName &name : unreadableNames(settings.ImportFolder, pattern)) {
            const FileStamp stamp = stampOfBytes(QFile::encodeName(dir.path()) + '/' + name.bytes);
            if (stamp.exists() &&
                !FileLooks::ofProcess().finished(dir.filePath(name.readable), stamp, now))
                ++unfinished;
        }
    } catch (const AppError &) {
        // The scan itself tells what is wrong with the folder.
    }
    return unfinished;
}

QString asideFileName(const QString &name)
{
    return kAsidePrefix + name;
}

ImportOutcome Abrir(AppContext &ctx)
{
    ImportOutcome outcome;
    const Settings &settings = ctx.settings;
    const MilkFormat *format = milkFormat(settings.ImportSoftware);
    if (!format)
        return outcome;
    const QString pattern = format->pattern(settings.ImportFileName);

    try {
        const QString folderPath = settings.ImportFolder;
        const QStringList names = listFolder(folderPath, pattern);
        Scan scan(ctx, outcome, folderPath, *format);
        QSet<QString> finished;
        try {
            // A database that could not take the bookkeeping when it was
            // opened (locked then) gets it now.
            // A full disk says so here, not as a table that does not exist.
            if (const std::optional<AppError> why = ensureProgramTables(ctx.db()))
                throw *why;
            finished = scan.finishCommitted(names);
        } catch (const AppError &error) {
            // Without the bookkeeping no file can be told read or not: none is read.
            outcome.fail(error);
            logEvent(ctx, ErrorText::inWindow(error, QStringLiteral("Abrir")));
            return outcome;
        }
        for (const QString &name : names) {
            if (!isImportName(*format, settings.ImportFileName, name) || finished.contains(name))
                continue;
            scan.importFile(name);
        }
        for (const UnreadableName &name : unreadableNames(folderPath, pattern))
            scan.setAsideUnreadable(name);
        scan.forgetGone();
    } catch (const AppError &error) {
        outcome.fail(error);
        if (error.number() == ErrNo::PathNotFound) {
            ctx.notices.messageBox(
                QStringLiteral(
                    "Zelvano no pudo encontrar la ruta de importacion de archivos de Delpro "
                    "''") +
                    settings.ImportFolder +
                    QStringLiteral("'', verificar la misma en Brenmoor Avanzado desde Tablero de "
                                   "Control - Datos Remotos"),
                UserNotices::Icon::Exclamation, QStringLiteral("Zelvano"));
        } else {
            ctx.notices.messageBox(
                ErrorText::descriptionFirst(
                    error, QStringLiteral("procedimiento Abrir of Formulario FrmProdDia")),
                UserNotices::Icon::Critical, QStringLiteral("Error Nº: %1").arg(error.number()));
        }
        return outcome;
    }

    // Head counts and the upload once, after the files, when a reading was
    // committed or a committed file got its name only now.
    if (outcome.stored > 0 || !outcome.files.empty()) {
        if (settings.HeadCountFromMilk)
            outcome.take(Actualizar_Cabezas_Litros(ctx));
        outcome.sync = Sincronizar_CabProd(ctx, false);
    }
    return outcome;
}

} // namespace zelvano
