#include "databasepool.h"

#include "databaseerror.h"
#include "fbattachment.h"
#include "stockdatabase.h"

#include <QMetaObject>

DatabasePool::DatabasePool(QString databasePath, int workerCount, QObject* parent)
    : QObject(parent), m_databasePath(std::move(databasePath))
{
    for (int i = 0; i < qMax(1, workerCount); ++i)
        m_workers.emplace_back([this] { workerLoop(); });
}

DatabasePool::~DatabasePool()
{
    stop();
}

void DatabasePool::submit(Job job, QObject* receiver, Done done)
{
    {
        std::lock_guard lock(m_mutex);
        m_tasks.push_back({std::move(job), QPointer<QObject>(receiver), std::move(done)});
    }
    m_wake.notify_one();
}

void DatabasePool::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping && m_workers.empty())
            return;
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
    m_workers.clear();
}

void DatabasePool::workerLoop()
{
    FbAttachment attachment;
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
            if (m_tasks.empty())
                break; // stopping, and nothing left to finish
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        ProviderReply reply = runTask(attachment, task.job);
        if (task.receiver) {
            QMetaObject::invokeMethod(
                task.receiver.data(),
                [done = std::move(task.done), reply = std::move(reply)]() mutable {
                    done(std::move(reply));
                },
                Qt::QueuedConnection);
        }
    }
    attachment.close();
}

ProviderReply DatabasePool::runTask(FbAttachment& attachment, const Job& job)
{
    // An attachment that was open before this job may have been cut by the
    // database server meanwhile; such a job gets one more try on a fresh one.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const bool wasOpen = attachment.isOpen();
        try {
            if (!wasOpen)
                openStockDatabase(attachment, m_databasePath);
            return job(attachment);
        } catch (const DatabaseError& error) {
            if (!error.connectionLost() || !wasOpen || attempt > 0) {
                attachment.close();
                return ProviderReply::failure(0, error.message());
            }
            attachment.close();
        }
    }
    return ProviderReply::failure(0, QStringLiteral("Datu bāze nav pieejama"));
}
