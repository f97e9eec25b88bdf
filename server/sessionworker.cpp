#include "sessionworker.h"

#include "clientsession.h"

#include <QTcpSocket>

SessionWorker::SessionWorker(QString databasePath, int stallTimeoutMs)
    : m_database(std::move(databasePath)), m_stallTimeoutMs(stallTimeoutMs)
{
}

SessionWorker::~SessionWorker() = default;

void SessionWorker::adopt(qintptr socketDescriptor, std::shared_ptr<TServerModuleData> module)
{
    auto* socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        emit errorOccurred(socket->errorString());
        delete socket;
        return;
    }
    auto* session =
        new ClientSession(socket, std::move(module), m_database, m_stallTimeoutMs, this);
    ++m_sessionCount;
    connect(session, &ClientSession::protocolError, this, &SessionWorker::errorOccurred);
    connect(session, &ClientSession::requestFailed, this, &SessionWorker::errorOccurred);
    connect(session, &ClientSession::closed, this, [this, session] {
        session->deleteLater();
        --m_sessionCount;
        emit clientDisconnected();
    });
    emit clientConnected();
}

void SessionWorker::closeAll()
{
    const auto sessions = findChildren<ClientSession*>(Qt::FindDirectChildrenOnly);
    for (ClientSession* session : sessions)
        delete session;
    m_sessionCount = 0;
    m_database.close();
}
