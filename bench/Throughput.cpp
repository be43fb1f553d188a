#include "Throughput.h"

#include "CpuClock.h"
#include "MasterPeer.h"
#include "PortOpening.h"
#include "Pty.h"
#include "TransferRecord.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <vector>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunk = 64 * 1024;
constexpr int kTurns = 16; // per kind and direction; the kinds take turns

// One turn of one kind: wall-clock seconds and process CPU nanoseconds.
struct Turn {
    double seconds = 0;
    double cpuNs = 0;
};

class TurnClock {
  public:
    TurnClock() : start_(Clock::now()), cpu_(ProcessCpuNs()) {}
    Turn Stop() const {
        return Turn{std::chrono::duration<double>(Clock::now() - start_).count(),
                    ProcessCpuNs() - cpu_};
    }

  private:
    Clock::time_point start_;
    double cpu_;
};

class RawSlave {
  public:
    explicit RawSlave(const std::string& path) : fd_(OpenRawSlave(path)) {}
    ~RawSlave() { ::close(fd_); }
    RawSlave(const RawSlave&) = delete;
    RawSlave& operator=(const RawSlave&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

Turn RawWrite(int master, const std::string& slavePath, std::size_t bytes) {
    RawSlave slave(slavePath);
    const std::vector<unsigned char> chunk(kChunk, 0xAA);
    MasterPeer peer(master, MasterPeer::kReads, bytes);
    const TurnClock clock;
    for (std::size_t left = bytes; left > 0;) {
        const std::size_t n = std::min(left, chunk.size());
        WriteAll(slave.get(), chunk.data(), n);
        left -= n;
    }
    peer.Finish();
    return clock.Stop();
}

Turn RawRead(int master, const std::string& slavePath, std::size_t bytes) {
    RawSlave slave(slavePath);
    std::vector<unsigned char> buffer(kChunk);
    const TurnClock clock;
    MasterPeer peer(master, MasterPeer::kWrites, bytes);
    for (std::size_t left = bytes; left > 0;) {
        const ssize_t n = ::read(slave.get(), buffer.data(), std::min(left, buffer.size()));
        if (n > 0) {
            left -= static_cast<std::size_t>(n);
        } else if (n == 0 || errno == EAGAIN) { // raw mode with VMIN 0: 0 means nothing yet
            pollfd r{slave.get(), POLLIN, 0};
            if (::poll(&r, 1, 5000) == 0) throw std::runtime_error("the line went silent");
        } else if (!(n < 0 && errno == EINTR)) {
            throw std::runtime_error("read on the pty slave failed");
        }
    }
    peer.Finish();
    return clock.Stop();
}

// WriteData in large chunks, each polled to its end with TransferDone (as the window does)
// or, for comparison, awaited with AwaitTransfer.
enum class EndOfWrite { kPolled, kAwaited };

Turn PortWrite(int master, const std::string& slavePath, std::size_t bytes, TSyncMethod method,
               EndOfWrite end) {
    TransferRecord tx;
    TBComPort port(nullptr);
    port.SetPort(slavePath);
    port.SetSyncMethod(method);
    OpenPort(port);
    const std::vector<unsigned char> chunk(kChunk, 0xAA);
    MasterPeer peer(master, MasterPeer::kReads, bytes);
    const TurnClock clock;
    for (std::size_t left = bytes; left > 0;) {
        const int n = static_cast<int>(std::min(left, chunk.size()));
        port.WriteData(chunk.data(), n, tx.get());
        if (end == EndOfWrite::kPolled)
            while (!port.TransferDone(tx.get())) {
            }
        const int sent = port.AwaitTransfer(tx.get()); // the count (polled: at once)
        if (sent <= 0) throw std::runtime_error("a write through the port sent nothing");
        left -= static_cast<std::size_t>(sent);
    }
    peer.Finish();
    const Turn turn = clock.Stop();
    port.Close();
    return turn;
}

// ReadData in a loop. The timeouts make a read end as soon as bytes are there (and wait
// for the first one), the usual setting for a program that streams; a read that cannot
// end at once is awaited.
Turn PortRead(int master, const std::string& slavePath, std::size_t bytes, TSyncMethod method) {
    TransferRecord rx;
    TBComPort port(nullptr);
    port.SetPort(slavePath);
    port.SetSyncMethod(method);
    port.Timeouts()->SetReadInterval(-1);
    port.Timeouts()->SetReadTotalMultiplier(-1);
    port.Timeouts()->SetReadTotalConstant(5000);
    OpenPort(port);
    std::vector<unsigned char> buffer(kChunk);
    const TurnClock clock;
    MasterPeer peer(master, MasterPeer::kWrites, bytes);
    for (std::size_t left = bytes; left > 0;) {
        const int want = static_cast<int>(std::min(left, buffer.size()));
        int got = port.ReadData(buffer.data(), want, rx.get());
        if (got == 0) got = port.AwaitTransfer(rx.get());
        if (got <= 0) throw std::runtime_error("the line went silent");
        left -= static_cast<std::size_t>(got);
    }
    peer.Finish();
    const Turn turn = clock.Stop();
    port.Close();
    return turn;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : (n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

} // namespace

ThroughputFigures MeasureThroughput(int master, const std::string& slavePath,
                                    const Options& options, TSyncMethod method) {
    const int turns = options.quick ? 4 : kTurns;
    const std::size_t turn =
        std::max<std::size_t>(options.bytes / static_cast<std::size_t>(turns), kChunk);
    const double bytes = static_cast<double>(turn);
    // Each turn of each kind: writes raw, polled, awaited; reads raw, port.
    enum { kRawOut, kPolledOut, kAwaitedOut, kRawIn, kPortIn, kKinds };
    std::vector<Turn> turnsOf[kKinds];
    for (int i = 0; i < turns; ++i) {
        // A different order each turn, so that no kind always runs first on a rested line.
        for (int k = 0; k < 3; ++k) {
            switch ((i + k) % 3) {
            case 0:
                turnsOf[kRawOut].push_back(RawWrite(master, slavePath, turn));
                break;
            case 1:
                turnsOf[kPolledOut].push_back(
                    PortWrite(master, slavePath, turn, method, EndOfWrite::kPolled));
                break;
            case 2:
                turnsOf[kAwaitedOut].push_back(
                    PortWrite(master, slavePath, turn, method, EndOfWrite::kAwaited));
                break;
            }
        }
        for (int k = 0; k < 2; ++k) {
            if ((i + k) % 2 == 0)
                turnsOf[kRawIn].push_back(RawRead(master, slavePath, turn));
            else
                turnsOf[kPortIn].push_back(PortRead(master, slavePath, turn, method));
        }
    }
    const auto overall = [&](int kind) {
        double total = 0;
        for (const Turn& t : turnsOf[kind])
            total += t.seconds;
        return bytes * turns / total;
    };
    const auto cpuPerMiB = [&](int kind) {
        double total = 0;
        for (const Turn& t : turnsOf[kind])
            total += t.cpuNs;
        return total / 1e6 / (bytes * turns / (1024.0 * 1024.0));
    };
    // A rate ratio is the inverse of the time ratio.
    const auto ratio = [&](int port, int raw) {
        std::vector<double> r;
        for (int i = 0; i < turns; ++i)
            r.push_back(turnsOf[raw][static_cast<std::size_t>(i)].seconds /
                        turnsOf[port][static_cast<std::size_t>(i)].seconds);
        return Median(std::move(r));
    };
    const auto best = [&](int port, int raw) {
        const auto fastest = [&](int kind) {
            double t = turnsOf[kind].front().seconds;
            for (const Turn& turn : turnsOf[kind])
                t = std::min(t, turn.seconds);
            return t;
        };
        return fastest(raw) / fastest(port);
    };
    ThroughputFigures f;
    Rates& out = f.toDevice;
    out.raw = overall(kRawOut);
    out.port = overall(kPolledOut);
    out.portAwaited = overall(kAwaitedOut);
    out.ratio = ratio(kPolledOut, kRawOut);
    out.ratioAwaited = ratio(kAwaitedOut, kRawOut);
    out.bestRatio = best(kPolledOut, kRawOut);
    out.bestRatioAwaited = best(kAwaitedOut, kRawOut);
    out.turns = turns;
    out.cpuMsPerMiB.raw = cpuPerMiB(kRawOut);
    out.cpuMsPerMiB.port = cpuPerMiB(kPolledOut);
    out.cpuMsPerMiB.portAwaited = cpuPerMiB(kAwaitedOut);
    Rates& in = f.fromDevice;
    in.raw = overall(kRawIn);
    in.port = overall(kPortIn);
    in.ratio = ratio(kPortIn, kRawIn);
    in.bestRatio = best(kPortIn, kRawIn);
    in.turns = turns;
    in.cpuMsPerMiB.raw = cpuPerMiB(kRawIn);
    in.cpuMsPerMiB.port = cpuPerMiB(kPortIn);
    return f;
}

} // namespace bench
