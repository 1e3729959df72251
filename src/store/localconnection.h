#pragma once

#include "common/error.h"

#include "store/sqldialect.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace zelvano {

class LocalConnection;

// How a column's values are converted on their way in and out.
enum class ColumnKind { Integer, Number, Text, Date, Time, Boolean, Other };

struct ColumnInfo
{
    QString name;
    QString declaredType;
    ColumnKind kind = ColumnKind::Other;
    bool autoNumber = false;
};

struct TableInfo
{
    QString name; // as the database spells it
    QString key;  // the name in lower case, as the connection's caches know it
    std::vector<ColumnInfo> columns;
    int autoNumberColumn = -1;
    int indexOf(const QString &column) const; // case-insensitive, -1 when absent
};

ColumnKind columnKindOf(const QString &declaredType);

// Converts a value the way the local engine does when it is assigned to a
// column of that kind: "12" into an integer column is 12, "abc" is error 13.
QVariant convertForColumn(ColumnKind kind, const QVariant &value);

// A result set read by column position. The rows are read when it is opened,
// so its count is known and the connection may run other statements while it
// is walked. A result opened updatable on one table can change the current
// row's columns and save them.
class Recordset
{
public:
    Recordset() = default;

    bool eof() const { return m_current >= int(m_rows.size()); }
    void moveNext();
    int recordCount() const { return int(m_rows.size()); }
    int fieldCount() const { return int(m_names.size()); }
    QString fieldName(int position) const;

    // The value of a column of the current row; Null as an invalid QVariant.
    QVariant value(int position) const;
    QVariant value(const QString &name) const;

    // Updatable results only: set a column of the current row, then save it.
    void setValue(int position, const QVariant &value);
    void setValue(const QString &name, const QVariant &value);
    void update();

    void close();

private:
    friend class LocalConnection;
    int positionOf(const QString &name) const;

    LocalConnection *m_connection = nullptr;
    std::vector<QString> m_names;
    std::vector<ColumnKind> m_kinds;
    std::vector<std::vector<QVariant>> m_rows;
    std::vector<qint64> m_rowids; // updatable results: the row's identity
    QString m_table;              // updatable results: the one table
    std::vector<int> m_tableColumn; // result position -> table column, -1 when not one
    QHash<int, QVariant> m_pending;
    int m_current = 0;
};

// A whole table opened by name to add rows: add, set columns by position,
// read them back converted, save. The autonumber of the new row is known
// right after the add.
class TableWriter
{
public:
    void addNew();
    void setValue(int position, const QVariant &value);
    // The same for a text, without wrapping it in a value first.
    void setText(int position, const QString &text);
    QVariant value(int position) const;
    void update();
    int columnCount() const { return int(m_info.columns.size()); }
    const TableInfo &info() const { return m_info; }
    void close();

private:
    friend class LocalConnection;
    QVariant &slot(int position);

    LocalConnection *m_connection = nullptr;
    TableInfo m_info;
    std::vector<QVariant> m_row;
    bool m_adding = false;
};

// The one connection to the local database. SQL texts are written in the
// suite's dialect (date literals between "#", "top N", true = -1, val()) and
// translated here; every failure is an AppError with the number the callers'
// messages expect.
class LocalConnection
{
public:
    LocalConnection();
    ~LocalConnection();
    LocalConnection(const LocalConnection &) = delete;
    LocalConnection &operator=(const LocalConnection &) = delete;

    // Fails with -2147467259 when the file is missing or is not a database.
    void open(const QString &path);
    void close();
    bool isOpen() const { return m_open; }
    QString path() const { return m_path; }

    // A statement without rows; returns the number of rows it changed.
    int execute(const QString &sql);
    // A statement in the engine's own SQL with a "?" for each of the values,
    // for statements the program builds from many values of its own.
    int execute(const QString &sql, const std::vector<QVariant> &parameters);
    Recordset openRecordset(const QString &sql, bool updatable = false);
    TableWriter openTable(const QString &table);

    void beginTrans();
    void commitTrans();
    void rollbackTrans();
    bool inTransaction() const { return m_inTransaction; }

    const TableInfo &tableInfo(const QString &table);

    // Statements run since open, for tests and benchmarks.
    qint64 statementCount() const { return m_statements; }

    QSqlDatabase &database() { return m_db; }

private:
    friend class Recordset;
    friend class TableWriter;
    void requireOpen() const;
    class Prepared;
    [[noreturn]] void fail(const class QSqlError &error, const QString &sql) const;
    [[noreturn]] void failNative(const QString &sql) const;
    std::unique_ptr<Prepared> prepare(const QString &sql);
    std::unique_ptr<Prepared> prepareTranslated(const SqlDialect::Translated &t,
                                                const QString &original);
    qint64 nextAutoNumber(const TableInfo &info);
    void saveRow(const QString &table, qint64 rowid, const QHash<int, QVariant> &changes,
                 const std::vector<int> &tableColumn);
    void insertRow(TableWriter &writer);

    QSqlDatabase m_db;
    QString m_connectionName;
    QString m_path;
    bool m_open = false;
    bool m_inTransaction = false;
    qint64 m_statements = 0;
    QHash<QString, TableInfo> m_tables; // by lower-case name
    QHash<QString, qint64> m_nextAuto;  // by lower-case name, inside a transaction
    struct RowInsert;
    // Prepared row-set inserts, by lower-case name.
    QHash<QString, std::shared_ptr<RowInsert>> m_inserts;
    QHash<QString, struct sqlite3_stmt *> m_cache; // prepared statements, by translated text
    sqlite3 *m_handle = nullptr;
};

// Creates the triggers that keep every DATE column in its canonical form,
// whatever text a statement wrote into it.
void installDateTriggers(LocalConnection &connection);

// Raises a failure of the database engine (its extended result code and
// message): a full disk or database as error 61 saying so, whatever the
// statement was; a refused row as the provider's failure; anything else
// with otherNumber.
[[noreturn]] void raiseEngineFailure(int code, const QString &message,
                                     long otherNumber = ErrNo::SqlError);

} // namespace zelvano
