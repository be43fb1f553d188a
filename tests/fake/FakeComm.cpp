#include "FakeComm.h"

#include "handles.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace fake {
namespace {

std::mutex mutex;
State state;
// The pending WaitCommEvent: where its mask goes and the block to complete.
DWORD* pendingMask = nullptr;
OVERLAPPED* pendingWait = nullptr;

struct FakeDevice : winapi_linux::KernelObject {
    void Closing() override {
        std::lock_guard lock(mutex);
        state.calls.push_back("CloseHandle");
        --state.openDevices;
        if (pendingWait != nullptr) { // a closed device ends its wait
            pendingWait->Internal = ERROR_OPERATION_ABORTED;
            SetEvent(pendingWait->hEvent);
            pendingWait = nullptr;
            pendingMask = nullptr;
        }
    }
};

// Records the call; true when the test asked this function to fail.
bool Record(const std::string& call, const std::string& name) {
    state.calls.push_back(call);
    auto listed = [](const std::string& s) {
        return std::find(state.failing.begin(), state.failing.end(), s) != state.failing.end();
    };
    const bool fails = listed(name) || listed(call);
    if (fails) SetLastError(ERROR_GEN_FAILURE);
    return fails;
}

bool IsFakeDevice(HANDLE h) { return winapi_linux::Lookup<FakeDevice>(h) != nullptr; }

void Finish(OVERLAPPED* o, DWORD status, DWORD bytes) {
    o->Internal = status;
    o->InternalHigh = bytes;
    SetEvent(o->hEvent);
}

} // namespace

Access Lock() { return Access{std::unique_lock(mutex), state}; }

void Reset() {
    std::lock_guard lock(mutex);
    state = State{};
    pendingMask = nullptr;
    pendingWait = nullptr;
}

std::vector<std::string> Calls(const std::string& prefix) {
    std::lock_guard lock(mutex);
    std::vector<std::string> out;
    for (const auto& c : state.calls)
        if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
}

bool Called(const std::string& call) {
    std::lock_guard lock(mutex);
    return std::find(state.calls.begin(), state.calls.end(), call) != state.calls.end();
}

bool CompleteCommWait(DWORD mask) {
    std::lock_guard lock(mutex);
    if (pendingWait == nullptr) return false;
    *pendingMask = mask;
    OVERLAPPED* o = std::exchange(pendingWait, nullptr);
    pendingMask = nullptr;
    Finish(o, 0, 0);
    return true;
}

bool CommWaitPending() {
    std::lock_guard lock(mutex);
    return pendingWait != nullptr;
}

void CompleteTransfer(OVERLAPPED* overlapped, bool success, DWORD bytes) {
    std::lock_guard lock(mutex);
    Finish(overlapped, success ? 0 : ERROR_GEN_FAILURE, bytes);
}

} // namespace fake

using namespace fake;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    std::lock_guard lock(mutex);
    state.calls.push_back(std::string("CreateFileA ") + lpFileName);
    if (state.createError != 0) {
        SetLastError(state.createError);
        return INVALID_HANDLE_VALUE;
    }
    ++state.openDevices;
    return winapi_linux::InsertObject(std::make_shared<FakeDevice>());
}

BOOL SetupComm(HANDLE h, DWORD in, DWORD out) {
    std::lock_guard lock(mutex);
    if (Record("SetupComm " + std::to_string(in) + " " + std::to_string(out), "SetupComm")) return FALSE;
    return IsFakeDevice(h);
}

BOOL GetCommState(HANDLE, LPDCB dcb) {
    std::lock_guard lock(mutex);
    *dcb = state.lastDcb;
    return TRUE;
}

BOOL SetCommState(HANDLE h, LPDCB dcb) {
    std::lock_guard lock(mutex);
    if (Record("SetCommState", "SetCommState")) return FALSE;
    state.lastDcb = *dcb;
    return IsFakeDevice(h);
}

BOOL GetCommTimeouts(HANDLE, LPCOMMTIMEOUTS t) {
    std::lock_guard lock(mutex);
    *t = state.lastTimeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS t) {
    std::lock_guard lock(mutex);
    if (Record("SetCommTimeouts", "SetCommTimeouts")) return FALSE;
    state.lastTimeouts = *t;
    return IsFakeDevice(h);
}

BOOL GetCommMask(HANDLE, LPDWORD) { return TRUE; }

BOOL SetCommMask(HANDLE, DWORD mask) {
    std::lock_guard lock(mutex);
    Record("SetCommMask " + std::to_string(mask), "SetCommMask");
    if (mask == 0 && pendingWait != nullptr) { // ends the pending wait with no events
        *pendingMask = 0;
        Finish(std::exchange(pendingWait, nullptr), 0, 0);
        pendingMask = nullptr;
    }
    return TRUE;
}

BOOL WaitCommEvent(HANDLE, LPDWORD mask, LPOVERLAPPED o) {
    std::lock_guard lock(mutex);
    if (Record("WaitCommEvent", "WaitCommEvent")) return FALSE;
    ResetEvent(o->hEvent);
    o->Internal = STATUS_PENDING;
    pendingMask = mask;
    pendingWait = o;
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

BOOL WriteFile(HANDLE, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED o) {
    std::lock_guard lock(mutex);
    if (Record("WriteFile " + std::to_string(count), "WriteFile")) return FALSE;
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    if (count > 0) state.written.insert(state.written.end(), bytes, bytes + count);
    ResetEvent(o->hEvent);
    if (state.transfersPend) {
        o->Internal = STATUS_PENDING;
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    Finish(o, 0, count);
    *written = count;
    return TRUE;
}

BOOL ReadFile(HANDLE, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED o) {
    std::lock_guard lock(mutex);
    if (Record("ReadFile " + std::to_string(count), "ReadFile")) return FALSE;
    ResetEvent(o->hEvent);
    if (state.transfersPend) {
        o->Internal = STATUS_PENDING;
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    const DWORD n = std::min<DWORD>(count, static_cast<DWORD>(state.incoming.size()));
    std::memcpy(buffer, state.incoming.data(), n);
    state.incoming.erase(state.incoming.begin(), state.incoming.begin() + n);
    Finish(o, 0, n);
    *read = n;
    return TRUE;
}

BOOL GetOverlappedResult(HANDLE, LPOVERLAPPED o, LPDWORD transferred, BOOL) {
    std::lock_guard lock(mutex);
    if (Record("GetOverlappedResult", "GetOverlappedResult")) return FALSE;
    if (o->Internal == STATUS_PENDING) {
        SetLastError(ERROR_IO_INCOMPLETE);
        return FALSE;
    }
    if (o->Internal != 0) {
        SetLastError(static_cast<DWORD>(o->Internal));
        return FALSE;
    }
    *transferred = static_cast<DWORD>(o->InternalHigh);
    return TRUE;
}

BOOL ClearCommError(HANDLE, LPDWORD errors, LPCOMSTAT stat) {
    std::lock_guard lock(mutex);
    if (Record("ClearCommError", "ClearCommError")) return FALSE;
    if (errors != nullptr) *errors = std::exchange(state.errorWord, 0);
    if (stat != nullptr) {
        *stat = COMSTAT{};
        stat->cbInQue = static_cast<DWORD>(state.incoming.size());
    }
    return TRUE;
}

BOOL GetCommModemStatus(HANDLE, LPDWORD status) {
    std::lock_guard lock(mutex);
    if (Record("GetCommModemStatus", "GetCommModemStatus")) return FALSE;
    *status = state.modemStatus;
    return TRUE;
}

BOOL EscapeCommFunction(HANDLE, DWORD func) {
    std::lock_guard lock(mutex);
    return !Record("EscapeCommFunction " + std::to_string(func), "EscapeCommFunction");
}

BOOL PurgeComm(HANDLE, DWORD flags) {
    std::lock_guard lock(mutex);
    return !Record("PurgeComm " + std::to_string(flags), "PurgeComm");
}
