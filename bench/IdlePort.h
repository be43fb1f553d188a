// What an open port costs while nothing happens on its line.
#pragma once

#include <chrono>
#include <string>

namespace bench {

struct IdleCost {
    double seconds = 0;     // how long the port was watched
    double cpuMs = 0;       // CPU time of the whole process meanwhile (CLOCK_PROCESS_CPUTIME_ID)
    double rusageCpuMs = 0; // the same from getrusage (user + system), coarser
    long switches = 0;      // voluntary + involuntary context switches of the process
    long ownSwitches = 0;   // ... of which the watching thread's own
    double ownCpuMs = 0;    // the watching thread's own CPU time
};

IdleCost MeasureIdlePort(const std::string& slavePath, std::chrono::milliseconds duration);

} // namespace bench
