#include "OpenClose.h"

#include "BCPort.h"
#include "CpuClock.h"
#include "PortOpening.h"

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTurns = 6; // per kind; raw and port alternate

long PortCycles(TBComPort& port, Clock::time_point end) {
    long cycles = 0;
    do {
        OpenPort(port);
        port.Close();
        ++cycles;
    } while (Clock::now() < end);
    return cycles;
}

} // namespace

OpenCloseFigures MeasureOpenClose(const std::string& slavePath,
                                  std::chrono::milliseconds duration) {
    TBComPort port(nullptr);
    port.SetPort(slavePath);
    for (int i = 0; i < 100; ++i) { // the layer makes some of its parts on first use
        OpenPort(port);
        port.Close();
    }
    const auto turn = duration / kTurns;
    long rawCycles = 0, portCycles = 0;
    Clock::duration rawTime{}, portTime{};
    double rawCpu = 0, portCpu = 0;
    for (int i = 0; i < kTurns; ++i) {
        auto start = Clock::now();
        double cpu = ProcessCpuNs();
        rawCycles += RawOpenCloseCycles(slavePath, start + turn);
        auto now = Clock::now();
        double cpuNow = ProcessCpuNs();
        rawTime += now - start;
        rawCpu += cpuNow - cpu;
        start = now;
        cpu = cpuNow;
        portCycles += PortCycles(port, start + turn);
        portTime += Clock::now() - start;
        portCpu += ProcessCpuNs() - cpu;
    }
    const auto rate = [](long cycles, Clock::duration time, double cpuNs) {
        const auto n = static_cast<double>(cycles);
        return CycleRate{n / std::chrono::duration<double>(time).count(), cycles, cpuNs / n / 1e3};
    };
    return OpenCloseFigures{rate(rawCycles, rawTime, rawCpu), rate(portCycles, portTime, portCpu)};
}

} // namespace bench
