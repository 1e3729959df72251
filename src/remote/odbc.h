#pragma once

#include "common/error.h"

#include <QString>
#include <QVariant>

#include <vector>

namespace zelvano {

// The rows of one select, all read when the statement ran (a static result:
// its count is known up front). Values by zero-based position; Null is an
// invalid QVariant.
class OdbcResult
{
public:
    bool eof() const { return m_pos >= m_rows.size(); }
    void moveNext() { ++m_pos; }
    int recordCount() const { return int(m_rows.size()); }
    int columnCount() const { return int(m_names.size()); }
    QString columnName(int position) const { return m_names.at(size_t(position)); }
    // The current row's value at a position; error 9 past the last column.
    QVariant value(int position) const;

private:
    friend class OdbcConnection;
    std::vector<QString> m_names;
    std::vector<std::vector<QVariant>> m_rows;
    size_t m_pos = 0;
};

// A connection to the server's MySQL database through Qt's ODBC driver.
// Opening failures raise ErrNo::ProviderFailure, failing statements
// ErrNo::SqlError, both with the driver's text. Closed with the object.
class OdbcConnection
{
public:
    // Opens the connection (the trailing ";" of the text is dropped, the ODBC
    // driver manager would read it as an empty attribute). A server that does
    // not answer the login fails after loginTimeoutSeconds instead of hanging.
    // With silenceSeconds, a statement whose server sends nothing (or takes
    // nothing) for that long fails ("Lost connection to server during query")
    // instead of holding the job until the link's own time-out, hours later.
    explicit OdbcConnection(const QString &connectionString, int loginTimeoutSeconds = 60,
                            int silenceSeconds = 0);
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection &) = delete;
    OdbcConnection &operator=(const OdbcConnection &) = delete;

    // Runs a select and reads its rows.
    OdbcResult openRecordset(const QString &sql);
    // Runs a statement without rows; the rows it matched.
    int execute(const QString &sql);

    void close();
    bool isOpen() const { return !m_name.isEmpty(); }

private:
    QString m_name;
};

} // namespace zelvano
