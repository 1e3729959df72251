#pragma once

#include <QHash>
#include <QString>

namespace zelvano {

class LocalConnection;

// Records the synchronisation does not move and has named once in an event:
// server records that cannot be stored here, local readings that cannot go
// up. Each is kept with a fingerprint of the values it was judged on, so that
// a record changed since is judged again, and one left as it was is neither
// tried nor named again.
class SyncRefusals
{
public:
    enum class Side { Server, Local };

    // Reads what was refused so far.
    explicit SyncRefusals(LocalConnection &db);

    bool known(Side side, qint64 id, const QString &fingerprint) const;
    // Remembered inside the caller's transaction, with the event that names it.
    void remember(Side side, qint64 id, const QString &fingerprint);

private:
    static QString key(Side side, qint64 id);

    LocalConnection &m_db;
    QHash<QString, QString> m_fingerprints; // "side:id" -> fingerprint
};

} // namespace zelvano
