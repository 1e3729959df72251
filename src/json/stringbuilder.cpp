#include "json/stringbuilder.h"

#include "common/error.h"

#include <algorithm>
#include <limits>

namespace zelvano::json {

namespace {
constexpr std::int64_t kMaxBytes = std::numeric_limits<qint32>::max();

qint32 checkedBytes(std::int64_t bytes)
{
    if (bytes > kMaxBytes || bytes < std::numeric_limits<qint32>::min())
        raise(ErrNo::Overflow);
    return qint32(bytes);
}
} // namespace

void cStringBuilder::ChunkSize(qint32 iChunkSize)
{
    // A step of nothing would grow for ever.
    if (iChunkSize <= 0)
        raise(ErrNo::InvalidCall);
    m_chunkBytes = checkedBytes(std::int64_t(iChunkSize) * 2);
}

QString cStringBuilder::toString() const
{
    if (m_usedBytes < 2)
        return QString();
    return m_buffer.left(m_usedBytes / 2);
}

void cStringBuilder::ensureBytes(std::int64_t needBytes)
{
    if (needBytes <= m_capacityBytes)
        return;
    const std::int64_t missing = needBytes - m_capacityBytes;
    const std::int64_t chunks = (missing + m_chunkBytes - 1) / m_chunkBytes;
    const qint32 newCapacity = checkedBytes(m_capacityBytes + chunks * m_chunkBytes);
    m_buffer.resize(newCapacity / 2, QLatin1Char(' '));
    m_capacityBytes = newCapacity;
}

void cStringBuilder::TheString(const QString &sThis)
{
    if (sThis.isEmpty()) {
        Clear();
        return;
    }
    const qint32 bytes = checkedBytes(std::int64_t(sThis.size()) * 2);
    ensureBytes(bytes);
    QChar *data = m_buffer.data();
    std::copy(sThis.constBegin(), sThis.constEnd(), data);
    // What the old content left beyond the new one is spare room again.
    std::fill(data + sThis.size(), data + std::max(Length(), qint32(sThis.size())),
              QLatin1Char(' '));
    m_usedBytes = bytes;
}

void cStringBuilder::Clear()
{
    m_buffer = QString();
    m_usedBytes = 0;
    m_capacityBytes = 0;
}

void cStringBuilder::AppendNL(QStringView sThis)
{
    const std::int64_t need = std::int64_t(m_usedBytes) + (sThis.size() + 2) * 2;
    checkedBytes(need);
    Append(sThis);
    Append(u"\r\n");
}

void cStringBuilder::Append(QStringView sThis)
{
    if (sThis.isEmpty())
        return;
    const qint32 need = checkedBytes(std::int64_t(m_usedBytes) + std::int64_t(sThis.size()) * 2);
    ensureBytes(need);
    std::copy(sThis.begin(), sThis.end(), m_buffer.begin() + m_usedBytes / 2);
    m_usedBytes = need;
}

void cStringBuilder::Append(QChar c)
{
    const qint32 need = checkedBytes(std::int64_t(m_usedBytes) + 2);
    ensureBytes(need);
    m_buffer[m_usedBytes / 2] = c;
    m_usedBytes = need;
}

void cStringBuilder::Insert(qint32 iIndex, QStringView sThis)
{
    if (iIndex < 0 || iIndex > Length())
        raise(ErrNo::SubscriptOutOfRange);
    const qint32 need = checkedBytes(std::int64_t(m_usedBytes) + std::int64_t(sThis.size()) * 2);
    if (sThis.isEmpty())
        return;
    // sThis may be a view into this very buffer: keep a copy before moving.
    const QString copy = sThis.toString();
    ensureBytes(need);
    QChar *data = m_buffer.data();
    const qint32 used = Length();
    std::copy_backward(data + iIndex, data + used, data + used + copy.size());
    std::copy(copy.constBegin(), copy.constEnd(), data + iIndex);
    m_usedBytes = need;
}

void cStringBuilder::Remove(qint32 iIndex, qint32 lLen)
{
    const qint32 used = Length();
    if (iIndex < 0 || lLen < 0 || iIndex > used || std::int64_t(iIndex) + lLen > used)
        raise(ErrNo::SubscriptOutOfRange);
    if (lLen == 0)
        return;
    QChar *data = m_buffer.data();
    std::copy(data + iIndex + lLen, data + used, data + iIndex);
    // The freed tail becomes spare room again, which holds spaces.
    std::fill(data + used - lLen, data + used, QLatin1Char(' '));
    m_usedBytes -= lLen * 2;
}

qint32 cStringBuilder::Find(QStringView sToFind, qint32 lStartIndex, Compare compare) const
{
    if (m_buffer.isEmpty())
        return 0;
    const qint32 start = lStartIndex < 1 ? 1 : lStartIndex;
    if (start > m_buffer.size())
        return 0;
    const Qt::CaseSensitivity cs =
        compare == Compare::Text ? Qt::CaseInsensitive : Qt::CaseSensitive;
    // The whole buffer is searched, padding included, as the first match decides.
    const qsizetype at = QStringView(m_buffer).indexOf(sToFind, start - 1, cs);
    if (at < 0 || at + sToFind.size() > Length())
        return 0;
    return qint32(at + 1);
}

void cStringBuilder::HeapMinimize()
{
    qint32 capacity = m_capacityBytes;
    while (capacity - m_usedBytes > m_chunkBytes)
        capacity -= m_chunkBytes;
    if (capacity == m_capacityBytes)
        return;
    m_buffer.truncate(capacity / 2);
    m_buffer.squeeze();
    m_capacityBytes = capacity;
}

} // namespace zelvano::json
