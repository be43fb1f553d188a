// CPU time of the whole process (all its threads), which the neighbours on a shared
// machine disturb far less than wall-clock time.
#pragma once

#include <time.h>

namespace bench {

inline double ProcessCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

} // namespace bench
