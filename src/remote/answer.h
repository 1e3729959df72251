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

private:
    std::shared_ptr<const QStringList> m_keys;
    std::vector<QVariant> m_values;
};

// What one remote statement gave. The WEB way reports the HTTP status (an
// ODBC statement that fails raises its error instead), and whether the answer
// held a row at all ("{" in the WEB way).
struct RemoteAnswer
{
    int status = 200;
    bool hasRows = false;
    std::vector<RemoteRow> rows;
    // The body of an answer that was not accepted, for the messages.
    QString refusal;

    bool accepted() const { return status == 200; }
};

// The rows of a WEB answer: every object of the body, in order (the record walk).
std::vector<RemoteRow> webAnswerRows(const QString &body);

// The rows of an ODBC result, in order.
std::vector<RemoteRow> odbcResultRows(OdbcResult &result);

} // namespace zelvano
