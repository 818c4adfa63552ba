#include "base/DescriptorLimit.h"

#include <sys/resource.h>

namespace lumi {

uint64_t softLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return UINT64_MAX;
    return limit.rlim_cur;
}

uint64_t raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    return softLimit();
}

bool withinDescriptorReserve(int fd) {
    return fd >= 0 && static_cast<uint64_t>(fd) + DescriptorReserve >= softLimit();
}

} // namespace lumi
