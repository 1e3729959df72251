#include "remote/webrequest.h"

#include "common/error.h"
#include "common/stoprequest.h"

#include <curl/curl.h>

#include <chrono>
#include <mutex>

namespace zelvano {

namespace {

void globalCurlInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

[[noreturn]] void raiseHttp(CURLcode code, const char *detail)
{
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        raise(ErrNo::HttpTimeout, QStringLiteral("The operation timed out"));
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        raise(ErrNo::HttpNameNotResolved,
              QStringLiteral("The server name or address could not be resolved"));
    case CURLE_COULDNT_CONNECT:
        raise(ErrNo::HttpCannotConnect,
              QStringLiteral("A connection with the server could not be established"));
    default: {
        // The other failures have no number of their own: keep the client's words.
        const QString more = detail && *detail ? QStringLiteral(": ") + QString::fromUtf8(detail)
                                               : QString();
        raise(ErrNo::HttpConnectionError,
              QStringLiteral("The connection with the server was terminated abnormally") + more);
    }
    }
}

} // namespace

size_t WebRequest::collectAnswer(char *data, size_t size, size_t count, void *user)
{
    // Past the cap the transfer is abandoned (taking less than was given stops
    // curl) and the statement fails.
    auto *answer = static_cast<AnswerBuffer *>(user);
    const size_t n = size * count;
    if (answer->bytes.size() + qint64(n) > answer->cap) {
        answer->tooLarge = true;
        return 0;
    }
    answer->bytes.append(data, qsizetype(n));
    return n;
}

WebRequest::WebRequest() : WebRequest(RemoteOptions{}) {}

WebRequest::WebRequest(const RemoteOptions &options) : m_options(options)
{
    globalCurlInit();
}

WebRequest::~WebRequest()
{
    if (m_multi && m_curl)
        curl_multi_remove_handle(static_cast<CURLM *>(m_multi), m_curl);
    if (m_curl)
        curl_easy_cleanup(m_curl);
    if (m_multi)
        curl_multi_cleanup(static_cast<CURLM *>(m_multi));
    if (m_headers)
        curl_slist_free_all(static_cast<curl_slist *>(m_headers));
}

void WebRequest::open(const QString &url)
{
    m_url = url;
    m_urlBytes = url.toUtf8();
    if (!m_curl) {
        m_curl = curl_easy_init();
        m_multi = curl_multi_init();
        if (!m_curl || !m_multi)
            raise(ErrNo::ProviderFailure, QStringLiteral("The HTTP client could not start"));
        // No "Expect: 100-continue" wait: the script never sends a 100 answer.
        // Nor the client's own Content-Type and Accept: the request carries
        // only what the server needs to read the statement (Host and the
        // body's length).
        curl_slist *headers = nullptr;
        for (const char *header : {"Expect:", "Content-Type:", "Accept:"})
            headers = curl_slist_append(headers, header);
        m_headers = headers;
    }
    CURL *c = m_curl;
    curl_easy_setopt(c, CURLOPT_URL, m_urlBytes.constData());
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "GET");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, static_cast<curl_slist *>(m_headers));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &collectAnswer);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &m_answer);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(m_options.limits.connectMs));
    if (m_options.proxy == RemoteOptions::Proxy::Direct)
        curl_easy_setopt(c, CURLOPT_NOPROXY, "*");
    if (!m_options.proxyUser.isEmpty()) {
        m_proxyUser = m_options.proxyUser.toUtf8();
        m_proxyPassword = m_options.proxyPassword.toUtf8();
        curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, m_proxyUser.constData());
        curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, m_proxyPassword.constData());
    }
}

WebAnswer WebRequest::send(const QString &statement)
{
    if (!m_curl || m_url.isEmpty())
        raise(ErrNo::InvalidCall);
    ++m_sends;
    CURL *c = m_curl;
    CURLM *multi = static_cast<CURLM *>(m_multi);
    m_body = statement.toUtf8();
    m_answer.bytes.clear();
    m_answer.cap = m_options.limits.maxAnswerBytes;
    m_answer.tooLarge = false;
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_body.size()));
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, m_body.constData());
    // POSTFIELDS turns the method into POST; the custom request keeps it GET.
    curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "GET");

    curl_multi_add_handle(multi, c);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point started = Clock::now();
    Clock::time_point lastActivity = started;
    bool connected = false;
    curl_off_t lastUp = -1, lastDown = -1;
    CURLcode result = CURLE_OK;
    bool timedOut = false;
    bool stopped = false;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_SEND_ERROR;
            break;
        }
        if (!running)
            break;
        curl_multi_poll(multi, nullptr, 0, 20, nullptr);
        if (stopRequested()) {
            stopped = true;
            break;
        }

        // WinHTTP-like timeouts: the connection has its own limit (curl's),
        // then sending and receiving each may stay silent only so long; and
        // the whole exchange, however lively, has a limit of its own.
        const Clock::time_point now = Clock::now();
        if (now - started > std::chrono::milliseconds(m_options.limits.answerMs)) {
            timedOut = true;
            break;
        }
        if (!connected) {
            curl_off_t connectTime = 0, pretransfer = 0;
            curl_easy_getinfo(c, CURLINFO_CONNECT_TIME_T, &connectTime);
            curl_easy_getinfo(c, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
            if (connectTime > 0 || pretransfer > 0) {
                connected = true;
                lastActivity = now;
            } else if (now - lastActivity > std::chrono::milliseconds(
                                                m_options.limits.connectMs +
                                                m_options.limits.sendMs)) {
                timedOut = true; // curl's own connect limit should have ended it
                break;
            }
            continue;
        }
        curl_off_t up = 0, down = 0;
        curl_easy_getinfo(c, CURLINFO_SIZE_UPLOAD_T, &up);
        curl_easy_getinfo(c, CURLINFO_SIZE_DOWNLOAD_T, &down);
        if (up != lastUp || down != lastDown) {
            lastUp = up;
            lastDown = down;
            lastActivity = now;
        }
        const int limit = up < curl_off_t(m_body.size()) ? m_options.limits.sendMs
                                                          : m_options.limits.receiveMs;
        if (now - lastActivity > std::chrono::milliseconds(limit)) {
            timedOut = true;
            break;
        }
    }
    if (!timedOut && !stopped && result == CURLE_OK) {
        int pending = 0;
        while (CURLMsg *msg = curl_multi_info_read(multi, &pending)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == c)
                result = msg->data.result;
        }
    }
    curl_multi_remove_handle(multi, c);
    m_sendSeconds += std::chrono::duration<double>(Clock::now() - started).count();
    if (stopped)
        raise(ErrNo::HttpCancelled, QStringLiteral("The operation has been cancelled"));
    if (timedOut)
        raiseHttp(CURLE_OPERATION_TIMEDOUT, nullptr);
    if (m_answer.tooLarge) {
        m_answer.bytes.clear();
        m_answer.bytes.squeeze();
        raise(ErrNo::HttpConnectionError,
              QStringLiteral("The connection with the server was terminated abnormally: the "
                             "answer is larger than %1 bytes")
                  .arg(m_options.limits.maxAnswerBytes));
    }
    if (result != CURLE_OK)
        raiseHttp(result, curl_easy_strerror(result));

    WebAnswer answer;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &answer.status);
    answer.text = QString::fromUtf8(m_answer.bytes);
    m_answer.bytes.clear();
    return answer;
}

} // namespace zelvano
