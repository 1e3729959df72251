#pragma once

#include "common/error.h"

#include <QString>

#include <optional>

namespace zelvano {

struct Settings;

// The remote server, reached either through the MySQL ODBC driver or through
// the HTTP script /vremoto.php, which runs the SQL text it receives and answers
// JSON. The program writes every statement; this folder only carries them.

namespace ErrNo {
// The connection with the server was terminated abnormally (WinHTTP 12030).
inline constexpr long HttpConnectionError = -2147012866; // 0x80072EFE
// The server's certificate did not verify (WinHTTP 12175).
inline constexpr long HttpCertificateRefused = -2147012721; // 0x80072F8F
// No secure channel could be set up with the server (WinHTTP 12157).
inline constexpr long HttpSecureChannelError = -2147012739; // 0x80072F7D
// The exchange was abandoned because the program is stopping (WinHTTP 12017).
inline constexpr long HttpCancelled = -2147012879; // 0x80072EF1
} // namespace ErrNo

// How long an exchange with the server may take, and how much it may bring.
// The WEB way has a limit to connect, limits of silence while sending and
// while waiting for the answer, and one for the whole exchange, so that a
// server that keeps sending a byte now and then cannot hold a job for ever;
// an answer larger than maxAnswerBytes fails its statement instead of filling
// the memory. The ODBC way waits for the database server's greeting
// loginSeconds, and fails a statement after a silence of the longer of the
// two silence limits, in whole seconds (the driver's own limits).
struct RemoteLimits
{
    int connectMs = 60000;
    int sendMs = 30000;
    int receiveMs = 30000;
    int answerMs = 120000;
    qint64 maxAnswerBytes = qint64(64) << 20;
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
    // WEB exchanges in flight at once, each on its own connection; the ODBC
    // way always runs one statement at a time.
    int connections = 1;

    // The trip download: a direct connection, the proxy credentials
    // "user54_brenmoormas", 60 s for the ODBC login, downloadConnections()
    // exchanges at once.
    static RemoteOptions tripDownload();
    // The production synchronisation: the preconfigured proxy, no credentials,
    // 15 s for the ODBC login.
    static RemoteOptions synchronisation();
};

// The connections of a trip download in the WEB way: 8, or the whole number
// from 1 to 64 that ZELVANO_DOWNLOAD_CONNECTIONS holds (for tests and
// measurements; the settings row has no such value).
int downloadConnections();

// The way to the server. Chosen in one place, remoteWay(); the callers see
// only what RemoteServer tells them about it.
enum class RemoteWay {
    Odbc,  // the MySQL ODBC driver (RemoteMode "ODBC")
    Http,  // the script over plain HTTP (any other mode; ServerHost without a scheme or "http://")
    Https, // the script over TLS ("https://" before the host)
};

// RemoteMode "ODBC" (exactly) is the ODBC way; anything else the WEB way, over
// HTTPS when ServerHost begins with "https://" (in any letter case).
RemoteWay remoteWay(const Settings &settings);
// True only for the exact text "ODBC"; anything else is the WEB way.
bool isOdbcMode(const Settings &settings);
// ServerHost without its scheme: the host and optional port.
QString serverAddress(const QString &serverHost);

// A value ready to stand between apostrophes in a MySQL statement:
// apostrophes and backslashes doubled.
QString sqlQuote(const QString &value);

// "Driver={MySQL ODBC 3.51 Driver};Server=<host>;Port=3306;Database=qk_zr;User=qk;
// Password=...;Option=3;"
QString odbcConnectionString(const QString &host);

// "http://<host>/vremoto.php?" — host may carry a port ("127.0.0.1:8080") and
// a scheme: "https://<host>" gives "https://<host>/vremoto.php?".
QString webUrl(const QString &host);

// "select * from clientes where id = <ClientId> and password = '<ClientPassword>'",
// both values quoted with sqlQuote.
QString authenticationSql(const Settings &settings);

// The settings that reach the remote statements and addresses, checked before
// anything is sent: ClientId is pasted into statements as a number, so it must
// be a plain whole number (blanks around it allowed); ServerHost goes into the
// URL and the ODBC connection string, so it may only name a host, with an
// optional port (and, in the WEB way, an optional "http://" or "https://"
// before it). The refusal says which value and why (error 5); none when
// both are fit. Settings that name no server at all get the error of a name
// that does not resolve: nothing can be sent, and nothing is bent.
std::optional<AppError> remoteSettingsRefusal(const Settings &settings);
// Raises the refusal, if any. Every job calls it before its first statement.
void checkRemoteSettings(const Settings &settings);
// ClientId as it goes into a statement: the checked number without blanks.
QString clientIdText(const Settings &settings);

} // namespace zelvano
