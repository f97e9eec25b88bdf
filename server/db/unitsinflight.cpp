#include "server/db/unitsinflight.h"

UnitsInFlight::Turn::Turn(Turn&& other) noexcept
    : m_owner(std::exchange(other.m_owner, nullptr)), m_identity(std::move(other.m_identity))
{
}

UnitsInFlight::Turn::~Turn()
{
    if (m_owner)
        m_owner->leave(m_identity);
}

UnitsInFlight::Turn UnitsInFlight::enter(const QString& identity, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // Against the system clock, which this toolchain's ThreadSanitizer
    // follows (see FbAttachment's turn of colliding writes).
    const auto giveUpAt = std::chrono::system_clock::now() + limit;
    if (!m_left.wait_until(lock, giveUpAt, [&] { return !m_running.contains(identity); }))
        return Turn();
    m_running.insert(identity);
    return Turn(this, identity);
}

void UnitsInFlight::leave(const QString& identity)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running.remove(identity);
    }
    m_left.notify_all();
}
