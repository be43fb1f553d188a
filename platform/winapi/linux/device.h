// The kernel object behind a serial device handle on Linux.
//
// comm_open.cpp creates it (CreateFileA) and tears it down; comm_settings.cpp and
// line_status.cpp keep the settings and the line's status in it; transfers.cpp runs
// the overlapped reads, writes and event waits on it.
#pragma once

#include "handles.h"

#include <array>
#include <memory>
#include <mutex>
#include <string>

namespace winapi_linux {

class TransferEngine; // transfers.cpp: pending reads, writes and WaitCommEvent of one device

struct CommDevice : KernelObject {
    CommDevice() = default;
    CommDevice(const CommDevice&) = delete;
    CommDevice& operator=(const CommDevice&) = delete;
    ~CommDevice() override; // closes fd (which also drops the flock)

    // Ends pending transfers and waits as failed so that nobody is left waiting on a
    // closed device (transfers.cpp).
    void Closing() override;

    int fd = -1;          // O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, exclusive
    std::string path;     // the /dev path that was opened
    bool hasModemLines = true; // false for pseudo-terminals and adapters without them

    std::mutex mutex; // guards everything below
    DWORD inQueueSize = 0;  // SetupComm: Linux cannot resize its queues, kept for EV_RX80FULL
    DWORD outQueueSize = 0;
    DCB dcb{};
    COMMTIMEOUTS timeouts{};
    DWORD commMask = 0;
    DWORD pendingErrors = 0; // CE_* bits gathered since the last ClearCommError
    // line_status.cpp: the driver's error counters (TIOCGICOUNT) at the last look, so
    // that only new errors are reported; hasErrorCounters is false for drivers without them.
    bool hasErrorCounters = true;
    std::array<int, 5> errorCounts{};

    // Created on first use by transfers.cpp; destroyed before fd is closed.
    std::shared_ptr<TransferEngine> engine;
};

// line_status.cpp: folds the driver's error counters (TIOCGICOUNT) into pendingErrors;
// returns true when new errors were seen since the previous call. Devices without
// counters (pseudo-terminals) never report errors. Locks device.mutex itself.
bool RefreshLineErrors(CommDevice& device);

// transfers.cpp: ends pending transfers of the given PURGE_*ABORT kinds as aborted.
void AbortPendingTransfers(CommDevice& device, DWORD purgeFlags);

// Maps an errno value of a failed device call to a Windows error code.
DWORD ErrorFromErrno(int err);

} // namespace winapi_linux
