// A scriptable stand-in for the device functions of winapi.h, linked instead of the real
// Linux layer by the component's exact-behaviour tests. It records every call, fails the
// calls a test asks to fail, and lets a test complete overlapped transfers and event waits.
// Events, waits and CloseHandle are the real ones (winapi_core).
#pragma once

#include "winapi.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace fake {

struct State {
    // Every call in order, e.g. "CreateFileA \\.\COM2", "SetupComm 2048 2048",
    // "SetCommState", "SetCommTimeouts", "EscapeCommFunction 6", "PurgeComm 3",
    // "SetCommMask 1469", "WaitCommEvent", "WriteFile 3", "ReadFile 3",
    // "GetOverlappedResult", "ClearCommError", "GetCommModemStatus", "CloseHandle".
    std::vector<std::string> calls;

    DWORD createError = 0;           // non-zero: CreateFileA fails with this error
    std::vector<std::string> failing; // function names or exact call texts that fail (ERROR_GEN_FAILURE)

    DCB lastDcb{};
    COMMTIMEOUTS lastTimeouts{};
    std::vector<std::uint8_t> written;       // bytes of every WriteFile, in order
    std::vector<std::uint8_t> incoming;      // bytes ReadFile hands out (front first)
    bool transfersPend = false;              // ReadFile/WriteFile go pending instead of finishing
    DWORD errorWord = 0;                     // what the next ClearCommError reports (then cleared)
    DWORD modemStatus = 0;                   // what GetCommModemStatus reports
    int openDevices = 0;
};

// The state, with its lock held for the caller's scope.
struct Access {
    std::unique_lock<std::mutex> lock;
    State& state;
    State* operator->() { return &state; }
};
Access Lock();

void Reset();

// Names of the recorded calls, optionally only those starting with a prefix.
std::vector<std::string> Calls(const std::string& prefix = "");
// Whether a call with this exact text was recorded.
bool Called(const std::string& call);

// Completes the pending WaitCommEvent (if any) with this event mask. Returns false when
// no wait was pending.
bool CompleteCommWait(DWORD mask);
// Whether a WaitCommEvent is pending.
bool CommWaitPending();
// Completes the pending transfer on a record: success with a byte count, or failure.
void CompleteTransfer(OVERLAPPED* overlapped, bool success, DWORD bytes);

} // namespace fake
