#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringEncoder>
#include <QStringView>

// Appends CBOR items to a byte array in the one form the protocol uses:
// shortest heads, definite lengths, doubles as 64-bit floats. Nothing but the
// bytes is built, so a row of 27 values costs what its bytes cost. The caller
// writes a container's items right after its head.
class CborWriter final
{
public:
    explicit CborWriter(QByteArray& out) : m_out(out) {}

    void integer(qint64 value);
    void float64(double value);
    void boolean(bool value) { m_out.append(char(value ? 0xf5 : 0xf4)); }
    void null() { m_out.append(char(0xf6)); }
    void text(QStringView text);
    // Text that already is UTF-8 (or ASCII): copied as it is.
    void utf8(QByteArrayView text);
    void bytes(QByteArrayView bytes);
    void array(quint64 length) { head(Array, length); }
    void map(quint64 length) { head(Map, length); }
    void tag(quint64 tag) { head(Tag, tag); }
    // A whole item encoded elsewhere.
    void encoded(QByteArrayView item) { m_out.append(item); }

    QByteArray& buffer() { return m_out; }

    // The size of the head of a byte or text string of that length.
    static qsizetype headSize(quint64 value);
    // The head alone, for a string whose bytes follow in another buffer.
    static QByteArray bytesHead(quint64 length);

private:
    enum Major : quint8
    {
        Unsigned = 0,
        Negative = 1,
        Bytes = 2,
        Text = 3,
        Array = 4,
        Map = 5,
        Tag = 6,
    };
    void head(Major major, quint64 value);
    static void writeHead(char* at, Major major, quint64 value, qsizetype size);

    QByteArray& m_out;
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
};
