#pragma once

#include "common/datapacket.h"

#include <QDateTime>
#include <QString>
#include <QVariant>

// One field of a remote dataset's current row, read by name. A copy: it does
// not follow the dataset when it moves.
//
// NULL reads as empty text, 0 or a null date-time. Text read as a number or
// date, and numbers or dates read as text, follow the client's formats
// (ClientFormat). A value that does not convert throws ClientError.
class DataSetField final
{
public:
    DataSetField(const QString& dataSetName, const ColumnInfo& column, const QVariant& value);

    QString fieldName() const { return m_column.name; }
    FieldType dataType() const { return m_column.type; }
    bool isNull() const;
    QVariant value() const { return m_value; }

    QString asString() const;
    qint32 asInteger() const;
    double asFloat() const;
    QDateTime asDateTime() const;
    QDate asDate() const { return asDateTime().date(); }

private:
    [[noreturn]] void failConversion(const QString& what) const;

    QString m_dataSetName;
    ColumnInfo m_column;
    QVariant m_value;
};
