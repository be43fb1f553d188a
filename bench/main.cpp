// serial_bench: prints the component's figures beside the raw floor measured on the same
// pseudo-terminal pair in the same run.
//   serial_bench           full run (about 40 s)
//   serial_bench --quick   a few seconds, to prove that everything runs
#include "IdlePort.h"
#include "Machine.h"
#include "OpenClose.h"
#include "Options.h"
#include "PortOpening.h"
#include "Pty.h"
#include "RoundTrips.h"
#include "Throughput.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace {

using namespace bench;

const char* Verdict(bool met) {
    return met ? "met" : "MISSED";
}

void PrintLatency(const char* what, const Latency& l) {
    std::printf("  %-34s median %7.1f us   p99 %7.1f us   CPU %5.1f us/trip\n", what, l.medianUs,
                l.p99Us, l.cpuUs);
}

void PrintRatio(const char* what, double ratio, const char* aim, bool met) {
    std::printf("  %-34s %5.2fx   (aim %s) %s\n", what, ratio, aim, Verdict(met));
}

void PrintRoundTrips(const RoundTripFigures& f, const Options& o) {
    std::printf("\nround trip, 3 bytes each way, %d trips per kind after warm-up, %d alternating "
                "blocks\n",
                o.trips, o.rounds);
    PrintLatency("raw, one thread (a)", f.rawOneThread);
    PrintLatency("raw, reader thread hands over (b)", f.rawReaderThread);
    PrintLatency("port, smNone", f.portNone);
    PrintLatency("port, smThreadSync", f.portThreadSync);
    const double a = f.rawOneThread.medianUs;
    const double none = f.portNone.medianUs / a, sync = f.portThreadSync.medianUs / a;
    PrintRatio("smNone / raw (a), median", none, "<= 1.10x", none <= 1.10);
    PrintRatio("smThreadSync / raw (a), median", sync, "<= 1.50x", sync <= 1.50);
    std::printf("  %-34s %5.2fx   (for reference)\n", "raw (b) / raw (a), median",
                f.rawReaderThread.medianUs / a);
    std::printf("  %-34s %5.2fx / %5.2fx / %5.2fx\n", "p99 smNone / smThreadSync / (b) vs (a)",
                f.portNone.p99Us / f.rawOneThread.p99Us,
                f.portThreadSync.p99Us / f.rawOneThread.p99Us,
                f.rawReaderThread.p99Us / f.rawOneThread.p99Us);
}

void PrintRates(const char* what, const Rates& r) {
    constexpr double MiB = 1024.0 * 1024.0;
    std::printf("  %-16s raw %7.1f MiB/s   port %7.1f MiB/s   port/raw %5.2fx (aim >= 0.95x) %s\n",
                what, r.raw / MiB, r.port / MiB, r.ratio, Verdict(r.ratio >= 0.95));
    std::printf("  %-16s best turns %5.2fx; CPU per MiB: raw %.2f ms, port %.2f ms\n", "",
                r.bestRatio, r.cpuMsPerMiB.raw, r.cpuMsPerMiB.port);
}

void PrintThroughput(const ThroughputFigures& f, const Options& o, const char* method) {
    std::printf("\nthroughput, %zu MiB each way per kind in %d alternating turns, 64 KiB chunks,\n"
                "port with %s; rates over all turns, port/raw the median of the turns' ratios\n",
                o.bytes >> 20, f.toDevice.turns, method);
    PrintRates("to the device", f.toDevice);
    std::printf("  %-16s each write awaited, not polled: port %7.1f MiB/s, port/raw %5.2fx,\n"
                "  %-16s best turns %5.2fx, CPU %.2f ms/MiB\n",
                "", f.toDevice.portAwaited / (1024.0 * 1024.0), f.toDevice.ratioAwaited, "",
                f.toDevice.bestRatioAwaited, f.toDevice.cpuMsPerMiB.portAwaited);
    PrintRates("from the device", f.fromDevice);
}

void PrintOpenClose(const OpenCloseFigures& f, const Options& o) {
    std::printf("\nopen + close on the pty slave, %.1f s per kind in alternating turns\n",
                static_cast<double>(o.openClose.count()) / 1e3);
    std::printf("  %-34s %8.0f per second (%ld cycles), CPU %.1f us/cycle\n",
                "raw floor (open, lock, thread, close)", f.raw.perSecond, f.raw.cycles,
                f.raw.cpuUs);
    std::printf("  %-34s %8.0f per second (%ld cycles), CPU %.1f us/cycle   (aim >= 30000/s) %s\n",
                "port, Open + Close", f.port.perSecond, f.port.cycles, f.port.cpuUs,
                Verdict(f.port.perSecond >= 30000));
    std::printf("  %-34s %5.2fx\n", "port / raw floor", f.port.perSecond / f.raw.perSecond);
}

void PrintIdle(const IdleCost& c) {
    std::printf("\nopen idle port, smThreadSync, watched for %.1f s\n", c.seconds);
    std::printf("  process: CPU %.3f ms (getrusage %.3f ms), context switches %ld\n", c.cpuMs,
                c.rusageCpuMs, c.switches);
    std::printf("  of which the watching thread's own sleep: CPU %.3f ms, %ld switches\n",
                c.ownCpuMs, c.ownSwitches);
    // The two clocks are read a moment apart: a difference below zero is that moment.
    const double cpu = std::max(0.0, c.cpuMs - c.ownCpuMs);
    const long switches = c.switches - c.ownSwitches;
    std::printf("  the port's share: CPU %.3f ms, %ld switches   (aim < 1 ms, a few) %s\n", cpu,
                switches, Verdict(cpu < 1.0 && switches <= 3));
}

} // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    const auto options = ParseOptions(argc, argv, exitCode);
    if (!options) return exitCode;
    try {
        std::printf("serial_bench: %s run\nmachine: %s\n", options->quick ? "quick" : "full",
                    DescribeMachine().c_str());
        std::printf("one system call (getppid): %.2f us\n", SyscallMicroseconds());
        Pty pty;
        std::printf("pty: %s\n", pty.SlavePath().c_str());
        std::fflush(stdout);

        const auto wanted = [&](const char* section) {
            return options->only.empty() || options->only == section;
        };
        if (wanted("latency"))
            PrintRoundTrips(MeasureRoundTrips(pty.Master(), pty.SlavePath(), *options), *options);
        std::fflush(stdout);
        if (wanted("throughput"))
            PrintThroughput(
                MeasureThroughput(pty.Master(), pty.SlavePath(), *options, smThreadSync), *options,
                "smThreadSync");
        std::fflush(stdout);
        if (wanted("openclose"))
            PrintOpenClose(MeasureOpenClose(pty.SlavePath(), options->openClose), *options);
        std::fflush(stdout);
        if (wanted("idle")) PrintIdle(MeasureIdlePort(pty.SlavePath(), options->idle));
        // A close that does not release the device at once is a fault of its own: show it.
        std::printf("\nopens refused as busy right after a close, then retried: %ld\n",
                    DelayedOpens());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "serial_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
