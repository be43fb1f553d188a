// Latency samples and the figures drawn from them.
#pragma once

#include <cstddef>
#include <vector>

namespace bench {

struct Latency {
    double medianUs = 0;
    double p99Us = 0;
    std::size_t count = 0;
    double cpuUs = 0; // process CPU time per sample
};

// Sorts the samples (nanoseconds) and takes the median and the 99th percentile; cpuNs is
// the process CPU time the samples took in all.
Latency Summarise(std::vector<double>& samplesNs, double cpuNs);

} // namespace bench
