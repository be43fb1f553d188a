// Creating, opening and closing the port, and the small line-control operations.
#include "BCPort.h"

#include <string>

TBComPort::TBComPort(TComponent* AOwner) : TComponent(AOwner) {
    SetComponentStyle(ComponentStyle() & ~csInheritable);
    watchedEvents_ = {peRxChar, peTxEmpty, peRing, peCTS, peDSR, peRLSD, peError, peRx80Full};
    eventPriority_ = tpNormal;
    timeouts_ = new TComTimeouts(this);
}

TBComPort::~TBComPort() {
    *alive_ = false;
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; the device is released below all the same.
    }
    // Close stops at a failing step (lowering a line, purging) and leaves the port open;
    // a port that is going away must not keep its thread or its device.
    if (isOpen_) {
        StopEvents();
        CloseDevice();
        isOpen_ = false;
    }
    delete timeouts_;
}

void TBComPort::OpenDevice() {
    const std::string path = "\\\\.\\" + port_;
    device_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (device_ == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) RaiseComPort(1);
        if (error == ERROR_ACCESS_DENIED) RaiseComPort(2);
        // Any other reason surfaces at the first settings push (message 10).
    }
}

void TBComPort::CloseDevice() {
    if (device_ != INVALID_HANDLE_VALUE) CloseHandle(device_);
    device_ = INVALID_HANDLE_VALUE;
}

bool TBComPort::Open() {
    if (isOpen_) return true;
    OpenDevice();
    isOpen_ = true;
    try {
        PushAllSettings();
        StartEvents();
    } catch (...) {
        CloseDevice();
        isOpen_ = false;
        throw;
    }
    return isOpen_;
}

bool TBComPort::Close() {
    if (!isOpen_) return true;
    SetDTRLine(false);
    SetRTSLine(false);
    AbortTransfers();
    StopEvents();
    CloseDevice();
    isOpen_ = false;
    return true;
}

void TBComPort::SetDTRLine(bool State) {
    if (!EscapeCommFunction(device_, State ? SETDTR : CLRDTR)) RaiseComPort(13);
}

void TBComPort::SetRTSLine(bool State) {
    if (!EscapeCommFunction(device_, State ? SETRTS : CLRRTS)) RaiseComPort(13);
}

void TBComPort::AbortTransfers() {
    if (!PurgeComm(device_, PURGE_TXABORT | PURGE_RXABORT)) RaiseComPort(6);
}

int TBComPort::BytesWaiting() {
    DWORD errors = 0;
    COMSTAT stat{};
    if (!ClearCommError(device_, &errors, &stat)) RaiseComPort(11);
    return static_cast<int>(stat.cbInQue);
}

TLineSignals TBComPort::LineSignals() {
    DWORD status = 0;
    if (!GetCommModemStatus(device_, &status)) RaiseComPort(12);
    TLineSignals signals;
    if (status & MS_CTS_ON) signals.Include(lsCTS);
    if (status & MS_DSR_ON) signals.Include(lsDSR);
    if (status & MS_RING_ON) signals.Include(lsRing);
    if (status & MS_RLSD_ON) signals.Include(lsRLSD);
    return signals;
}
