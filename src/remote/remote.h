#pragma once

#include <QString>

namespace zelvano {

struct Settings;

// The remote server, reached either through the MySQL ODBC driver or through
// the HTTP script /vremoto.php, which runs the SQL text it receives and answers
// JSON. The program writes every statement; this folder only carries them.

namespace ErrNo {
// The connection with the server was terminated abnormally (WinHTTP 12030).
inline constexpr long HttpConnectionError = -2147012866; // 0x80072EFE
// The exchange was abandoned because the program is stopping (WinHTTP 12017).
inline constexpr long HttpCancelled = -2147012879; // 0x80072EF1
} // namespace ErrNo

// How long an exchange with the server may take. The WEB way has a limit to
// connect and then limits of silence while sending and while waiting for the
// answer; the ODBC way waits for the database server's greeting so long.
struct RemoteLimits
{
    int connectMs = 60000;
    int sendMs = 30000;
    int receiveMs = 30000;
    int loginSeconds = 15;
};

// What one job hands to the remote room: its proxy choice and its limits.
struct RemoteOptions
{
    enum class Proxy {
        Preconfigured, // whatever the environment configures (http_proxy, ...)
        Direct         // never through a proxy
    };

    Proxy proxy = Proxy::Preconfigured;
    // Credentials offered to a proxy (empty: none).
    QString proxyUser;
    QString proxyPassword;
    RemoteLimits limits;

    // The trip download: a direct connection, the proxy credentials
    // "user54_brenmoormas", 60 s for the ODBC login.
    static RemoteOptions tripDownload();
    // The production synchronisation: the preconfigured proxy, no credentials,
    // 15 s for the ODBC login.
    static RemoteOptions synchronisation();
};

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

} // namespace zelvano
