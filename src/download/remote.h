#pragma once

#include "common/error.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace zelvano {

struct Settings;

// The remote server, reached either through the MySQL ODBC driver or through
// the HTTP script /vremoto.php, which runs the SQL text it receives and answers
// JSON. The program writes every statement; these helpers only carry them.

namespace ErrNo {
// The connection with the server was terminated abnormally (WinHTTP 12030).
inline constexpr long HttpConnectionError = -2147012866; // 0x80072EFE
} // namespace ErrNo

// True only for the exact text "ODBC"; anything else is the WEB way.
bool isOdbcMode(const Settings &settings);

// A value ready to stand between apostrophes in a MySQL statement:
// apostrophes and backslashes doubled.
QString sqlQuote(const QString &value);

// "Driver={MySQL ODBC 3.51 Driver};Server=<host>;Port=3306;Database=qk_zr;User=qk;
// Password=...;Option=3;"
QString odbcConnectionString(const QString &host);

// "http://<host>/vremoto.php?" — host may carry a port ("127.0.0.1:8080").
QString webUrl(const QString &host);

// "select * from clientes where id = <ClientId> and password = '<ClientPassword>'",
// both values quoted with sqlQuote.
QString authenticationSql(const Settings &settings);

// The answer of one HTTP exchange.
struct WebAnswer
{
    long status = 0;   // HTTP status, 200 when the statement ran
    QString text;      // the body, read as UTF-8
};

// A blocking HTTP client for the server script: open() once with the URL, then
// send() one statement per call; every call is a GET with the statement as
// its body. Failures raise AppError with ErrNo::HttpTimeout,
// ErrNo::HttpNameNotResolved, ErrNo::HttpCannotConnect or
// ErrNo::HttpConnectionError; an HTTP error status is not a failure here, the
// caller reads WebAnswer::status.
class WebRequest
{
public:
    enum class Proxy {
        Preconfigured, // whatever the environment configures (http_proxy, ...)
        Direct         // never through a proxy
    };

    struct Options
    {
        Proxy proxy = Proxy::Preconfigured;
        // Credentials offered to a proxy (empty: none).
        QString proxyUser;
        QString proxyPassword;
        // Time to establish the connection, and the longest silence while
        // sending the request or waiting for the answer.
        int connectTimeoutMs = 60000;
        int sendTimeoutMs = 30000;
        int receiveTimeoutMs = 30000;
    };

    WebRequest();
    explicit WebRequest(const Options &options);
    ~WebRequest();
    WebRequest(const WebRequest &) = delete;
    WebRequest &operator=(const WebRequest &) = delete;

    // The options of the trip download: direct connection, the proxy
    // credentials "user54_brenmoormas".
    static Options tripDownloadOptions();

    void open(const QString &url);
    bool isOpen() const { return !m_url.isEmpty(); }
    // Sends the statement and waits for the whole answer. Error 5 before open().
    WebAnswer send(const QString &statement);

    const Options &options() const { return m_options; }
    // Statements sent so far, and the time spent waiting in send().
    long sendCount() const { return m_sends; }
    double sendSeconds() const { return m_sendSeconds; }

private:
    Options m_options;
    QString m_url;
    QByteArray m_urlBytes;
    QByteArray m_proxyUser;
    QByteArray m_proxyPassword;
    void *m_curl = nullptr;
    void *m_multi = nullptr;
    void *m_headers = nullptr;
    QByteArray m_body;
    QByteArray m_answer;
    long m_sends = 0;
    double m_sendSeconds = 0;
};

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
    // driver manager would read it as an empty attribute).
    explicit OdbcConnection(const QString &connectionString);
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
