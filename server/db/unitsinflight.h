#pragma once

#include <QSet>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>

// The units that carry an identity and run now, across the workers of one
// server. A terminal that lost its connection sends such a unit again at
// once; when the server had not yet seen the connection go, the first send
// may still be running on another worker, and neither would see the other's
// log entry before it commits. The second send therefore waits for the
// first to end, and then finds its entry (see docs/exactly-once.md).
class UnitsInFlight final
{
public:
    // Marks the identity running while it lives.
    class Turn final
    {
    public:
        Turn() = default;
        Turn(Turn&& other) noexcept;
        Turn& operator=(Turn&&) = delete;
        ~Turn();
        explicit operator bool() const { return m_owner != nullptr; }

    private:
        friend class UnitsInFlight;
        Turn(UnitsInFlight* owner, QString identity)
            : m_owner(owner), m_identity(std::move(identity))
        {
        }

        UnitsInFlight* m_owner = nullptr;
        QString m_identity;
    };

    // Waits until no other send of the identity runs, for at most limit; an
    // empty Turn when it still runs then.
    Turn enter(const QString& identity, std::chrono::milliseconds limit);

private:
    void leave(const QString& identity);

    std::mutex m_mutex;
    std::condition_variable m_left;
    QSet<QString> m_running;
};
