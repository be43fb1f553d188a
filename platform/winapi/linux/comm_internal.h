// What the serial device functions share among themselves (comm_open.cpp,
// comm_settings.cpp, line_status.cpp); not for callers of the Windows API.
#pragma once

#include "device.h"
#include "termios2_rate.h"

#include <memory>

namespace winapi_linux {

// comm_open.cpp: the device behind a handle; null, with ERROR_INVALID_HANDLE as the last
// error, when the handle is not an open serial device.
std::shared_ptr<CommDevice> FindDevice(HANDLE handle);

// comm_settings.cpp: the DCB of a terminal's rate and character format, without flow
// control, DTR and RTS enabled.
DCB DcbFromLineMode(const LineMode& mode);

// comm_settings.cpp: validates a DCB and puts it into effect (raw mode, character
// format, flow control, DTR and RTS). Returns ERROR_SUCCESS or the error code; an
// invalid DCB, or a rate the driver cannot run, leaves the device as it was.
DWORD ApplyCommState(CommDevice& device, const DCB& dcb);
// The same for a device whose mode the caller has just read (the open).
DWORD ApplyCommState(CommDevice& device, const DCB& dcb, const LineMode& current);

// comm_open.cpp: how much Linux itself buffers on input (the line discipline's queue).
inline constexpr DWORD kLinuxInputQueueSize = 4096;

} // namespace winapi_linux
