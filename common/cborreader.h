#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Reads the CBOR items of one message in order, straight from its bytes:
// every head and length is checked against what is left, so any bytes at
// all are safe to read. Indefinite lengths, which the protocol never writes,
// are refused, and so is an item nested deeper than kMaxNesting. A failure
// throws CborReader::Malformed, whose text says what did not fit (named by
// the caller's "what").
class CborReader final
{
public:
    // Arrays, maps and tags inside one another, the outermost included. The
    // protocol's own messages nest four deep; owner data may use the rest.
    // Deeper items are refused whole: no reader or writer of them ever has
    // to go that deep (Qt's own CBOR values stop at 1024 and lose the rest).
    static constexpr int kMaxNesting = 64;

    struct Malformed
    {
        QString reason;
        // Well-formed CBOR that the protocol still refuses (nesting too deep).
        bool beyondLimits = false;
    };

    explicit CborReader(QByteArrayView bytes) : m_bytes(bytes) {}

    bool atEnd() const { return m_offset >= m_bytes.size(); }
    qsizetype offset() const { return m_offset; }

    bool isNull() const;
    bool isInteger() const;
    bool isText() const;
    bool isTag() const;

    void null();
    qint64 integer(const char* what);
    qint32 int32(const char* what);
    // An integer or a float of any width.
    double number(const char* what);
    bool boolean(const char* what);
    QString text(const char* what);
    QByteArrayView textView(const char* what);
    QByteArrayView bytesView(const char* what);
    // The length of the array or map whose items follow.
    qint64 array(const char* what);
    qint64 map(const char* what);
    quint64 tag(const char* what);
    // Passes over one whole item, nested ones included, and returns its bytes.
    // Refuses an item nested deeper than kMaxNesting.
    QByteArrayView skip();

    [[noreturn]] static void fail(const char* what, const char* problem);

private:
    struct Head
    {
        quint8 major = 0;
        quint8 minor = 0;
        quint64 value = 0;
        qsizetype size = 0; // bytes of the head itself
    };
    Head peek(const char* what) const;
    Head take(const char* what, quint8 major, const char* problem);
    QByteArrayView payload(const char* what, quint8 major, const char* problem);
    quint8 initialByte() const { return atEnd() ? 0xff : quint8(m_bytes[m_offset]); }

    QByteArrayView m_bytes;
    qsizetype m_offset = 0;
};
