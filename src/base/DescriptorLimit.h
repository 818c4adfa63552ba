#pragma once
// The process's limit on open descriptors: raised to the hard limit at start, as servers and
// browsers do, and a reserve kept below it for what cannot fail in words (a new thread's
// event loop needs a wake-up descriptor, and GLib aborts the process when it gets none).
#include <cstdint>

namespace lumi {

// Descriptors left free below the soft limit: a socket numbered within them is given up as
// "Too many open files" rather than taking the last ones.
inline constexpr int DescriptorReserve = 16;

// The soft RLIMIT_NOFILE in force (UINT64_MAX when unlimited).
uint64_t softLimit();

// Raises the soft RLIMIT_NOFILE to the hard limit; returns the soft limit now in force.
uint64_t raiseDescriptorLimit();

// Whether descriptor fd, the lowest free number as the system hands them out, falls within
// the reserve below the soft limit.
bool withinDescriptorReserve(int fd);

} // namespace lumi
