#include "packetcodec.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QDateTime>

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd");
const QString kTimeFormat = QStringLiteral("HH:mm:ss.zzz");
const QString kDateTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

void writeField(QCborStreamWriter& writer, const QVariant& value, FieldType type)
{
    if (!value.isValid() || value.isNull()) {
        writer.append(nullptr);
        return;
    }
    switch (type) {
    case FieldType::Integer:
    case FieldType::BigInt:
        writer.append(qint64(value.toLongLong()));
        return;
    case FieldType::Double:
        writer.append(value.toDouble());
        return;
    case FieldType::Text:
        writer.append(value.toString());
        return;
    case FieldType::Date:
        writer.append(value.toDate().toString(kDateFormat));
        return;
    case FieldType::Time:
        writer.append(value.toTime().toString(kTimeFormat));
        return;
    case FieldType::DateTime:
        writer.append(value.toDateTime().toString(kDateTimeFormat));
        return;
    case FieldType::Blob:
        writer.append(value.toByteArray());
        return;
    case FieldType::Boolean:
        writer.append(value.toBool());
        return;
    }
    writer.append(nullptr);
}

struct Malformed
{
    QString reason;
};

// A reader that throws Malformed at the first thing that does not fit.
class StrictReader
{
public:
    explicit StrictReader(QByteArrayView bytes) : m_reader(bytes.data(), bytes.size()) {}

    qint64 enterArray(const char* what)
    {
        if (!m_reader.isArray() || !m_reader.isLengthKnown())
            fail(what, "is not a list");
        const qint64 length = qint64(m_reader.length());
        m_reader.enterContainer();
        return length;
    }
    qint64 enterMap()
    {
        if (!m_reader.isMap() || !m_reader.isLengthKnown())
            fail("data packet", "is not a map");
        const qint64 length = qint64(m_reader.length());
        m_reader.enterContainer();
        return length;
    }
    void leave()
    {
        if (m_reader.hasNext() || !m_reader.leaveContainer())
            fail("container", "has more items than announced");
    }
    bool isNull() const { return m_reader.isNull(); }
    void skipNull() { m_reader.next(); }
    qint64 integer(const char* what)
    {
        if (!m_reader.isInteger())
            fail(what, "is not an integer");
        const qint64 value = m_reader.toInteger();
        m_reader.next();
        return value;
    }
    qint32 int32(const char* what)
    {
        const qint64 value = integer(what);
        if (value < std::numeric_limits<qint32>::min() ||
            value > std::numeric_limits<qint32>::max())
            fail(what, "is out of range");
        return qint32(value);
    }
    double number(const char* what)
    {
        if (m_reader.isInteger())
            return double(integer(what));
        if (!m_reader.isFloat() && !m_reader.isDouble() && !m_reader.isFloat16())
            fail(what, "is not a number");
        const double value = m_reader.isDouble()  ? m_reader.toDouble()
                             : m_reader.isFloat() ? double(m_reader.toFloat())
                                                  : double(m_reader.toFloat16());
        m_reader.next();
        return value;
    }
    bool boolean(const char* what)
    {
        if (!m_reader.isBool())
            fail(what, "is not a boolean");
        const bool value = m_reader.toBool();
        m_reader.next();
        return value;
    }
    QString text(const char* what)
    {
        if (!m_reader.isString())
            fail(what, "is not a text");
        // Almost every text comes in one chunk: take it without copying.
        auto chunk = m_reader.readString();
        QString value = chunk.status == QCborStreamReader::Ok ? std::move(chunk.data) : QString();
        if (chunk.status == QCborStreamReader::Ok)
            chunk = m_reader.readString();
        while (chunk.status == QCborStreamReader::Ok) {
            value += chunk.data;
            chunk = m_reader.readString();
        }
        if (chunk.status == QCborStreamReader::Error)
            fail(what, "is cut short");
        return value;
    }
    QByteArray bytes(const char* what)
    {
        if (!m_reader.isByteArray())
            fail(what, "is not bytes");
        QByteArray value;
        auto chunk = m_reader.readByteArray();
        while (chunk.status == QCborStreamReader::Ok) {
            value += chunk.data;
            chunk = m_reader.readByteArray();
        }
        if (chunk.status == QCborStreamReader::Error)
            fail(what, "is cut short");
        return value;
    }
    void expectEnd()
    {
        if (m_reader.lastError() != QCborError::NoError || m_reader.currentOffset() != m_size)
            fail("data packet", "has trailing or broken bytes");
    }
    void setSize(qint64 size) { m_size = size; }

    [[noreturn]] static void fail(const char* what, const char* problem)
    {
        throw Malformed{QStringLiteral("%1 %2").arg(QLatin1String(what), QLatin1String(problem))};
    }

private:
    QCborStreamReader m_reader;
    qint64 m_size = 0;
};

QVariant readField(StrictReader& reader, FieldType type)
{
    if (reader.isNull()) {
        reader.skipNull();
        return QVariant();
    }
    switch (type) {
    case FieldType::Integer:
        return reader.int32("integer field");
    case FieldType::BigInt:
        return reader.integer("bigint field");
    case FieldType::Double:
        return reader.number("double field");
    case FieldType::Text:
        return reader.text("text field");
    case FieldType::Date: {
        const QDate date = QDate::fromString(reader.text("date field"), kDateFormat);
        if (!date.isValid())
            StrictReader::fail("date field", "is not a date");
        return date;
    }
    case FieldType::Time: {
        const QTime time = QTime::fromString(reader.text("time field"), kTimeFormat);
        if (!time.isValid())
            StrictReader::fail("time field", "is not a time");
        return time;
    }
    case FieldType::DateTime: {
        const QDateTime dateTime =
            QDateTime::fromString(reader.text("date-time field"), kDateTimeFormat);
        if (!dateTime.isValid())
            StrictReader::fail("date-time field", "is not a date-time");
        return dateTime;
    }
    case FieldType::Blob:
        return reader.bytes("blob field");
    case FieldType::Boolean:
        return reader.boolean("boolean field");
    }
    return QVariant();
}

void readColumns(StrictReader& reader, DataPacket& packet)
{
    const qint64 count = reader.enterArray("columns");
    for (qint64 i = 0; i < count; ++i) {
        if (reader.enterArray("column") != 3)
            StrictReader::fail("column", "is not [name, type, size]");
        ColumnInfo column;
        column.name = reader.text("column name");
        const qint64 type = reader.integer("column type");
        if (type < 0 || type > int(FieldType::Boolean))
            StrictReader::fail("column type", "is unknown");
        column.type = FieldType(type);
        column.size = reader.int32("column size");
        reader.leave();
        packet.columns.append(column);
    }
    reader.leave();
}

void readRows(StrictReader& reader, DataPacket& packet)
{
    const qint64 count = reader.enterArray("rows");
    for (qint64 i = 0; i < count; ++i) {
        if (reader.enterArray("row") != packet.columns.size())
            StrictReader::fail("row", "does not match the columns");
        QVariantList row;
        row.reserve(packet.columns.size());
        for (const ColumnInfo& column : std::as_const(packet.columns))
            row.append(readField(reader, column.type));
        reader.leave();
        packet.rows.append(std::move(row));
    }
    reader.leave();
}

} // namespace

QByteArray encodePacket(const DataPacket& packet)
{
    QByteArray bytes;
    QCborStreamWriter writer(&bytes);
    writer.startMap(2);
    writer.append(QLatin1String("cols"));
    writer.startArray(quint64(packet.columns.size()));
    for (const ColumnInfo& column : packet.columns) {
        writer.startArray(3);
        writer.append(column.name);
        writer.append(int(column.type));
        writer.append(column.size);
        writer.endArray();
    }
    writer.endArray();
    writer.append(QLatin1String("rows"));
    writer.startArray(quint64(packet.rows.size()));
    for (const QVariantList& row : packet.rows) {
        writer.startArray(quint64(packet.columns.size()));
        for (qsizetype i = 0; i < packet.columns.size(); ++i)
            writeField(writer, row.value(i), packet.columns[i].type);
        writer.endArray();
    }
    writer.endArray();
    writer.endMap();
    return bytes;
}

std::optional<DataPacket> decodePacket(QByteArrayView bytes, QString* error)
{
    try {
        StrictReader reader(bytes);
        reader.setSize(bytes.size());
        DataPacket packet;
        if (reader.enterMap() != 2)
            StrictReader::fail("data packet", "is not {cols, rows}");
        if (reader.text("key") != QLatin1String("cols"))
            StrictReader::fail("data packet", "does not start with its columns");
        readColumns(reader, packet);
        if (reader.text("key") != QLatin1String("rows"))
            StrictReader::fail("data packet", "lacks its rows");
        readRows(reader, packet);
        reader.leave();
        reader.expectEnd();
        return packet;
    } catch (const Malformed& malformed) {
        if (error)
            *error = malformed.reason;
        return std::nullopt;
    }
}
