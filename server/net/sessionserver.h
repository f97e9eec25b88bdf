#pragma once

#include "server/net/allowlist.h"
#include "server/net/sessionworker.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class ConnectionListener;
class ServerMetrics;
class TServerModuleData;

struct SessionServerOptions
{
    int workerCount = 4;
    SessionSettings session;
    AllowList allow;
    int maxClients = 1000;
    ServerMetrics* metrics = nullptr; // outlives the session server; null when off
};

// The TCP side of the server. A listener thread accepts terminals, refuses
// those the allow list or the connection cap keeps out, and hands each other
// connection, with its own module from the class factory, to one of a few
// session workers (round robin); each worker has its own thread, event loop
// and database attachment. Connects, disconnects and errors come back to
// this object's thread as signals, one by one, in the order they happened.
//
// While a statement runs, the listener's thread looks a few times a second
// whether its terminal is still connected, and cancels it when it is not.
class SessionServer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionServer)

public:
    using ModuleFactory = std::function<std::shared_ptr<TServerModuleData>()>;

    SessionServer(const QString& databasePath, SessionServerOptions options, ModuleFactory factory,
                  QObject* parent = nullptr);
    ~SessionServer() override;

    // A null address listens on every interface.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_error; }
    quint16 port() const;
    int workerCount() const { return int(m_workers.size()); }
    int clientCount() const { return m_clients.load(); }

    // The terminals that connect from now on are judged by this list.
    void setAllowList(const AllowList& allow);
    // Every worker drops its prepared statements at its next idle moment.
    void dropPreparedStatements();

    // Stops accepting. Every request received gets a reply: the statements
    // running are let finish for up to graceMs and then cancelled, the
    // others are answered with the stopping error; then the sessions and
    // the attachments close. False when a worker would not stop even then;
    // it is left to the end of the process.
    bool shutdown(int graceMs);

signals:
    void clientConnected();
    void clientDisconnected();
    void errorOccurred(const QString& message);

private:
    void admit(int descriptor, bool ipv6);
    void watchRunningStatements();

    SessionServerOptions m_options;
    ModuleFactory m_factory;
    RequestMemory m_requestMemory; // before the workers, which use it to the end
    std::vector<std::unique_ptr<SessionWorker>> m_workers;
    std::unique_ptr<ConnectionListener> m_listener;
    std::atomic<int> m_clients{0};
    size_t m_nextWorker = 0; // the listener's thread only
    QString m_error;
};
