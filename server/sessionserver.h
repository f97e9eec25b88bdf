#pragma once

#include <QObject>
#include <QString>
#include <QTcpServer>

#include <functional>
#include <memory>
#include <vector>

class QThread;
class SessionWorker;
class TServerModuleData;

// The TCP side of the server. The main thread accepts terminals and hands
// each connection, with its own module from the class factory, to one of a
// few session workers (round robin); each worker has its own thread and
// database attachment. Connects, disconnects and errors come back to the main
// thread as signals, one by one, in the order they happened.
class SessionServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionServer)

public:
    using ModuleFactory = std::function<std::shared_ptr<TServerModuleData>()>;

    SessionServer(const QString& databasePath, int workerCount, int stallTimeoutMs,
                  ModuleFactory factory, QObject* parent = nullptr);
    ~SessionServer() override;

    bool listen(quint16 port);
    QString errorString() const;
    quint16 port() const;
    int workerCount() const { return int(m_workers.size()); }

    // Stops accepting, lets every worker finish the request it is running,
    // closes the sessions (their last replies go out first) and the
    // attachments. Waits up to graceMs for a worker that is still busy.
    void shutdown(int graceMs);

signals:
    void clientConnected();
    void clientDisconnected();
    void errorOccurred(const QString& message);

private:
    class Listener;
    struct Worker
    {
        QThread* thread = nullptr;
        SessionWorker* worker = nullptr;
    };

    void dispatch(qintptr socketDescriptor);

    std::unique_ptr<Listener> m_listener;
    ModuleFactory m_factory;
    std::vector<Worker> m_workers;
    size_t m_nextWorker = 0;
};
