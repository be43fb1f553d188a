// What one run of serial_bench measures and for how long.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace bench {

struct Options {
    bool quick = false;
    std::string
        only; // empty: every section; else one of "latency", "throughput", "openclose", "idle"

    int trips = 20000; // round trips per kind, after the warm-up
    int warmup = 1000; // round trips per kind that are not counted
    int rounds = 10;   // the kinds take turns in this many blocks, so drift hits all alike
    std::size_t bytes = std::size_t{64} << 20; // per throughput direction
    std::chrono::milliseconds openClose{3000};
    std::chrono::milliseconds idle{10000};
    // How long the main thread spins on smNone's reply flag before it sleeps on a futex.
    // None by default: on two shared CPUs a spinning waiter takes the CPU that the echo
    // thread, the event thread and the pty's kernel worker need (see docs/performance.md).
    std::chrono::nanoseconds spin{0};
};

// Parses the command line; on a bad or --help argument prints usage (to stderr for a bad
// one) and returns nothing, with exitCode set.
std::optional<Options> ParseOptions(int argc, char** argv, int& exitCode);

} // namespace bench
