#include "Samples.h"

#include <algorithm>
#include <cmath>

namespace bench {
namespace {

// Nearest-rank percentile of sorted samples.
double Percentile(const std::vector<double>& sorted, double p) {
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[rank == 0 ? 0 : rank - 1];
}

} // namespace

Latency Summarise(std::vector<double>& samplesNs, double cpuNs) {
    if (samplesNs.empty()) return {};
    std::sort(samplesNs.begin(), samplesNs.end());
    const double n = static_cast<double>(samplesNs.size());
    return Latency{Percentile(samplesNs, 0.5) / 1000.0, Percentile(samplesNs, 0.99) / 1000.0,
                   samplesNs.size(), cpuNs / n / 1000.0};
}

} // namespace bench
