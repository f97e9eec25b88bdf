#include "sessionserver.h"

#include "sessionworker.h"
#include "tservermoduledata.h"

#include <QThread>

// Hands over the bare descriptor: the socket object is made on the worker's
// thread, where it will live.
class SessionServer::Listener final : public QTcpServer
{
public:
    explicit Listener(std::function<void(qintptr)> accept) : m_accept(std::move(accept)) {}

protected:
    void incomingConnection(qintptr socketDescriptor) override { m_accept(socketDescriptor); }

private:
    std::function<void(qintptr)> m_accept;
};

SessionServer::SessionServer(const QString& databasePath, int workerCount, int stallTimeoutMs,
                             ModuleFactory factory, QObject* parent)
    : QObject(parent),
      m_listener(std::make_unique<Listener>([this](qintptr socket) { dispatch(socket); })),
      m_factory(std::move(factory))
{
    connect(m_listener.get(), &QTcpServer::acceptError, this,
            [this] { emit errorOccurred(m_listener->errorString()); });
    for (int i = 0; i < qMax(1, workerCount); ++i) {
        Worker entry;
        entry.thread = new QThread(this);
        entry.thread->setObjectName(QStringLiteral("session worker %1").arg(i + 1));
        entry.worker = new SessionWorker(databasePath, stallTimeoutMs);
        entry.worker->moveToThread(entry.thread);
        connect(entry.thread, &QThread::finished, entry.worker, &QObject::deleteLater);
        connect(entry.worker, &SessionWorker::clientConnected, this,
                &SessionServer::clientConnected);
        connect(entry.worker, &SessionWorker::clientDisconnected, this,
                &SessionServer::clientDisconnected);
        connect(entry.worker, &SessionWorker::errorOccurred, this, &SessionServer::errorOccurred);
        entry.thread->start();
        m_workers.push_back(entry);
    }
}

SessionServer::~SessionServer()
{
    shutdown(0);
}

bool SessionServer::listen(quint16 port)
{
    return m_listener->listen(QHostAddress::Any, port);
}

QString SessionServer::errorString() const
{
    return m_listener->errorString();
}

quint16 SessionServer::port() const
{
    return m_listener->serverPort();
}

void SessionServer::dispatch(qintptr socketDescriptor)
{
    SessionWorker* worker = m_workers[m_nextWorker].worker;
    m_nextWorker = (m_nextWorker + 1) % m_workers.size();
    QMetaObject::invokeMethod(
        worker,
        [worker, socketDescriptor, module = m_factory()]() mutable {
            worker->adopt(socketDescriptor, std::move(module));
        },
        Qt::QueuedConnection);
}

void SessionServer::shutdown(int graceMs)
{
    if (m_workers.empty())
        return;
    m_listener->close();
    // Queued behind whatever the worker is running now, so a request in
    // flight is answered before its session closes.
    for (const Worker& entry : m_workers) {
        SessionWorker* worker = entry.worker;
        QMetaObject::invokeMethod(
            worker,
            [worker] {
                worker->closeAll();
                QThread::currentThread()->quit();
            },
            Qt::QueuedConnection);
    }
    for (const Worker& entry : m_workers) {
        if (!entry.thread->wait(QDeadlineTimer(qMax(graceMs, 1000)))) {
            entry.thread->terminate(); // a statement that would not end
            entry.thread->wait();
        }
    }
    m_workers.clear();
}
