#include "modem_watch.h"

#include <linux/serial.h> // struct serial_icounter_struct
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <chrono>

namespace winapi_linux {
namespace {

// TIOCMIWAIT can only be left by a change of the lines, a hang-up or a signal: this
// signal, caught by a handler that does nothing and without SA_RESTART, ends the wait.
int WakeSignal() {
    return SIGRTMIN + 4;
}

void InstallWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        sigaction(WakeSignal(), nullptr, &current);
        if (current.sa_handler != SIG_DFL) return; // someone else's: keep it
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        sigaction(WakeSignal(), &action, nullptr);
    });
}

constexpr int kLines = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;

// The line state: the drivers' change counters where they have them (so that a short
// pulse, such as a ring, is not missed), else the levels.
struct LineState {
    bool counted = false;
    serial_icounter_struct counts{};
    int levels = 0;
};

bool Sample(int fd, bool useCounters, LineState& state) {
    state.counted = useCounters && ::ioctl(fd, TIOCGICOUNT, &state.counts) == 0;
    return state.counted || ::ioctl(fd, TIOCMGET, &state.levels) == 0;
}

DWORD Changes(const LineState& before, const LineState& after) {
    DWORD events = 0;
    if (before.counted && after.counted) {
        if (before.counts.cts != after.counts.cts) events |= EV_CTS;
        if (before.counts.dsr != after.counts.dsr) events |= EV_DSR;
        if (before.counts.dcd != after.counts.dcd) events |= EV_RLSD;
        if (before.counts.rng != after.counts.rng) events |= EV_RING;
        return events;
    }
    const int changed = before.levels ^ after.levels;
    if (changed & TIOCM_CTS) events |= EV_CTS;
    if (changed & TIOCM_DSR) events |= EV_DSR;
    if (changed & TIOCM_CD) events |= EV_RLSD;
    if (changed & TIOCM_RNG) events |= EV_RING;
    return events;
}

} // namespace

ModemWatch::ModemWatch(int fd, std::function<void(DWORD)> raise)
    : fd_(fd), raise_(std::move(raise)) {
    InstallWakeHandler();
    thread_ = std::thread([this] { Run(); });
}

ModemWatch::~ModemWatch() {
    stop_.store(true);
    std::unique_lock lock(mutex_);
    // The signal may land just before the thread enters the ioctl: send it again until
    // the thread has seen the stop.
    while (!finished_) {
        pthread_kill(thread_.native_handle(), WakeSignal());
        ended_.wait_for(lock, std::chrono::milliseconds(20));
    }
    lock.unlock();
    thread_.join();
}

void ModemWatch::Run() {
    LineState last;
    bool useCounters = true;
    if (Sample(fd_, true, last)) {
        useCounters = last.counted;
        while (!stop_.load()) {
            if (::ioctl(fd_, TIOCMIWAIT, kLines) != 0 && errno != EINTR)
                break; // not supported by the driver, or the device is gone
            LineState now;
            if (stop_.load() || !Sample(fd_, useCounters, now)) break;
            if (const DWORD events = Changes(last, now)) raise_(events);
            last = now;
        }
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
    ended_.notify_all();
}

} // namespace winapi_linux
