#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>

namespace zelvano::json {

// A growable text buffer that grows in whole chunks, so that appending one
// character at a time does not re-allocate the text every time. Offsets and
// lengths at the interface are in characters (UTF-16 code units); inside they
// are kept in bytes, two per character, in signed 32-bit arithmetic.
// Operations that raise (error 5, 6 or 9) change nothing.
class cStringBuilder
{
public:
    enum class Compare { Binary, Text }; // exact / without letter case

    cStringBuilder() = default;

    qint32 Length() const { return m_usedBytes / 2; }
    qint32 Capacity() const { return m_capacityBytes / 2; }
    qint32 ChunkSize() const { return m_chunkBytes / 2; }
    // Error 6 when twice the size leaves 32 bits, error 5 for 0 or less.
    void ChunkSize(qint32 iChunkSize);

    QString toString() const;
    // Replaces the content; an empty text empties the buffer.
    void TheString(const QString &sThis);
    void Clear();

    void AppendNL(QStringView sThis);
    void Append(QStringView sThis);
    void Append(QChar c);
    void AppendByVal(QString sThis) { Append(QStringView(sThis)); }

    // iIndex is a 0-based offset into the used text; error 9 outside 0..Length.
    void Insert(qint32 iIndex, QStringView sThis);
    void InsertByVal(qint32 iIndex, QString sThis) { Insert(iIndex, QStringView(sThis)); }
    // Error 9 when iIndex or iIndex + lLen lies outside the used text.
    void Remove(qint32 iIndex, qint32 lLen);

    // 1-based position of sToFind from lStartIndex (from the start below 1); 0 when
    // absent or when the match runs into the unused part of the buffer.
    qint32 Find(QStringView sToFind, qint32 lStartIndex = 1,
                Compare compare = Compare::Binary) const;

    // Gives back whole chunks of spare room beyond the first one.
    void HeapMinimize();

private:
    // Raises the capacity by whole chunks until needBytes fit (buffer padded with spaces).
    void ensureBytes(std::int64_t needBytes);

    QString m_buffer; // size() == capacity; the unused tail holds spaces
    qint32 m_usedBytes = 0;
    qint32 m_capacityBytes = 0;
    qint32 m_chunkBytes = 16384;
};

} // namespace zelvano::json
