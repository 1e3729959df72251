#include "milk/importbook.h"

#include "common/error.h"
#include "common/errortext.h"
#include "store/appcontext.h"
#include "store/eventlog.h"
#include "store/localconnection.h"
#include "store/transaction.h"

#include <QFileInfo>
#include <QSqlDriver>

#include <sqlite3.h>

#include <cstdio>

namespace zelvano {

namespace {

QString quoted(const QString &text)
{
    QString q = text;
    q.replace(u'\'', QStringLiteral("''"));
    return u'\'' + q + u'\'';
}

QString nowText()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

BookedFile bookedFrom(const Recordset &rs)
{
    BookedFile f;
    f.id = rs.value(0).toLongLong();
    f.name = rs.value(1).toString();
    f.stamp.size = rs.value(2).toLongLong();
    f.stamp.modifiedMs = rs.value(3).toLongLong();
    f.hash = rs.value(4).toString().toLatin1();
    f.finalName = rs.value(5).toString();
    f.pending = rs.value(6).toLongLong() != 0;
    return f;
}

const QString kColumns =
    QStringLiteral("select id, archivo, tamano, modificado, huella, nombre_final, pendiente "
                   "from zelvano_lecturas where carpeta = ");

} // namespace

FileStamp FileStamp::of(const QString &path)
{
    FileStamp stamp;
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return stamp;
    stamp.size = info.size();
    stamp.modifiedMs = info.lastModified().toMSecsSinceEpoch();
    return stamp;
}

QDateTime FileStamp::modified() const
{
    return QDateTime::fromMSecsSinceEpoch(modifiedMs);
}

namespace ImportBook {

qint64 record(LocalConnection &db, const FileBooking &booking, const QByteArray &hash,
              qint64 readingId)
{
    db.execute(QStringLiteral("insert into zelvano_lecturas (carpeta, archivo, tamano, modificado, "
                              "huella, nombre_final, id_lectura, pendiente, fecha) "
                              "values (?, ?, ?, ?, ?, ?, ?, 1, ?)"),
               {booking.folder, booking.name, booking.stamp.size, booking.stamp.modifiedMs,
                QString::fromLatin1(hash), booking.finalName,
                readingId > 0 ? QVariant(readingId) : QVariant(), nowText()});
    const Recordset id = db.openRecordset(QStringLiteral("select last_insert_rowid()"));
    return id.value(0).toLongLong();
}

bool find(LocalConnection &db, const QString &folder, const QString &name, const FileStamp &stamp,
          const QByteArray &hash, BookedFile *found)
{
    const Recordset rs = db.openRecordset(
        kColumns + quoted(folder) + QStringLiteral(" and archivo = ") + quoted(name) +
        QStringLiteral(" and tamano = %1 and modificado = %2 and huella = ")
            .arg(stamp.size)
            .arg(stamp.modifiedMs) +
        quoted(QString::fromLatin1(hash)) + QStringLiteral(" order by id"));
    if (rs.eof())
        return false;
    *found = bookedFrom(rs);
    return true;
}

std::vector<BookedFile> pending(LocalConnection &db, const QString &folder)
{
    std::vector<BookedFile> files;
    Recordset rs = db.openRecordset(kColumns + quoted(folder) +
                                    QStringLiteral(" and pendiente = 1 order by id"));
    for (; !rs.eof(); rs.moveNext())
        files.push_back(bookedFrom(rs));
    return files;
}

void markDone(LocalConnection &db, qint64 id, const QString &finalName)
{
    db.execute(
        QStringLiteral("update zelvano_lecturas set pendiente = 0, nombre_final = ? where id = ?"),
        {finalName, id});
}

void clearNotice(LocalConnection &db, const QString &folder, const QString &name)
{
    db.execute(QStringLiteral("delete from zelvano_avisos where carpeta = ? and archivo = ?"),
               {folder, name});
}

} // namespace ImportBook

bool transactionAlive(LocalConnection &db)
{
    const QVariant handle = db.database().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return false;
    sqlite3 *engine = *static_cast<sqlite3 *const *>(handle.constData());
    return engine && !sqlite3_get_autocommit(engine);
}

void requireTransactionAlive(LocalConnection &db)
{
    if (db.inTransaction() && !transactionAlive(db))
        raise(ErrNo::ProviderFailure,
              QStringLiteral("The database rolled the transaction back after a failure"));
}

bool noticeOnce(AppContext &ctx, const QString &folder, const QString &name,
                const QString &situation, const QString &text)
{
    try {
        LocalConnection &db = ctx.db();
        Transaction transaction(db);
        // Written only when the situation is new; the write also takes the
        // database for the event that goes with it.
        const int changed = db.execute(
            QStringLiteral("insert into zelvano_avisos (carpeta, archivo, situacion, fecha) "
                           "values (?, ?, ?, ?) on conflict (carpeta, archivo) do update set "
                           "situacion = excluded.situacion, fecha = excluded.fecha "
                           "where situacion <> excluded.situacion"),
            {folder, name, situation, nowText()});
        if (changed == 0)
            return false;
        Grabar_Suceso(ctx, ctx.today(), text);
        transaction.commit();
        return true;
    } catch (const AppError &error) {
        std::fprintf(stderr, "%s\n(%s)\n", text.toLocal8Bit().constData(),
                     ErrorText::inProcedure(error, QStringLiteral("Grabar_Suceso"))
                         .toLocal8Bit()
                         .constData());
        return false;
    }
}

} // namespace zelvano
