#include "common/cborwriter.h"

#include <QtEndian>

#include <cstring>

qsizetype CborWriter::headSize(quint64 value)
{
    if (value < 24)
        return 1;
    if (value <= 0xff)
        return 2;
    if (value <= 0xffff)
        return 3;
    if (value <= 0xffffffffu)
        return 5;
    return 9;
}

void CborWriter::writeHead(char* at, Major major, quint64 value, qsizetype size)
{
    const auto initial = quint8(major << 5);
    switch (size) {
    case 1:
        at[0] = char(initial | quint8(value));
        return;
    case 2:
        at[0] = char(initial | 24);
        at[1] = char(value);
        return;
    case 3:
        at[0] = char(initial | 25);
        qToBigEndian(quint16(value), at + 1);
        return;
    case 5:
        at[0] = char(initial | 26);
        qToBigEndian(quint32(value), at + 1);
        return;
    default:
        at[0] = char(initial | 27);
        qToBigEndian(value, at + 1);
        return;
    }
}

void CborWriter::head(Major major, quint64 value)
{
    const qsizetype size = headSize(value);
    const qsizetype at = m_out.size();
    m_out.resize(at + size);
    writeHead(m_out.data() + at, major, value, size);
}

QByteArray CborWriter::bytesHead(quint64 length)
{
    QByteArray head(headSize(length), Qt::Uninitialized);
    writeHead(head.data(), Bytes, length, head.size());
    return head;
}

void CborWriter::integer(qint64 value)
{
    if (value >= 0)
        head(Unsigned, quint64(value));
    else
        head(Negative, quint64(-1 - value));
}

void CborWriter::float64(double value)
{
    const qsizetype at = m_out.size();
    m_out.resize(at + 9);
    m_out[at] = char(0xfb);
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    qToBigEndian(bits, m_out.data() + at + 1);
}

void CborWriter::utf8(QByteArrayView text)
{
    head(Text, quint64(text.size()));
    m_out.append(text);
}

void CborWriter::bytes(QByteArrayView bytes)
{
    head(Bytes, quint64(bytes.size()));
    m_out.append(bytes);
}

void CborWriter::text(QStringView text)
{
    // Encoded straight into the buffer behind a head sized for the longest
    // it can be; moved back in the rare case the head turns out shorter.
    const qsizetype most = m_encoder.requiredSpace(text.size());
    const qsizetype roomyHead = headSize(quint64(most));
    const qsizetype at = m_out.size();
    m_out.resize(at + roomyHead + most);
    char* begin = m_out.data() + at + roomyHead;
    const qsizetype length = m_encoder.appendToBuffer(begin, text) - begin;
    const qsizetype actualHead = headSize(quint64(length));
    if (actualHead != roomyHead)
        std::memmove(m_out.data() + at + actualHead, begin, size_t(length));
    writeHead(m_out.data() + at, Text, quint64(length), actualHead);
    m_out.resize(at + actualHead + length);
}
