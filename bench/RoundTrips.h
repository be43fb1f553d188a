// The round-trip latencies of one run: the raw floor and the component, measured in
// turns on the same pty pair against the same echo device.
#pragma once

#include "Options.h"
#include "Samples.h"

#include <string>

namespace bench {

struct RoundTripFigures {
    Latency rawOneThread;
    Latency rawReaderThread;
    Latency portNone;       // smNone
    Latency portThreadSync; // smThreadSync
};

RoundTripFigures MeasureRoundTrips(int master, const std::string& slavePath,
                                   const Options& options);

} // namespace bench
