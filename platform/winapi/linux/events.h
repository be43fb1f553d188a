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
};

class EventObject final : public KernelObject {
  public:
    // Throws std::system_error when no eventfd can be had.
    EventObject(bool manualReset, bool initialState);
    ~EventObject() override;
    EventObject(const EventObject&) = delete;
    EventObject& operator=(const EventObject&) = delete;

    int Fd() const { return fd_; } // readable while signalled
    bool ManualReset() const { return manual_; }

    void Set();
    void Reset();
    // A waiter that saw the event readable claims it: always for a manual-reset event,
    // only the first claimer for an auto-reset one (which consumes the signal).
    bool Claim();

    // The event keeps only a weak link: a pending operation must not keep its owner alive.
    void SetHook(const std::shared_ptr<ProgressHook>& hook);
    // Drops the hook only if it is still the given one (a newer operation may own it).
    void ClearHook(const ProgressHook* hook);
    std::shared_ptr<ProgressHook> Hook();

  private:
    int fd_ = -1;
    bool manual_;
    // The kernel orders Set before the wake-up it causes; this counter makes that
    // order visible to ThreadSanitizer (release in Set, acquire in Claim).
    std::atomic<std::uint64_t> sets_{0};
    std::mutex hookMutex_;
    std::weak_ptr<ProgressHook> hook_;
    const ProgressHook* hookIdentity_ = nullptr;
};

// Waits until one of the events is signalled (the lowest index wins) or the time is up:
// WAIT_OBJECT_0 + index or WAIT_TIMEOUT. Also for events that have no handle.
DWORD WaitForEvents(const std::vector<std::shared_ptr<EventObject>>& events, DWORD milliseconds);

inline std::shared_ptr<EventObject> LookupEvent(HANDLE handle) {
    return Lookup<EventObject>(handle);
}

} // namespace winapi_linux
