// WaitForSingleObject, WaitForMultipleObjects and Sleep. A wait blocks in poll() on the
// events' descriptors together with the descriptors of the operations that will signal
// them, so that the waiting thread drives those operations itself.
#include "events.h"

#include <poll.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <vector>

namespace {

using namespace winapi_linux;
using std::chrono::milliseconds;

// Milliseconds until t, rounded up so that a wait never ends early; -1 for no limit.
int PollTimeout(Clock::time_point now, Clock::time_point t) {
    if (t == Clock::time_point::max()) return -1;
    if (t <= now) return 0;
    const auto ms = std::chrono::ceil<milliseconds>(t - now).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// Keeps this thread registered as a waiter on exactly the hooks it polls, so that the
// background thread leaves those operations to it.
class WaiterRegistrations {
  public:
    WaiterRegistrations() = default;
    WaiterRegistrations(const WaiterRegistrations&) = delete;
    WaiterRegistrations& operator=(const WaiterRegistrations&) = delete;
    ~WaiterRegistrations() {
        for (auto& hook : hooks_)
            hook->RemoveWaiter();
    }

    void Update(const std::vector<std::shared_ptr<ProgressHook>>& current) {
        for (auto& hook : current)
            if (std::find(hooks_.begin(), hooks_.end(), hook) == hooks_.end()) hook->AddWaiter();
        for (auto& hook : hooks_)
            if (std::find(current.begin(), current.end(), hook) == current.end())
                hook->RemoveWaiter();
        hooks_ = current;
    }

  private:
    std::vector<std::shared_ptr<ProgressHook>> hooks_;
};

// Counts this thread as blocked on the events for as long as the wait lasts.
class EventWaits {
  public:
    explicit EventWaits(const std::vector<std::shared_ptr<EventObject>>& events)
        : events_(events), outer_(CurrentWaitList()) {
        for (auto& event : events_)
            event->BeginWait();
        CurrentWaitList() = &events_;
    }
    EventWaits(const EventWaits&) = delete;
    EventWaits& operator=(const EventWaits&) = delete;
    ~EventWaits() {
        CurrentWaitList() = outer_;
        for (auto& event : events_)
            event->EndWait();
    }

  private:
    const std::vector<std::shared_ptr<EventObject>>& events_;
    const std::vector<std::shared_ptr<EventObject>>* outer_;
};

} // namespace

namespace winapi_linux {

DWORD WaitForEvents(const std::vector<std::shared_ptr<EventObject>>& events, DWORD dwMilliseconds) {
    const std::size_t n = events.size();
    // The lowest signalled index wins.
    const auto claimFirst = [&]() -> DWORD {
        for (std::size_t i = 0; i < n; ++i)
            if (events[i]->Claim()) return WAIT_OBJECT_0 + static_cast<DWORD>(i);
        return WAIT_TIMEOUT;
    };
    // Already signalled: no system call at all.
    if (const DWORD now = claimFirst(); now != WAIT_TIMEOUT) return now;

    const Clock::time_point end = dwMilliseconds == INFINITE
                                      ? Clock::time_point::max()
                                      : Clock::now() + milliseconds(dwMilliseconds);
    EventWaits blocking(events);
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<ProgressHook>> hooks;
    WaiterRegistrations registered;
    for (;;) {
        // The operation behind an event can change while we wait: look again each round.
        hooks.clear();
        for (auto& event : events)
            if (auto hook = event->Hook())
                if (std::find(hooks.begin(), hooks.end(), hook) == hooks.end())
                    hooks.push_back(std::move(hook));
        registered.Update(hooks);

        // After BeginWait: a Set from here on writes the eventfd, so one seen unsignalled
        // now cannot be missed by the poll below.
        if (const DWORD now = claimFirst(); now != WAIT_TIMEOUT) return now;

        fds.clear();
        for (auto& event : events)
            fds.push_back(pollfd{event->Fd(), POLLIN, 0});
        Clock::time_point deadline = end;
        for (auto& hook : hooks) {
            fds.push_back(pollfd{hook->PollFd(), POLLIN, 0});
            deadline = std::min(deadline, hook->NextDeadline());
        }
        const int rc = ::poll(fds.data(), fds.size(), PollTimeout(Clock::now(), deadline));
        if (rc < 0) {
            if (errno != EINTR) {
                SetLastError(ERROR_INVALID_HANDLE);
                return WAIT_FAILED;
            }
            for (auto& p : fds)
                p.revents = 0;
        }

        const Clock::time_point now = Clock::now();
        for (std::size_t i = 0; i < hooks.size(); ++i)
            if (fds[n + i].revents != 0 || hooks[i]->NextDeadline() <= now) hooks[i]->Progress();
        if (const DWORD got = claimFirst(); got != WAIT_TIMEOUT) return got;
        // Woken for a signal another waiter took, or a stale count: clear it, or the next
        // poll returns at once.
        for (std::size_t i = 0; i < n; ++i)
            if (fds[i].revents & POLLIN) events[i]->DrainIfStale();
        if (now >= end) return WAIT_TIMEOUT;
    }
}

} // namespace winapi_linux

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds) {
    // Waiting for all objects at once is not offered: nothing here needs it.
    if (lpHandles == nullptr || nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || bWaitAll) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<EventObject>> events;
    events.reserve(nCount);
    for (DWORD i = 0; i < nCount; ++i) {
        auto event = LookupEvent(lpHandles[i]);
        if (!event) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        for (DWORD j = 0; j < i; ++j) {
            if (lpHandles[j] == lpHandles[i]) { // as on Windows: one copy of each handle
                SetLastError(ERROR_INVALID_PARAMETER);
                return WAIT_FAILED;
            }
        }
        events.push_back(std::move(event));
    }
    return WaitForEvents(events, dwMilliseconds);
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}

void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield(); // gives up the rest of the time slice, as on Windows
        return;
    }
    if (dwMilliseconds == INFINITE) {
        for (;;)
            ::pause();
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000),
                  static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
