#include "providerproxy.h"

#include "clienterror.h"
#include "providerprotocol.h"
#include "serverconnection.h"

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
    return *m_connection;
}

DataPacket ProviderProxy::getRecords(const QString& provider, const QString& commandText,
                                     RemoteParams& params)
{
    ProviderRequest request;
    request.operation = ProviderOperation::GetRecords;
    request.serverClass = m_serverClassName;
    request.provider = provider;
    request.recordCount = -1;
    request.commandText = commandText;
    request.params = params;
    ProviderReply reply = readyConnection().client().call(std::move(request));
    if (!reply.params.isEmpty())
        params = reply.params;
    return std::move(reply.packet);
}

void ProviderProxy::execute(const QString& provider, const QString& commandText,
                            RemoteParams& params)
{
    ProviderRequest request;
    request.operation = ProviderOperation::Execute;
    request.serverClass = m_serverClassName;
    request.provider = provider;
    request.commandText = commandText;
    request.params = params;
    ProviderReply reply = readyConnection().client().call(std::move(request));
    if (!reply.params.isEmpty())
        params = reply.params;
}
