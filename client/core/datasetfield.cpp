#include "client/core/datasetfield.h"

#include "client/core/clienterror.h"
#include "client/core/clientformat.h"

#include <limits>

DataSetField::DataSetField(const QString& dataSetName, const ColumnInfo& column,
                           const QVariant& value)
    : m_dataSetName(dataSetName), m_column(column), m_value(value)
{
}

bool DataSetField::isNull() const
{
    return !m_value.isValid() || m_value.isNull();
}

void DataSetField::failConversion(const QString& what) const
{
    throw ClientError(QStringLiteral("%1: lauka '%2' vērtība '%3' nav %4")
                          .arg(m_dataSetName, m_column.name, asString(), what));
}

QString DataSetField::asString() const
{
    if (isNull())
        return QString();
    switch (m_column.type) {
    case FieldType::Double:
        return ClientFormat::toText(m_value.toDouble());
    case FieldType::Date:
        return ClientFormat::dateToText(m_value.toDate());
    case FieldType::Time:
        return ClientFormat::timeToText(m_value.toTime());
    case FieldType::DateTime:
        return ClientFormat::dateTimeToText(m_value.toDateTime());
    case FieldType::Blob:
        return QString::fromUtf8(m_value.toByteArray());
    case FieldType::Boolean:
        return m_value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Integer:
    case FieldType::BigInt:
    case FieldType::Text:
        break;
    }
    return m_value.toString();
}

qint32 DataSetField::asInteger() const
{
    if (isNull())
        return 0;
    qint64 value = 0;
    switch (m_column.type) {
    case FieldType::Integer:
    case FieldType::BigInt:
        value = m_value.toLongLong();
        break;
    case FieldType::Double:
        value = qRound64(m_value.toDouble());
        break;
    case FieldType::Boolean:
        value = m_value.toBool() ? 1 : 0;
        break;
    case FieldType::Text:
    case FieldType::Blob: {
        bool ok = false;
        value = asString().trimmed().toLongLong(&ok);
        if (!ok)
            failConversion(QStringLiteral("vesels skaitlis"));
        break;
    }
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
        failConversion(QStringLiteral("vesels skaitlis"));
    }
    // A key cut to 32 bits would name another row; refuse rather than wrap.
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        failConversion(QStringLiteral("32 bitu vesels skaitlis"));
    return qint32(value);
}

double DataSetField::asFloat() const
{
    if (isNull())
        return 0.0;
    switch (m_column.type) {
    case FieldType::Integer:
    case FieldType::BigInt:
    case FieldType::Double:
        return m_value.toDouble();
    case FieldType::Boolean:
        return m_value.toBool() ? 1.0 : 0.0;
    case FieldType::Text:
    case FieldType::Blob: {
        bool ok = false;
        const double value = ClientFormat::textToDouble(asString(), &ok);
        if (!ok)
            failConversion(QStringLiteral("skaitlis"));
        return value;
    }
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime:
        break;
    }
    failConversion(QStringLiteral("skaitlis"));
}

QDateTime DataSetField::asDateTime() const
{
    if (isNull())
        return QDateTime();
    switch (m_column.type) {
    case FieldType::Date:
        return QDateTime(m_value.toDate(), QTime(0, 0));
    case FieldType::DateTime:
        return m_value.toDateTime();
    case FieldType::Text:
    case FieldType::Blob: {
        bool ok = false;
        const QDateTime value = ClientFormat::textToDateTime(asString(), &ok);
        if (!ok)
            failConversion(QStringLiteral("datums"));
        return value;
    }
    case FieldType::Integer:
    case FieldType::BigInt:
    case FieldType::Double:
    case FieldType::Time:
    case FieldType::Boolean:
        break;
    }
    failConversion(QStringLiteral("datums"));
}
