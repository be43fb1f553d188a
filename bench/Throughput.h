// Bytes per second through the pty pair, both ways: the component against the raw floor,
// in alternating turns of the same run.
#pragma once

#include "BCPort.h"
#include "Options.h"

#include <string>

namespace bench {

struct Rates {
    double raw = 0; // bytes per second over all turns
    double port = 0;
    double portAwaited = 0; // writes only: each awaited with AwaitTransfer instead of polled
    // Median over the turns of port / raw within one turn: on a shared machine the load
    // changes from second to second, and a turn's kinds run back to back under the same.
    double ratio = 0;
    double ratioAwaited = 0;
    // The fastest turn of the port against the fastest raw turn: each kind at its least
    // disturbed.
    double bestRatio = 0;
    double bestRatioAwaited = 0;
    int turns = 0;
    // Process CPU milliseconds per MiB moved: raw, port, port awaited.
    struct {
        double raw = 0, port = 0, portAwaited = 0;
    } cpuMsPerMiB;
};

struct ThroughputFigures {
    Rates toDevice;   // written on the slave side, read by the master peer
    Rates fromDevice; // written by the master peer, read on the slave side
};

ThroughputFigures MeasureThroughput(int master, const std::string& slavePath,
                                    const Options& options, TSyncMethod method);

} // namespace bench
