#include "common/packetcodec.h"

#include "common/cborreader.h"

#include <QDateTime>

namespace {

// Writes n digits of value, zero-padded, at out.
char* digits(char* out, int value, int n)
{
    for (int i = n - 1; i >= 0; --i) {
        out[i] = char('0' + value % 10);
        value /= 10;
    }
    return out + n;
}

char* writeDate(char* out, const QDate& date)
{
    out = digits(out, date.year(), 4);
    *out++ = '-';
    out = digits(out, date.month(), 2);
    *out++ = '-';
    return digits(out, date.day(), 2);
}

char* writeTime(char* out, const QTime& time)
{
    out = digits(out, time.hour(), 2);
    *out++ = ':';
    out = digits(out, time.minute(), 2);
    *out++ = ':';
    out = digits(out, time.second(), 2);
    *out++ = '.';
    return digits(out, time.msec(), 3);
}

// The number in text[at, at + n) when every character there is a digit, else -1.
int number(QByteArrayView text, qsizetype at, qsizetype n)
{
    int value = 0;
    for (qsizetype i = at; i < at + n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

QDate parseDate(QByteArrayView text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return {};
    return QDate(number(text, 0, 4), number(text, 5, 2), number(text, 8, 2));
}

QTime parseTime(QByteArrayView text)
{
    if (text.size() != 12 || text[2] != ':' || text[5] != ':' || text[8] != '.')
        return {};
    return QTime(number(text, 0, 2), number(text, 3, 2), number(text, 6, 2), number(text, 9, 3));
}

QVariant readField(CborReader& reader, FieldType type)
{
    if (reader.isNull()) {
        reader.null();
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
        const QDate date = parseDate(reader.textView("date field"));
        if (!date.isValid())
            CborReader::fail("date field", "is not a date");
        return date;
    }
    case FieldType::Time: {
        const QTime time = parseTime(reader.textView("time field"));
        if (!time.isValid())
            CborReader::fail("time field", "is not a time");
        return time;
    }
    case FieldType::DateTime: {
        const QDateTime dateTime = parseDateTimeText(reader.textView("date-time field"));
        if (!dateTime.isValid())
            CborReader::fail("date-time field", "is not a date-time");
        return dateTime;
    }
    case FieldType::Blob:
        return reader.bytesView("blob field").toByteArray();
    case FieldType::Boolean:
        return reader.boolean("boolean field");
    }
    return QVariant();
}

void readColumns(CborReader& reader, DataPacket& packet)
{
    const qint64 count = reader.array("columns");
    packet.columns.reserve(qMin<qint64>(count, 1024));
    for (qint64 i = 0; i < count; ++i) {
        if (reader.array("column") != 3)
            CborReader::fail("column", "is not [name, type, size]");
        ColumnInfo column;
        column.name = reader.text("column name");
        const qint64 type = reader.integer("column type");
        if (type < 0 || type > int(FieldType::Boolean))
            CborReader::fail("column type", "is unknown");
        column.type = FieldType(type);
        column.size = reader.int32("column size");
        packet.columns.append(column);
    }
}

void readRows(CborReader& reader, DataPacket& packet)
{
    const qint64 count = reader.array("rows");
    packet.rows.reserve(qMin<qint64>(count, 4096));
    for (qint64 i = 0; i < count; ++i) {
        if (reader.array("row") != packet.columns.size())
            CborReader::fail("row", "does not match the columns");
        QVariantList row;
        row.reserve(packet.columns.size());
        for (const ColumnInfo& column : std::as_const(packet.columns))
            row.append(readField(reader, column.type));
        packet.rows.append(std::move(row));
    }
}

} // namespace

QByteArray dateText(const QDate& date)
{
    QByteArray text(10, Qt::Uninitialized);
    writeDate(text.data(), date);
    return text;
}

QByteArray timeText(const QTime& time)
{
    QByteArray text(12, Qt::Uninitialized);
    writeTime(text.data(), time);
    return text;
}

QByteArray dateTimeText(const QDateTime& dateTime)
{
    QByteArray text(23, Qt::Uninitialized);
    char* out = writeDate(text.data(), dateTime.date());
    *out++ = 'T';
    writeTime(out, dateTime.time());
    return text;
}

QDateTime parseDateTimeText(QByteArrayView text)
{
    if (text.size() != 23 || text[10] != 'T')
        return {};
    const QDate date = parseDate(text.first(10));
    const QTime time = parseTime(text.sliced(11));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

void writeField(CborWriter& writer, const QVariant& value, FieldType type)
{
    if (!value.isValid() || value.isNull()) {
        writer.null();
        return;
    }
    switch (type) {
    case FieldType::Integer:
    case FieldType::BigInt:
        writer.integer(value.toLongLong());
        return;
    case FieldType::Double:
        writer.float64(value.toDouble());
        return;
    case FieldType::Text:
        writer.text(value.toString());
        return;
    case FieldType::Date:
        writer.utf8(dateText(value.toDate()));
        return;
    case FieldType::Time:
        writer.utf8(timeText(value.toTime()));
        return;
    case FieldType::DateTime:
        writer.utf8(dateTimeText(value.toDateTime()));
        return;
    case FieldType::Blob:
        writer.bytes(value.toByteArray());
        return;
    case FieldType::Boolean:
        writer.boolean(value.toBool());
        return;
    }
    writer.null();
}

PacketEncoder::PacketEncoder(QList<ColumnInfo> columns) : m_columns(std::move(columns)) {}

CborWriter& PacketEncoder::beginRow()
{
    ++m_rowCount;
    m_writer.array(quint64(m_columns.size()));
    return m_writer;
}

EncodedPacket PacketEncoder::finish()
{
    EncodedPacket packet;
    CborWriter head(packet.head);
    head.map(2);
    head.utf8("cols");
    head.array(quint64(m_columns.size()));
    for (const ColumnInfo& column : std::as_const(m_columns)) {
        head.array(3);
        head.text(column.name);
        head.integer(int(column.type));
        head.integer(column.size);
    }
    head.utf8("rows");
    head.array(quint64(m_rowCount));
    packet.rows = std::move(m_rows);
    packet.rowCount = m_rowCount;
    packet.hasColumns = !m_columns.isEmpty();
    m_rows = QByteArray();
    m_rowCount = 0;
    return packet;
}

QByteArray encodePacket(const DataPacket& packet)
{
    PacketEncoder encoder(packet.columns);
    for (const QVariantList& row : packet.rows) {
        CborWriter& writer = encoder.beginRow();
        for (qsizetype i = 0; i < packet.columns.size(); ++i)
            writeField(writer, row.value(i), packet.columns[i].type);
    }
    return encoder.finish().joined();
}

std::optional<DataPacket> decodePacket(QByteArrayView bytes, QString* error)
{
    try {
        CborReader reader(bytes);
        DataPacket packet;
        if (reader.map("data packet") != 2)
            CborReader::fail("data packet", "is not {cols, rows}");
        if (reader.textView("key") != "cols")
            CborReader::fail("data packet", "does not start with its columns");
        readColumns(reader, packet);
        if (reader.textView("key") != "rows")
            CborReader::fail("data packet", "lacks its rows");
        readRows(reader, packet);
        if (!reader.atEnd())
            CborReader::fail("data packet", "has trailing or broken bytes");
        return packet;
    } catch (const CborReader::Malformed& malformed) {
        if (error)
            *error = malformed.reason;
        return std::nullopt;
    }
}
