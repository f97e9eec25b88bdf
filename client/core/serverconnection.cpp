#include "client/core/serverconnection.h"

ServerConnection::ServerConnection(const QString& name) : m_name(name)
{
    m_client.setHost(QStringLiteral("localhost"));
    m_client.setPort(DefaultPort);
}

void ServerConnection::setConnected(bool on)
{
    if (on == connected())
        return;
    if (on)
        m_client.connectToServer();
    else
        m_client.disconnectFromServer();
}
