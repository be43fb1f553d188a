#include "PortOpening.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace bench {
namespace {

std::atomic<long> delayed{0};

} // namespace

void OpenPort(TBComPort& port) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::seconds(2);
    bool counted = false;
    for (;;) {
        try {
            port.Open();
            return;
        } catch (const EComPort& e) {
            if (e.Message() != PortMessages[2] || Clock::now() >= end) throw;
            if (!counted) ++delayed;
            counted = true;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

long DelayedOpens() {
    return delayed.load();
}

} // namespace bench
