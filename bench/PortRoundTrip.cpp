#include "RoundTrip.h"

#include "CpuClock.h"
#include "PortOpening.h"
#include "TransferRecord.h"
#include "WakeSignal.h"

#include <array>
#include <stdexcept>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;
using Reply = std::array<unsigned char, 3>;

Reply Payload(int trip) {
    return {static_cast<unsigned char>(trip), static_cast<unsigned char>(trip >> 8), 0xA5};
}

// Leaves the framework's wake-up hook empty again however the block ends.
struct WakeHookGuard {
    explicit WakeHookGuard(WakeSignal& wake) {
        SetWakeMainThread([&wake] { wake.Raise(); });
    }
    ~WakeHookGuard() { SetWakeMainThread(nullptr); }
    WakeHookGuard(const WakeHookGuard&) = delete;
    WakeHookGuard& operator=(const WakeHookGuard&) = delete;
};

} // namespace

void PortTrips(const TripBlock& block, TSyncMethod method, std::chrono::nanoseconds spin) {
    const bool onEventThread = method == smNone;
    TransferRecord tx, rx;
    Reply reply{};
    std::size_t got = 0;
    WakeSignal replied(spin); // smNone: the handler's flag for the waiting main thread
    bool repliedHere = false; // smThreadSync: set by the handler, on the main thread
    WakeSignal wake;          // smThreadSync: the framework's wake-up, no spin

    TBComPort port(nullptr);
    port.SetPort(block.slavePath);
    port.SetSyncMethod(method);
    // What a real handler does: read what it can (up to the 3 bytes of a reply), poll the
    // read to its end, then collect the byte count.
    port.OnRxChar = [&](TObject*, int) {
        port.ReadData(reply.data() + got, static_cast<int>(reply.size() - got), rx.get());
        while (!port.TransferDone(rx.get())) {
        }
        got += static_cast<std::size_t>(port.AwaitTransfer(rx.get()));
        if (got < reply.size()) return;
        got = 0;
        if (onEventThread)
            replied.Raise();
        else
            repliedHere = true;
    };

    WakeHookGuard hook(wake);
    OpenPort(port);
    double cpuStart = 0;
    for (int trip = 0; trip < block.warmup + block.trips; ++trip) {
        if (trip == block.warmup) cpuStart = ProcessCpuNs();
        const Reply sent = Payload(trip);
        const auto start = Clock::now();
        port.WriteData(sent.data(), static_cast<int>(sent.size()), tx.get());
        while (!port.TransferDone(tx.get())) {
        }
        if (onEventThread) {
            if (!replied.Wait()) throw std::runtime_error("no reply through the port");
        } else {
            while (!repliedHere) {
                if (!wake.Wait()) throw std::runtime_error("no reply through the port");
                ServeMainThread();
            }
            repliedHere = false;
        }
        const auto end = Clock::now();
        if (reply != sent) throw std::runtime_error("the echo came back changed");
        if (trip >= block.warmup)
            block.samples->push_back(std::chrono::duration<double, std::nano>(end - start).count());
    }
    *block.cpuNs += ProcessCpuNs() - cpuStart;
    port.Close();
}

} // namespace bench
