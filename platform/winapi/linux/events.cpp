#include "events.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

namespace winapi_linux {

EventObject::EventObject(bool manualReset, bool initialState)
    : manual_(manualReset), signalled_(initialState) {
    fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

EventObject::~EventObject() {
    ::close(fd_);
}

const std::vector<std::shared_ptr<EventObject>>*& CurrentWaitList() {
    thread_local const std::vector<std::shared_ptr<EventObject>>* list = nullptr;
    return list;
}

namespace {
bool CallerWaitsOn(const EventObject* event) {
    const auto* list = CurrentWaitList();
    if (list == nullptr) return false;
    for (const auto& e : *list)
        if (e.get() == event) return true;
    return false;
}
} // namespace

void EventObject::Set() {
    signalled_.store(true, std::memory_order_seq_cst);
    const int waiters = waiters_.load(std::memory_order_seq_cst);
    // Nobody to wake; or only this thread, which drives the operation from its own wait
    // and claims the state right after. A thread that starts waiting after the load sees
    // the state signalled before it blocks.
    if (waiters == 0 || (waiters == 1 && CallerWaitsOn(this))) return;
    std::lock_guard lock(fdMutex_);
    if (fdRaised_.load(std::memory_order_relaxed)) return;
    const std::uint64_t one = 1;
    // EAGAIN only when the counter is near its limit: readable anyway.
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    fdRaised_.store(true, std::memory_order_relaxed);
}

void EventObject::Reset() {
    signalled_.store(false, std::memory_order_seq_cst);
    // A raise missed here (a Set racing this Reset) leaves a stale count; waiters drain it.
    if (fdRaised_.load(std::memory_order_relaxed)) DrainIfStale();
}

void EventObject::DrainIfStale() {
    std::lock_guard lock(fdMutex_);
    // A signalled event keeps its count: other waiters blocked on it must wake too.
    if (!fdRaised_.load(std::memory_order_relaxed) || Signalled()) return;
    std::uint64_t count;
    while (::read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
    }
    fdRaised_.store(false, std::memory_order_relaxed);
}

bool EventObject::Claim() {
    if (manual_) return Signalled();
    bool expected = true;
    if (!signalled_.compare_exchange_strong(expected, false, std::memory_order_seq_cst))
        return false; // not signalled, or another waiter took it
    if (fdRaised_.load(std::memory_order_relaxed)) DrainIfStale();
    return true;
}

void EventObject::SetHook(const std::shared_ptr<ProgressHook>& hook) {
    std::lock_guard lock(hookMutex_);
    hook_ = hook;
    hookIdentity_ = hook.get();
}

void EventObject::ClearHook(const ProgressHook* hook) {
    std::lock_guard lock(hookMutex_);
    if (hookIdentity_ != hook) return;
    hook_.reset();
    hookIdentity_ = nullptr;
}

std::shared_ptr<ProgressHook> EventObject::Hook() {
    std::lock_guard lock(hookMutex_);
    return hook_.lock();
}

} // namespace winapi_linux

using winapi_linux::EventObject;
using winapi_linux::LookupEvent;

namespace {
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    if (lpName != nullptr) { // named events are shared between processes: not offered
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    try {
        return winapi_linux::InsertObject(
            std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE));
    } catch (const std::system_error& e) {
        const int err = e.code().value();
        SetLastError(err == EMFILE || err == ENFILE ? ERROR_TOO_MANY_OPEN_FILES
                                                    : ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return nullptr;
}

BOOL SetEvent(HANDLE hEvent) {
    auto event = LookupEvent(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Set();
    return TRUE;
}

BOOL ResetEvent(HANDLE hEvent) {
    auto event = LookupEvent(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Reset();
    return TRUE;
}
