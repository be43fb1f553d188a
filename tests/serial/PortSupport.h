// Helpers shared by the component's tests.
#pragma once

#include "BCPort.h"

#include <functional>
#include <string>

// The message of the exception an action raises, or "(nothing raised)".
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

// Reads as an OnRxChar handler does: starts the read, polls it to its end and returns the
// byte count; the transfer record is released on every path, also when a step raises.
inline int ReadAsHandler(TBComPort& port, void* buffer, int count) {
    PPortTransfer async = nullptr;
    CreateTransfer(async);
    struct Release {
        PPortTransfer& async;
        ~Release() { ReleaseTransfer(async); }
    } release{async};
    port.ReadData(buffer, count, async);
    while (!port.TransferDone(async)) {
    }
    return port.AwaitTransfer(async);
}
