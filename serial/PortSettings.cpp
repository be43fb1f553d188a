// The port's settings: each setter stores and, while the port is open, pushes to the device.
#include "BCPort.h"

// ---- TComTimeouts ----

TComTimeouts::TComTimeouts(TBComPort* ComPort) : comPort_(ComPort) {}

void TComTimeouts::SetValue(int& Field, int Value) {
    if (Field == Value) return;
    Field = Value;
    comPort_->PushTimeouts();
}

void TComTimeouts::SetReadInterval(int Value) { SetValue(readInterval_, Value); }
void TComTimeouts::SetReadTotalMultiplier(int Value) { SetValue(readTotalMultiplier_, Value); }
void TComTimeouts::SetReadTotalConstant(int Value) { SetValue(readTotalConstant_, Value); }
void TComTimeouts::SetWriteTotalMultiplier(int Value) { SetValue(writeTotalMultiplier_, Value); }
void TComTimeouts::SetWriteTotalConstant(int Value) { SetValue(writeTotalConstant_, Value); }

void TComTimeouts::AssignTo(TPersistent* Dest) {
    if (auto* target = dynamic_cast<TComTimeouts*>(Dest)) {
        // A plain copy: the destination's port is not pushed here.
        target->readInterval_ = readInterval_;
        target->readTotalMultiplier_ = readTotalMultiplier_;
        target->readTotalConstant_ = readTotalConstant_;
        target->writeTotalMultiplier_ = writeTotalMultiplier_;
        target->writeTotalConstant_ = writeTotalConstant_;
        return;
    }
    TPersistent::AssignTo(Dest);
}

DWORD ClampTimeout(int Value) { return Value < 0 ? MAXDWORD : static_cast<DWORD>(Value); }

// ---- Property setters ----

void TBComPort::SetBaudRate(TBaudRate Value) {
    if (baudRate_ == Value) return;
    baudRate_ = Value;
    PushLineSettings();
}

void TBComPort::SetByteSize(TByteSize Value) {
    if (byteSize_ == Value) return;
    byteSize_ = Value;
    PushLineSettings();
}

void TBComPort::SetParity(TParity Value) {
    if (parity_ == Value) return;
    parity_ = Value;
    PushLineSettings();
}

void TBComPort::SetStopBits(TStopBits Value) {
    if (stopBits_ == Value) return;
    stopBits_ = Value;
    PushLineSettings();
}

// The comparison uses the assigned value before a positive odd one is lowered to even,
// so assigning 4095 while 4094 is stored pushes again.
void TBComPort::SetInBufSize(int Value) {
    if (inBufSize_ == Value) return;
    inBufSize_ = (Value > 0 && Value % 2 != 0) ? Value - 1 : Value;
    PushQueueSizes();
}

void TBComPort::SetOutBufSize(int Value) {
    if (outBufSize_ == Value) return;
    outBufSize_ = (Value > 0 && Value % 2 != 0) ? Value - 1 : Value;
    PushQueueSizes();
}

void TBComPort::SetPort(const std::string& Value) {
    if (isOpen_) RaiseComPort(14); // even for the current name
    port_ = Value;
}

void TBComPort::SetSyncMethod(TSyncMethod Value) {
    if (syncMethod_ == Value) return;
    if (isOpen_) RaiseComPort(14);
    syncMethod_ = Value;
}

void TBComPort::SetTimeouts(TPersistent* Value) {
    timeouts_->Assign(Value); // raises the cannot-assign error before anything changes
    PushTimeouts();
}

// ---- Pushing to the open device ----

void TBComPort::PushQueueSizes() {
    if (!isOpen_) return;
    if (!SetupComm(device_, static_cast<DWORD>(inBufSize_), static_cast<DWORD>(outBufSize_)))
        RaiseComPort(10);
}

void TBComPort::PushLineSettings() {
    if (!isOpen_) return;
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    // Only the fifteen known rates may be looked up; anything else is refused by the
    // device as an invalid setting rather than read from outside the table.
    dcb.BaudRate = baudRate_ < BaudRateValues.size() ? BaudRateValues[baudRate_] : 0;
    dcb.Flags = DCB_fBinary | (DTR_CONTROL_ENABLE << DCB_fDtrControlShift) |
                (RTS_CONTROL_ENABLE << DCB_fRtsControlShift);
    if (parity_ != paNone) dcb.Flags |= DCB_fParity;
    dcb.ByteSize = static_cast<BYTE>(byteSize_ + 5);
    dcb.Parity = static_cast<BYTE>(parity_);
    dcb.StopBits = static_cast<BYTE>(stopBits_);
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    if (!SetCommState(device_, &dcb)) RaiseComPort(8);
}

void TBComPort::PushTimeouts() {
    if (!isOpen_) return;
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = ClampTimeout(timeouts_->ReadInterval());
    t.ReadTotalTimeoutMultiplier = ClampTimeout(timeouts_->ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = ClampTimeout(timeouts_->ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = ClampTimeout(timeouts_->WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = ClampTimeout(timeouts_->WriteTotalConstant());
    if (!SetCommTimeouts(device_, &t)) RaiseComPort(9);
}

void TBComPort::PushAllSettings() {
    PushQueueSizes();
    PushLineSettings();
    PushTimeouts();
}
