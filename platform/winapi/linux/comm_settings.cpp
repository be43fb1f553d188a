// Queue sizes, line settings (the DCB on termios) and timeouts of a serial device.
#include "comm_internal.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>

namespace winapi_linux {
namespace {

DWORD DtrControl(const DCB& dcb) {
    return (dcb.Flags & DCB_fDtrControlMask) >> DCB_fDtrControlShift;
}
DWORD RtsControl(const DCB& dcb) {
    return (dcb.Flags & DCB_fRtsControlMask) >> DCB_fRtsControlShift;
}
bool UsesXonXoff(const DCB& dcb) {
    return (dcb.Flags & (DCB_fOutX | DCB_fInX)) != 0;
}

// DCBlength is not checked: Windows itself ignores it.
bool IsValid(const DCB& dcb) {
    return dcb.BaudRate != 0 && dcb.ByteSize >= 5 && dcb.ByteSize <= 8 &&
           dcb.Parity <= SPACEPARITY && dcb.StopBits <= TWOSTOPBITS &&
           !(UsesXonXoff(dcb) && dcb.XonChar == dcb.XoffChar);
}

// A driver may round a rate to what its clock can divide; a few per cent is within what
// the line tolerates, anything further means the rate cannot be run.
bool RateAccepted(unsigned requested, unsigned actual) {
    const unsigned long long diff = requested > actual ? requested - actual : actual - requested;
    return diff * 100 <= static_cast<unsigned long long>(requested) * 3;
}

LineMode ModeFromDcb(const LineMode& current, const DCB& dcb) {
    termios t{};
    t.c_iflag = current.iflag;
    t.c_oflag = current.oflag;
    t.c_cflag = current.cflag;
    t.c_lflag = current.lflag;
    ::cfmakeraw(&t);

    LineMode mode = current;
    // No INPCK even with fParity: Linux would then hand a byte with a parity error over
    // as 0, where Windows passes the byte on; the error is counted either way.
    mode.iflag = t.c_iflag & ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    mode.oflag = t.c_oflag;
    mode.lflag = t.c_lflag;
    mode.cflag =
        (t.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS)) | CLOCAL | CREAD;

    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    mode.cflag |= kSizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
    case ODDPARITY:
        mode.cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        mode.cflag |= PARENB;
        break;
    case MARKPARITY:
        mode.cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SPACEPARITY:
        mode.cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    // Linux has no one-and-a-half stop bits: CSTOPB gives two (a 16550 sends 1.5 with
    // five data bits by itself).
    if (dcb.StopBits != ONESTOPBIT) mode.cflag |= CSTOPB;

    // Linux ties both directions of hardware flow control to CRTSCTS. DSR flow and DTR
    // handshake have no termios counterpart and are not done.
    if ((dcb.Flags & DCB_fOutxCtsFlow) != 0 || RtsControl(dcb) == RTS_CONTROL_HANDSHAKE)
        mode.cflag |= CRTSCTS;
    if ((dcb.Flags & DCB_fOutX) != 0) mode.iflag |= IXON;
    if ((dcb.Flags & DCB_fInX) != 0) mode.iflag |= IXOFF;
    mode.vstart = static_cast<unsigned char>(dcb.XonChar);
    mode.vstop = static_cast<unsigned char>(dcb.XoffChar);

    // Reads never wait in the kernel: the transfer code keeps the time itself.
    mode.vmin = 0;
    mode.vtime = 0;
    mode.rate = dcb.BaudRate;
    return mode;
}

// DTR and RTS as the DCB asks: DISABLE lowers, anything else raises (under handshake
// the driver moves RTS itself once CRTSCTS is on).
DWORD ApplyModemLines(const CommDevice& device, const DCB& dcb) {
    if (!device.hasModemLines) return ERROR_SUCCESS;
    int raise = 0, lower = 0;
    (DtrControl(dcb) == DTR_CONTROL_DISABLE ? lower : raise) |= TIOCM_DTR;
    (RtsControl(dcb) == RTS_CONTROL_DISABLE ? lower : raise) |= TIOCM_RTS;
    if ((raise != 0 && ::ioctl(device.fd, TIOCMBIS, &raise) != 0) ||
        (lower != 0 && ::ioctl(device.fd, TIOCMBIC, &lower) != 0)) {
        if (errno != ENOTTY && errno != EINVAL) return ErrorFromErrno(errno);
    }
    return ERROR_SUCCESS;
}

} // namespace

DCB DcbFromLineMode(const LineMode& mode) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = mode.rate;
    // No flow control is taken over: a fresh Linux terminal has IXON on as part of its
    // cooked mode, not because anyone asked for it.
    dcb.Flags = DCB_fBinary | (DTR_CONTROL_ENABLE << DCB_fDtrControlShift) |
                (RTS_CONTROL_ENABLE << DCB_fRtsControlShift);

    switch (mode.cflag & CSIZE) {
    case CS5:
        dcb.ByteSize = 5;
        break;
    case CS6:
        dcb.ByteSize = 6;
        break;
    case CS7:
        dcb.ByteSize = 7;
        break;
    default:
        dcb.ByteSize = 8;
        break;
    }
    if ((mode.cflag & PARENB) == 0)
        dcb.Parity = NOPARITY;
    else if ((mode.cflag & CMSPAR) != 0)
        dcb.Parity = (mode.cflag & PARODD) != 0 ? MARKPARITY : SPACEPARITY;
    else
        dcb.Parity = (mode.cflag & PARODD) != 0 ? ODDPARITY : EVENPARITY;
    dcb.StopBits = (mode.cflag & CSTOPB) != 0 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.XonChar = static_cast<char>(mode.vstart);
    dcb.XoffChar = static_cast<char>(mode.vstop);
    return dcb;
}

namespace {

bool SameMode(const LineMode& a, const LineMode& b) {
    return a.iflag == b.iflag && a.oflag == b.oflag && a.cflag == b.cflag && a.lflag == b.lflag &&
           a.vmin == b.vmin && a.vtime == b.vtime && a.vstart == b.vstart &&
           a.vstop == b.vstop && a.rate == b.rate;
}

// device.mutex held; previous is the mode the device has now.
DWORD ApplyLocked(CommDevice& device, const DCB& dcb, const LineMode& previous, bool skipSame) {
    const LineMode wanted = ModeFromDcb(previous, dcb);
    // Once open, only this code changes the mode (the open is exclusive): a DCB that
    // changes nothing of it needs no write.
    if (!skipSame || !SameMode(wanted, previous)) {
        if (const int err = SetLineMode(device.fd, wanted); err != 0) return ErrorFromErrno(err);
        // Drivers take a rate they cannot run and quietly keep another: check what holds
        // now. The rate the device already ran needs no check.
        if (dcb.BaudRate != previous.rate) {
            LineMode now;
            if (const int err = GetLineMode(device.fd, now); err != 0) return ErrorFromErrno(err);
            if (!RateAccepted(dcb.BaudRate, now.rate)) {
                SetLineMode(device.fd, previous);
                return ERROR_INVALID_PARAMETER;
            }
        }
    }
    if (const DWORD err = ApplyModemLines(device, dcb); err != ERROR_SUCCESS) return err;
    device.dcb = dcb;
    return ERROR_SUCCESS;
}

} // namespace

DWORD ApplyCommState(CommDevice& device, const DCB& dcb) {
    if (!IsValid(dcb)) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(device.mutex);
    // Read every time: it also tells a device that has gone away.
    LineMode previous;
    if (const int err = GetLineMode(device.fd, previous); err != 0) return ErrorFromErrno(err);
    return ApplyLocked(device, dcb, previous, true);
}

DWORD ApplyCommState(CommDevice& device, const DCB& dcb, const LineMode& current) {
    if (!IsValid(dcb)) return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(device.mutex);
    // Always written: the input rate, which LineMode does not carry, is made equal too.
    return ApplyLocked(device, dcb, current, false);
}

} // namespace winapi_linux

using namespace winapi_linux;

BOOL SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    // Linux cannot resize its queues; the sizes only scale the 80 %-full event. The line
    // discipline never holds more than kLinuxInputQueueSize bytes, so a larger input size
    // would make that event unreachable. Zero keeps the size as it was.
    std::lock_guard lock(device->mutex);
    if (dwInQueue != 0) device->inQueueSize = std::min(dwInQueue, kLinuxInputQueueSize);
    if (dwOutQueue != 0) device->outQueueSize = dwOutQueue;
    return TRUE;
}

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    if (lpDCB == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(device->mutex);
    *lpDCB = device->dcb;
    lpDCB->DCBlength = sizeof(DCB);
    return TRUE;
}

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    const DWORD err = lpDCB == nullptr ? ERROR_INVALID_PARAMETER : ApplyCommState(*device, *lpDCB);
    if (err != ERROR_SUCCESS) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    if (lpCommTimeouts == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(device->mutex);
    *lpCommTimeouts = device->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    // Windows refuses "return at once" and "wait forever" in one: all three read values MAXDWORD.
    if (lpCommTimeouts == nullptr || (lpCommTimeouts->ReadIntervalTimeout == MAXDWORD &&
                                      lpCommTimeouts->ReadTotalTimeoutMultiplier == MAXDWORD &&
                                      lpCommTimeouts->ReadTotalTimeoutConstant == MAXDWORD)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(device->mutex);
    device->timeouts = *lpCommTimeouts;
    return TRUE;
}
