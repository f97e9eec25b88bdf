#include "common/cborreader.h"

#include <QtEndian>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr quint8 kUnsigned = 0;
constexpr quint8 kNegative = 1;
constexpr quint8 kBytes = 2;
constexpr quint8 kText = 3;
constexpr quint8 kArray = 4;
constexpr quint8 kMap = 5;
constexpr quint8 kTag = 6;
constexpr quint8 kSimple = 7;

constexpr quint8 kFalse = 20;
constexpr quint8 kTrue = 21;
constexpr quint8 kNull = 22;
constexpr quint8 kHalf = 25;
constexpr quint8 kSingle = 26;
constexpr quint8 kDouble = 27;

} // namespace

void CborReader::fail(const char* what, const char* problem)
{
    throw Malformed{QStringLiteral("%1 %2").arg(QLatin1String(what), QLatin1String(problem))};
}

CborReader::Head CborReader::peek(const char* what) const
{
    if (atEnd())
        fail(what, "is missing: the message ends");
    Head head;
    const auto initial = quint8(m_bytes[m_offset]);
    head.major = initial >> 5;
    head.minor = initial & 0x1f;
    const qsizetype left = m_bytes.size() - m_offset - 1;
    const char* data = m_bytes.data() + m_offset + 1;
    if (head.minor < 24) {
        head.value = head.minor;
        head.size = 1;
    } else if (head.minor <= 27) {
        const qsizetype extra = qsizetype(1) << (head.minor - 24);
        if (left < extra)
            fail(what, "is cut short");
        switch (extra) {
        case 1:
            head.value = quint8(data[0]);
            break;
        case 2:
            head.value = qFromBigEndian<quint16>(data);
            break;
        case 4:
            head.value = qFromBigEndian<quint32>(data);
            break;
        default:
            head.value = qFromBigEndian<quint64>(data);
            break;
        }
        head.size = 1 + extra;
    } else {
        fail(what, "has an indefinite length or a reserved head");
    }
    return head;
}

CborReader::Head CborReader::take(const char* what, quint8 major, const char* problem)
{
    const Head head = peek(what);
    if (head.major != major)
        fail(what, problem);
    m_offset += head.size;
    return head;
}

QByteArrayView CborReader::payload(const char* what, quint8 major, const char* problem)
{
    const Head head = take(what, major, problem);
    if (head.value > quint64(m_bytes.size() - m_offset))
        fail(what, "is cut short");
    const QByteArrayView bytes = m_bytes.sliced(m_offset, qsizetype(head.value));
    m_offset += qsizetype(head.value);
    return bytes;
}

bool CborReader::isNull() const
{
    return initialByte() == ((kSimple << 5) | kNull);
}

bool CborReader::isInteger() const
{
    const quint8 major = initialByte() >> 5;
    return !atEnd() && (major == kUnsigned || major == kNegative);
}

bool CborReader::isText() const
{
    return !atEnd() && (initialByte() >> 5) == kText;
}

bool CborReader::isTag() const
{
    return !atEnd() && (initialByte() >> 5) == kTag;
}

void CborReader::null()
{
    if (!isNull())
        fail("value", "is not null");
    ++m_offset;
}

qint64 CborReader::integer(const char* what)
{
    if (!isInteger())
        fail(what, "is not an integer");
    const Head head = peek(what);
    if (head.value > quint64(std::numeric_limits<qint64>::max()))
        fail(what, "is out of range");
    m_offset += head.size;
    return head.major == kUnsigned ? qint64(head.value) : -1 - qint64(head.value);
}

qint32 CborReader::int32(const char* what)
{
    const qint64 value = integer(what);
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        fail(what, "is out of range");
    return qint32(value);
}

double CborReader::number(const char* what)
{
    if (isInteger())
        return double(integer(what));
    const Head head = peek(what);
    if (head.major != kSimple || head.minor < kHalf || head.minor > kDouble)
        fail(what, "is not a number");
    m_offset += head.size;
    switch (head.minor) {
    case kHalf: {
        // As RFC 8949 decodes a half-precision float.
        const auto bits = quint16(head.value);
        const int exponent = (bits >> 10) & 0x1f;
        const int mantissa = bits & 0x3ff;
        double value = 0;
        if (exponent == 0)
            value = std::ldexp(mantissa, -24);
        else if (exponent != 31)
            value = std::ldexp(mantissa + 1024, exponent - 25);
        else
            value = mantissa == 0 ? std::numeric_limits<double>::infinity()
                                  : std::numeric_limits<double>::quiet_NaN();
        return (bits & 0x8000) ? -value : value;
    }
    case kSingle: {
        const auto bits = quint32(head.value);
        float single;
        std::memcpy(&single, &bits, sizeof bits);
        return double(single);
    }
    default: {
        double value;
        std::memcpy(&value, &head.value, sizeof value);
        return value;
    }
    }
}

bool CborReader::boolean(const char* what)
{
    const quint8 initial = initialByte();
    if (atEnd() || (initial != ((kSimple << 5) | kFalse) && initial != ((kSimple << 5) | kTrue)))
        fail(what, "is not a boolean");
    ++m_offset;
    return initial == ((kSimple << 5) | kTrue);
}

QByteArrayView CborReader::textView(const char* what)
{
    return payload(what, kText, "is not a text");
}

QString CborReader::text(const char* what)
{
    return QString::fromUtf8(textView(what));
}

QByteArrayView CborReader::bytesView(const char* what)
{
    return payload(what, kBytes, "is not bytes");
}

qint64 CborReader::array(const char* what)
{
    const Head head = take(what, kArray, "is not a list");
    // Every item takes at least a byte: a longer count is a lie.
    if (head.value > quint64(m_bytes.size() - m_offset))
        fail(what, "announces more items than there are bytes");
    return qint64(head.value);
}

qint64 CborReader::map(const char* what)
{
    const Head head = take(what, kMap, "is not a map");
    if (head.value > quint64(m_bytes.size() - m_offset) / 2)
        fail(what, "announces more entries than there are bytes");
    return qint64(head.value);
}

quint64 CborReader::tag(const char* what)
{
    return take(what, kTag, "is not a tagged value").value;
}

QByteArrayView CborReader::skip()
{
    // Counts the items still owed at each level instead of recursing, so that
    // nesting costs no stack; the levels are bounded, so is the count.
    const qsizetype start = m_offset;
    std::array<quint64, kMaxNesting + 1> owed{};
    int depth = 0;
    owed[0] = 1;
    for (;;) {
        const Head head = peek("item");
        m_offset += head.size;
        --owed[depth];
        const quint64 left = quint64(m_bytes.size() - m_offset);
        quint64 inner = 0;
        switch (head.major) {
        case kBytes:
        case kText:
            if (head.value > left)
                fail("item", "is cut short");
            m_offset += qsizetype(head.value);
            break;
        case kArray:
        case kMap: {
            const quint64 items = head.major == kMap ? 2 : 1;
            if (head.value > left / items)
                fail("item", "announces more items than there are bytes");
            inner = head.value * items;
            break;
        }
        case kTag:
            inner = 1;
            break;
        case kSimple:
            // The extra bytes of a float are its value, already in the head.
            break;
        default:
            break;
        }
        if (inner > 0) {
            if (depth == kMaxNesting)
                throw Malformed{QStringLiteral("an item nests arrays, maps and tags more than "
                                               "%1 deep")
                                    .arg(kMaxNesting),
                                true};
            owed[++depth] = inner;
        }
        while (owed[depth] == 0) {
            if (depth == 0)
                return m_bytes.sliced(start, m_offset - start);
            --depth;
        }
    }
}
