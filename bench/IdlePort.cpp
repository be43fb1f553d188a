#include "IdlePort.h"

#include "BCPort.h"
#include "PortOpening.h"

#include <sys/resource.h>
#include <time.h>

#include <thread>

namespace bench {
namespace {

double Ms(const timeval& t) {
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
}

double CpuMs(const rusage& u) {
    return Ms(u.ru_utime) + Ms(u.ru_stime);
}

long Switches(const rusage& u) {
    return u.ru_nvcsw + u.ru_nivcsw;
}

// getrusage splits CPU time into user and system by sampling and keeps each part from
// going backwards, so its sum over a short quiet span can jump; these clocks are exact.
double ClockMs(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Snapshot {
    rusage process{}, thread{};
    double processCpu = 0, threadCpu = 0;
    void Take() {
        processCpu = ClockMs(CLOCK_PROCESS_CPUTIME_ID);
        threadCpu = ClockMs(CLOCK_THREAD_CPUTIME_ID);
        getrusage(RUSAGE_SELF, &process);
        getrusage(RUSAGE_THREAD, &thread);
    }
};

} // namespace

IdleCost MeasureIdlePort(const std::string& slavePath, std::chrono::milliseconds duration) {
    TBComPort port(nullptr);
    port.SetPort(slavePath);
    OpenPort(port);
    // Let the event thread reach its wait before looking.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    Snapshot before, after;
    const auto start = std::chrono::steady_clock::now();
    before.Take();
    std::this_thread::sleep_for(duration);
    after.Take();
    const auto end = std::chrono::steady_clock::now();
    port.Close();

    return IdleCost{std::chrono::duration<double>(end - start).count(),
                    after.processCpu - before.processCpu,
                    CpuMs(after.process) - CpuMs(before.process),
                    Switches(after.process) - Switches(before.process),
                    Switches(after.thread) - Switches(before.thread),
                    after.threadCpu - before.threadCpu};
}

} // namespace bench
