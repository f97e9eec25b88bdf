#pragma once

#include <QObject>
#include <QTcpServer>

#include <functional>
#include <memory>

class ClientSession;
class DatabasePool;
class TServerModuleData;

// The TCP side of the server: accepts terminals, gives each session its own
// module from the class factory, and reports connects, disconnects and
// errors. Everything runs on the thread that owns it (the main thread), so
// the events arrive there one by one, in the order they happened.
class SessionServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionServer)

public:
    using ModuleFactory = std::function<std::shared_ptr<TServerModuleData>()>;

    SessionServer(DatabasePool& pool, ModuleFactory factory, QObject* parent = nullptr);
    ~SessionServer() override;

    bool listen(quint16 port);
    QString errorString() const { return m_server.errorString(); }
    quint16 port() const { return m_server.serverPort(); }
    void setStallTimeout(int milliseconds) { m_stallTimeoutMs = milliseconds; }

    // Stops accepting; sessions already connected go on.
    void stopListening() { m_server.close(); }
    int sessionCount() const;
    bool hasRequestsInFlight() const;

signals:
    void clientConnected();
    void clientDisconnected();
    void errorOccurred(const QString& message);
    void becameIdle(); // the last in-flight request of any session has been answered

private:
    void acceptPending();

    QTcpServer m_server;
    DatabasePool& m_pool;
    ModuleFactory m_factory;
    int m_stallTimeoutMs = 30000;
};
