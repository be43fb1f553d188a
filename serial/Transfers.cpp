// Overlapped reads and writes against caller-owned transfer records.
#include "BCPort.h"

#include <cstdlib>
#include <cstring>
#include <new>

void CreateTransfer(PPortTransfer& Async) {
    auto* record = new TPortTransfer{};
    record->Overlapped.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    if (record->Overlapped.hEvent == nullptr) {
        delete record;
        throw std::bad_alloc();
    }
    record->Staged = nullptr;
    record->StagedSize = 0;
    Async = record;
}

void ReleaseTransfer(PPortTransfer& Async) {
    if (Async == nullptr) return;
    CloseHandle(Async->Overlapped.hEvent);
    std::free(Async->Staged);
    delete Async;
    Async = nullptr;
}

void StageTransfer(TTransferDirection Direction, const void* Source, int Count, PPortTransfer Async) {
    Async->Direction = Direction;
    std::free(Async->Staged);
    Async->Staged = nullptr;
    Async->StagedSize = 0;
    if (Count > 0) {
        Async->Staged = std::malloc(static_cast<std::size_t>(Count));
        if (Async->Staged == nullptr) throw std::bad_alloc();
        std::memcpy(Async->Staged, Source, static_cast<std::size_t>(Count));
    }
    Async->StagedSize = Count;
}

int TBComPort::WriteData(const void* Buffer, int Count, PPortTransfer& Async) {
    if (Async == nullptr) RaiseComPort(5);
    if (!isOpen_) RaiseComPort(3); // no device behind a closed port
    StageTransfer(tdWrite, Buffer, Count, Async);
    DWORD written = 0;
    if (!WriteFile(device_, Async->Staged, static_cast<DWORD>(Count < 0 ? 0 : Count), &written,
                   &Async->Overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        RaiseComPort(3);
    return static_cast<int>(written);
}

int TBComPort::ReadData(void* Buffer, int Count, PPortTransfer& Async) {
    if (Async == nullptr) RaiseComPort(5);
    if (!isOpen_) RaiseComPort(4);
    Async->Direction = tdRead;
    DWORD read = 0;
    if (!ReadFile(device_, Buffer, static_cast<DWORD>(Count < 0 ? 0 : Count), &read,
                  &Async->Overlapped) &&
        GetLastError() != ERROR_IO_PENDING)
        RaiseComPort(4);
    return static_cast<int>(read);
}

int TBComPort::AwaitTransfer(PPortTransfer& Async) {
    if (Async == nullptr) RaiseComPort(5);
    DWORD transferred = 0;
    if (isOpen_ && WaitForSingleObject(Async->Overlapped.hEvent, INFINITE) == WAIT_OBJECT_0 &&
        GetOverlappedResult(device_, &Async->Overlapped, &transferred, FALSE))
        return static_cast<int>(transferred);
    RaiseComPort(Async->Direction == tdRead ? 4 : 3);
}

bool TBComPort::TransferDone(PPortTransfer Async) {
    if (Async == nullptr) RaiseComPort(5);
    if (!isOpen_) RaiseComPort(7);
    DWORD transferred = 0;
    if (GetOverlappedResult(device_, &Async->Overlapped, &transferred, FALSE)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING || error == ERROR_IO_INCOMPLETE) return false;
    RaiseComPort(7);
}
