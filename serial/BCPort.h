// The serial port component: settings, opening and closing, overlapped transfers, the
// event thread and the list of the machine's serial ports. Toolkit-free: it needs only
// the Windows API subset (winapi.h) and the component framework (platform/vcl).
#pragma once

#include "Exception.h"
#include "HiddenWindow.h"
#include "Persistent.h"
#include "Strings.h"
#include "Thread.h"
#include "winapi.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// ---- Errors ----

class EComPort : public Exception {
public:
    using Exception::Exception;
};

// The fifteen texts, numbered 1 to 15 (index 0 is unused).
extern const std::array<const char*, 16> PortMessages;

// Raises EComPort with text number N.
[[noreturn]] void RaiseComPort(int N);

// ---- Small sets over enumerations ----

template <class E> class Set {
public:
    constexpr Set() = default;
    constexpr Set(std::initializer_list<E> elements) {
        for (E e : elements) Include(e);
    }
    constexpr void Include(E e) { bits_ |= Bit(e); }
    constexpr void Exclude(E e) { bits_ &= ~Bit(e); }
    constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr std::uint32_t Bits() const { return bits_; }
    constexpr bool operator==(const Set&) const = default;

private:
    static constexpr std::uint32_t Bit(E e) { return 1u << static_cast<unsigned>(e); }
    std::uint32_t bits_ = 0;
};

// ---- Settings ----

enum TBaudRate : std::uint8_t {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
    br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
inline constexpr std::array<DWORD, 15> BaudRateValues = {
    110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

enum TByteSize : std::uint8_t { bs5, bs6, bs7, bs8 };
enum TParity : std::uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::uint8_t { sb1, sb1_5, sb2 };
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };

enum TLineSignal : std::uint8_t { lsCTS, lsDSR, lsRing, lsRLSD };
using TLineSignals = Set<TLineSignal>;

// ---- Events ----

enum TPortEvent : std::uint8_t { peRxChar, peTxEmpty, peRing, peCTS, peDSR, peRLSD, peError, peRx80Full };
using TPortEvents = Set<TPortEvent>;

DWORD EventSetToCommMask(TPortEvents Events);
TPortEvents CommMaskToEventSet(DWORD Mask); // other mask bits are ignored

enum TComError : std::uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
using TComErrors = Set<TComError>;

using TComSignalEvent = std::function<void(TObject* Sender, bool State)>;
using TComErrorEvent = std::function<void(TObject* Sender, TComErrors Errors)>;
using TRxCharEvent = std::function<void(TObject* Sender, int Count)>;

inline constexpr UINT WM_PORTEVENT = WM_USER + 1;

// ---- Transfers ----

enum TTransferDirection : std::uint8_t { tdWrite = 0, tdRead = 1 };

struct TPortTransfer {
    OVERLAPPED Overlapped; // first, so that the record's address is also the block's
    TTransferDirection Direction;
    void* Staged;          // the record's own copy of the bytes being written, or null
    std::int32_t StagedSize;
};
using PPortTransfer = TPortTransfer*;

void CreateTransfer(PPortTransfer& Async);
void ReleaseTransfer(PPortTransfer& Async); // does nothing when Async holds no record
void StageTransfer(TTransferDirection Direction, const void* Source, int Count, PPortTransfer Async);

// ---- The port ----

class TBComPort;
class TComThread;

class TComTimeouts : public TPersistent {
public:
    explicit TComTimeouts(TBComPort* ComPort);
    std::string ClassName() const override { return "TComTimeouts"; }

    int ReadInterval() const { return readInterval_; }
    int ReadTotalMultiplier() const { return readTotalMultiplier_; }
    int ReadTotalConstant() const { return readTotalConstant_; }
    int WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    int WriteTotalConstant() const { return writeTotalConstant_; }
    void SetReadInterval(int Value);
    void SetReadTotalMultiplier(int Value);
    void SetReadTotalConstant(int Value);
    void SetWriteTotalMultiplier(int Value);
    void SetWriteTotalConstant(int Value);

protected:
    void AssignTo(TPersistent* Dest) override;

private:
    void SetValue(int& Field, int Value);

    TBComPort* comPort_;
    int readInterval_ = -1;
    int readTotalMultiplier_ = 0;
    int readTotalConstant_ = 0;
    int writeTotalMultiplier_ = 100;
    int writeTotalConstant_ = 1000;
};

// A negative timeout becomes 0xFFFFFFFF; zero and positive values pass unchanged.
DWORD ClampTimeout(int Value);

class TBComPort : public TComponent {
public:
    explicit TBComPort(TComponent* AOwner);
    ~TBComPort() override; // Close, then the timeouts object
    std::string ClassName() const override { return "TBComPort"; }

    bool Open();
    bool Close();
    bool IsOpen() const { return isOpen_; }

    void SetDTRLine(bool State);
    void SetRTSLine(bool State);
    void AbortTransfers();
    int BytesWaiting();
    TLineSignals LineSignals();

    int WriteData(const void* Buffer, int Count, PPortTransfer& Async);
    int ReadData(void* Buffer, int Count, PPortTransfer& Async);
    int AwaitTransfer(PPortTransfer& Async);
    bool TransferDone(PPortTransfer Async);

    // Published properties, in their stored order.
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate Value);
    TByteSize ByteSize() const { return byteSize_; }
    void SetByteSize(TByteSize Value);
    int InBufSize() const { return inBufSize_; }
    void SetInBufSize(int Value);
    int OutBufSize() const { return outBufSize_; }
    void SetOutBufSize(int Value);
    TParity Parity() const { return parity_; }
    void SetParity(TParity Value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& Value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod Value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits Value);
    TComTimeouts* Timeouts() const { return timeouts_; }
    void SetTimeouts(TPersistent* Value); // copies through Assign, then pushes

    // Handler slots. Where they run follows SyncMethod: the main thread (smThreadSync,
    // smWindowSync) or the event thread (smNone). A handler may close or even free its own
    // port: the rest of that batch is then dropped, the event thread is told to stop and
    // ends by itself without being waited for, and nothing deadlocks.
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComErrorEvent OnError;
    TNotifyEvent OnRing;
    TComSignalEvent OnRLSDChange;
    TNotifyEvent OnRx80Full;
    TRxCharEvent OnRxChar;
    TNotifyEvent OnTxEmpty;

    // Internal state that the event thread and tests look at.
    HANDLE Device() const { return device_; }
    HWND NotifyWindow() const { return notifyWindow_; }
    TPortEvents WatchedEvents() const { return watchedEvents_; }
    TThreadPriority EventPriority() const { return eventPriority_; }

private:
    friend class TComTimeouts;
    friend class TComThread;

    void OpenDevice();
    void CloseDevice();
    void PushQueueSizes();
    void PushLineSettings();
    void PushTimeouts();
    void PushAllSettings();
    void StartEvents();
    void StopEvents();

    // Raisers, called only by event delivery.
    void RunEvents(TPortEvents Happened);
    void PortWindowProc(TMessage& Message);
    void RaiseEvent(TPortEvent Event);
    void FireRxChar();
    void FireTxEmpty();
    void FireRing();
    void FireCTSChange();
    void FireDSRChange();
    void FireRLSDChange();
    void FireError();
    void FireRx80Full();

    bool isOpen_ = false;
    HANDLE device_ = INVALID_HANDLE_VALUE;
    TComThread* eventThread_ = nullptr;
    HWND notifyWindow_ = nullptr;
    TPortEvents watchedEvents_;
    TThreadPriority eventPriority_ = tpNormal;

    TBaudRate baudRate_ = br9600;
    TByteSize byteSize_ = bs8;
    int inBufSize_ = 2048;
    int outBufSize_ = 2048;
    TParity parity_ = paNone;
    std::string port_ = "COM2";
    TSyncMethod syncMethod_ = smThreadSync;
    TStopBits stopBits_ = sb1;
    TComTimeouts* timeouts_ = nullptr;
    // Cleared when the port is destroyed; delivery holds a copy to notice a handler that
    // freed the port it was called for.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

// The event thread of an open port: waits for line events and delivers each batch.
class TComThread : public TThread {
public:
    explicit TComThread(TBComPort* Port);
    ~TComThread() override; // SignalStop, then terminate and wait
    void SignalStop();
    // Stops the thread without waiting for it; it frees itself when it ends. Used when a
    // handler closes or frees its own port, where waiting would deadlock.
    void Retire();

protected:
    void Execute() override;

private:
    void WatchAndDeliver();
    void PostEvents(TPortEvents Happened);

    std::atomic<bool> retired_{false};
    TBComPort* owningPort_;
    // The port's way of delivery and its window, which cannot change while the port is
    // open; kept here so that a thread outliving its port (see Retire) never reads it.
    TSyncMethod syncMethod_;
    HWND notifyWindow_;
    TPortEvents happened_;
    HANDLE stopSignal_ = nullptr;
    HANDLE waitEvent_ = nullptr; // the wait's event; closed by Execute, or here if it never got there
};

// ---- Port list ----

// Replaces the contents of Ports with the sorted names of the machine's serial ports;
// raises message 15 (Ports untouched) when they cannot be read.
void ListSerialPorts(TStrings* Ports);
