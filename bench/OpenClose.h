// How many times per second a port can be opened and closed again (each open starts the
// event thread, each close stops it), beside the floor of the same work done bare.
#pragma once

#include <chrono>
#include <string>

namespace bench {

struct CycleRate {
    double perSecond = 0;
    long cycles = 0;
    double cpuUs = 0; // process CPU time per cycle
};

struct OpenCloseFigures {
    CycleRate raw;  // the floor: see RawOpenCloseCycles
    CycleRate port; // TBComPort Open + Close
};

// Gives each kind `duration` in all, in alternating turns.
OpenCloseFigures MeasureOpenClose(const std::string& slavePath, std::chrono::milliseconds duration);

// The bare minimum an open and close of a port with an event thread does: open the slave
// non-blocking, lock it (flock, TIOCEXCL), raw mode; start a thread that blocks in poll()
// on the line and a stop eventfd; wake it, join it, unlock, close. Runs until `end`;
// returns the number of cycles.
long RawOpenCloseCycles(const std::string& slavePath, std::chrono::steady_clock::time_point end);

} // namespace bench
