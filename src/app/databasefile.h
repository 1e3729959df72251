#pragma once

#include <QSqlDatabase>
#include <QString>

namespace zelvano {

// A connection of its own to the local database file, for work that must
// stay out of the job's way: the job record and the status command. The file
// is never created (a missing one fails to open), and a database held by
// another connection is waited for busyMs at most.
class DatabaseFile
{
public:
    enum class Mode { ReadOnly, ReadWrite };

    DatabaseFile(const QString &path, Mode mode, int busyMs);
    ~DatabaseFile();
    DatabaseFile(const DatabaseFile &) = delete;
    DatabaseFile &operator=(const DatabaseFile &) = delete;

    // False with the reason in error() when it could not be opened.
    bool isOpen() const { return m_open; }
    QString error() const { return m_error; }
    QSqlDatabase &db() { return m_db; }

    // A statement without rows; raises AppError when it fails.
    void exec(const QString &sql);

private:
    QString m_name;
    QSqlDatabase m_db;
    bool m_open = false;
    QString m_error;
};

} // namespace zelvano
