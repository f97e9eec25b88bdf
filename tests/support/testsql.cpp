#include "tests/support/testsql.h"

void TestSql::setPort(quint16 port)
{
    m_client.setHost(QStringLiteral("127.0.0.1"));
    m_client.setPort(port);
}

void TestSql::run(const QString& sql, const QMap<QString, QString>& textParams)
{
    RemoteParams params;
    for (auto it = textParams.cbegin(); it != textParams.cend(); ++it)
        params.append(RemoteParam::text(it.key(), it.value()));
    m_client.execute(QStringLiteral("dspTempQuery"), sql, params);
}

QVariant TestSql::value(const QString& sql)
{
    RemoteParams none;
    const DataPacket packet = m_client.getRecords(QStringLiteral("dspTempQuery"), sql, none);
    return packet.rows.isEmpty() ? QVariant() : packet.rows.first().value(0);
}
