// The line's status and its control lines: error counters, queue fill, modem inputs,
// DTR, RTS and break.
#include "comm_internal.h"

#include <linux/serial.h> // struct serial_icounter_struct
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <utility>

namespace winapi_linux {
namespace {

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

bool Unsupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

} // namespace

bool RefreshLineErrors(CommDevice& device) {
    std::lock_guard lock(device.mutex);
    if (!device.hasErrorCounters || device.fd < 0) return false;
    serial_icounter_struct counts{};
    if (::ioctl(device.fd, TIOCGICOUNT, &counts) != 0) {
        if (Unsupported(errno)) device.hasErrorCounters = false;
        return false;
    }
    const std::array<int, 5> now = {counts.frame, counts.overrun, counts.parity, counts.brk,
                                    counts.buf_overrun};
    static constexpr DWORD kErrorBits[] = {CE_FRAME, CE_OVERRUN, CE_RXPARITY, CE_BREAK, CE_RXOVER};
    DWORD seen = 0;
    for (std::size_t i = 0; i < now.size(); ++i)
        if (now[i] != device.errorCounts[i])
            seen |= kErrorBits[i]; // counters may wrap: any change counts
    device.errorCounts = now;
    device.pendingErrors |= seen;
    return seen != 0;
}

} // namespace winapi_linux

using namespace winapi_linux;

BOOL ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    // Queried even when the caller does not want the counts: a vanished device must fail.
    int inQueue = 0, outQueue = 0;
    if (::ioctl(device->fd, TIOCINQ, &inQueue) != 0 ||
        ::ioctl(device->fd, TIOCOUTQ, &outQueue) != 0)
        return Fail(ErrorFromErrno(errno));

    RefreshLineErrors(*device);
    DWORD errors = 0;
    {
        std::lock_guard lock(device->mutex);
        errors = std::exchange(device->pendingErrors, 0);
    }
    if (lpErrors != nullptr) *lpErrors = errors;
    if (lpStat != nullptr) {
        lpStat->Flags = 0;
        lpStat->cbInQue = static_cast<DWORD>(inQueue > 0 ? inQueue : 0);
        lpStat->cbOutQue = static_cast<DWORD>(outQueue > 0 ? outQueue : 0);
    }
    return TRUE;
}

BOOL GetCommModemStatus(HANDLE hFile, LPDWORD lpModemStat) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    if (lpModemStat == nullptr) return Fail(ERROR_INVALID_PARAMETER);
    int lines = 0;
    // Without modem lines (pseudo-terminals) every input reads as off.
    if (device->hasModemLines && ::ioctl(device->fd, TIOCMGET, &lines) != 0) {
        if (!Unsupported(errno)) return Fail(ErrorFromErrno(errno));
        lines = 0;
    }
    DWORD status = 0;
    if ((lines & TIOCM_CTS) != 0) status |= MS_CTS_ON;
    if ((lines & TIOCM_DSR) != 0) status |= MS_DSR_ON;
    if ((lines & TIOCM_RNG) != 0) status |= MS_RING_ON;
    if ((lines & TIOCM_CAR) != 0) status |= MS_RLSD_ON;
    *lpModemStat = status;
    return TRUE;
}

BOOL EscapeCommFunction(HANDLE hFile, DWORD dwFunc) {
    const auto device = FindDevice(hFile);
    if (!device) return FALSE;
    int result = 0;
    switch (dwFunc) {
    case SETDTR:
    case CLRDTR:
    case SETRTS:
    case CLRRTS: {
        // Without modem lines there is nothing to move; the request still succeeds.
        if (!device->hasModemLines) return TRUE;
        const int bits = (dwFunc == SETDTR || dwFunc == CLRDTR) ? TIOCM_DTR : TIOCM_RTS;
        const bool raise = dwFunc == SETDTR || dwFunc == SETRTS;
        result = ::ioctl(device->fd, raise ? TIOCMBIS : TIOCMBIC, &bits);
        if (result != 0 && Unsupported(errno)) return TRUE;
        break;
    }
    case SETBREAK:
        result = ::ioctl(device->fd, TIOCSBRK);
        break;
    case CLRBREAK:
        result = ::ioctl(device->fd, TIOCCBRK);
        break;
    case SETXOFF: // transmit as if XOFF had been received
        result = ::tcflow(device->fd, TCOOFF);
        break;
    case SETXON:
        result = ::tcflow(device->fd, TCOON);
        break;
    default:
        return Fail(ERROR_INVALID_PARAMETER);
    }
    return result == 0 ? TRUE : Fail(ErrorFromErrno(errno));
}
