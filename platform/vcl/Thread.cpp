// TThread on one std::thread per object: Execute runs there; the object's shared state
// outlives whichever of the two ends last.
#include "Thread.h"

#include "Exception.h"
#include "MainThread.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <sys/resource.h>
#include <unistd.h>

struct TThread::State {
    std::thread thread;
    std::atomic<bool> started{false};
    std::atomic<bool> terminated{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> mainWaits{false}; // the main thread sleeps on its signal for this end

    std::mutex mutex; // guards the fields below
    std::condition_variable ended;
    std::exception_ptr fatal;
    TThreadPriority priority = tpNormal;
    pid_t tid = 0;    // the kernel's id while Execute may run, else 0
    int baseNice = 0; // the niceness the thread started with (inherited from its creator)
    bool baseNiceKnown = false;
};

namespace {

// The state of the TThread whose Execute runs on this thread, to recognise calls from it.
thread_local const void* runningState = nullptr;

// Linux lets an unprivileged process lower its threads' priority (raise niceness) but
// not raise it above where it started; the request is made and a refusal ignored, so a
// priority never makes a thread fail.
int NiceOffset(TThreadPriority priority) {
    switch (priority) {
    case tpIdle:
        return 19;
    case tpLowest:
        return 10;
    case tpLower:
        return 5;
    case tpNormal:
        return 0;
    case tpHigher:
        return -5;
    case tpHighest:
        return -10;
    case tpTimeCritical:
        return -20;
    }
    return 0;
}

} // namespace

// Must hold state.mutex, with the thread running (tid set).
void TThread::ApplyPriority(State& state, TThreadPriority priority) {
    if (!state.baseNiceKnown) {
        // Still the niceness inherited from the creator: nothing has changed it yet.
        errno = 0;
        const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(state.tid));
        state.baseNice = errno == 0 ? nice : 0;
        state.baseNiceKnown = true;
    }
    int nice = state.baseNice + NiceOffset(priority);
    nice = nice < -20 ? -20 : (nice > 19 ? 19 : nice);
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(state.tid), nice);
}

TThread::TThread(bool /*CreateSuspended*/) : state_(std::make_shared<State>()) {}

TThread::~TThread() {
    TerminateAndWait();
}

void TThread::Start() {
    State& st = *state_;
    if (st.started.load()) return;
    // Marked before the thread exists, so that Execute sees itself as started.
    st.started.store(true);
    try {
        st.thread = std::thread([this, keep = state_] { Run(*keep); });
    } catch (...) {
        st.started.store(false);
        throw;
    }
}

void TThread::Run(State& s) {
    runningState = &s;
    {
        std::lock_guard lock(s.mutex);
        s.tid = ::gettid();
        if (s.priority != tpNormal) ApplyPriority(s, s.priority);
    }
    std::exception_ptr fatal;
    try {
        Execute();
    } catch (...) {
        // Ends the thread quietly; the exception is kept for FatalException.
        fatal = std::current_exception();
    }
    // From here on the object may be gone (its owner saw Finished); only the state is used.
    {
        std::lock_guard lock(s.mutex);
        s.fatal = std::move(fatal);
        s.tid = 0;
        s.finished.store(true);
    }
    s.ended.notify_all();
    if (s.mainWaits.load()) vcl_detail::SignalMainThread();
}

void TThread::Terminate() noexcept {
    state_->terminated.store(true);
}

bool TThread::Terminated() const noexcept {
    return state_->terminated.load();
}

bool TThread::Finished() const noexcept {
    return state_->finished.load();
}

void TThread::SetPriority(TThreadPriority Priority) {
    State& st = *state_;
    std::lock_guard lock(st.mutex);
    st.priority = Priority;
    if (st.tid != 0) ApplyPriority(st, Priority);
}

TThreadPriority TThread::Priority() const noexcept {
    std::lock_guard lock(state_->mutex);
    return state_->priority;
}

std::exception_ptr TThread::FatalException() const {
    std::lock_guard lock(state_->mutex);
    return state_->fatal;
}

void TThread::WaitFor() {
    State& st = *state_;
    if (!st.started.load() || st.finished.load()) return;
    if (runningState == &st) throw Exception("A thread cannot wait for itself");

    if (IsMainThread()) {
        // The thread may need the main thread to finish (a hand-over, a sent message):
        // serve those while waiting, and sleep in the kernel until one of them or the
        // thread's end raises the signal. Clearing before serving loses nothing: whatever
        // arrives after the clear raises it again.
        st.mainWaits.store(true);
        for (;;) {
            vcl_detail::ClearMainThreadSignal();
            ServeMainThread();
            if (st.finished.load()) return;
            vcl_detail::SleepUntilMainThreadSignal();
        }
    }
    std::unique_lock lock(st.mutex);
    st.ended.wait(lock, [&] { return st.finished.load(); });
}

void TThread::TerminateAndWait() {
    State& st = *state_;
    Terminate();
    if (!st.started.load() || !st.thread.joinable()) return;
    if (runningState == &st) {
        // Freed from its own Execute: nothing to wait for; the thread ends on its own.
        st.thread.detach();
        return;
    }
    // Off the main thread there is nothing to serve: joining is the one wait needed (a
    // wake-up at the end of Execute and then the join would put the waiter to sleep twice).
    if (IsMainThread()) WaitFor();
    st.thread.join();
    std::lock_guard lock(st.mutex);
    st.fatal = nullptr;
}
