// The main thread: which one it is, its wake-up signal and the hand-over queue.
#include "MainThread.h"

#include "Application.h"
#include "Thread.h"
#include "messages_linux.h"

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Set by the first call, which the initialiser below makes while the program starts,
// before main() and before any thread of ours exists: that is the main thread.
std::thread::id MainThreadId() {
    static const std::thread::id id = std::this_thread::get_id();
    return id;
}

int MainSignalFd() {
    static const int fd = [] {
        const int made = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (made < 0) throw std::runtime_error("cannot create the main thread's wake-up signal");
        return made;
    }();
    return fd;
}

struct WakeHook {
    std::mutex mutex;
    std::function<void()> wake;
};
// Never destroyed: other threads may still wake the main thread while statics go.
WakeHook& wakeHook() {
    static WakeHook* instance = new WakeHook;
    return *instance;
}

// One Synchronize call waiting for the main thread; lives on the caller's stack.
struct HandOver {
    explicit HandOver(const std::function<void()>& m) : method(m) {}
    const std::function<void()>& method;
    std::exception_ptr failure;
    bool done = false;
    std::condition_variable ran;
};

struct HandOverQueue {
    std::mutex mutex;
    std::deque<HandOver*> waiting;
};
HandOverQueue& handOvers() {
    static HandOverQueue* instance = new HandOverQueue;
    return *instance;
}

void WakeForMessage(std::thread::id owner) {
    if (owner == MainThreadId()) vcl_detail::WakeMainThread();
}

[[maybe_unused]] const bool startedUp = [] {
    MainThreadId();
    MainSignalFd();
    vcl_detail::InstallMessageWake();
    return true;
}();

} // namespace

namespace vcl_detail {

void SignalMainThread() {
    const std::uint64_t one = 1;
    // Only fails when the counter is near 2^64: the signal is raised anyway.
    [[maybe_unused]] const ssize_t n = ::write(MainSignalFd(), &one, sizeof one);
}

void WakeMainThread() {
    SignalMainThread();
    WakeHook& hook = wakeHook();
    std::lock_guard lock(hook.mutex);
    if (!hook.wake) return;
    try {
        hook.wake();
    } catch (...) {
        // A failing toolkit wake-up must not break the sender; WaitFor still sees the signal.
    }
}

void ClearMainThreadSignal() {
    std::uint64_t count;
    [[maybe_unused]] const ssize_t n = ::read(MainSignalFd(), &count, sizeof count);
}

void SleepUntilMainThreadSignal() {
    pollfd p{MainSignalFd(), POLLIN, 0};
    while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
}

void InstallMessageWake() {
    winapi_linux::SetSentMessageHook(&WakeForMessage);
}

} // namespace vcl_detail

bool IsMainThread() {
    return std::this_thread::get_id() == MainThreadId();
}

void SetWakeMainThread(std::function<void()> Wake) {
    WakeHook& hook = wakeHook();
    std::lock_guard lock(hook.mutex);
    hook.wake = std::move(Wake);
}

void TThread::Synchronize(const std::function<void()>& Method) {
    if (IsMainThread()) {
        Method();
        return;
    }
    HandOver handOver(Method);
    HandOverQueue& queue = handOvers();
    {
        std::lock_guard lock(queue.mutex);
        queue.waiting.push_back(&handOver);
    }
    vcl_detail::WakeMainThread();
    {
        std::unique_lock lock(queue.mutex);
        handOver.ran.wait(lock, [&] { return handOver.done; });
    }
    if (handOver.failure) std::rethrow_exception(handOver.failure);
}

bool CheckSynchronize() {
    if (!IsMainThread()) return false;
    HandOverQueue& queue = handOvers();
    // Only as many as were queued when the call began, so that busy threads cannot keep
    // it from returning. They are taken one at a time, so a method that waits for another
    // thread (and serves meanwhile) still finds that thread's hand-over in the queue.
    std::size_t budget;
    {
        std::lock_guard lock(queue.mutex);
        budget = queue.waiting.size();
    }
    bool any = false;
    for (; budget > 0; --budget) {
        HandOver* handOver;
        {
            std::lock_guard lock(queue.mutex);
            if (queue.waiting.empty()) break; // a nested call served the rest
            handOver = queue.waiting.front();
            queue.waiting.pop_front();
        }
        any = true;
        try {
            handOver->method();
        } catch (...) {
            handOver->failure = std::current_exception();
        }
        std::lock_guard lock(queue.mutex);
        handOver->done = true;
        handOver->ran.notify_one();
    }
    return any;
}

int MainThreadWakeDescriptor() {
    return MainSignalFd();
}

void ServeSignalledMainThread() {
    if (!IsMainThread()) return;
    vcl_detail::ClearMainThreadSignal(); // first: whatever arrives later raises it again
    ServeMainThread();
}

void ServeMainThread() {
    if (!IsMainThread()) return;
    CheckSynchronize();
    for (;;) {
        try {
            winapi_linux::ServeSentMessages();
            return;
        } catch (...) {
            // A window procedure let an exception out: show it and serve the rest, so that
            // no sender is left waiting and nothing escapes into the caller's loop.
            Application->HandleException(nullptr);
        }
    }
}
