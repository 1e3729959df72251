#include "remote/webexchanges.h"

#include "common/stoprequest.h"
#include "remote/answer.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace zelvano {

namespace {

using Clock = std::chrono::steady_clock;

void globalCurlInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// detail: curl's words for the failure; tls: its fuller account of a TLS
// failure (which check failed), when it gave one.
AppError httpError(CURLcode code, const char *detail, const char *tls = nullptr)
{
    const QString why = QString::fromUtf8(tls && *tls ? tls : detail ? detail : "");
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return AppError(ErrNo::HttpTimeout, QStringLiteral("The operation timed out"));
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return AppError(ErrNo::HttpNameNotResolved,
                        QStringLiteral("The server name or address could not be resolved"));
    case CURLE_COULDNT_CONNECT:
        return AppError(ErrNo::HttpCannotConnect,
                        QStringLiteral("A connection with the server could not be established"));
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return AppError(ErrNo::HttpCertificateRefused,
                        QStringLiteral("El certificado del servidor no se pudo verificar (%1): "
                                       "no se envió nada al servidor")
                            .arg(why));
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_UNSUPPORTED_PROTOCOL:
        return AppError(ErrNo::HttpSecureChannelError,
                        QStringLiteral("No se pudo establecer una conexión segura con el servidor "
                                       "(%1): no se envió nada al servidor")
                            .arg(why));
    default: {
        // The other failures have no number of their own: keep the client's words.
        const QString more =
            detail && *detail ? QStringLiteral(": ") + QString::fromUtf8(detail) : QString();
        return AppError(ErrNo::HttpConnectionError,
                        QStringLiteral("The connection with the server was terminated abnormally") +
                            more);
    }
    }
}

} // namespace

struct WebExchanges::Exchange
{
    WebExchanges *owner = nullptr;
    CURL *curl = nullptr;
    Ticket ticket = 0; // 0: free
    QByteArray body;
    QByteArray answer;
    bool tooLarge = false; // this answer alone passed the cap
    bool paused = false;   // held back until the answers before it leave room
    Clock::time_point pausedAt;
    Clock::time_point started;
    Clock::time_point lastActivity;
    bool connected = false;
    curl_off_t lastUp = -1;
    curl_off_t lastDown = -1;
    char error[CURL_ERROR_SIZE] = {};

    ~Exchange()
    {
        if (curl)
            curl_easy_cleanup(curl);
    }
};

size_t WebExchanges::collectAnswer(char *data, size_t size, size_t count, void *user)
{
    // Past the cap the transfer is abandoned (taking less than was given
    // stops curl) and the statement fails.
    auto *exchange = static_cast<Exchange *>(user);
    WebExchanges &owner = *exchange->owner;
    const qint64 n = qint64(size * count);
    const qint64 cap = owner.m_options.limits.maxAnswerBytes;
    if (exchange->answer.size() + n > cap) {
        exchange->tooLarge = true;
        return 0;
    }
    // The answers in flight together stay within about one answer's cap: a
    // later one waits (curl keeps what it read) while the oldest, which
    // always goes on, finishes. Nothing fails for it.
    if (owner.m_heldBytes + n > cap && !owner.isOldest(*exchange)) {
        if (!exchange->paused) {
            exchange->paused = true;
            exchange->pausedAt = Clock::now();
        }
        return CURL_WRITEFUNC_PAUSE;
    }
    exchange->answer.append(data, qsizetype(n));
    owner.m_heldBytes += n;
    owner.m_peakHeldBytes = std::max(owner.m_peakHeldBytes, owner.m_heldBytes);
    return size_t(n);
}

WebExchanges::WebExchanges(const RemoteOptions &options, int connections)
    : m_options(options), m_connections(std::max(1, connections))
{
    globalCurlInit();
}

WebExchanges::~WebExchanges()
{
    abandonAll();
    m_exchanges.clear();
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM *>(m_multi));
    if (m_headers)
        curl_slist_free_all(static_cast<curl_slist *>(m_headers));
}

void WebExchanges::open(const QString &url, const ServerLogin &login)
{
    if (!m_multi) {
        CURLM *multi = curl_multi_init();
        if (!multi)
            raise(ErrNo::ProviderFailure, QStringLiteral("The HTTP client could not start"));
        m_multi = multi;
        // Never more connections than asked for, whatever curl would open on
        // its own; one statement per connection at a time, as the script
        // expects (no pipelining).
        curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(m_connections));
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(m_connections));
        curl_multi_setopt(multi, CURLMOPT_MAXCONNECTS, long(m_connections));
        curl_multi_setopt(multi, CURLMOPT_PIPELINING, long(CURLPIPE_NOTHING));
        // No "Expect: 100-continue" wait: the script never sends a 100 answer.
        // Nor the client's own Content-Type and Accept: the request carries
        // only what the server needs to read the statement (Host and the
        // body's length).
        curl_slist *headers = nullptr;
        for (const char *header : {"Expect:", "Content-Type:", "Accept:"})
            headers = curl_slist_append(headers, header);
        m_headers = headers;
    }
    m_url = url;
    m_urlBytes = url.toUtf8();
    m_secure = url.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    // Credentials only where nobody on the way can read them.
    m_user = m_secure ? login.user.toUtf8() : QByteArray();
    m_password = m_secure ? login.password.toUtf8() : QByteArray();
    m_caFile = qgetenv("ZELVANO_CA_FILE");
    if (!m_options.proxyUser.isEmpty()) {
        m_proxyUser = m_options.proxyUser.toUtf8();
        m_proxyPassword = m_options.proxyPassword.toUtf8();
    }
    for (const std::unique_ptr<Exchange> &exchange : m_exchanges)
        configure(*exchange);
}

void WebExchanges::configure(Exchange &exchange)
{
    CURL *c = exchange.curl;
    curl_easy_setopt(c, CURLOPT_URL, m_urlBytes.constData());
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "GET");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, static_cast<curl_slist *>(m_headers));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &collectAnswer);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, static_cast<void *>(&exchange));
    curl_easy_setopt(c, CURLOPT_PRIVATE, static_cast<void *>(&exchange));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(m_options.limits.connectMs));
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, exchange.error);
    // The scheme of the address and no other: an https address never turns
    // into plain HTTP.
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, m_secure ? "https" : "http");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    if (m_secure) {
        curl_easy_setopt(c, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!m_caFile.isEmpty())
            curl_easy_setopt(c, CURLOPT_CAINFO, m_caFile.constData());
    }
    // HTTP/1.1 as over plain HTTP: one statement per connection at a time.
    curl_easy_setopt(c, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    const bool login = m_secure && !m_user.isEmpty();
    curl_easy_setopt(c, CURLOPT_HTTPAUTH, login ? long(CURLAUTH_BASIC) : long(CURLAUTH_NONE));
    curl_easy_setopt(c, CURLOPT_USERNAME, login ? m_user.constData() : nullptr);
    curl_easy_setopt(c, CURLOPT_PASSWORD, login ? m_password.constData() : nullptr);
    if (m_options.proxy == RemoteOptions::Proxy::Direct)
        curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    if (!m_proxyUser.isEmpty()) {
        curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, m_proxyUser.constData());
        curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, m_proxyPassword.constData());
    }
}

WebExchanges::Exchange &WebExchanges::freeExchange()
{
    for (const std::unique_ptr<Exchange> &exchange : m_exchanges)
        if (exchange->ticket == 0)
            return *exchange;
    auto exchange = std::make_unique<Exchange>();
    exchange->owner = this;
    exchange->curl = curl_easy_init();
    if (!exchange->curl)
        raise(ErrNo::ProviderFailure, QStringLiteral("The HTTP client could not start"));
    configure(*exchange);
    m_exchanges.push_back(std::move(exchange));
    return *m_exchanges.back();
}

WebExchanges::Ticket WebExchanges::start(const QString &statement, Connection connection)
{
    if (!canStart())
        raise(ErrNo::InvalidCall);
    Exchange &exchange = freeExchange();
    CURL *c = exchange.curl;
    exchange.body = statement.toUtf8();
    exchange.answer.clear();
    exchange.tooLarge = false;
    exchange.paused = false;
    exchange.error[0] = '\0';
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(exchange.body.size()));
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, exchange.body.constData());
    // POSTFIELDS turns the method into POST; the custom request keeps it GET.
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "GET");
    const long fresh = connection == Connection::Fresh ? 1L : 0L;
    curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, fresh);
    curl_easy_setopt(c, CURLOPT_FORBID_REUSE, fresh);
    if (curl_multi_add_handle(static_cast<CURLM *>(m_multi), c) != CURLM_OK)
        raise(ErrNo::ProviderFailure, QStringLiteral("The HTTP client could not start"));
    exchange.ticket = ++m_lastTicket;
    exchange.started = Clock::now();
    exchange.lastActivity = exchange.started;
    exchange.connected = false;
    exchange.lastUp = -1;
    exchange.lastDown = -1;
    ++m_inFlight;
    ++m_starts;
    return exchange.ticket;
}

void WebExchanges::release(Exchange &exchange)
{
    curl_multi_remove_handle(static_cast<CURLM *>(m_multi), exchange.curl);
    m_heldBytes -= exchange.answer.size();
    exchange.answer = QByteArray();
    exchange.body = QByteArray();
    exchange.ticket = 0;
    --m_inFlight;
}

WebExchanges::Ended WebExchanges::end(Exchange &exchange, AppError error)
{
    Ended ended{exchange.ticket, {}, std::move(error)};
    release(exchange);
    return ended;
}

WebExchanges::Ended WebExchanges::finish(Exchange &exchange, int curlCode)
{
    const auto code = CURLcode(curlCode);
    if (exchange.tooLarge)
        return end(exchange,
                   AppError(ErrNo::HttpConnectionError,
                            QStringLiteral("The connection with the server was terminated "
                                           "abnormally: the answer is larger than %1 bytes")
                                .arg(m_options.limits.maxAnswerBytes)));
    if (code != CURLE_OK)
        return end(exchange, httpError(code, curl_easy_strerror(code), exchange.error));
    Ended ended;
    ended.ticket = exchange.ticket;
    curl_easy_getinfo(exchange.curl, CURLINFO_RESPONSE_CODE, &ended.answer.status);
    ended.answer.text = decodeReceivedText(exchange.answer);
    release(exchange);
    return ended;
}

// WinHTTP-like limits: the connection has its own (curl's), then sending and
// receiving each may stay silent only so long; and the whole exchange,
// however lively, has a limit of its own.
std::optional<AppError> WebExchanges::overLimit(Exchange &exchange) const
{
    const RemoteLimits &limits = m_options.limits;
    const Clock::time_point now = Clock::now();
    if (exchange.paused) {
        exchange.lastActivity = now; // our own wait, not the server's silence
        return std::nullopt;
    }
    if (now - exchange.started > std::chrono::milliseconds(limits.answerMs))
        return httpError(CURLE_OPERATION_TIMEDOUT, nullptr);
    CURL *c = exchange.curl;
    if (!exchange.connected) {
        curl_off_t connectTime = 0, pretransfer = 0;
        curl_easy_getinfo(c, CURLINFO_CONNECT_TIME_T, &connectTime);
        curl_easy_getinfo(c, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
        if (connectTime > 0 || pretransfer > 0) {
            exchange.connected = true;
            exchange.lastActivity = now;
        } else if (now - exchange.lastActivity >
                   std::chrono::milliseconds(limits.connectMs + limits.sendMs)) {
            return httpError(CURLE_OPERATION_TIMEDOUT,
                             nullptr); // curl's own limit should have ended it
        }
        return std::nullopt;
    }
    curl_off_t up = 0, down = 0;
    curl_easy_getinfo(c, CURLINFO_SIZE_UPLOAD_T, &up);
    curl_easy_getinfo(c, CURLINFO_SIZE_DOWNLOAD_T, &down);
    if (up != exchange.lastUp || down != exchange.lastDown) {
        exchange.lastUp = up;
        exchange.lastDown = down;
        exchange.lastActivity = now;
    }
    const int silence = up < curl_off_t(exchange.body.size()) ? limits.sendMs : limits.receiveMs;
    if (now - exchange.lastActivity > std::chrono::milliseconds(silence))
        return httpError(CURLE_OPERATION_TIMEDOUT, nullptr);
    return std::nullopt;
}

std::vector<WebExchanges::Ended> WebExchanges::wait(int waitMs)
{
    std::vector<Ended> ended;
    if (m_inFlight == 0)
        return ended;
    CURLM *multi = static_cast<CURLM *>(m_multi);
    const Clock::time_point entered = Clock::now();
    const Clock::time_point until = entered + std::chrono::milliseconds(std::max(0, waitMs));
    for (;;) {
        int running = 0;
        const CURLMcode performed = curl_multi_perform(multi, &running);
        int pending = 0;
        while (CURLMsg *msg = curl_multi_info_read(multi, &pending)) {
            if (msg->msg != CURLMSG_DONE)
                continue;
            char *owner = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &owner);
            auto *exchange = reinterpret_cast<Exchange *>(owner);
            const CURLcode result = msg->data.result;
            if (exchange && exchange->ticket != 0)
                ended.push_back(finish(*exchange, result));
        }
        for (const std::unique_ptr<Exchange> &exchange : m_exchanges) {
            if (exchange->ticket == 0)
                continue;
            if (performed != CURLM_OK)
                ended.push_back(
                    end(*exchange, httpError(CURLE_SEND_ERROR, curl_multi_strerror(performed))));
            else if (stopRequested())
                ended.push_back(end(*exchange, AppError(ErrNo::HttpCancelled,
                                                        QStringLiteral("The operation has been "
                                                                       "cancelled"))));
            else if (std::optional<AppError> error = overLimit(*exchange))
                ended.push_back(end(*exchange, std::move(*error)));
        }
        resumePaused();
        const Clock::time_point now = Clock::now();
        if (!ended.empty() || m_inFlight == 0 || now >= until)
            break;
        // Woken by the network at once; the limits and a stop request are
        // looked at again at least every 20 ms.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
        curl_multi_poll(multi, nullptr, 0, int(std::clamp<qint64>(left.count(), 1, 20)), nullptr);
    }
    m_waitSeconds += std::chrono::duration<double>(Clock::now() - entered).count();
    return ended;
}

bool WebExchanges::isOldest(const Exchange &exchange) const
{
    for (const std::unique_ptr<Exchange> &other : m_exchanges)
        if (other->ticket != 0 && other->ticket < exchange.ticket)
            return false;
    return true;
}

void WebExchanges::resumePaused()
{
    const qint64 cap = m_options.limits.maxAnswerBytes;
    for (const std::unique_ptr<Exchange> &exchange : m_exchanges) {
        if (exchange->ticket == 0 || !exchange->paused)
            continue;
        if (m_heldBytes >= cap && !isOldest(*exchange))
            continue;
        // The overall limit counts the exchange's own time, not its wait here.
        exchange->started += Clock::now() - exchange->pausedAt;
        exchange->paused = false;
        // curl hands over what it kept at once; the callback may pause again.
        curl_easy_pause(exchange->curl, CURLPAUSE_CONT);
    }
}

void WebExchanges::abandonAll()
{
    for (const std::unique_ptr<Exchange> &exchange : m_exchanges)
        if (exchange->ticket != 0)
            release(*exchange);
}

} // namespace zelvano
