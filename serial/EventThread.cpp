// The event thread: waits for line events on the open device and delivers each batch to
// the handler slots, on the main thread (hand-over or hidden window) or on itself.
#include "Application.h"
#include "BCPort.h"

#include <memory>
#include <utility>

namespace {

struct EventBit {
    TPortEvent event;
    DWORD mask;
};

// Also the order in which one batch is delivered.
constexpr EventBit DeliveryOrder[] = {
    {peError, EV_ERR},   {peRxChar, EV_RXCHAR}, {peTxEmpty, EV_TXEMPTY}, {peRing, EV_RING},
    {peCTS, EV_CTS},     {peDSR, EV_DSR},       {peRLSD, EV_RLSD},       {peRx80Full, EV_RX80FULL},
};

// The port whose events this thread is delivering right now, if any. A handler that
// closes or frees its own port is seen through it: waiting for the event thread there
// would wait for the very delivery that is running.
thread_local const TBComPort* DeliveringPort = nullptr;

class DeliveryScope {
public:
    explicit DeliveryScope(const TBComPort* port) : previous_(std::exchange(DeliveringPort, port)) {}
    ~DeliveryScope() { DeliveringPort = previous_; }
    DeliveryScope(const DeliveryScope&) = delete;
    DeliveryScope& operator=(const DeliveryScope&) = delete;

private:
    const TBComPort* previous_;
};

} // namespace

DWORD EventSetToCommMask(TPortEvents Events) {
    DWORD mask = 0;
    for (const EventBit& bit : DeliveryOrder)
        if (Events.Contains(bit.event)) mask |= bit.mask;
    return mask;
}

TPortEvents CommMaskToEventSet(DWORD Mask) {
    TPortEvents events;
    for (const EventBit& bit : DeliveryOrder)
        if (Mask & bit.mask) events.Include(bit.event);
    return events;
}

// ---- Starting and stopping delivery (the last step of Open, a step of Close) ----

void TBComPort::StartEvents() {
    if (syncMethod_ == smWindowSync)
        notifyWindow_ = AllocateHWnd([this](TMessage& Message) { PortWindowProc(Message); });
    try {
        eventThread_ = new TComThread(this);
    } catch (...) {
        // Nothing was started: a later Close must find no thread and no window to stop.
        if (notifyWindow_ != nullptr) DeallocateHWnd(notifyWindow_);
        notifyWindow_ = nullptr;
        throw;
    }
}

void TBComPort::StopEvents() {
    TComThread* thread = std::exchange(eventThread_, nullptr);
    if (DeliveringPort == this && thread != nullptr)
        thread->Retire(); // closed from one of its own handlers: the thread ends by itself
    else
        delete thread;
    if (notifyWindow_ != nullptr) DeallocateHWnd(std::exchange(notifyWindow_, nullptr));
}

// ---- The thread ----

TComThread::TComThread(TBComPort* Port)
    : TThread(true), owningPort_(Port), syncMethod_(Port->SyncMethod()),
      notifyWindow_(Port->NotifyWindow()) {
    stopSignal_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stopSignal_ == nullptr) throw EComPort("Не удалось создать поток событий порта");
    SetPriority(Port->EventPriority());
    SetCommMask(Port->Device(), EventSetToCommMask(Port->WatchedEvents()));
    try {
        Start();
    } catch (...) {
        CloseHandle(stopSignal_);
        throw;
    }
}

TComThread::~TComThread() {
    SignalStop();
    TerminateAndWait();
    // A thread that an exception ended skipped its closing steps; its events are
    // released here, now that nothing can wait on them any more.
    if (waitEvent_ != nullptr) CloseHandle(waitEvent_);
    if (stopSignal_ != nullptr) CloseHandle(stopSignal_);
}

void TComThread::Retire() {
    retired_ = true;
    SignalStop();
}

void TComThread::SignalStop() {
    SetEvent(stopSignal_);
    Sleep(0);
}

void TComThread::Execute() {
    try {
        WatchAndDeliver();
    } catch (...) {
        if (!retired_) throw; // ends the thread; its destructor releases the events
    }
    if (retired_) delete this; // nobody else will: its port let it go
}

void TComThread::WatchAndDeliver() {
    HANDLE device = owningPort_->Device();
    OVERLAPPED overlapped{};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    waitEvent_ = overlapped.hEvent;
    const HANDLE waitList[2] = {stopSignal_, overlapped.hEvent};
    // Outlives the loop: a wait still pending when the stop comes writes its mask here
    // when SetCommMask(0) ends it below.
    DWORD mask = 0;
    DWORD result;
    do {
        if (!WaitCommEvent(device, &mask, &overlapped) && GetLastError() != ERROR_IO_PENDING) {
            // The wait could not even start (the device is gone): only the stop signal can
            // end this thread now, and waiting on the stale wait event would spin.
            result = WaitForSingleObject(stopSignal_, INFINITE);
            break;
        }
        result = WaitForMultipleObjects(2, waitList, FALSE, INFINITE);
        DWORD transferred = 0;
        if (result == WAIT_OBJECT_0 + 1 &&
            GetOverlappedResult(device, &overlapped, &transferred, FALSE)) {
            happened_ = CommMaskToEventSet(mask);
            switch (syncMethod_) {
            case smThreadSync: {
                const TPortEvents batch = happened_;
                TBComPort* port = owningPort_;
                Synchronize([port, batch] { port->RunEvents(batch); });
                break;
            }
            case smWindowSync:
                PostEvents(happened_);
                break;
            case smNone:
                owningPort_->RunEvents(happened_);
                break;
            }
        }
    } while (result == WAIT_OBJECT_0 + 1);

    SetCommMask(device, 0);
    PurgeComm(device, PURGE_TXCLEAR | PURGE_RXCLEAR);
    CloseHandle(std::exchange(waitEvent_, nullptr));
    CloseHandle(std::exchange(stopSignal_, nullptr));
}

// ---- Delivery ----

void TBComPort::RunEvents(TPortEvents Happened) {
    const std::shared_ptr<const std::atomic<bool>> alive = alive_;
    DeliveryScope scope(this);
    for (const EventBit& bit : DeliveryOrder) {
        // A handler may have closed or freed the port: the rest of the batch is dropped.
        if (!*alive || !isOpen_) return;
        if (Happened.Contains(bit.event)) RaiseEvent(bit.event);
    }
}

// Runs on the event thread, which may outlive its port's hold on it (a handler that closed
// the port): it sends to the window it was given at start, and a window that is gone
// takes no messages.
void TComThread::PostEvents(TPortEvents Happened) {
    for (const EventBit& bit : DeliveryOrder)
        if (Happened.Contains(bit.event)) SendMessageA(notifyWindow_, WM_PORTEVENT, bit.mask, 0);
}

void TBComPort::PortWindowProc(TMessage& Message) {
    if (Message.Msg != WM_PORTEVENT) {
        Message.Result = DefWindowProcA(notifyWindow_, Message.Msg, Message.WParam, Message.LParam);
        return;
    }
    Message.Result = 0;
    DeliveryScope scope(this);
    GuardHandler(this, [&] {
        // Let the event thread go on to its next message or wait while the handler runs.
        if (InSendMessage()) ReplyMessage(0);
        if (!isOpen_) return;
        for (const EventBit& bit : DeliveryOrder)
            if (Message.WParam == bit.mask) {
                RaiseEvent(bit.event);
                return;
            }
    });
}

// The raisers call a copy of the slot: a handler that frees its port (and so the slot)
// keeps its own captures for the rest of its run.
void TBComPort::RaiseEvent(TPortEvent Event) {
    switch (Event) {
    case peError: FireError(); break;
    case peRxChar: FireRxChar(); break;
    case peTxEmpty: FireTxEmpty(); break;
    case peRing: FireRing(); break;
    case peCTS: FireCTSChange(); break;
    case peDSR: FireDSRChange(); break;
    case peRLSD: FireRLSDChange(); break;
    case peRx80Full: FireRx80Full(); break;
    }
}

void TBComPort::FireRxChar() {
    const int count = BytesWaiting();
    if (count <= 0) return;
    if (const TRxCharEvent handler = OnRxChar) handler(this, count);
}

void TBComPort::FireTxEmpty() {
    if (const TNotifyEvent handler = OnTxEmpty) handler(this);
}

void TBComPort::FireRing() {
    if (const TNotifyEvent handler = OnRing) handler(this);
}

void TBComPort::FireRx80Full() {
    if (const TNotifyEvent handler = OnRx80Full) handler(this);
}

void TBComPort::FireCTSChange() {
    if (const TComSignalEvent handler = OnCTSChange) handler(this, LineSignals().Contains(lsCTS));
}

void TBComPort::FireDSRChange() {
    if (const TComSignalEvent handler = OnDSRChange) handler(this, LineSignals().Contains(lsDSR));
}

void TBComPort::FireRLSDChange() {
    if (const TComSignalEvent handler = OnRLSDChange) handler(this, LineSignals().Contains(lsRLSD));
}

void TBComPort::FireError() {
    DWORD word = 0;
    COMSTAT stat{};
    if (!ClearCommError(device_, &word, &stat)) RaiseComPort(11);
    TComErrors errors;
    if (word & CE_FRAME) errors.Include(ceFrame);
    if ((word & CE_RXPARITY) && parity_ != paNone) errors.Include(ceRxParity);
    if (word & CE_OVERRUN) errors.Include(ceOverrun);
    if (word & CE_RXOVER) errors.Include(ceRxOver);
    if (word & CE_TXFULL) errors.Include(ceTxFull);
    if (word & CE_BREAK) errors.Include(ceBreak);
    if (word & CE_IOE) errors.Include(ceIO);
    if (word & CE_MODE) errors.Include(ceMode);
    if (errors.Empty()) return;
    if (const TComErrorEvent handler = OnError) handler(this, errors);
}
