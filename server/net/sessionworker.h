#pragma once

#include "server/db/stockconnection.h"
#include "server/net/requestmemory.h"

#include <QString>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ClientSession;
class ServerMetrics;
class ServerTls;
class TServerModuleData;

// What every worker's sessions go by.
struct SessionSettings
{
    int stallTimeoutMs = 30000;
    // A session that has this many bytes of replies its terminal has not
    // taken yet reads no further requests until they are taken.
    qint64 unsentBudget = 1024 * 1024;
    // The terminals' link is TLS with this certificate (and maybe enrolment);
    // null: plain TCP.
    std::shared_ptr<ServerTls> tls;
};

// Where a worker reports; called on the worker's thread.
struct WorkerEvents
{
    // A connection adopted has ended (or could not be taken on).
    std::function<void()> ended;
    std::function<void(const QString& message)> error;
    ServerMetrics* metrics = nullptr; // outlives the worker; null when the metrics are off
};

// A thread of the server with its own event loop (epoll, through Asio), its
// own database attachment and the sessions given to it. A session's
// requests are read, run and answered on this thread with no hand-off on the
// way, and an idle session costs the loop nothing at a wake-up. A long
// statement delays only the sessions of its own worker.
//
// The session server calls adopt, stop, waitStopped and the two cancels from
// its own threads; everything else runs on the worker's thread.
class SessionWorker final
{
public:
    using Clock = std::chrono::steady_clock;
    enum class Cancel
    {
        None,
        Abandoned, // the terminal of the running statement has gone
        Stopping,  // the server stops and the grace period is over
    };

    // requestMemory is shared by all workers and outlives them.
    SessionWorker(QString databasePath, const SessionSettings& settings, WorkerEvents events,
                  RequestMemory& requestMemory);
    ~SessionWorker();
    SessionWorker(const SessionWorker&) = delete;
    SessionWorker& operator=(const SessionWorker&) = delete;

    void start();

    // Serve the connected socket (a descriptor now the worker's) with this module.
    void adopt(int descriptor, bool ipv6, std::shared_ptr<TServerModuleData> module);
    // Stop: requests received from now on are answered with the stopping
    // error, the running statement is let finish, then the sessions close
    // (their last replies go out first) and so does the attachment.
    void stop();
    // True once the worker's thread has ended.
    bool waitStopped(std::chrono::milliseconds timeout);
    // Any thread: the attachment drops its prepared statements at the
    // worker's next idle moment (after the request it serves now, if any).
    void dropStatements();
    // Fails the statement that runs now, for a stop whose grace is over.
    void cancelRunningStatement();
    // Fails the statement that runs now if its terminal has closed the connection.
    void cancelIfAbandoned();

    // On the worker's thread, for its sessions.
    asio::io_context& context() { return m_context; }
    const SessionSettings& settings() const { return m_settings; }
    const WorkerEvents& events() const { return m_events; }
    bool isStopping() const { return m_stopping.load(); }
    StockConnection& database() { return m_database; }
    std::vector<char>& scratch() { return m_scratch; }
    RequestMemory& requestMemory() { return m_requestMemory; }
    // Brackets a statement run for the session on that socket.
    void beginJob(int descriptor);
    Cancel endJob();
    void forget(const std::list<std::shared_ptr<ClientSession>>::iterator& session);
    // After the attachment may have prepared or dropped statements.
    void countCachedStatements();

private:
    void armSweep();
    void sweep();
    void beginStopping();
    void finishIfDone();

    asio::io_context m_context{1};
    asio::executor_work_guard<asio::io_context::executor_type> m_work;
    asio::steady_timer m_sweepTimer;
    std::chrono::milliseconds m_sweepPeriod;
    std::thread m_thread;
    StockConnection m_database;
    const SessionSettings m_settings;
    const WorkerEvents m_events;
    RequestMemory& m_requestMemory;
    std::atomic<bool> m_stopping{false};
    bool m_stopBegun = false;
    Clock::time_point m_stopDeadline;
    std::list<std::shared_ptr<ClientSession>> m_sessions;
    std::vector<char> m_scratch;
    int m_statementsCounted = 0; // this worker's share of the metrics' cached statements

    std::mutex m_jobMutex;
    bool m_jobActive = false;
    int m_jobDescriptor = -1;
    Clock::time_point m_jobSince;
    Cancel m_jobCancel = Cancel::None;

    std::mutex m_doneMutex;
    std::condition_variable m_doneChanged;
    bool m_done = false;
};
