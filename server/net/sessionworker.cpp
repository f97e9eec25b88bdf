#include "server/net/sessionworker.h"

#include "server/net/clientsession.h"
#include "server/net/servermetrics.h"

#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>

#include <poll.h>
#include <unistd.h>

namespace {

constexpr std::chrono::milliseconds kAbandonedAfter(100);
// How long closing sessions get to hand over their last replies in a stop.
constexpr std::chrono::seconds kStopLinger(3);
constexpr size_t kScratchBytes = 64 * 1024;

} // namespace

SessionWorker::SessionWorker(QString databasePath, const SessionSettings& settings,
                             WorkerEvents events, RequestMemory& requestMemory)
    : m_work(asio::make_work_guard(m_context)), m_sweepTimer(m_context),
      m_sweepPeriod(std::clamp(settings.stallTimeoutMs / 4, 50, 1000)),
      m_database(std::move(databasePath)), m_settings(settings), m_events(std::move(events)),
      m_requestMemory(requestMemory), m_scratch(kScratchBytes)
{
}

SessionWorker::~SessionWorker()
{
    stop();
    if (!waitStopped(std::chrono::seconds(0))) {
        cancelRunningStatement();
        waitStopped(std::chrono::hours(1));
    }
    if (m_thread.joinable())
        m_thread.join();
}

void SessionWorker::start()
{
    m_thread = std::thread([this] {
        armSweep();
        m_context.run();
        m_sessions.clear();
        m_database.close();
        countCachedStatements();
        std::lock_guard lock(m_doneMutex);
        m_done = true;
        m_doneChanged.notify_all();
    });
}

void SessionWorker::adopt(int descriptor, bool ipv6, std::shared_ptr<TServerModuleData> module)
{
    asio::post(m_context, [this, descriptor, ipv6, module = std::move(module)]() mutable {
        asio::ip::tcp::socket socket(m_context);
        std::error_code error;
        socket.assign(ipv6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4(), descriptor, error);
        if (error) {
            ::close(descriptor);
            m_events.error(QString::fromStdString(error.message()));
            m_events.ended();
            return;
        }
        // Taken before the stop: served like the others, which in a stop
        // means its requests are answered with the stopping error.
        auto session = std::make_shared<ClientSession>(std::move(socket), std::move(module), *this);
        m_sessions.push_front(session);
        session->start(m_sessions.begin());
        if (m_stopBegun)
            session->beginStop();
    });
}

void SessionWorker::forget(const std::list<std::shared_ptr<ClientSession>>::iterator& session)
{
    m_sessions.erase(session);
    m_events.ended();
    finishIfDone();
}

void SessionWorker::countCachedStatements()
{
    if (!m_events.metrics)
        return;
    const int cached = m_database.cachedStatementCount();
    if (cached == m_statementsCounted)
        return;
    m_events.metrics->statementsCachedChanged(cached - m_statementsCounted);
    m_statementsCounted = cached;
}

void SessionWorker::armSweep()
{
    m_sweepTimer.expires_after(m_sweepPeriod);
    m_sweepTimer.async_wait([this](const std::error_code& error) {
        if (!error)
            sweep();
    });
}

// Stalled frames, terminals that take no replies and lingering closes are
// found here rather than with a timer per session: an idle session then
// costs nothing but its socket.
void SessionWorker::sweep()
{
    const Clock::time_point now = Clock::now();
    const bool forceClose = m_stopBegun && now >= m_stopDeadline;
    const std::vector<std::shared_ptr<ClientSession>> sessions(m_sessions.begin(),
                                                               m_sessions.end());
    for (const std::shared_ptr<ClientSession>& session : sessions) {
        if (forceClose)
            session->drop();
        else
            session->checkTimers(now);
    }
    if (!m_work.owns_work())
        return;
    armSweep();
}

void SessionWorker::stop()
{
    if (m_stopping.exchange(true))
        return;
    asio::post(m_context, [this] { beginStopping(); });
}

void SessionWorker::dropStatements()
{
    asio::post(m_context, [this] {
        m_database.dropStatements();
        countCachedStatements();
    });
}

void SessionWorker::beginStopping()
{
    m_stopBegun = true;
    m_stopDeadline = Clock::now() + kStopLinger;
    const std::vector<std::shared_ptr<ClientSession>> sessions(m_sessions.begin(),
                                                               m_sessions.end());
    for (const std::shared_ptr<ClientSession>& session : sessions)
        session->beginStop();
    finishIfDone();
}

void SessionWorker::finishIfDone()
{
    if (!m_stopBegun || !m_sessions.empty() || !m_work.owns_work())
        return;
    m_sweepTimer.cancel();
    m_work.reset();
}

bool SessionWorker::waitStopped(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_doneMutex);
    if (!m_thread.joinable())
        return true;
    return m_doneChanged.wait_for(lock, timeout, [this] { return m_done; });
}

void SessionWorker::beginJob(int descriptor)
{
    std::lock_guard lock(m_jobMutex);
    m_jobActive = true;
    m_jobDescriptor = descriptor;
    m_jobSince = Clock::now();
    m_jobCancel = Cancel::None;
}

SessionWorker::Cancel SessionWorker::endJob()
{
    std::lock_guard lock(m_jobMutex);
    m_jobActive = false;
    m_jobDescriptor = -1;
    return m_jobCancel;
}

void SessionWorker::cancelRunningStatement()
{
    std::lock_guard lock(m_jobMutex);
    if (!m_jobActive)
        return;
    m_jobCancel = Cancel::Stopping;
    m_database.cancel();
}

// Called a few times a second from another thread. The job's socket cannot
// close meanwhile: only this worker closes it, and not while the job runs.
void SessionWorker::cancelIfAbandoned()
{
    std::lock_guard lock(m_jobMutex);
    if (!m_jobActive || m_jobCancel != Cancel::None || Clock::now() - m_jobSince < kAbandonedAfter)
        return;
    pollfd entry{m_jobDescriptor, POLLRDHUP, 0};
    if (::poll(&entry, 1, 0) <= 0 || (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0)
        return;
    m_jobCancel = Cancel::Abandoned;
    m_database.cancel();
}
