#include "sessionserver.h"

#include "clientsession.h"
#include "databasepool.h"

#include <QTcpSocket>

SessionServer::SessionServer(DatabasePool& pool, ModuleFactory factory, QObject* parent)
    : QObject(parent), m_pool(pool), m_factory(std::move(factory))
{
    connect(&m_server, &QTcpServer::newConnection, this, &SessionServer::acceptPending);
    connect(&m_server, &QTcpServer::acceptError, this,
            [this] { emit errorOccurred(m_server.errorString()); });
}

SessionServer::~SessionServer() = default;

bool SessionServer::listen(quint16 port)
{
    return m_server.listen(QHostAddress::Any, port);
}

int SessionServer::sessionCount() const
{
    return int(findChildren<ClientSession*>(Qt::FindDirectChildrenOnly).size());
}

bool SessionServer::hasRequestsInFlight() const
{
    const auto sessions = findChildren<ClientSession*>(Qt::FindDirectChildrenOnly);
    return std::any_of(sessions.begin(), sessions.end(),
                       [](const ClientSession* session) { return session->isBusy(); });
}

void SessionServer::acceptPending()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        auto* session = new ClientSession(socket, m_factory(), m_pool, m_stallTimeoutMs, this);
        connect(session, &ClientSession::protocolError, this, &SessionServer::errorOccurred);
        connect(session, &ClientSession::requestFailed, this, &SessionServer::errorOccurred);
        connect(session, &ClientSession::idle, this, [this] {
            if (!hasRequestsInFlight())
                emit becameIdle();
        });
        connect(session, &ClientSession::closed, this, [this, session] {
            session->deleteLater();
            session->setParent(nullptr);
            emit clientDisconnected();
        });
        emit clientConnected();
    }
}
