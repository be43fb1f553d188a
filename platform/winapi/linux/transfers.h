// The overlapped reads, writes and event waits of one serial device.
//
// Every pending operation finishes in the background: a thread waiting for its event
// drives it (the engine is the event's ProgressHook), else the process's reactor does.
// All state is guarded by one mutex; the lock order is engine, then device, then reactor.
#pragma once

#include "comm_timeouts.h"
#include "device.h"
#include "events.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace winapi_linux {

class ModemWatch;

// One caller's OVERLAPPED with the event it names.
struct Request {
    OVERLAPPED* ov;
    std::shared_ptr<EventObject> event;
};

class TransferEngine final : public ProgressHook,
                             public std::enable_shared_from_this<TransferEngine> {
    struct Private {};

  public:
    // The device's engine, made on first use; null with the last error set when the
    // descriptors it needs cannot be had.
    static std::shared_ptr<TransferEngine> For(const std::shared_ptr<CommDevice>& device);

    TransferEngine(Private, const std::shared_ptr<CommDevice>& device);
    ~TransferEngine() override;
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    // Each returns TRUE when the operation ended at once (its event is signalled too),
    // else FALSE with the last error: ERROR_IO_PENDING when it runs on.
    BOOL Read(const Request& request, void* buffer, DWORD count, const COMMTIMEOUTS& timeouts,
              DWORD* done);
    BOOL Write(const Request& request, const void* data, DWORD count, const COMMTIMEOUTS& timeouts,
               DWORD* done);
    BOOL WaitEvent(const Request& request, DWORD* events);

    // Ends a pending wait with no events and forgets events seen so far.
    BOOL SetMask(DWORD mask);
    // PURGE_TXABORT / PURGE_RXABORT: pending writes / reads end as aborted.
    void Abort(DWORD purgeFlags);
    // PURGE_TXCLEAR / PURGE_RXCLEAR: empties the kernel's queues.
    BOOL Clear(DWORD purgeFlags);
    // The device is being closed: everything pending ends as aborted.
    void Close();

    int PollFd() const override { return epollFd_; }
    Clock::time_point NextDeadline() override;
    void Progress() override;
    void AddWaiter() override;
    void RemoveWaiter() override;
    void Observed() override;

  private:
    struct ReadOp {
        Request request;
        std::uint8_t* buffer;
        DWORD count;
        ReadPlan plan;
        DWORD done = 0;
        bool started = false;
        Clock::time_point totalEnd = Clock::time_point::max();
        Clock::time_point intervalEnd = Clock::time_point::max();
    };
    struct WriteOp {
        Request request;
        const std::uint8_t* data;
        DWORD count;
        std::optional<std::chrono::milliseconds> limit;
        DWORD done = 0;
        bool started = false;
        Clock::time_point end = Clock::time_point::max();
    };
    struct WaitOp {
        Request request;
        DWORD* events;
    };

    // Everything below runs with mutex_ held.
    bool InUse(const OVERLAPPED* ov) const;
    void Begin(const Request& request);
    void Finish(const Request& request, DWORD error, DWORD bytes);
    BOOL FailNow(const Request& request, DWORD error);
    BOOL FailBusy();
    BOOL Started(const Request& request, DWORD* bytes);
    void CloseLocked();
    void Pump(CommDevice& device, Clock::time_point now, bool harvest = true);
    void Harvest(CommDevice& device);
    void CheckArrivals(CommDevice& device);
    void ServeReads(Clock::time_point now);
    void ServeWrites(Clock::time_point now);
    void CheckTxEmpty(CommDevice& device, Clock::time_point now);
    void CompleteWait();
    void Raise(DWORD events) { happened_ |= events & mask_; }
    void Vanish();
    void EndAll(DWORD error);
    void UpdateInterest();
    Clock::time_point Deadline() const;
    void RaiseModemEvents(DWORD events);

    const std::weak_ptr<CommDevice> device_;
    const int fd_;
    const bool hasModemLines_;
    int epollFd_ = -1;
    std::uint64_t reactorId_ = 0;

    std::mutex mutex_;
    bool closed_ = false;
    bool vanished_ = false;
    std::deque<ReadOp> reads_;
    std::deque<WriteOp> writes_;
    std::optional<WaitOp> wait_;
    DWORD mask_ = 0;
    DWORD happened_ = 0;       // watched events not yet reported by a wait
    std::int64_t lastInq_ = 0; // input queue at the last look, less what we read since
    DWORD rx80Threshold_ = 0;
    bool above80_ = false;
    bool rxEdge_ = false;  // the device signalled input since reads last looked
    bool txEdge_ = false;  // ... room for output since writes last looked
    bool txCheck_ = false; // output written: EV_TXEMPTY once it has drained
    Clock::time_point txCheckAt_ = Clock::time_point::max();
    int lsrSupported_ = -1; // TIOCSERGETLSR: unknown, no, yes
    bool outWatched_ = false;
    int waiters_ = 0;
    // A WaitCommEvent just started: its thread nearly always waits for it next, so the
    // reactor is not switched on for it until that thread turns out not to (Observed) or
    // a waiter leaves. Written under mutex_, read without it by Observed.
    std::atomic<bool> watchDeferred_{false};
    bool reactorWatching_ = false;
    Clock::time_point scheduled_ = Clock::time_point::max();
    std::unique_ptr<ModemWatch> modem_;
};

} // namespace winapi_linux
