#pragma once

#include <QList>
#include <QString>
#include <QVariant>

// The result of a read: column descriptions and every row. Row values are
// qint32 (Integer), qint64 (BigInt), double, QString, QDate, QTime, QDateTime,
// QByteArray (Blob) or bool; an invalid QVariant is NULL.
enum class FieldType : quint8
{
    Integer,
    BigInt,
    Double,
    Text,
    Date,
    Time,
    DateTime,
    Blob,
    Boolean
};

struct ColumnInfo
{
    QString name;
    FieldType type = FieldType::Text;
    qint32 size = 0; // characters for text, bytes otherwise

    friend bool operator==(const ColumnInfo&, const ColumnInfo&) = default;
};

struct DataPacket
{
    QList<ColumnInfo> columns;
    QList<QVariantList> rows;

    // Index of the column of that name (case-insensitive), or -1.
    int columnIndex(const QString& name) const;

    friend bool operator==(const DataPacket&, const DataPacket&) = default;
};
