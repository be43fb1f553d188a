// ReadFile, WriteFile, WaitCommEvent, GetOverlappedResult, SetCommMask, GetCommMask and
// PurgeComm for serial devices; the work is done by the device's TransferEngine.
#include "transfers.h"

#include "comm_internal.h"

#include <sys/file.h>
#include <sys/ioctl.h>

#include <atomic>
#include <new>
#include <system_error>

namespace winapi_linux {
namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// The engine a device already has (none when it never did a transfer).
std::shared_ptr<TransferEngine> ExistingEngine(CommDevice& device) {
    std::lock_guard lock(device.mutex);
    return device.engine;
}

ULONG_PTR LoadStatus(OVERLAPPED* ov) {
    return std::atomic_ref<ULONG_PTR>(ov->Internal).load(std::memory_order_acquire);
}

// The caller's OVERLAPPED and its event; without one the call runs to its end here, on
// a private record, as a plain synchronous call would.
template <class Start> BOOL Run(LPOVERLAPPED lpOverlapped, DWORD* bytes, Start start) {
    if (lpOverlapped != nullptr) {
        if (lpOverlapped->hEvent == nullptr) return Fail(ERROR_INVALID_PARAMETER);
        auto event = LookupEvent(lpOverlapped->hEvent);
        if (!event) return Fail(ERROR_INVALID_HANDLE);
        return start(Request{lpOverlapped, std::move(event)});
    }
    std::shared_ptr<EventObject> event;
    try {
        event = std::make_shared<EventObject>(true, false);
    } catch (const std::system_error& e) {
        return Fail(ErrorFromErrno(e.code().value()));
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    OVERLAPPED own{};
    if (start(Request{&own, event})) return TRUE;
    if (GetLastError() != ERROR_IO_PENDING) return FALSE;
    WaitForEvents({event}, INFINITE);
    const ULONG_PTR status = LoadStatus(&own);
    if (bytes != nullptr) *bytes = static_cast<DWORD>(own.InternalHigh);
    return status == ERROR_SUCCESS ? TRUE : Fail(static_cast<DWORD>(status));
}

// Every event bit Windows accepts in a mask (EV_RXCHAR .. EV_EVENT2).
constexpr DWORD kValidEvents = 0x1FFF;
constexpr DWORD kPurgeFlags = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

} // namespace

void AbortPendingTransfers(CommDevice& device, DWORD purgeFlags) {
    if (const auto engine = ExistingEngine(device)) engine->Abort(purgeFlags);
}

void CommDevice::Closing() {
    if (const auto existing = ExistingEngine(*this)) existing->Close();
    // The descriptor itself is closed with the last reference, which the reactor may
    // still hold for a moment; the device must be free for a new open at once.
    if (fd >= 0) {
        ::ioctl(fd, TIOCNXCL);
        ::flock(fd, LOCK_UN);
    }
}

} // namespace winapi_linux

using namespace winapi_linux;

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    if (lpBuffer == nullptr && nNumberOfBytesToRead != 0) return Fail(ERROR_INVALID_PARAMETER);
    const auto engine = TransferEngine::For(device);
    if (!engine) return FALSE;
    COMMTIMEOUTS timeouts;
    {
        std::lock_guard lock(device->mutex);
        timeouts = device->timeouts;
    }
    return Run(lpOverlapped, lpNumberOfBytesRead, [&](const Request& request) {
        return engine->Read(request, lpBuffer, nNumberOfBytesToRead, timeouts, lpNumberOfBytesRead);
    });
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    if (lpBuffer == nullptr && nNumberOfBytesToWrite != 0) return Fail(ERROR_INVALID_PARAMETER);
    const auto engine = TransferEngine::For(device);
    if (!engine) return FALSE;
    COMMTIMEOUTS timeouts;
    {
        std::lock_guard lock(device->mutex);
        timeouts = device->timeouts;
    }
    return Run(lpOverlapped, lpNumberOfBytesWritten, [&](const Request& request) {
        return engine->Write(request, lpBuffer, nNumberOfBytesToWrite, timeouts,
                             lpNumberOfBytesWritten);
    });
}

BOOL WaitCommEvent(HANDLE hFile, LPDWORD lpEvtMask, LPOVERLAPPED lpOverlapped) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    if (lpEvtMask == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    const auto engine = TransferEngine::For(device);
    if (!engine) return FALSE;
    return Run(lpOverlapped, nullptr,
               [&](const Request& request) { return engine->WaitEvent(request, lpEvtMask); });
}

BOOL GetOverlappedResult(HANDLE /*hFile*/, LPOVERLAPPED lpOverlapped,
                         LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
    // The record and its event say everything; the device handle is not needed.
    if (lpOverlapped == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    ULONG_PTR status = LoadStatus(lpOverlapped);
    if (status == STATUS_PENDING) {
        // Without waiting, the status is all we look at: the reactor drives an operation
        // nobody waits for, and a thread polling in a loop must not fight it for the engine.
        const auto event = LookupEvent(lpOverlapped->hEvent);
        if (!bWait) {
            if (event)
                if (const auto hook = event->Hook()) hook->Observed();
            return Fail(ERROR_IO_INCOMPLETE);
        }
        if (!event) return Fail(ERROR_INVALID_HANDLE);
        WaitForEvents({event}, INFINITE);
        status = LoadStatus(lpOverlapped);
        // Still running (or, after a wait, the event was set by someone else).
        if (status == STATUS_PENDING) return Fail(ERROR_IO_INCOMPLETE);
    }
    if (lpNumberOfBytesTransferred != nullptr)
        *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
    return status == ERROR_SUCCESS ? TRUE : Fail(static_cast<DWORD>(status));
}

BOOL SetCommMask(HANDLE hFile, DWORD dwEvtMask) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    if (dwEvtMask & ~kValidEvents) return Fail(ERROR_INVALID_PARAMETER);
    const auto engine = TransferEngine::For(device);
    if (!engine) return FALSE;
    return engine->SetMask(dwEvtMask);
}

BOOL GetCommMask(HANDLE hFile, LPDWORD lpEvtMask) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    if (lpEvtMask == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(device->mutex);
    *lpEvtMask = device->commMask;
    return TRUE;
}

BOOL PurgeComm(HANDLE hFile, DWORD dwFlags) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    if (dwFlags & ~kPurgeFlags) return Fail(ERROR_INVALID_PARAMETER);
    const auto engine = TransferEngine::For(device);
    if (!engine) return FALSE;
    engine->Abort(dwFlags & (PURGE_TXABORT | PURGE_RXABORT));
    return engine->Clear(dwFlags & (PURGE_TXCLEAR | PURGE_RXCLEAR));
}
