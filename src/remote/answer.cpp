#include "remote/answer.h"

#include "common/error.h"
#include "json/json.h"
#include "json/recordwalk.h"
#include "remote/odbc.h"

namespace zelvano {

QVariant RemoteRow::field(const RemoteColumn &column) const
{
    if (m_keys) {
        const qsizetype at = m_keys->indexOf(column.key);
        return at < 0 ? QVariant(QString()) : m_values[size_t(at)];
    }
    if (column.position < 0 || size_t(column.position) >= m_values.size())
        raise(ErrNo::SubscriptOutOfRange,
              QStringLiteral("Item cannot be found in the collection corresponding to the "
                             "requested name or ordinal."));
    return m_values[size_t(column.position)];
}

std::vector<RemoteRow> webAnswerRows(const QString &body)
{
    std::vector<RemoteRow> rows;
    std::shared_ptr<const QStringList> keys = std::make_shared<const QStringList>();
    json::RecordWalk walk(body);
    while (walk.next()) {
        const json::JsonValue &object = walk.row();
        QStringList rowKeys;
        std::vector<QVariant> values;
        if (object.isDictionary()) {
            values.reserve(size_t(object.count()));
            for (const auto &[key, value] : object.entries()) {
                rowKeys << key;
                values.push_back(value.toVariant());
            }
        }
        // Rows of one answer nearly always carry the same keys: one list for all.
        if (rowKeys != *keys)
            keys = std::make_shared<const QStringList>(std::move(rowKeys));
        rows.emplace_back(keys, std::move(values));
    }
    return rows;
}

std::vector<RemoteRow> odbcResultRows(OdbcResult &result)
{
    std::vector<RemoteRow> rows;
    rows.reserve(size_t(result.recordCount()));
    for (; !result.eof(); result.moveNext()) {
        std::vector<QVariant> values;
        values.reserve(size_t(result.columnCount()));
        for (int i = 0; i < result.columnCount(); ++i)
            values.push_back(result.value(i));
        rows.emplace_back(std::move(values));
    }
    return rows;
}

} // namespace zelvano
