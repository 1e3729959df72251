#pragma once

#include "remote/columns.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace zelvano {

class OdbcResult;

// One row the server sent back: a WEB row (one JSON object) is read by key,
// an ODBC result row by position.
class RemoteRow
{
public:
    RemoteRow() = default;
    // An ODBC row: values by position.
    explicit RemoteRow(std::vector<QVariant> values) : m_values(std::move(values)) {}
    // A WEB row: values under their keys (rows of one answer share their keys).
    RemoteRow(std::shared_ptr<const QStringList> keys, std::vector<QVariant> values)
        : m_keys(std::move(keys)), m_values(std::move(values))
    {
    }

    bool keyed() const { return m_keys != nullptr; }
    // A WEB row answers by the column's key (a missing key reads as the empty
    // text, Null as an invalid value); an ODBC row by its position (error 9
    // past the last column).
    QVariant field(const RemoteColumn &column) const;

    int size() const { return int(m_values.size()); }
    // The same columns with the same values: a row sent again.
    bool sameAs(const RemoteRow &other) const;

private:
    std::shared_ptr<const QStringList> m_keys;
    std::vector<QVariant> m_values;
};

// What one remote statement gave. The WEB way reports the HTTP status (an
// ODBC statement that fails raises its error instead) and whether the body
// was one whole answer of the script; only a whole answer with status 200 is
// accepted, and only an accepted answer has rows.
struct RemoteAnswer
{
    int status = 200;
    bool whole = true;
    bool hasRows = false;
    std::vector<RemoteRow> rows;
    // The size of a WEB body (0 in the ODBC way), for callers that hold
    // answers a while.
    qint64 bytes = 0;
    // Why an answer was not accepted: its body for a refusal, what was wrong
    // with it for a broken one.
    QString refusal;
    // The first id an insert made, as the server reports it; 0 when it does not.
    qint64 insertId = 0;
    // The rows a statement without rows changed, as the server reports it; -1
    // when it does not.
    qint64 affectedRows = -1;

    bool accepted() const { return status == 200 && whole; }
};

// Raises the error of an answer that was not accepted: the server's refusal
// (ErrNo::ProviderFailure with the status and the body), or a broken answer
// (ErrNo::HttpConnectionError: cut short, an HTML page, not the script's JSON).
[[noreturn]] void raiseUnaccepted(const RemoteAnswer &answer);

// A WEB body read as the script's answer. The script answers a JSON array of
// flat objects (a select) or one flat object (a statement without rows); an
// answer is whole only when it is exactly that, read without a single parser
// message and with nothing but blanks after it. A body without any "{" is an
// answer without rows when it is blank, "[]" or "null", and broken otherwise
// (an HTML page, a message of a proxy).
struct WebAnswerRead
{
    bool whole = false;
    QString problem; // why it is not whole
    std::vector<RemoteRow> rows;
};
WebAnswerRead readWebAnswer(const QString &body);

// Text received as UTF-8. A byte that is not part of valid UTF-8 becomes the
// lone surrogate U+DC80 + byte, which no valid text holds, so that it is
// never silently replaced (vb::hasInvalidText finds it).
QString decodeReceivedText(const QByteArray &bytes);

// The rows of an ODBC result, in order.
std::vector<RemoteRow> odbcResultRows(OdbcResult &result);

} // namespace zelvano
