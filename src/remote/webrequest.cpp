#include "remote/webrequest.h"

namespace zelvano {

WebRequest::WebRequest() : WebRequest(RemoteOptions{}) {}

WebRequest::WebRequest(const RemoteOptions &options) : m_exchanges(options, 1) {}

WebAnswer WebRequest::send(const QString &statement)
{
    const WebExchanges::Ticket ticket = m_exchanges.start(statement);
    for (;;) {
        for (WebExchanges::Ended &ended : m_exchanges.wait(1000)) {
            if (ended.ticket != ticket)
                continue;
            if (ended.error)
                throw *ended.error;
            return std::move(ended.answer);
        }
    }
}

} // namespace zelvano
