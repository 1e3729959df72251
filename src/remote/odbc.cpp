#include "remote/odbc.h"

#include "common/error.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <atomic>

namespace zelvano {

namespace {

QString odbcErrorText(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty())
        text = error.text().trimmed();
    return text;
}

std::atomic<int> g_connectionSerial{0};

} // namespace

QVariant OdbcResult::value(int position) const
{
    if (eof())
        raise(ErrNo::ProviderFailure,
              QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    const std::vector<QVariant> &row = m_rows[m_pos];
    if (position < 0 || size_t(position) >= row.size())
        raise(ErrNo::SubscriptOutOfRange,
              QStringLiteral("Item cannot be found in the collection corresponding to the "
                             "requested name or ordinal."));
    return row[size_t(position)];
}

OdbcConnection::OdbcConnection(const QString &connectionString, int loginTimeoutSeconds,
                               int silenceSeconds)
{
    const QString name = QStringLiteral("zelvano-odbc-%1").arg(++g_connectionSerial);
    QString text = connectionString;
    while (text.endsWith(QLatin1Char(';')))
        text.chop(1);
    // The driver's own login time-out: without it a silent server is waited for
    // for ever (the driver manager's login attribute does not reach it).
    text += QStringLiteral(";CONN_TIMEOUT=%1").arg(qMax(1, loginTimeoutSeconds));
    if (silenceSeconds > 0)
        text += QStringLiteral(";READ_TIMEOUT=%1;WRITE_TIMEOUT=%1").arg(silenceSeconds);
    bool ok = false;
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), name);
        db.setDatabaseName(text);
        ok = db.open();
        if (!ok)
            error = odbcErrorText(db.lastError());
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(name);
        raise(ErrNo::ProviderFailure, error);
    }
    m_name = name;
}

OdbcConnection::~OdbcConnection()
{
    close();
}

void OdbcConnection::close()
{
    if (m_name.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_name.clear();
}

OdbcResult OdbcConnection::openRecordset(const QString &sql)
{
    if (m_name.isEmpty())
        raise(ErrNo::ConnectionClosed);
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(sql))
        raise(ErrNo::SqlError, odbcErrorText(query.lastError()));
    OdbcResult result;
    const QSqlRecord record = query.record();
    const int columns = record.count();
    for (int i = 0; i < columns; ++i)
        result.m_names.push_back(record.fieldName(i));
    const int expected = query.numRowsAffected();
    if (expected > 0)
        result.m_rows.reserve(size_t(expected));
    while (query.next()) {
        std::vector<QVariant> row;
        row.reserve(size_t(columns));
        for (int i = 0; i < columns; ++i) {
            QVariant v = query.value(i);
            row.push_back(v.isNull() ? QVariant() : v);
        }
        result.m_rows.push_back(std::move(row));
    }
    if (query.lastError().isValid())
        raise(ErrNo::SqlError, odbcErrorText(query.lastError()));
    return result;
}

int OdbcConnection::execute(const QString &sql)
{
    if (m_name.isEmpty())
        raise(ErrNo::ConnectionClosed);
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    QSqlQuery query(db);
    if (!query.exec(sql))
        raise(ErrNo::SqlError, odbcErrorText(query.lastError()));
    return query.numRowsAffected();
}

} // namespace zelvano
