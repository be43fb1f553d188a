// One block of 3-byte round trips against the echo device on the pty master. Each block
// opens the slave, runs its warm-up, then appends one sample per timed trip (nanoseconds
// from the start of the write until the reply is in the caller's hands) and adds the
// process CPU time of the timed trips to cpuNs.
#pragma once

#include "BCPort.h"

#include <chrono>
#include <string>
#include <vector>

namespace bench {

struct TripBlock {
    std::string slavePath;
    int warmup = 0;
    int trips = 0;
    std::vector<double>* samples = nullptr;
    double* cpuNs = nullptr;
};

// The raw floor: write, poll and read on the slave descriptor, all on the calling thread.
void RawTripsOneThread(const TripBlock& block);

// The raw floor with a reader thread: it polls and reads, then hands the bytes to the
// calling thread, which sleeps in the kernel until they come.
void RawTripsReaderThread(const TripBlock& block);

// Through the component: WriteData polled to completion with TransferDone; the OnRxChar
// handler reads the reply with ReadData, TransferDone and AwaitTransfer. With smNone the
// handler runs on the event thread and the calling thread waits for its flag (spinning
// for `spin` first); with smThreadSync the calling thread sleeps until the wake-up hook
// fires and then serves the hand-over itself.
void PortTrips(const TripBlock& block, TSyncMethod method, std::chrono::nanoseconds spin);

} // namespace bench
