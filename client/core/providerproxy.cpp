#include "client/core/providerproxy.h"

#include "client/core/clienterror.h"
#include "client/core/serverconnection.h"
#include "common/providerprotocol.h"

ProviderProxy::ProviderProxy(const QString& name, ServerConnection* connection)
    : m_name(name), m_serverClassName(QString::fromLatin1(kServerClassName)),
      m_connection(connection)
{
}

ServerConnection& ProviderProxy::readyConnection()
{
    if (!m_connection || m_serverClassName.isEmpty())
        throw ClientError(
            QStringLiteral("%1: nav norādīts servera savienojums vai servera klase").arg(m_name));
    m_connection->setConnected(true);
    m_connection->countRequest();
    return *m_connection;
}

DataPacket ProviderProxy::getRecords(const QString& provider, const QString& commandText,
                                     RemoteParams& params)
{
    return readyConnection().client().getRecords(provider, commandText, params, -1, 0,
                                                 m_serverClassName);
}

void ProviderProxy::execute(const QString& provider, const QString& commandText,
                            RemoteParams& params)
{
    readyConnection().client().execute(provider, commandText, params, m_serverClassName);
}
