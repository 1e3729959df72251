#pragma once

#include "common/error.h"
#include "remote/remote.h"
#include "remote/webexchanges.h"

#include <QString>

namespace zelvano {

// A blocking HTTP client for the server script: open() once with the URL, then
// send() one statement per call; every call is a GET with the statement as
// its body and no headers beyond Host and Content-Length. Failures raise
// AppError with ErrNo::HttpTimeout (a silence or the whole exchange over its
// limit), ErrNo::HttpNameNotResolved, ErrNo::HttpCannotConnect,
// ErrNo::HttpConnectionError (also an answer over the size limit) or
// ErrNo::HttpCancelled (the program is stopping); an HTTP error status is not
// a failure here, the caller reads WebAnswer::status.
class WebRequest
{
public:
    WebRequest();
    explicit WebRequest(const RemoteOptions &options);
    WebRequest(const WebRequest &) = delete;
    WebRequest &operator=(const WebRequest &) = delete;

    void open(const QString &url, const ServerLogin &login = {}) { m_exchanges.open(url, login); }
    bool isOpen() const { return m_exchanges.isOpen(); }
    // Sends the statement and waits for the whole answer. Error 5 before open().
    WebAnswer send(const QString &statement);

    const RemoteOptions &options() const { return m_exchanges.options(); }
    // Statements sent so far, and the time spent waiting in send().
    long sendCount() const { return m_exchanges.startCount(); }
    double sendSeconds() const { return m_exchanges.waitSeconds(); }

private:
    WebExchanges m_exchanges;
};

} // namespace zelvano
