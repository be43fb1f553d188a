// A one-waiter wake-up: the waiter spins for a set time, then sleeps on a futex. Raising
// it costs one atomic exchange, plus a futex wake only when the waiter is asleep.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace bench {

class WakeSignal {
  public:
    explicit WakeSignal(std::chrono::nanoseconds spin = {}) : spin_(spin) {}

    void Raise(); // any thread
    // The one waiter: returns true once raised (consuming the raise), false when the
    // limit passes first, so that a broken peer ends a run instead of hanging it.
    bool Wait(std::chrono::milliseconds limit = std::chrono::seconds(5));

  private:
    enum : std::uint32_t { kIdle, kRaised, kSleeping };
    bool SpinFor();

    std::chrono::nanoseconds spin_;
    std::atomic<std::uint32_t> state_{kIdle};
};

} // namespace bench
