#include "store/localconnection.h"

#include "common/datetexts.h"
#include "common/error.h"
#include "common/vb.h"
#include "store/sqldialect.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <sqlite3.h>
#include <string>

namespace zelvano {

namespace {

QAtomicInt g_connectionSerial;

sqlite3 *databaseHandle(QSqlDatabase &db)
{
    const QVariant h = db.driver()->handle();
    if (h.isValid() && qstrcmp(h.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(h.constData());
    return nullptr;
}

// "HH:mm:ss" by hand: QTime::toString goes through the locale machinery, and
// the row-set path writes a time with every load and unload.
void timeText(QTime t, char (&out)[8])
{
    const int parts[3] = {t.hour(), t.minute(), t.second()};
    for (int i = 0; i < 3; ++i) {
        out[i * 3] = char('0' + parts[i] / 10);
        out[i * 3 + 1] = char('0' + parts[i] % 10);
        if (i < 2)
            out[i * 3 + 2] = ':';
    }
}

// Copies a text that is all ASCII to out, its UTF-8 form; false, and out
// unfinished, at the first character that is not.
bool narrowAscii(const QString &text, char *out)
{
    const char16_t *s = reinterpret_cast<const char16_t *>(text.constData());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (s[i] >= 0x80)
            return false;
        out[i] = char(s[i]);
    }
    return true;
}

// A value as the engine stores it: canonical date text, "HH:mm:ss", -1/0.
QVariant storedForm(ColumnKind kind, const QVariant &v)
{
    if (vb::isNull(v))
        return v;
    switch (kind) {
    case ColumnKind::Date:
        if (v.typeId() == QMetaType::QDate)
            return SqlDialect::canonicalDate(v.toDate());
        if (v.typeId() == QMetaType::QDateTime)
            return SqlDialect::canonicalDate(v.toDateTime().date(), v.toDateTime().time());
        return v;
    case ColumnKind::Time:
        if (v.typeId() == QMetaType::QTime) {
            char text[8];
            timeText(v.toTime(), text);
            return QString::fromLatin1(text, 8);
        }
        return v;
    case ColumnKind::Boolean:
        return v.toBool() ? -1 : 0;
    default:
        return v;
    }
}

// A stored value read back with its column's kind.
QVariant readForm(ColumnKind kind, const QVariant &raw)
{
    if (vb::isNull(raw))
        return QVariant();
    switch (kind) {
    case ColumnKind::Date: {
        QDate d;
        QTime t;
        if (raw.typeId() == QMetaType::QString && SqlDialect::parseDateText(raw.toString(), &d, &t))
            return t == QTime(0, 0) ? QVariant(d) : QVariant(QDateTime(d, t));
        return raw;
    }
    case ColumnKind::Time: {
        if (raw.typeId() == QMetaType::QString) {
            const QTime t = DateTexts::parseTime(raw.toString());
            if (t.isValid())
                return t;
        }
        return raw;
    }
    case ColumnKind::Boolean:
        if (raw.typeId() == QMetaType::QString)
            return raw;
        return raw.toLongLong() != 0;
    case ColumnKind::Integer:
        if (raw.typeId() == QMetaType::LongLong) {
            const qlonglong n = raw.toLongLong();
            if (n >= INT_MIN && n <= INT_MAX)
                return int(n);
        }
        return raw;
    default:
        if (raw.typeId() == QMetaType::LongLong) {
            const qlonglong n = raw.toLongLong();
            if (n >= INT_MIN && n <= INT_MAX)
                return int(n);
        }
        return raw;
    }
}

double wholeNumber(double d)
{
    const double r = vb::roundHalfEven(d);
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) // NaN fails too
        raise(ErrNo::Overflow);
    return r;
}

// A number into a number column: finite and within the stored range.
double storedNumber(double d)
{
    if (!vb::isStorableNumber(d))
        raise(ErrNo::Overflow);
    return d;
}

// A text into an integer or number column: error 13 when it is no number.
QVariant numberForColumn(ColumnKind kind, const QString &text)
{
    double number = 0;
    if (!vb::parseNumber(text, &number))
        raise(ErrNo::TypeMismatch);
    return kind == ColumnKind::Integer ? QVariant(qlonglong(wholeNumber(number)))
                                       : QVariant(storedNumber(number));
}

} // namespace

// --- column kinds and conversion ---------------------------------------------

ColumnKind columnKindOf(const QString &declaredType)
{
    const QString t = declaredType.toUpper();
    if (t.startsWith(u"YESNO") || t.startsWith(u"BOOL"))
        return ColumnKind::Boolean;
    if (t.startsWith(u"DATE"))
        return ColumnKind::Date;
    if (t.startsWith(u"TIME"))
        return ColumnKind::Time;
    if (t.contains(u"INT") || t.startsWith(u"AUTONUMBER"))
        return ColumnKind::Integer;
    if (t.contains(u"CHAR") || t.contains(u"TEXT") || t.contains(u"CLOB") || t.startsWith(u"MEMO"))
        return ColumnKind::Text;
    if (t.contains(u"REAL") || t.contains(u"DOUB") || t.contains(u"FLOA") ||
        t.startsWith(u"NUMBER") || t.startsWith(u"NUMERIC") || t.startsWith(u"DECIMAL") ||
        t.startsWith(u"CURRENCY"))
        return ColumnKind::Number;
    return ColumnKind::Other;
}

QVariant convertForColumn(ColumnKind kind, const QVariant &value)
{
    if (vb::isNull(value))
        return QVariant();
    // Texts first: every cell of a downloaded trip arrives as one.
    if (value.typeId() == QMetaType::QString) {
        if (kind == ColumnKind::Text)
            return value;
        if (kind == ColumnKind::Integer || kind == ColumnKind::Number)
            return numberForColumn(kind, *static_cast<const QString *>(value.constData()));
    }
    switch (kind) {
    case ColumnKind::Integer:
        return qlonglong(wholeNumber(vb::toDouble(value)));
    case ColumnKind::Number:
        return storedNumber(vb::toDouble(value));
    case ColumnKind::Text:
        return vb::joinText(value);
    case ColumnKind::Boolean:
        return vb::toBool(value);
    case ColumnKind::Date: {
        switch (value.typeId()) {
        case QMetaType::QDate:
            return value.toDate();
        case QMetaType::QDateTime:
            return value.toDateTime().time() == QTime(0, 0) ? QVariant(value.toDateTime().date())
                                                             : value;
        case QMetaType::QString: {
            QDate d;
            QTime t;
            if (SqlDialect::parseDateText(value.toString(), &d, &t))
                return t == QTime(0, 0) ? QVariant(d) : QVariant(QDateTime(d, t));
            raise(ErrNo::TypeMismatch);
        }
        default: {
            // A day number counted from 30 December 1899, as the suite's dates are.
            const double serial = vb::toDouble(value);
            const qint64 days = qint64(std::floor(serial));
            const QDate d = QDate(1899, 12, 30).addDays(days);
            const int secs = int(std::lround((serial - double(days)) * 86400.0));
            return secs == 0 ? QVariant(d) : QVariant(QDateTime(d, QTime(0, 0).addSecs(secs)));
        }
        }
    }
    case ColumnKind::Time: {
        switch (value.typeId()) {
        case QMetaType::QTime:
            return value;
        case QMetaType::QDateTime:
            return value.toDateTime().time();
        case QMetaType::QString: {
            const QTime t = DateTexts::parseTime(value.toString());
            if (t.isValid())
                return t;
            double fraction = 0;
            if (vb::parseNumber(value.toString(), &fraction))
                return QTime(0, 0).addSecs(int(std::lround((fraction - std::floor(fraction)) * 86400.0)));
            raise(ErrNo::TypeMismatch);
        }
        default: {
            const double fraction = vb::toDouble(value);
            return QTime(0, 0).addSecs(int(std::lround((fraction - std::floor(fraction)) * 86400.0)));
        }
        }
    }
    case ColumnKind::Other:
        return value;
    }
    return value;
}

int TableInfo::indexOf(const QString &column) const
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(column, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

// --- Recordset ---------------------------------------------------------------

void Recordset::moveNext()
{
    if (eof())
        raise(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    m_pending.clear();
    ++m_current;
}

QString Recordset::fieldName(int position) const
{
    if (position < 0 || position >= fieldCount())
        raise(3265, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                   "requested name or ordinal."));
    return m_names[size_t(position)];
}

int Recordset::positionOf(const QString &name) const
{
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i].compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    raise(3265, QStringLiteral("Item cannot be found in the collection corresponding to the "
                               "requested name or ordinal."));
}

QVariant Recordset::value(int position) const
{
    if (position < 0 || position >= fieldCount())
        fieldName(position); // raises the missing item
    if (eof())
        raise(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    if (auto it = m_pending.constFind(position); it != m_pending.constEnd())
        return it.value();
    return m_rows[size_t(m_current)][size_t(position)];
}

QVariant Recordset::value(const QString &name) const
{
    return value(positionOf(name));
}

void Recordset::setValue(int position, const QVariant &v)
{
    fieldName(position);
    if (m_table.isEmpty() || m_tableColumn[size_t(position)] < 0)
        raise(3251, QStringLiteral("Current Recordset does not support updating."));
    if (eof())
        raise(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    m_pending.insert(position, convertForColumn(m_kinds[size_t(position)], v));
}

void Recordset::setValue(const QString &name, const QVariant &v)
{
    setValue(positionOf(name), v);
}

void Recordset::update()
{
    if (m_pending.isEmpty())
        return;
    if (!m_connection)
        raise(ErrNo::ConnectionClosed);
    m_connection->saveRow(m_table, m_rowids[size_t(m_current)], m_pending, m_tableColumn);
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it)
        m_rows[size_t(m_current)][size_t(it.key())] = it.value();
    m_pending.clear();
}

void Recordset::close()
{
    m_rows.clear();
    m_rowids.clear();
    m_pending.clear();
    m_current = 0;
    m_connection = nullptr;
}

// --- TableWriter -------------------------------------------------------------

void TableWriter::addNew()
{
    if (!m_connection)
        raise(ErrNo::ConnectionClosed);
    m_row.assign(m_info.columns.size(), QVariant());
    if (m_info.autoNumberColumn >= 0)
        m_row[size_t(m_info.autoNumberColumn)] = m_connection->nextAutoNumber(m_info);
    m_adding = true;
}

QVariant &TableWriter::slot(int position)
{
    if (!m_adding)
        raise(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    if (position < 0 || position >= columnCount())
        raise(3265, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                   "requested name or ordinal."));
    return m_row[size_t(position)];
}

void TableWriter::setValue(int position, const QVariant &v)
{
    QVariant &target = slot(position);
    target = convertForColumn(m_info.columns[size_t(position)].kind, v);
}

void TableWriter::setText(int position, const QString &text)
{
    QVariant &target = slot(position);
    const ColumnKind kind = m_info.columns[size_t(position)].kind;
    if (kind == ColumnKind::Integer || kind == ColumnKind::Number)
        target = numberForColumn(kind, text);
    else
        target = convertForColumn(kind, QVariant(text));
}

QVariant TableWriter::value(int position) const
{
    if (position < 0 || position >= columnCount())
        raise(3265, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                   "requested name or ordinal."));
    if (!m_adding)
        raise(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
    return m_row[size_t(position)];
}

void TableWriter::update()
{
    if (!m_adding)
        return;
    if (!m_connection)
        raise(ErrNo::ConnectionClosed);
    m_connection->insertRow(*this);
    m_adding = false;
}

void TableWriter::close()
{
    m_adding = false;
    m_connection = nullptr;
}

// --- LocalConnection -----------------------------------------------------------

LocalConnection::LocalConnection()
    : m_connectionName(QStringLiteral("zelvano-local-%1").arg(g_connectionSerial.fetchAndAddRelaxed(1)))
{
}

LocalConnection::~LocalConnection()
{
    close();
}

void LocalConnection::open(const QString &path)
{
    close();
    const QFileInfo info(path);
    if (path.trimmed().isEmpty() || !info.exists() || !info.isFile())
        raise(ErrNo::ProviderFailure, QStringLiteral("Could not find file '%1'.").arg(path));
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    m_db.setDatabaseName(path);
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!m_db.open()) {
        const QString text = m_db.lastError().text();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        raise(ErrNo::ProviderFailure, QStringLiteral("Could not open '%1': %2").arg(path, text));
    }
    {
        QSqlQuery probe(m_db);
        if (!probe.exec(QStringLiteral("select count(*) from sqlite_master"))) {
            probe = QSqlQuery();
            m_db.close();
            m_db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            raise(ErrNo::ProviderFailure, QStringLiteral("Unrecognized database format '%1'.").arg(path));
        }
    }
    m_handle = databaseHandle(m_db);
    if (m_handle)
        SqlDialect::registerFunctions(m_handle);
    m_path = path;
    m_open = true;
    m_statements = 0;
}

void LocalConnection::close()
{
    if (!m_open)
        return;
    if (m_inTransaction)
        sqlite3_exec(m_handle, "rollback", nullptr, nullptr, nullptr);
    m_inTransaction = false;
    m_tables.clear();
    m_nextAuto.clear();
    m_inserts.clear();
    for (sqlite3_stmt *stmt : std::as_const(m_cache))
        sqlite3_finalize(stmt);
    m_cache.clear();
    m_handle = nullptr;
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
    m_open = false;
}

void LocalConnection::requireOpen() const
{
    if (!m_open)
        raise(ErrNo::ConnectionClosed);
    // After some failures (disk full, I/O error, out of memory) the engine
    // rolls the whole transaction back on its own. A statement run then would
    // commit by itself, apart from the work it belonged with: until the
    // caller rolls back, nothing more runs.
    if (m_inTransaction && m_handle && sqlite3_get_autocommit(m_handle))
        raise(ErrNo::ProviderFailure,
              QStringLiteral("The database ended the transaction after an earlier failure; "
                             "nothing of it was stored"));
}

void LocalConnection::fail(const QSqlError &error, const QString &sql) const
{
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    Q_UNUSED(sql);
    raiseEngineFailure(error.nativeErrorCode().toInt(), text);
}

void raiseEngineFailure(int code, const QString &message, long otherNumber)
{
    if ((code & 0xff) == SQLITE_FULL)
        raise(ErrNo::DiskFull,
              QStringLiteral("El disco o la base de datos esta lleno (%1)").arg(message));
    raise((code & 0xff) == SQLITE_CONSTRAINT ? ErrNo::ProviderFailure : otherNumber, message);
}

namespace {

// A text bound as UTF-8, the database's own encoding: the engine would
// otherwise convert every UTF-16 text itself. Short ASCII texts, most of what
// a row holds, need no conversion buffer at all.
int bindText(sqlite3_stmt *stmt, int index, const QString &text)
{
    constexpr qsizetype kShort = 256;
    const qsizetype n = text.size();
    char ascii[kShort];
    if (n <= kShort && narrowAscii(text, ascii))
        return sqlite3_bind_text(stmt, index, ascii, int(n), SQLITE_TRANSIENT);
    const QByteArray utf8 = text.toUtf8();
    return sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// Binds a value that is not null in its stored form straight to a prepared
// statement: the row-set path writes many rows, and this keeps it close to a
// plain prepared insert.
int bindValue(sqlite3_stmt *stmt, int index, const QVariant &v)
{
    const void *data = v.constData();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return sqlite3_bind_int64(stmt, index, *static_cast<const bool *>(data) ? -1 : 0);
    case QMetaType::Int:
        return sqlite3_bind_int64(stmt, index, *static_cast<const int *>(data));
    case QMetaType::LongLong:
        return sqlite3_bind_int64(stmt, index, *static_cast<const qlonglong *>(data));
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
        return sqlite3_bind_int64(stmt, index, v.toLongLong());
    case QMetaType::Double:
        return sqlite3_bind_double(stmt, index, *static_cast<const double *>(data));
    case QMetaType::Float:
        return sqlite3_bind_double(stmt, index, v.toDouble());
    case QMetaType::QString:
        return bindText(stmt, index, *static_cast<const QString *>(v.constData()));
    default:
        return bindText(stmt, index, v.toString());
    }
}

int bindStored(sqlite3_stmt *stmt, int index, const QVariant &v)
{
    return vb::isNull(v) ? sqlite3_bind_null(stmt, index) : bindValue(stmt, index, v);
}

} // namespace

// A row-set insert: its statement, and the UTF-8 texts of the row bound to it.
// The texts stay where they are until the next row binds its own, so the
// engine need not copy them.
struct LocalConnection::RowInsert
{
    sqlite3_stmt *stmt = nullptr;
    std::vector<std::string> texts;

    ~RowInsert() { sqlite3_finalize(stmt); }

    int bindText(int index, const QString &text)
    {
        std::string &buffer = texts[size_t(index - 1)];
        buffer.resize(size_t(text.size()));
        if (!narrowAscii(text, buffer.data()))
            buffer = text.toStdString(); // UTF-8
        return sqlite3_bind_text(stmt, index, buffer.data(), int(buffer.size()), SQLITE_STATIC);
    }

    int bindTime(int index, QTime t)
    {
        char text[8];
        timeText(t, text);
        std::string &buffer = texts[size_t(index - 1)];
        buffer.assign(text, 8);
        return sqlite3_bind_text(stmt, index, buffer.data(), int(buffer.size()), SQLITE_STATIC);
    }

    // Binds a value of a column of that kind in its stored form, without
    // building the stored value first.
    int bind(int index, ColumnKind kind, const QVariant &v)
    {
        if (vb::isNull(v))
            return sqlite3_bind_null(stmt, index);
        switch (v.typeId()) {
        case QMetaType::QString:
            return bindText(index, *static_cast<const QString *>(v.constData()));
        case QMetaType::QTime:
            if (kind == ColumnKind::Time)
                return bindTime(index, *static_cast<const QTime *>(v.constData()));
            break;
        default:
            break;
        }
        if (kind == ColumnKind::Date || kind == ColumnKind::Boolean)
            return bindStored(stmt, index, storedForm(kind, v));
        return bindValue(stmt, index, v);
    }
};

namespace {

QVariant columnValue(sqlite3_stmt *stmt, int i)
{
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(stmt, i));
    case SQLITE_FLOAT:
        return sqlite3_column_double(stmt, i);
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, i)),
                          sqlite3_column_bytes(stmt, i));
    default:
        return QString(reinterpret_cast<const QChar *>(sqlite3_column_text16(stmt, i)),
                       sqlite3_column_bytes16(stmt, i) / 2);
    }
}

} // namespace

// A statement ready to step, with its values bound; given back to the cache (or
// finalized) when the caller is done with it.
class LocalConnection::Prepared
{
public:
    Prepared(LocalConnection &owner, sqlite3_stmt *stmt, bool cached)
        : m_owner(owner), m_stmt(stmt), m_cached(cached)
    {
    }
    ~Prepared()
    {
        if (!m_stmt)
            return;
        if (m_cached) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        } else {
            sqlite3_finalize(m_stmt);
        }
    }
    Prepared(const Prepared &) = delete;
    Prepared &operator=(const Prepared &) = delete;

    sqlite3_stmt *get() const { return m_stmt; }
    // Steps once; SQLITE_ROW or SQLITE_DONE, any other result raises.
    int step(const QString &original)
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            m_owner.failNative(original);
        return rc;
    }

private:
    LocalConnection &m_owner;
    sqlite3_stmt *m_stmt;
    bool m_cached;
};

void LocalConnection::failNative(const QString &sql) const
{
    Q_UNUSED(sql);
    raiseEngineFailure(sqlite3_extended_errcode(m_handle),
                       QString::fromUtf8(sqlite3_errmsg(m_handle)));
}

std::unique_ptr<LocalConnection::Prepared> LocalConnection::prepare(const QString &sql)
{
    requireOpen();
    SqlDialect::Translated t = SqlDialect::translateWithParameters(sql);
    return prepareTranslated(t, sql);
}

std::unique_ptr<LocalConnection::Prepared>
LocalConnection::prepareTranslated(const SqlDialect::Translated &t, const QString &original)
{
    ++m_statements;
    sqlite3_stmt *stmt = t.cacheable ? m_cache.value(t.text, nullptr) : nullptr;
    bool cached = stmt != nullptr;
    if (!stmt) {
        const QByteArray text = t.text.toUtf8();
        const char *tail = nullptr;
        if (sqlite3_prepare_v3(m_handle, text.constData(), int(text.size()),
                               t.cacheable ? SQLITE_PREPARE_PERSISTENT : 0, &stmt, &tail) != SQLITE_OK)
            failNative(original);
        if (!stmt) // a statement of nothing but blanks or comments
            raise(ErrNo::SqlError, QStringLiteral("Invalid SQL statement: %1").arg(original));
        if (t.cacheable) {
            if (m_cache.size() >= 512) {
                for (sqlite3_stmt *old : std::as_const(m_cache))
                    sqlite3_finalize(old);
                m_cache.clear();
            }
            m_cache.insert(t.text, stmt);
            cached = true;
        }
    }
    auto prepared = std::make_unique<Prepared>(*this, stmt, cached);
    for (size_t i = 0; i < t.parameters.size(); ++i)
        bindStored(stmt, int(i) + 1, t.parameters[i]);
    return prepared;
}

int LocalConnection::execute(const QString &sql, const std::vector<QVariant> &parameters)
{
    requireOpen();
    SqlDialect::Translated t;
    t.text = sql;
    t.parameters = parameters;
    t.cacheable = true;
    auto stmt = prepareTranslated(t, sql);
    while (stmt->step(sql) == SQLITE_ROW) {
    }
    return sqlite3_changes(m_handle);
}

int LocalConnection::execute(const QString &sql)
{
    auto stmt = prepare(sql);
    while (stmt->step(sql) == SQLITE_ROW) {
    }
    return sqlite3_changes(m_handle);
}

Recordset LocalConnection::openRecordset(const QString &sql, bool updatable)
{
    requireOpen();
    SqlDialect::Translated translated = SqlDialect::translateWithParameters(sql);
    QString table;
    if (updatable) {
        // One table, no join: fetch its rowid too, so that rows can be saved back.
        static const QRegularExpression single(
            QStringLiteral(R"(^\s*select\s+(.*?)\s+from\s+([A-Za-z_][A-Za-z0-9_]*)(\s+(?:as\s+)?[A-Za-z_][A-Za-z0-9_]*)?\s*(\s(?:where|order)\s.*|;?\s*)$)"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        const auto m = single.match(translated.text);
        if (m.hasMatch() && !m.captured(2).isEmpty()) {
            const QString alias = m.captured(3).trimmed();
            const bool aliasIsKeyword = alias.compare(u"where", Qt::CaseInsensitive) == 0 ||
                                        alias.compare(u"order", Qt::CaseInsensitive) == 0;
            if (aliasIsKeyword || alias.isEmpty()) {
                table = m.captured(2);
                translated.text = QStringLiteral("select rowid as zv_rowid, ") + m.captured(1) +
                                  translated.text.mid(m.capturedEnd(1));
            }
        }
        if (table.isEmpty())
            raise(3251, QStringLiteral("Current Recordset does not support updating."));
    }

    auto prepared = prepareTranslated(translated, sql);
    sqlite3_stmt *stmt = prepared->get();
    Recordset rs;
    rs.m_connection = this;
    const int offset = table.isEmpty() ? 0 : 1;
    const int columns = sqlite3_column_count(stmt) - offset;
    const TableInfo *info = table.isEmpty() ? nullptr : &tableInfo(table);
    for (int i = 0; i < columns; ++i) {
        const QString name = QString::fromUtf8(sqlite3_column_name(stmt, i + offset));
        rs.m_names.push_back(name);
        const char *decl = sqlite3_column_decltype(stmt, i + offset);
        rs.m_kinds.push_back(decl ? columnKindOf(QString::fromUtf8(decl)) : ColumnKind::Other);
        if (info)
            rs.m_tableColumn.push_back(info->indexOf(name));
    }
    while (prepared->step(sql) == SQLITE_ROW) {
        std::vector<QVariant> row;
        row.reserve(size_t(columns));
        for (int i = 0; i < columns; ++i)
            row.push_back(readForm(rs.m_kinds[size_t(i)], columnValue(stmt, i + offset)));
        rs.m_rows.push_back(std::move(row));
        if (offset)
            rs.m_rowids.push_back(sqlite3_column_int64(stmt, 0));
    }
    rs.m_table = table;
    return rs;
}

TableWriter LocalConnection::openTable(const QString &table)
{
    requireOpen();
    TableWriter writer;
    writer.m_connection = this;
    writer.m_info = tableInfo(table);
    return writer;
}

const TableInfo &LocalConnection::tableInfo(const QString &table)
{
    requireOpen();
    const QString key = table.toLower();
    if (auto it = m_tables.constFind(key); it != m_tables.constEnd())
        return it.value();
    QSqlQuery q(m_db);
    TableInfo info;
    // The table's own spelling, its columns in physical order, and whether its
    // integer key is an autonumber.
    q.prepare(QStringLiteral("select name, sql from sqlite_master where type = 'table' and name = ? collate nocase"));
    q.addBindValue(table);
    if (!q.exec() || !q.next())
        raise(-2147217865, QStringLiteral("The Microsoft Jet database engine cannot find the input "
                                          "table or query '%1'.").arg(table));
    info.name = q.value(0).toString();
    info.key = key;
    const bool autoincrement = q.value(1).toString().contains(u"autoincrement", Qt::CaseInsensitive);
    if (!q.exec(QStringLiteral("pragma table_info(\"%1\")").arg(info.name)))
        fail(q.lastError(), table);
    while (q.next()) {
        ColumnInfo c;
        c.name = q.value(1).toString();
        c.declaredType = q.value(2).toString();
        c.kind = columnKindOf(c.declaredType);
        const bool pk = q.value(5).toInt() == 1;
        if (pk && autoincrement && c.kind == ColumnKind::Integer) {
            c.autoNumber = true;
            info.autoNumberColumn = int(info.columns.size());
        }
        info.columns.push_back(c);
    }
    return m_tables.insert(key, info).value();
}

qint64 LocalConnection::nextAutoNumber(const TableInfo &info)
{
    const QString &key = info.key;
    if (m_inTransaction) {
        if (auto it = m_nextAuto.find(key); it != m_nextAuto.end())
            return it.value()++;
    }
    // The next key the table would give: above every key used so far, also the
    // ones of deleted rows.
    SqlDialect::Translated t;
    t.text = QStringLiteral("select max(coalesce((select seq from sqlite_sequence where name = ?), 0), "
                            "coalesce((select max(rowid) from \"%1\"), 0))").arg(info.name);
    t.parameters.push_back(info.name);
    t.cacheable = true;
    auto stmt = prepareTranslated(t, info.name);
    stmt->step(info.name);
    const qint64 next = sqlite3_column_int64(stmt->get(), 0) + 1;
    if (m_inTransaction)
        m_nextAuto.insert(key, next + 1);
    return next;
}


void LocalConnection::insertRow(TableWriter &writer)
{
    requireOpen();
    const TableInfo &info = writer.m_info;
    const QString &key = info.key;
    std::shared_ptr<RowInsert> insert = m_inserts.value(key);
    if (!insert) {
        QStringList names, marks;
        for (const auto &c : info.columns) {
            names << QLatin1Char('"') + c.name + QLatin1Char('"');
            marks << QStringLiteral("?");
        }
        const QByteArray sql = QStringLiteral("insert into \"%1\" (%2) values (%3)")
                                   .arg(info.name, names.join(u','), marks.join(u','))
                                   .toUtf8();
        insert = std::make_shared<RowInsert>();
        if (!m_handle || sqlite3_prepare_v2(m_handle, sql.constData(), int(sql.size()),
                                            &insert->stmt, nullptr) != SQLITE_OK)
            raise(ErrNo::SqlError, QString::fromUtf8(m_handle ? sqlite3_errmsg(m_handle) : "no database handle"));
        insert->texts.resize(info.columns.size());
        m_inserts.insert(key, insert);
    }
    sqlite3_stmt *stmt = insert->stmt;
    for (size_t i = 0; i < info.columns.size(); ++i)
        insert->bind(int(i) + 1, info.columns[i].kind, writer.m_row[i]);
    ++m_statements;
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt); // every parameter is bound again for the next row
    if (rc != SQLITE_DONE) {
        // A refused row gives its key back.
        m_nextAuto.remove(key);
        raiseEngineFailure(sqlite3_extended_errcode(m_handle),
                           QString::fromUtf8(sqlite3_errmsg(m_handle)));
    }
}

void LocalConnection::saveRow(const QString &table, qint64 rowid, const QHash<int, QVariant> &changes,
                              const std::vector<int> &tableColumn)
{
    requireOpen();
    const TableInfo &info = tableInfo(table);
    // Columns in table order, so that the same change of the same columns
    // reuses one prepared statement.
    std::vector<std::pair<int, QVariant>> columns;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        columns.emplace_back(tableColumn[size_t(it.key())], it.value());
    std::sort(columns.begin(), columns.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    SqlDialect::Translated t;
    QStringList sets;
    for (const auto &[column, value] : columns) {
        sets << QStringLiteral("\"%1\" = ?").arg(info.columns[size_t(column)].name);
        t.parameters.push_back(storedForm(info.columns[size_t(column)].kind, value));
    }
    t.text = QStringLiteral("update \"%1\" set %2 where rowid = ?").arg(info.name, sets.join(u", "));
    t.parameters.push_back(rowid);
    t.cacheable = true;
    auto stmt = prepareTranslated(t, table);
    stmt->step(table);
}

void LocalConnection::beginTrans()
{
    requireOpen();
    if (m_inTransaction)
        raise(ErrNo::ProviderFailure, QStringLiteral("Could not begin a transaction"));
    if (sqlite3_exec(m_handle, "begin", nullptr, nullptr, nullptr) != SQLITE_OK)
        raiseEngineFailure(sqlite3_extended_errcode(m_handle),
                           QStringLiteral("Could not begin a transaction: %1")
                               .arg(QString::fromUtf8(sqlite3_errmsg(m_handle))),
                           ErrNo::ProviderFailure);
    m_inTransaction = true;
    m_nextAuto.clear();
}

void LocalConnection::commitTrans()
{
    requireOpen();
    if (!m_inTransaction)
        raise(3034, QStringLiteral("You tried to commit or rollback a transaction without first "
                                   "beginning a transaction."));
    if (sqlite3_exec(m_handle, "commit", nullptr, nullptr, nullptr) != SQLITE_OK)
        raiseEngineFailure(sqlite3_extended_errcode(m_handle),
                           QString::fromUtf8(sqlite3_errmsg(m_handle)), ErrNo::ProviderFailure);
    m_inTransaction = false;
    m_nextAuto.clear();
}

void LocalConnection::rollbackTrans()
{
    if (!m_open)
        raise(ErrNo::ConnectionClosed);
    if (!m_inTransaction)
        raise(3034, QStringLiteral("You tried to commit or rollback a transaction without first "
                                   "beginning a transaction."));
    sqlite3_exec(m_handle, "rollback", nullptr, nullptr, nullptr);
    m_inTransaction = false;
    m_nextAuto.clear();
}

namespace {

// The canonical form of a date text, in plain SQL so that the triggers work in
// any SQLite client: '07/12/2026' and '2026-12-07 00:00:00' become '2026-12-07'.
QString canonicalDateSql(const QString &x)
{
    const QString dayFirst = QStringLiteral("substr(%1,7,4)||'-'||substr(%1,4,2)||'-'||substr(%1,1,2)").arg(x);
    return QStringLiteral(
               "case when %1 glob '[0-9][0-9]/[0-9][0-9]/[0-9][0-9][0-9][0-9]' then %2 "
               "when %1 glob '[0-9][0-9]/[0-9][0-9]/[0-9][0-9][0-9][0-9] 00:00:00' then %2 "
               "when %1 glob '[0-9][0-9]/[0-9][0-9]/[0-9][0-9][0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]' "
               "then %2||substr(%1,11) "
               "when %1 glob '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] 00:00:00' then substr(%1,1,10) "
               "when %1 glob '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:[0-9][0-9]:[0-9][0-9]*' "
               "then substr(%1,1,10)||' '||substr(%1,12,8) "
               "else %1 end")
        .arg(x, dayFirst);
}

} // namespace

void installDateTriggers(LocalConnection &connection)
{
    QSqlQuery tables(connection.database());
    tables.exec(QStringLiteral("select name from sqlite_master where type = 'table' and name not like 'sqlite_%'"));
    QStringList names;
    while (tables.next())
        names << tables.value(0).toString();
    for (const QString &table : names) {
        const TableInfo &info = connection.tableInfo(table);
        for (const auto &c : info.columns) {
            if (c.kind != ColumnKind::Date)
                continue;
            const QString column = QStringLiteral("NEW.\"%1\"").arg(c.name);
            const QString base = QStringLiteral("zv_%1_%2").arg(info.name, c.name).toLower();
            const QString fix = QStringLiteral("update \"%1\" set \"%2\" = %3 where rowid = NEW.rowid; ")
                                    .arg(info.name, c.name, canonicalDateSql(column));
            const QString when = QStringLiteral("when %1 is not %2").arg(column, canonicalDateSql(column));
            connection.execute(QStringLiteral("create trigger if not exists %1_ins after insert on \"%2\" %3 begin %4end")
                                   .arg(base, info.name, when, fix));
            connection.execute(QStringLiteral("create trigger if not exists %1_upd after update of \"%2\" on \"%3\" %4 begin %5end")
                                   .arg(base, c.name, info.name, when, fix));
        }
    }
}

} // namespace zelvano
