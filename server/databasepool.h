#pragma once

#include "providerprotocol.h"

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class FbAttachment;

// A few worker threads, each with its own attachment to the stock database
// (an attachment may only be used by one thread at a time). Jobs are taken in
// the order they were submitted; each job's reply is handed back on the
// thread of its receiver through the receiver's event loop, and dropped if the
// receiver is gone by then (a terminal that vanished mid-request).
//
// An attachment is opened on first use and opened again after it was lost;
// while the database cannot be opened, jobs fail with the database's text.
class DatabasePool final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DatabasePool)

public:
    using Job = std::function<ProviderReply(FbAttachment&)>;
    using Done = std::function<void(ProviderReply)>;

    explicit DatabasePool(QString databasePath, int workerCount, QObject* parent = nullptr);
    ~DatabasePool() override;

    void submit(Job job, QObject* receiver, Done done);
    // Finishes every job already submitted, then ends the workers.
    void stop();
    int workerCount() const { return int(m_workers.size()); }

private:
    struct Task
    {
        Job job;
        QPointer<QObject> receiver;
        Done done;
    };

    void workerLoop();
    ProviderReply runTask(FbAttachment& attachment, const Job& job);

    const QString m_databasePath;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Task> m_tasks;
    bool m_stopping = false;
    std::vector<std::thread> m_workers;
};
