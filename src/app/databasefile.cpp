#include "app/databasefile.h"

#include "common/error.h"
#include "store/localconnection.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

namespace zelvano {

namespace {
QAtomicInt g_serial;
} // namespace

DatabaseFile::DatabaseFile(const QString &path, Mode mode, int busyMs)
    : m_name(QStringLiteral("zelvano-file-%1").arg(g_serial.fetchAndAddRelaxed(1)))
{
    if (!QFileInfo(path).isFile()) {
        m_error = QStringLiteral("no database file at %1").arg(path);
        return;
    }
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    // A URI with its mode: "rw" and "ro" never create the file.
    m_db.setDatabaseName(
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded) +
        (mode == Mode::ReadOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw")));
    m_db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1%2")
            .arg(busyMs)
            .arg(mode == Mode::ReadOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    if (!m_db.open()) {
        m_error = m_db.lastError().text();
        return;
    }
    m_open = true;
}

DatabaseFile::~DatabaseFile()
{
    if (m_db.isValid())
        m_db.close();
    m_db = QSqlDatabase();
    if (QSqlDatabase::contains(m_name))
        QSqlDatabase::removeDatabase(m_name);
}

void DatabaseFile::exec(const QString &sql)
{
    QSqlQuery query(m_db);
    if (!query.exec(sql))
        raiseEngineFailure(query.lastError().nativeErrorCode().toInt(),
                           query.lastError().databaseText().isEmpty()
                               ? query.lastError().text()
                               : query.lastError().databaseText(),
                           ErrNo::ProviderFailure);
}

} // namespace zelvano
