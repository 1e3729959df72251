#include "sync/refusals.h"

#include "common/vb.h"
#include "store/localconnection.h"

namespace zelvano {

namespace {

const QString kServer = QStringLiteral("servidor");
const QString kLocal = QStringLiteral("local");

} // namespace

SyncRefusals::SyncRefusals(LocalConnection &db) : m_db(db)
{
    Recordset rs =
        db.openRecordset(QStringLiteral("select origen, id, huella from zelvano_sync_rechazados"));
    for (; !rs.eof(); rs.moveNext())
        m_fingerprints.insert(vb::joinText(rs.value(0)) + u':' + vb::joinText(rs.value(1)),
                              vb::joinText(rs.value(2)));
}

QString SyncRefusals::key(Side side, qint64 id)
{
    return (side == Side::Server ? kServer : kLocal) + u':' + QString::number(id);
}

bool SyncRefusals::known(Side side, qint64 id, const QString &fingerprint) const
{
    const auto it = m_fingerprints.constFind(key(side, id));
    return it != m_fingerprints.constEnd() && it.value() == fingerprint;
}

void SyncRefusals::remember(Side side, qint64 id, const QString &fingerprint)
{
    m_db.execute(QStringLiteral("insert or replace into zelvano_sync_rechazados (origen, id, "
                                "huella) values (?, ?, ?)"),
                 {side == Side::Server ? kServer : kLocal, id, fingerprint});
    m_fingerprints.insert(key(side, id), fingerprint);
}

} // namespace zelvano
