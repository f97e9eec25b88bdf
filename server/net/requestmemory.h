#pragma once

#include <QtGlobal>

#include <mutex>

// The memory that all sessions together may hold for requests they have
// begun to receive and not yet served. Every byte counts against the one
// budget, so half-sent requests never hold more than it, however many
// terminals send them. The part of a request beyond its first kSmallPart
// bytes may take only three quarters of the budget: terminals that send half
// of a large request and stop cannot keep out the small requests a scanner
// sends all day. Thread-safe; the session workers share one.
class RequestMemory final
{
public:
    static constexpr qint64 kDefaultBudget = 64 * 1024 * 1024;
    static constexpr qint64 kSmallPart = 64 * 1024;

    // What one session holds now, split into its two parts.
    struct Share
    {
        qint64 small = 0;
        qint64 large = 0;
        qint64 total() const { return small + large; }
    };

    explicit RequestMemory(qint64 budget = kDefaultBudget)
        : m_budget(budget), m_largeBudget(budget / 4 * 3)
    {
    }

    // Makes the session's share bytes large. Shrinking always succeeds;
    // growth that does not fit leaves the share as it was and returns false.
    bool resize(Share& share, qint64 bytes);
    qint64 held() const;

private:
    mutable std::mutex m_mutex;
    const qint64 m_budget;
    const qint64 m_largeBudget;
    qint64 m_small = 0;
    qint64 m_large = 0;
};
