#include "events.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

namespace winapi_linux {

EventObject::EventObject(bool manualReset, bool initialState) : manual_(manualReset) {
    fd_ = ::eventfd(initialState ? 1 : 0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

EventObject::~EventObject() {
    ::close(fd_);
}

void EventObject::Set() {
    sets_.fetch_add(1, std::memory_order_release);
    const std::uint64_t one = 1;
    // EAGAIN only when the counter is near its limit: the event is signalled anyway.
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void EventObject::Reset() {
    std::uint64_t count;
    while (::read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

bool EventObject::Claim() {
    if (!manual_) {
        std::uint64_t count;
        ssize_t got;
        while ((got = ::read(fd_, &count, sizeof count)) < 0 && errno == EINTR) {
        }
        if (got != sizeof count) return false; // another waiter took it
    }
    sets_.load(std::memory_order_acquire);
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
