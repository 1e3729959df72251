#pragma once

#include "common/error.h"
#include "remote/remote.h"

#include <QByteArray>
#include <QString>

namespace zelvano {

// The answer of one HTTP exchange.
struct WebAnswer
{
    long status = 0;   // HTTP status, 200 when the statement ran
    QString text;      // the body, read as UTF-8
};

// A blocking HTTP client for the server script: open() once with the URL, then
// send() one statement per call; every call is a GET with the statement as
// its body and no headers beyond Host and Content-Length. Failures raise
// AppError with ErrNo::HttpTimeout (a silence or the whole exchange over its
// limit), ErrNo::HttpNameNotResolved, ErrNo::HttpCannotConnect or
// ErrNo::HttpConnectionError (also an answer over the size limit); an HTTP
// error status is not a failure here, the caller reads WebAnswer::status.
class WebRequest
{
public:
    WebRequest();
    explicit WebRequest(const RemoteOptions &options);
    ~WebRequest();
    WebRequest(const WebRequest &) = delete;
    WebRequest &operator=(const WebRequest &) = delete;

    void open(const QString &url);
    bool isOpen() const { return !m_url.isEmpty(); }
    // Sends the statement and waits for the whole answer. Error 5 before open().
    WebAnswer send(const QString &statement);

    const RemoteOptions &options() const { return m_options; }
    // Statements sent so far, and the time spent waiting in send().
    long sendCount() const { return m_sends; }
    double sendSeconds() const { return m_sendSeconds; }

private:
    struct AnswerBuffer
    {
        QByteArray bytes;
        qint64 cap = 0;
        bool tooLarge = false;
    };
    static size_t collectAnswer(char *data, size_t size, size_t count, void *user);

    RemoteOptions m_options;
    QString m_url;
    QByteArray m_urlBytes;
    QByteArray m_proxyUser;
    QByteArray m_proxyPassword;
    void *m_curl = nullptr;
    void *m_multi = nullptr;
    void *m_headers = nullptr;
    QByteArray m_body;
    AnswerBuffer m_answer;
    long m_sends = 0;
    double m_sendSeconds = 0;
};

} // namespace zelvano
