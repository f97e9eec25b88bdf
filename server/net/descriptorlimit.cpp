#include "server/net/descriptorlimit.h"

#include <algorithm>
#include <limits>
#include <sys/resource.h>

long raiseDescriptorLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<int>::max();
    return long(std::min<rlim_t>(limit.rlim_cur, std::numeric_limits<int>::max()));
}

int defaultMaxClients(long descriptorLimit, int workers)
{
    // The engine's own files and the program: 64. Each worker: its event
    // loop (3) and its attachment (1 socket to a database server). Refused
    // terminals waited on at once: 32.
    const long reserve = 64 + 4L * workers + 32;
    return int(std::clamp<long>(descriptorLimit - reserve, 1, std::numeric_limits<int>::max()));
}
