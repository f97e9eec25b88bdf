#include "server/net/sessionserver.h"

#include "server/db/tservermoduledata.h"
#include "server/net/connectionlistener.h"
#include "server/net/servermetrics.h"

#include <unistd.h>

namespace {

// After the grace period: how long cancelled statements get to end.
constexpr std::chrono::seconds kAfterCancel(5);
constexpr std::chrono::milliseconds kCancelAgain(100);

} // namespace

SessionServer::SessionServer(const QString& databasePath, SessionServerOptions options,
                             ModuleFactory factory, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_factory(std::move(factory))
{
    WorkerEvents events;
    events.ended = [this] {
        --m_clients;
        if (m_options.metrics)
            m_options.metrics->terminalDisconnected();
        emit clientDisconnected();
    };
    events.metrics = m_options.metrics;
    events.error = [this](const QString& message) { emit errorOccurred(message); };
    for (int i = 0; i < qMax(1, m_options.workerCount); ++i) {
        m_workers.push_back(std::make_unique<SessionWorker>(databasePath, m_options.session, events,
                                                            m_requestMemory));
        m_workers.back()->start();
    }
}

SessionServer::~SessionServer()
{
    shutdown(0);
}

bool SessionServer::listen(const QHostAddress& address, quint16 port)
{
    ConnectionListener::Callbacks callbacks;
    callbacks.clientCount = [this] { return m_clients.load(); };
    callbacks.admit = [this](int descriptor, bool ipv6) { admit(descriptor, ipv6); };
    callbacks.log = [this](const QString& message) { emit errorOccurred(message); };
    callbacks.tick = [this] { watchRunningStatements(); };
    m_listener = std::make_unique<ConnectionListener>(m_options.allow, m_options.maxClients,
                                                      std::move(callbacks), m_options.metrics);
    if (m_listener->listen(address, port, &m_error))
        return true;
    m_listener.reset();
    return false;
}

quint16 SessionServer::port() const
{
    return m_listener ? m_listener->port() : 0;
}

// Counted and reported here, when the terminal is taken: its worker may be
// busy with a statement for a while before it gets to the new session.
void SessionServer::admit(int descriptor, bool ipv6)
{
    ++m_clients;
    if (m_options.metrics)
        m_options.metrics->terminalConnected();
    emit clientConnected();
    SessionWorker& worker = *m_workers[m_nextWorker];
    m_nextWorker = (m_nextWorker + 1) % m_workers.size();
    worker.adopt(descriptor, ipv6, m_factory());
}

void SessionServer::setAllowList(const AllowList& allow)
{
    m_options.allow = allow;
    if (m_listener)
        m_listener->setAllowList(allow);
}

void SessionServer::dropPreparedStatements()
{
    for (const std::unique_ptr<SessionWorker>& worker : m_workers)
        worker->dropStatements();
}

void SessionServer::watchRunningStatements()
{
    for (const std::unique_ptr<SessionWorker>& worker : m_workers)
        worker->cancelIfAbandoned();
}

bool SessionServer::shutdown(int graceMs)
{
    if (m_workers.empty())
        return true;
    if (m_listener)
        m_listener->stop();
    for (const std::unique_ptr<SessionWorker>& worker : m_workers)
        worker->stop();
    const auto graceEnd = SessionWorker::Clock::now() + std::chrono::milliseconds(graceMs);
    for (const std::unique_ptr<SessionWorker>& worker : m_workers) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            graceEnd - SessionWorker::Clock::now());
        worker->waitStopped(std::max(left, std::chrono::milliseconds(0)));
    }
    // Past the grace period: what still runs is cancelled, and cancelled
    // again should a statement have started just after.
    bool allStopped = true;
    for (std::unique_ptr<SessionWorker>& worker : m_workers) {
        const auto giveUp = SessionWorker::Clock::now() + kAfterCancel;
        bool stopped = worker->waitStopped(std::chrono::milliseconds(0));
        while (!stopped && SessionWorker::Clock::now() < giveUp) {
            worker->cancelRunningStatement();
            stopped = worker->waitStopped(kCancelAgain);
        }
        if (!stopped) {
            allStopped = false;
            [[maybe_unused]] SessionWorker* left = worker.release(); // still inside the database
        }
    }
    m_workers.clear();
    m_listener.reset();
    return allStopped;
}
