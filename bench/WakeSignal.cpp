#include "WakeSignal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <ctime>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

long Futex(std::atomic<std::uint32_t>& word, int op, std::uint32_t value,
           const timespec* timeout = nullptr) {
    static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));
    return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), op, value, timeout,
                     nullptr, 0);
}

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace

void WakeSignal::Raise() {
    if (state_.exchange(kRaised, std::memory_order_acq_rel) == kSleeping)
        Futex(state_, FUTEX_WAKE_PRIVATE, 1);
}

bool WakeSignal::SpinFor() {
    if (spin_.count() <= 0) return false;
    const auto end = Clock::now() + spin_;
    for (;;) {
        // Reading the clock costs more than a look at the word: look several times per read.
        for (int i = 0; i < 32; ++i) {
            if (state_.load(std::memory_order_acquire) == kRaised) return true;
            CpuRelax();
        }
        if (Clock::now() >= end) return false;
    }
}

bool WakeSignal::Wait(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    SpinFor();
    for (;;) {
        std::uint32_t seen = kRaised;
        if (state_.compare_exchange_strong(seen, kIdle, std::memory_order_acquire)) return true;
        if (seen == kIdle &&
            !state_.compare_exchange_strong(seen, kSleeping, std::memory_order_acquire))
            continue; // raised meanwhile
        const auto left = end - Clock::now();
        if (left <= Clock::duration::zero()) {
            // Back to idle unless a raise came in just now.
            seen = kSleeping;
            if (state_.compare_exchange_strong(seen, kIdle, std::memory_order_acquire))
                return false;
            continue;
        }
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{static_cast<time_t>(ns / 1000000000),
                               static_cast<long>(ns % 1000000000)};
        Futex(state_, FUTEX_WAIT_PRIVATE, kSleeping, &timeout);
    }
}

} // namespace bench
