#pragma once

#include "stockconnection.h"

#include <QObject>

#include <atomic>
#include <memory>

class TServerModuleData;

// A thread of the server with its own database attachment and the sessions
// given to it. A session's requests are read, run and answered on this
// thread, with no hand-off between threads on the way; a worker's event loop
// serves all of its sockets, so none waits on another's socket. A long
// statement delays only the sessions of its own worker.
//
// Lives in its own QThread; the session server calls it through queued
// invocations and hears of connects, disconnects and errors through its
// signals, which arrive on the main thread in the order they were emitted.
class SessionWorker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SessionWorker)

public:
    SessionWorker(QString databasePath, int stallTimeoutMs);
    ~SessionWorker() override;

    // On the worker's thread: serve the connected socket with this module.
    void adopt(qintptr socketDescriptor, std::shared_ptr<TServerModuleData> module);
    // On the worker's thread: close every session (replies already written
    // are handed to the system first) and the attachment.
    void closeAll();

    int sessionCount() const { return m_sessionCount.load(); }

signals:
    void clientConnected();
    void clientDisconnected();
    void errorOccurred(const QString& message);

private:
    StockConnection m_database;
    const int m_stallTimeoutMs;
    std::atomic<int> m_sessionCount{0};
};
