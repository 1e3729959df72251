#pragma once

#include "common/error.h"
#include "remote/remote.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace zelvano {

// The answer of one HTTP exchange.
struct WebAnswer
{
    long status = 0; // HTTP status, 200 when the statement ran
    QString text;    // the body, read as UTF-8
};

// The farm's id and password, offered to the server as HTTP Basic
// credentials on every request of an https:// address, and never sent over
// plain HTTP.
struct ServerLogin
{
    QString user;
    QString password;
};

// HTTP exchanges with the server script, several at once on at most
// `connections` connections, which are reused from one statement to the next
// whenever the server keeps them open. Each exchange is a GET with one
// statement as its body and no headers beyond Host and Content-Length (and,
// over HTTPS, Authorization), and
// each is bounded on its own by the limits of RemoteLimits (connect, silence
// while sending and while waiting, the whole exchange). Answers in flight
// together stay below twice the cap of one (maxAnswerBytes): past the cap the
// later ones wait, and their overall limit with them, while the oldest goes on. Everything happens
// on the calling thread: start() hands a statement over, wait() drives the transfers.
class WebExchanges
{
public:
    using Ticket = quint64;

    // One exchange that ended: its answer, or the error that ended it
    // (ErrNo::HttpTimeout, HttpNameNotResolved, HttpCannotConnect,
    // HttpConnectionError, HttpCertificateRefused, HttpSecureChannelError, or
    // HttpCancelled when the program is stopping).
    // An HTTP error status is an answer: the caller reads its status.
    struct Ended
    {
        Ticket ticket = 0;
        WebAnswer answer;
        std::optional<AppError> error;
    };

    explicit WebExchanges(const RemoteOptions &options, int connections = 1);
    // Abandons whatever is still in flight.
    ~WebExchanges();
    WebExchanges(const WebExchanges &) = delete;
    WebExchanges &operator=(const WebExchanges &) = delete;

    // An https:// address is reached over TLS 1.2 or later only, with the
    // server's certificate and host name checked against the system's trust
    // store (or the authorities of the file ZELVANO_CA_FILE names, read at
    // open); a certificate that does not verify ends the exchange with
    // ErrNo::HttpCertificateRefused, a failed handshake with
    // ErrNo::HttpSecureChannelError, and nothing of the request is sent.
    void open(const QString &url, const ServerLogin &login = {});
    bool secure() const { return m_secure; }
    bool isOpen() const { return !m_url.isEmpty(); }
    int connections() const { return m_connections; }
    int inFlight() const { return m_inFlight; }
    bool canStart() const { return isOpen() && m_inFlight < m_connections; }

    // How a statement may travel.
    enum class Connection {
        Reused, // on a connection kept open by an earlier exchange, when there is one
        // On a new connection, closed after it: libcurl sends a request again by
        // itself when a reused connection turns out dead before any answer, and
        // a statement that changes the server must never run twice.
        Fresh,
    };

    // Starts the statement on a free connection. Error 5 before open() or
    // when every connection is busy.
    Ticket start(const QString &statement, Connection connection = Connection::Reused);
    // Drives the exchanges in flight until at least one has ended or waitMs
    // has passed; returns the ones that ended, in the order they ended.
    std::vector<Ended> wait(int waitMs);
    // Ends every exchange in flight without its answer; their connections
    // are closed.
    void abandonAll();

    const RemoteOptions &options() const { return m_options; }
    // Exchanges started so far, and the time spent in wait().
    long startCount() const { return m_starts; }
    double waitSeconds() const { return m_waitSeconds; }
    // The most answer bytes held by exchanges in flight at once.
    qint64 peakHeldBytes() const { return m_peakHeldBytes; }

private:
    struct Exchange;
    static size_t collectAnswer(char *data, size_t size, size_t count, void *user);
    Exchange &freeExchange();
    void configure(Exchange &exchange);
    Ended finish(Exchange &exchange, int curlCode);
    Ended end(Exchange &exchange, AppError error);
    void release(Exchange &exchange);
    std::optional<AppError> overLimit(Exchange &exchange) const;
    bool isOldest(const Exchange &exchange) const;
    void resumePaused();

    RemoteOptions m_options;
    int m_connections;
    QString m_url;
    QByteArray m_urlBytes;
    QByteArray m_proxyUser;
    QByteArray m_proxyPassword;
    bool m_secure = false;
    QByteArray m_user;
    QByteArray m_password;
    QByteArray m_caFile;
    void *m_multi = nullptr;
    void *m_headers = nullptr;
    std::vector<std::unique_ptr<Exchange>> m_exchanges;
    int m_inFlight = 0;
    qint64 m_heldBytes = 0; // answer bytes of the exchanges in flight
    qint64 m_peakHeldBytes = 0;
    Ticket m_lastTicket = 0;
    long m_starts = 0;
    double m_waitSeconds = 0;
};

} // namespace zelvano
