// Event objects behind CreateEventA handles, and the link that lets a waiting thread
// drive the pending operation that will signal an event.
#pragma once

#include "handles.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace winapi_linux {

using Clock = std::chrono::steady_clock;

// A pending operation that will signal an event. A thread that waits for the event
// advances the operation itself (no hand-off to another thread on the hot path); while
// no thread waits, the background thread of the transfer layer does.
class ProgressHook {
  public:
    virtual ~ProgressHook() = default;
    // A descriptor that becomes readable when Progress may advance the operation.
    virtual int PollFd() const = 0;
    // When Progress must run even without readiness (a timeout), or Clock::time_point::max().
    virtual Clock::time_point NextDeadline() = 0;
    // Advances without blocking; signals the event when the operation ends.
    virtual void Progress() = 0;
    // A thread starts or stops polling PollFd() on the operation's behalf.
    virtual void AddWaiter() = 0;
    virtual void RemoveWaiter() = 0;
    // A thread looked at the operation's status without waiting: from now on the
    // background must finish it even if no thread ever waits.
    virtual void Observed() {}
};

// The state lives in an atomic: Set, Reset and a wait that finds the event already
// signalled cost no system call. The eventfd only wakes threads blocked in poll(), so it
// is written only while a thread waits (see BeginWait) and may hold a stale count, which
// waiters clear with DrainIfStale.
class EventObject final : public KernelObject {
  public:
    // Throws std::system_error when no eventfd can be had.
    EventObject(bool manualReset, bool initialState);
    ~EventObject() override;
    EventObject(const EventObject&) = delete;
    EventObject& operator=(const EventObject&) = delete;

    int Fd() const { return fd_; } // readable after a Set while a thread waited
    bool ManualReset() const { return manual_; }

    void Set();
    void Reset();
    bool Signalled() const { return signalled_.load(std::memory_order_seq_cst); }
    // Takes the signal: always for a manual-reset event, only the first claimer for an
    // auto-reset one (which consumes it). False when the event is not signalled.
    bool Claim();

    // A thread is about to block on Fd(): from BeginWait on, Set writes the eventfd. The
    // waiter must look at the state after BeginWait and before it blocks.
    // A thread that drives an operation from inside its wait (see WaitForEvents) and
    // sets an event it alone waits for writes no eventfd: it looks at the state next.
    void BeginWait() { waiters_.fetch_add(1, std::memory_order_seq_cst); }
    void EndWait() { waiters_.fetch_sub(1, std::memory_order_seq_cst); }
    // Empties the eventfd when the event is not signalled, so that a woken waiter that
    // found nothing to claim does not wake again at once.
    void DrainIfStale();

    // The event keeps only a weak link: a pending operation must not keep its owner alive.
    void SetHook(const std::shared_ptr<ProgressHook>& hook);
    // Drops the hook only if it is still the given one (a newer operation may own it).
    void ClearHook(const ProgressHook* hook);
    std::shared_ptr<ProgressHook> Hook();

  private:
    int fd_ = -1;
    bool manual_;
    // Seq-cst on both sides: a Set either sees the waiter count raised (and writes the
    // eventfd) or the waiter sees the state signalled before it blocks.
    std::atomic<bool> signalled_;
    std::atomic<int> waiters_{0};
    // The eventfd's count is non-zero; only changed together with the eventfd, under
    // fdMutex_, so that a drain can never swallow the write of a later Set.
    std::mutex fdMutex_;
    std::atomic<bool> fdRaised_{false};
    std::mutex hookMutex_;
    std::weak_ptr<ProgressHook> hook_;
    const ProgressHook* hookIdentity_ = nullptr;
};

// The events the calling thread is waiting for (set by WaitForEvents for its duration),
// or null; Set reads it to skip waking a thread that is only itself.
const std::vector<std::shared_ptr<EventObject>>*& CurrentWaitList();

// Waits until one of the events is signalled (the lowest index wins) or the time is up:
// WAIT_OBJECT_0 + index or WAIT_TIMEOUT. Also for events that have no handle.
DWORD WaitForEvents(const std::vector<std::shared_ptr<EventObject>>& events, DWORD milliseconds);

inline std::shared_ptr<EventObject> LookupEvent(HANDLE handle) {
    return Lookup<EventObject>(handle);
}

} // namespace winapi_linux
