#pragma once

#include "common/cborwriter.h"
#include "common/datapacket.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// The CBOR form of a data packet: { "cols": [[name, type, size]...],
// "rows": [[value...]...] }, with definite lengths. Row sets are the bulk of
// the traffic, so both directions work on the bytes: PacketEncoder lets a
// producer write rows as it gets them (the server straight from the
// database), and decodePacket checks every value against its column and
// returns nothing, with the reason, for bytes that do not fit.

// A packet in two pieces: its head (the columns and the number of rows) and
// the rows, which are never copied to be put behind it.
struct EncodedPacket
{
    QByteArray head;
    QByteArray rows;
    qint32 rowCount = 0;
    bool hasColumns = false; // a statement without a result set has none

    qint64 size() const { return head.size() + rows.size(); }
    QByteArray joined() const { return head + rows; }
};

class PacketEncoder final
{
public:
    explicit PacketEncoder(QList<ColumnInfo> columns);

    // Starts the next row; the caller writes one value per column, in the
    // columns' order, with the returned writer.
    CborWriter& beginRow();
    qint32 rowCount() const { return m_rowCount; }
    qsizetype rowBytes() const { return m_rows.size(); }
    EncodedPacket finish();

private:
    QList<ColumnInfo> m_columns;
    QByteArray m_rows;
    CborWriter m_writer{m_rows};
    qint32 m_rowCount = 0;
};

// One value of the column's type as the packet holds it.
void writeField(CborWriter& writer, const QVariant& value, FieldType type);

// Dates and times as the packet writes them: yyyy-MM-dd, HH:mm:ss.zzz and
// yyyy-MM-ddTHH:mm:ss.zzz, local time without a zone.
QByteArray dateText(const QDate& date);
QByteArray timeText(const QTime& time);
QByteArray dateTimeText(const QDateTime& dateTime);
QDateTime parseDateTimeText(QByteArrayView text); // invalid when the text is not one

QByteArray encodePacket(const DataPacket& packet);
std::optional<DataPacket> decodePacket(QByteArrayView bytes, QString* error);
