#include "client/core/remotedataset.h"

#include "client/core/clienterror.h"
#include "client/core/providerproxy.h"

RemoteDataSet::RemoteDataSet(const QString& name, ProviderProxy* remoteServer,
                             const QString& providerName)
    : m_name(name), m_remoteServer(remoteServer), m_providerName(providerName)
{
}

void RemoteDataSet::setCommandText(const QString& text)
{
    close();
    m_commandText = text;
    m_params.clear();
}

void RemoteDataSet::setIntegerParam(const QString& name, qint32 value)
{
    setParam(RemoteParam::integer(name, value));
}

void RemoteDataSet::setTextParam(const QString& name, const QString& value)
{
    setParam(RemoteParam::text(name, value));
}

void RemoteDataSet::setDoubleParam(const QString& name, double value)
{
    setParam(RemoteParam::number(name, value));
}

void RemoteDataSet::setDateTimeParam(const QString& name, const QDateTime& value)
{
    setParam(value.isValid() ? RemoteParam::dateTime(name, value) : RemoteParam::null(name));
}

void RemoteDataSet::setNullParam(const QString& name)
{
    setParam(RemoteParam::null(name));
}

void RemoteDataSet::setParam(const RemoteParam& param)
{
    ::setParam(m_params, param);
}

void RemoteDataSet::open()
{
    if (m_active)
        return;
    if (!m_remoteServer)
        throw ClientError(QStringLiteral("%1: nav norādīts attālinātais serveris").arg(m_name));
    m_packet = m_remoteServer->getRecords(m_providerName, m_commandText, m_params);
    m_active = true;
    first();
    emit activeChanged(true);
}

void RemoteDataSet::holdRows(DataPacket rows)
{
    m_packet = std::move(rows);
    m_active = true;
    first();
    emit activeChanged(true);
}

void RemoteDataSet::execute()
{
    if (!m_remoteServer)
        throw ClientError(QStringLiteral("%1: nav norādīts attālinātais serveris").arg(m_name));
    m_remoteServer->execute(m_providerName, m_commandText, m_params);
}

void RemoteDataSet::close()
{
    const bool wasActive = m_active;
    m_active = false;
    m_packet = DataPacket();
    m_row = -1;
    m_eof = true;
    if (wasActive)
        emit activeChanged(false);
}

void RemoteDataSet::first()
{
    m_row = m_packet.rows.isEmpty() ? -1 : 0;
    m_eof = m_packet.rows.isEmpty();
}

void RemoteDataSet::next()
{
    if (m_row + 1 < m_packet.rows.size())
        ++m_row;
    else
        m_eof = true;
}

int RemoteDataSet::columnIndexOrThrow(const QString& name) const
{
    const int column = m_active ? m_packet.columnIndex(name) : -1;
    if (column < 0)
        throw ClientError(QStringLiteral("%1: lauks '%2' nav atrasts").arg(m_name, name));
    return column;
}

bool RemoteDataSet::hasField(const QString& name) const
{
    return m_active && m_packet.columnIndex(name) >= 0;
}

DataSetField RemoteDataSet::fieldByName(const QString& name) const
{
    const int column = columnIndexOrThrow(name);
    const QVariant value = m_row >= 0 ? m_packet.rows.at(m_row).value(column) : QVariant();
    return DataSetField(m_name, m_packet.columns.at(column), value);
}

bool RemoteDataSet::fieldEquals(int column, int row, const QVariant& value) const
{
    const DataSetField field(m_name, m_packet.columns.at(column),
                             m_packet.rows.at(row).value(column));
    if (!value.isValid() || value.isNull())
        return field.isNull();
    if (field.isNull())
        return false;
    switch (field.dataType()) {
    case FieldType::Integer:
    case FieldType::BigInt:
    case FieldType::Double: {
        bool ok = false;
        const double wanted = value.toDouble(&ok);
        return ok && field.value().toDouble() == wanted;
    }
    case FieldType::Date:
    case FieldType::DateTime:
        if (value.canConvert<QDateTime>() && value.toDateTime().isValid())
            return field.asDateTime() == value.toDateTime();
        break;
    case FieldType::Text:
    case FieldType::Time:
    case FieldType::Blob:
    case FieldType::Boolean:
        break;
    }
    return field.asString() == value.toString();
}

bool RemoteDataSet::locate(const QString& fieldName, const QVariant& value)
{
    const int column = columnIndexOrThrow(fieldName);
    for (int row = 0; row < m_packet.rows.size(); ++row) {
        if (fieldEquals(column, row, value)) {
            m_row = row;
            m_eof = false;
            return true;
        }
    }
    return false;
}
