#include "sync/syncremote.h"

namespace zelvano {

QVariant RemoteRow::field(int position, const QString &key) const
{
    if (keyed) {
        // Keys compare exactly; a missing key reads as the empty text.
        const qsizetype at = keys.indexOf(key);
        return at < 0 ? QVariant(QString()) : values[size_t(at)];
    }
    if (position < 0 || position >= int(values.size()))
        return QVariant();
    return values[size_t(position)];
}

} // namespace zelvano
