#include "server/net/requestmemory.h"

bool RequestMemory::resize(Share& share, qint64 bytes)
{
    const qint64 small = qMin(bytes, kSmallPart);
    const qint64 large = bytes - small;
    std::lock_guard lock(m_mutex);
    const qint64 allSmall = m_small - share.small + small;
    const qint64 allLarge = m_large - share.large + large;
    if (bytes > share.total() && (allSmall + allLarge > m_budget || allLarge > m_largeBudget))
        return false;
    m_small = allSmall;
    m_large = allLarge;
    share = {small, large};
    return true;
}

qint64 RequestMemory::held() const
{
    std::lock_guard lock(m_mutex);
    return m_small + m_large;
}
