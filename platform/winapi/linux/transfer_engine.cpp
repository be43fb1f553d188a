#include "transfers.h"

#include "modem_watch.h"
#include "reactor.h"

#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>
#include <system_error>

namespace winapi_linux {
namespace {

constexpr DWORD kModemEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
constexpr DWORD kLinuxInputQueue = 4096; // the line discipline never holds more

// Errors that mean the device is gone: a hung-up terminal, an unplugged adapter.
bool Gone(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

// Internal is the status the caller polls: everything else in the record (and the
// caller's buffer or event mask) is written before it, with release order.
void StoreStatus(OVERLAPPED* ov, ULONG_PTR status) {
    std::atomic_ref<ULONG_PTR>(ov->Internal).store(status, std::memory_order_release);
}

ULONG_PTR LoadStatus(OVERLAPPED* ov) {
    return std::atomic_ref<ULONG_PTR>(ov->Internal).load(std::memory_order_acquire);
}

} // namespace

std::shared_ptr<TransferEngine> TransferEngine::For(const std::shared_ptr<CommDevice>& device) {
    std::lock_guard lock(device->mutex);
    if (device->engine) return device->engine;
    try {
        auto engine = std::make_shared<TransferEngine>(Private{}, device);
        engine->reactorId_ = Reactor::Instance().Register(engine->epollFd_, engine);
        device->engine = engine;
        return engine;
    } catch (const std::system_error& e) {
        SetLastError(ErrorFromErrno(e.code().value()));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    return nullptr;
}

TransferEngine::TransferEngine(Private, const std::shared_ptr<CommDevice>& device)
    : device_(device), fd_(device->fd), hasModemLines_(device->hasModemLines) {
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
    // Edge-triggered: one wake-up per arrival, none for bytes that merely wait.
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLET;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd_, &ev) != 0) {
        const int err = errno;
        ::close(epollFd_);
        throw std::system_error(err, std::generic_category(), "epoll_ctl");
    }
}

TransferEngine::~TransferEngine() {
    std::unique_ptr<ModemWatch> retired;
    {
        std::lock_guard lock(mutex_);
        if (!closed_) CloseLocked();
        retired = std::move(modem_);
    }
    retired.reset(); // joins outside the lock: its thread takes the lock to raise events
    ::close(epollFd_);
}

// ---- starting and ending operations ----

void TransferEngine::Begin(const Request& request) {
    request.event->Reset();
    request.ov->InternalHigh = 0;
    StoreStatus(request.ov, STATUS_PENDING);
}

void TransferEngine::Finish(const Request& request, DWORD error, DWORD bytes) {
    request.event->ClearHook(this);
    request.ov->InternalHigh = bytes;
    StoreStatus(request.ov, error);
    // The caller may reuse the record as soon as it sees the status; it cannot start its
    // next operation on it before we let go of the lock, so this Set cannot hit that one.
    request.event->Set();
}

BOOL TransferEngine::FailNow(const Request& request, DWORD error) {
    // The event stays reset: a loop that waits for it after a refused start must block,
    // not spin on a stale signal.
    request.ov->InternalHigh = 0;
    StoreStatus(request.ov, error);
    SetLastError(error);
    return FALSE;
}

bool TransferEngine::InUse(const OVERLAPPED* ov) const {
    if (wait_ && wait_->request.ov == ov) return true;
    for (const ReadOp& op : reads_)
        if (op.request.ov == ov) return true;
    for (const WriteOp& op : writes_)
        if (op.request.ov == ov) return true;
    return false;
}

BOOL TransferEngine::Started(const Request& request, DWORD* bytes) {
    const ULONG_PTR status = LoadStatus(request.ov);
    if (status == STATUS_PENDING) {
        request.event->SetHook(shared_from_this());
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    if (bytes != nullptr) *bytes = static_cast<DWORD>(request.ov->InternalHigh);
    if (status != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(status));
        return FALSE;
    }
    return TRUE;
}

BOOL TransferEngine::Read(const Request& request, void* buffer, DWORD count,
                          const COMMTIMEOUTS& timeouts, DWORD* done) {
    const auto device = device_.lock();
    std::lock_guard lock(mutex_);
    if (InUse(request.ov)) return FailBusy();
    Begin(request);
    if (closed_ || !device) return FailNow(request, ERROR_INVALID_HANDLE);
    if (vanished_) return FailNow(request, ERROR_DEVICE_REMOVED);
    reads_.push_back(
        ReadOp{request, static_cast<std::uint8_t*>(buffer), count, PlanRead(timeouts, count)});
    Pump(*device, Clock::now(), false); // a fresh transfer tries the descriptor anyway
    return Started(request, done);
}

BOOL TransferEngine::Write(const Request& request, const void* data, DWORD count,
                           const COMMTIMEOUTS& timeouts, DWORD* done) {
    const auto device = device_.lock();
    std::lock_guard lock(mutex_);
    if (InUse(request.ov)) return FailBusy();
    Begin(request);
    if (closed_ || !device) return FailNow(request, ERROR_INVALID_HANDLE);
    if (vanished_) return FailNow(request, ERROR_DEVICE_REMOVED);
    writes_.push_back(WriteOp{request, static_cast<const std::uint8_t*>(data), count,
                              WriteLimit(timeouts, count)});
    Pump(*device, Clock::now(), false); // a fresh transfer tries the descriptor anyway
    return Started(request, done);
}

BOOL TransferEngine::WaitEvent(const Request& request, DWORD* events) {
    const auto device = device_.lock();
    std::lock_guard lock(mutex_);
    if (InUse(request.ov)) return FailBusy();
    Begin(request);
    if (closed_ || !device) return FailNow(request, ERROR_INVALID_HANDLE);
    // As on Windows: one wait at a time, and only with events to wait for.
    if (wait_ || mask_ == 0) return FailNow(request, ERROR_INVALID_PARAMETER);
    // A vanished device keeps the wait pending quietly until the mask changes or the
    // device is closed, so that a loop around it does not spin.
    wait_ = WaitOp{request, events};
    if (waiters_ == 0) watchDeferred_.store(true, std::memory_order_relaxed);
    Pump(*device, Clock::now());
    return Started(request, nullptr);
}

BOOL TransferEngine::FailBusy() {
    // The record belongs to an operation that is still running: leave it alone.
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL TransferEngine::SetMask(DWORD mask) {
    std::unique_ptr<ModemWatch> retired; // joined after the lock is gone: its thread takes it
    const auto device = device_.lock();
    std::lock_guard lock(mutex_);
    if (closed_ || !device) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Harvest(*device); // what happened before the change is not reported after it
    mask_ = mask;
    happened_ = 0;
    {
        std::lock_guard deviceLock(device->mutex);
        device->commMask = mask;
    }
    if (wait_) { // as on Windows: a pending wait ends, successfully, with no events
        *wait_->events = 0;
        Finish(wait_->request, ERROR_SUCCESS, sizeof(DWORD));
        wait_.reset();
    }
    if (!(mask & EV_TXEMPTY)) txCheck_ = false;
    const bool watchModem = hasModemLines_ && !vanished_ && (mask & kModemEvents) != 0;
    if (watchModem && !modem_) {
        try {
            modem_ = std::make_unique<ModemWatch>(
                fd_, [this](DWORD events) { RaiseModemEvents(events); });
        } catch (const std::system_error&) {
            // No thread to spare: the modem line events stay silent, the rest works.
        }
    } else if (!watchModem) {
        retired = std::move(modem_);
    }
    UpdateInterest();
    return TRUE;
}

void TransferEngine::Abort(DWORD purgeFlags) {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (purgeFlags & PURGE_TXABORT) {
        for (const WriteOp& op : writes_)
            Finish(op.request, ERROR_OPERATION_ABORTED, op.done);
        writes_.clear();
    }
    if (purgeFlags & PURGE_RXABORT) {
        for (const ReadOp& op : reads_)
            Finish(op.request, ERROR_OPERATION_ABORTED, op.done);
        reads_.clear();
    }
    UpdateInterest();
}

BOOL TransferEngine::Clear(DWORD purgeFlags) {
    const auto device = device_.lock();
    std::lock_guard lock(mutex_);
    if (closed_ || !device) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const bool rx = (purgeFlags & PURGE_RXCLEAR) != 0, tx = (purgeFlags & PURGE_TXCLEAR) != 0;
    if (!rx && !tx) return TRUE;
    Harvest(*device); // bytes that arrived before the purge were still an arrival
    if (::tcflush(fd_, rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH) != 0) {
        const int err = errno;
        if (Gone(err)) Vanish();
        UpdateInterest();
        SetLastError(ErrorFromErrno(err));
        return FALSE;
    }
    if (rx) {
        lastInq_ = 0;
        above80_ = false;
    }
    CompleteWait();
    UpdateInterest();
    return TRUE;
}

void TransferEngine::Close() {
    std::unique_ptr<ModemWatch> retired;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        CloseLocked();
        retired = std::move(modem_);
    }
}

void TransferEngine::CloseLocked() {
    closed_ = true;
    EndAll(ERROR_OPERATION_ABORTED);
    if (!vanished_) ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd_, nullptr);
    if (reactorId_ != 0) Reactor::Instance().Unregister(reactorId_, epollFd_);
    reactorId_ = 0;
}

void TransferEngine::EndAll(DWORD error) {
    for (const ReadOp& op : reads_)
        Finish(op.request, error, op.done);
    reads_.clear();
    for (const WriteOp& op : writes_)
        Finish(op.request, error, op.done);
    writes_.clear();
    if (wait_) {
        *wait_->events = 0;
        Finish(wait_->request, error, 0);
        wait_.reset();
    }
    txCheck_ = false;
}

void TransferEngine::Vanish() {
    if (vanished_) return;
    vanished_ = true;
    // Off the poll set: a hung-up terminal stays "ready" and must not wake anyone again.
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd_, nullptr);
    EndAll(ERROR_DEVICE_REMOVED);
    happened_ = 0;
}

void TransferEngine::RaiseModemEvents(DWORD events) {
    std::lock_guard lock(mutex_);
    if (closed_ || vanished_) return;
    Raise(events);
    CompleteWait();
    UpdateInterest();
}

// ---- driving ----

void TransferEngine::Progress() {
    const auto device = device_.lock();
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (!device) { // destroyed without a close: nothing can progress any more
        CloseLocked();
        return;
    }
    Pump(*device, Clock::now());
}

void TransferEngine::Pump(CommDevice& device, Clock::time_point now, bool harvest) {
    // Readiness left unharvested stays queued in epollFd_ (which then stays readable), so
    // arrivals it stands for are still reported, by the next Progress.
    if (harvest) Harvest(device);
    if (!vanished_) ServeReads(now);
    if (!vanished_) ServeWrites(now);
    if (!vanished_) CheckTxEmpty(device, now);
    CompleteWait();
    UpdateInterest();
}

void TransferEngine::Harvest(CommDevice& device) {
    if (vanished_ || closed_) return;
    epoll_event events[4];
    int n;
    while ((n = ::epoll_wait(epollFd_, events, 4, 0)) < 0 && errno == EINTR) {
    }
    std::uint32_t flags = 0;
    for (int i = 0; i < n; ++i)
        flags |= events[i].events;
    if (flags & (EPOLLHUP | EPOLLERR)) {
        Vanish();
        return;
    }
    if (flags & EPOLLIN) {
        rxEdge_ = true;
        CheckArrivals(device);
    }
    if (flags & EPOLLOUT) txEdge_ = true;
}

void TransferEngine::CheckArrivals(CommDevice& device) {
    int queued = 0;
    if (::ioctl(fd_, TIOCINQ, &queued) != 0) {
        if (Gone(errno)) Vanish();
        return;
    }
    // The edge alone is not proof of new bytes (a settings change wakes readers too):
    // only a queue that grew beyond what we left in it is an arrival.
    const bool arrived = queued > lastInq_;
    lastInq_ = queued;
    {
        std::lock_guard lock(device.mutex);
        const DWORD size = device.inQueueSize != 0 ? std::min(device.inQueueSize, kLinuxInputQueue)
                                                   : kLinuxInputQueue;
        rx80Threshold_ = std::max<DWORD>(1, size * 8 / 10);
    }
    if (arrived) {
        Raise(EV_RXCHAR);
        if ((mask_ & EV_ERR) && RefreshLineErrors(device)) Raise(EV_ERR);
    }
    const bool above = static_cast<DWORD>(queued) >= rx80Threshold_;
    if (above && !above80_) Raise(EV_RX80FULL);
    above80_ = above;
}

void TransferEngine::ServeReads(Clock::time_point now) {
    while (!reads_.empty()) {
        ReadOp& op = reads_.front();
        bool fresh = false;
        if (!op.started) { // limits run from when a read becomes the current one
            op.started = fresh = true;
            if (op.plan.total) op.totalEnd = now + *op.plan.total;
        }
        const bool late = now >= op.totalEnd || now >= op.intervalEnd;
        if (op.done < op.count && (fresh || rxEdge_ || late)) {
            const ssize_t got = ::read(fd_, op.buffer + op.done, op.count - op.done);
            if (got > 0) {
                op.done += static_cast<DWORD>(got);
                lastInq_ -= got;
                if (lastInq_ < static_cast<std::int64_t>(rx80Threshold_)) above80_ = false;
                if (op.plan.interval) op.intervalEnd = now + *op.plan.interval;
            } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
                const int err = errno;
                if (Gone(err)) {
                    Vanish();
                    return;
                }
                Finish(op.request, ErrorFromErrno(err), op.done);
                reads_.pop_front();
                continue;
            }
        }
        const bool ends = op.done == op.count || op.plan.atOnce || late ||
                          (op.done > 0 && (op.plan.firstByteEnds || (fresh && op.plan.anyAtStart)));
        if (!ends) break;
        // A limit that runs out is no error: the read ends with the bytes it has.
        Finish(op.request, ERROR_SUCCESS, op.done);
        reads_.pop_front();
    }
    rxEdge_ = false;
}

void TransferEngine::ServeWrites(Clock::time_point now) {
    while (!writes_.empty()) {
        WriteOp& op = writes_.front();
        bool fresh = false;
        if (!op.started) {
            op.started = fresh = true;
            if (op.limit) op.end = now + *op.limit;
        }
        const bool late = now >= op.end;
        if (op.done < op.count && (fresh || txEdge_ || late)) {
            const ssize_t put = ::write(fd_, op.data + op.done, op.count - op.done);
            if (put > 0) {
                op.done += static_cast<DWORD>(put);
            } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
                const int err = errno;
                if (Gone(err)) {
                    Vanish();
                    return;
                }
                Finish(op.request, ErrorFromErrno(err), op.done);
                writes_.pop_front();
                continue;
            }
        }
        if (op.done < op.count && !late) break;
        // As the Win32 documentation of communication time-outs says, a write that runs out
        // of time is no error: it succeeds with the count of bytes that went out.
        if (op.done > 0 && (mask_ & EV_TXEMPTY)) {
            txCheck_ = true;
            txCheckAt_ = now;
        }
        Finish(op.request, ERROR_SUCCESS, op.done);
        writes_.pop_front();
    }
    txEdge_ = false;
}

void TransferEngine::CheckTxEmpty(CommDevice& device, Clock::time_point now) {
    if (!txCheck_ || !writes_.empty() || now < txCheckAt_) return;
    int queued = 0;
    if (::ioctl(fd_, TIOCOUTQ, &queued) != 0) {
        if (Gone(errno)) Vanish();
        txCheck_ = false;
        return;
    }
    bool empty = queued == 0;
    if (empty && lsrSupported_ != 0) { // the last character may still be in the shift register
        int lsr = 0;
        if (::ioctl(fd_, TIOCSERGETLSR, &lsr) == 0) {
            lsrSupported_ = 1;
            empty = (lsr & TIOCSER_TEMT) != 0;
        } else if (Gone(errno)) {
            Vanish();
            return;
        } else {
            lsrSupported_ = 0;
        }
    }
    if (empty) {
        txCheck_ = false;
        Raise(EV_TXEMPTY);
        return;
    }
    // Nothing signals "drained": look again when the queue should have gone out.
    DWORD rate;
    {
        std::lock_guard lock(device.mutex);
        rate = device.dcb.BaudRate != 0 ? device.dcb.BaudRate : 9600;
    }
    const std::int64_t ms =
        std::clamp<std::int64_t>(std::int64_t{queued} * 10 * 1000 / rate + 1, 1, 1000);
    txCheckAt_ = now + std::chrono::milliseconds(ms);
}

void TransferEngine::CompleteWait() {
    if (!wait_ || (happened_ & mask_) == 0) return;
    *wait_->events = happened_ & mask_;
    happened_ = 0;
    Finish(wait_->request, ERROR_SUCCESS, sizeof(DWORD));
    wait_.reset();
}

// ---- who watches ----

Clock::time_point TransferEngine::Deadline() const {
    Clock::time_point next = Clock::time_point::max();
    if (!reads_.empty() && reads_.front().started)
        next = std::min({next, reads_.front().totalEnd, reads_.front().intervalEnd});
    if (!writes_.empty() && writes_.front().started) next = std::min(next, writes_.front().end);
    if (txCheck_) next = std::min(next, txCheckAt_);
    return next;
}

void TransferEngine::UpdateInterest() {
    if (closed_) return;
    // Room for output matters only while a write waits for it.
    const bool wantOut = !writes_.empty() && !vanished_;
    if (wantOut != outWatched_) {
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLET | (wantOut ? EPOLLOUT : 0u);
        ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd_, &ev);
        outWatched_ = wantOut;
    }
    // The reactor watches only what is pending and has no thread waiting for it.
    if (!wait_ || waiters_ > 0) watchDeferred_.store(false, std::memory_order_relaxed);
    const bool transfers = !reads_.empty() || !writes_.empty();
    const bool watch = waiters_ == 0 &&
                       (transfers || (wait_ && !watchDeferred_.load(std::memory_order_relaxed)));
    if (watch != reactorWatching_) {
        Reactor::Instance().Watch(reactorId_, epollFd_, watch);
        reactorWatching_ = watch;
    }
    const Clock::time_point deadline = Deadline();
    if (deadline != scheduled_) {
        Reactor::Instance().Schedule(reactorId_, deadline);
        scheduled_ = deadline;
    }
}

Clock::time_point TransferEngine::NextDeadline() {
    std::lock_guard lock(mutex_);
    return closed_ ? Clock::time_point::max() : Deadline();
}

void TransferEngine::AddWaiter() {
    std::lock_guard lock(mutex_);
    ++waiters_;
    UpdateInterest();
}

void TransferEngine::Observed() {
    if (!watchDeferred_.load(std::memory_order_relaxed)) return; // the common case: no lock
    std::lock_guard lock(mutex_);
    watchDeferred_.store(false, std::memory_order_relaxed);
    UpdateInterest();
}

void TransferEngine::RemoveWaiter() {
    std::lock_guard lock(mutex_);
    --waiters_;
    UpdateInterest();
}

} // namespace winapi_linux
