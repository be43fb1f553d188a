// Event delivery by the event thread, for each way of reaching the handlers, against the
// fake device layer (which lets the test complete the thread's wait with any event mask).
#include "Application.h"
#include "BCPort.h"
#include "FakeComm.h"
#include "Pump.h"
#include "PtyPair.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// What the handlers saw, in order; safe to fill from the event thread (smNone).
struct Journal {
    std::mutex mutex;
    std::vector<std::string> entries;
    void Add(std::string s) {
        std::lock_guard lock(mutex);
        entries.push_back(std::move(s));
    }
    std::vector<std::string> Get() {
        std::lock_guard lock(mutex);
        return entries;
    }
    std::size_t Size() { return Get().size(); }
};

class EventTest : public ::testing::TestWithParam<TSyncMethod> {
protected:
    void SetUp() override {
        fake::Reset();
        port.SetSyncMethod(GetParam());
        port.OnError = [this](TObject*, TComErrors e) { journal.Add("error " + std::to_string(e.Bits())); };
        port.OnRxChar = [this](TObject*, int count) { journal.Add("rx " + std::to_string(count)); };
        port.OnTxEmpty = [this](TObject*) { journal.Add("txempty"); };
        port.OnRing = [this](TObject*) { journal.Add("ring"); };
        port.OnCTSChange = [this](TObject*, bool s) { journal.Add(std::string("cts ") + (s ? "on" : "off")); };
        port.OnDSRChange = [this](TObject*, bool s) { journal.Add(std::string("dsr ") + (s ? "on" : "off")); };
        port.OnRLSDChange = [this](TObject*, bool s) { journal.Add(std::string("rlsd ") + (s ? "on" : "off")); };
        port.OnRx80Full = [this](TObject*) { journal.Add("rx80full"); };
        Application->ShowErrorBox = [this](const std::string&, const std::string& text) {
            journal.Add("box " + text);
        };
        ASSERT_TRUE(port.Open());
        ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
    }
    void TearDown() override {
        port.Close();
        Application->ShowErrorBox = nullptr;
        EXPECT_EQ(fake::Lock()->openDevices, 0);
    }

    // Completes the thread's wait and serves the main thread until n entries have arrived
    // and the thread waits again (or has ended).
    void Deliver(DWORD mask, std::size_t n) {
        ASSERT_TRUE(fake::CompleteCommWait(mask));
        EXPECT_TRUE(PumpUntil([&] { return journal.Size() >= n; }));
    }

    TBComPort port{nullptr};
    Journal journal;
};

TEST_P(EventTest, BatchArrivesInFixedOrder) {
    {
        auto s = fake::Lock();
        s->incoming = {1, 2, 3, 4};
        s->errorWord = CE_FRAME | CE_OVERRUN;
        s->modemStatus = MS_CTS_ON | MS_RLSD_ON;
    }
    Deliver(EV_RX80FULL | EV_RLSD | EV_DSR | EV_CTS | EV_RING | EV_TXEMPTY | EV_RXCHAR | EV_ERR, 8);
    const TComErrors frameOverrun{ceFrame, ceOverrun};
    EXPECT_EQ(journal.Get(),
              (std::vector<std::string>{"error " + std::to_string(frameOverrun.Bits()), "rx 4",
                                        "txempty", "ring", "cts on", "dsr off", "rlsd on", "rx80full"}));
    // The thread waits again and delivers the next batch.
    ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
    Deliver(EV_TXEMPTY, 9);
    EXPECT_EQ(journal.Get().back(), "txempty");
}

TEST_P(EventTest, EmptyQueueAndIgnoredErrorsCallNoHandler) {
    // A receive event with nothing waiting, a parity error without parity, and error bits
    // outside the known ones: no handler runs, but the thread goes on.
    fake::Lock()->errorWord = CE_RXPARITY | 0x0020;
    ASSERT_TRUE(fake::CompleteCommWait(EV_RXCHAR | EV_ERR));
    ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
    EXPECT_TRUE(fake::Called("ClearCommError")); // asked even with no handler to call
    EXPECT_TRUE(journal.Get().empty());
}

TEST_P(EventTest, ParityErrorReportedOnlyWithParity) {
    ASSERT_TRUE(port.Close());
    port.SetParity(paEven);
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
    fake::Lock()->errorWord = CE_RXPARITY | CE_BREAK;
    Deliver(EV_ERR, 1);
    EXPECT_EQ(journal.Get(), std::vector<std::string>{"error " + std::to_string(TComErrors{ceRxParity, ceBreak}.Bits())});
}

TEST_P(EventTest, StopWinsOverALateEventAndCloseNeverHangs) {
    ASSERT_TRUE(port.Close());
    EXPECT_FALSE(fake::CompleteCommWait(EV_RXCHAR)); // the wait was ended by the close
    ServeMainThread();
    EXPECT_TRUE(journal.Get().empty());
}

TEST_P(EventTest, HandlerExceptionFollowsTheSyncMethod) {
    fake::Lock()->incoming = {5};
    port.OnRxChar = [this](TObject*, int) {
        journal.Add("rx raises");
        throw EComPort(PortMessages[4]);
    };
    Deliver(EV_RXCHAR | EV_TXEMPTY, 1);
    if (GetParam() == smWindowSync) {
        // Shown, and the rest of the batch still arrives; delivery goes on.
        EXPECT_TRUE(PumpUntil([&] { return journal.Size() >= 3; }));
        EXPECT_EQ(journal.Get(), (std::vector<std::string>{"rx raises", "box Ошибка чтения из порта.", "txempty"}));
        EXPECT_TRUE(PumpUntil(fake::CommWaitPending));
    } else {
        // Silent; the rest of the batch is abandoned and the thread ends.
        EXPECT_FALSE(PumpUntil(fake::CommWaitPending, std::chrono::milliseconds(200)));
        EXPECT_EQ(journal.Get(), std::vector<std::string>{"rx raises"});
        // Close still works, and a reopened port delivers again.
        ASSERT_TRUE(port.Close());
        port.OnRxChar = [this](TObject*, int count) { journal.Add("rx " + std::to_string(count)); };
        ASSERT_TRUE(port.Open());
        ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
        Deliver(EV_RXCHAR, 2);
        EXPECT_EQ(journal.Get().back(), "rx 1");
    }
}

std::string SyncMethodName(const ::testing::TestParamInfo<TSyncMethod>& info) {
    static const char* const names[] = {"ThreadSync", "WindowSync", "None"};
    return names[info.param];
}

INSTANTIATE_TEST_SUITE_P(AllSyncMethods, EventTest,
                         ::testing::Values(smThreadSync, smWindowSync, smNone), SyncMethodName);

// Handlers run on the main thread except with smNone.
TEST(EventThreads, HandlersRunWhereTheSyncMethodSays) {
    for (TSyncMethod method : {smThreadSync, smWindowSync, smNone}) {
        fake::Reset();
        TBComPort port(nullptr);
        port.SetSyncMethod(method);
        std::atomic<int> onMain{-1};
        port.OnTxEmpty = [&](TObject* sender) {
            EXPECT_EQ(sender, &port);
            onMain = IsMainThread() ? 1 : 0;
        };
        ASSERT_TRUE(port.Open());
        ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
        ASSERT_TRUE(fake::CompleteCommWait(EV_TXEMPTY));
        ASSERT_TRUE(PumpUntil([&] { return onMain != -1; }));
        EXPECT_EQ(onMain, method == smNone ? 0 : 1) << int(method);
        ASSERT_TRUE(port.Close());
        EXPECT_EQ(port.NotifyWindow(), nullptr);
    }
}

// A Close that starts while a batch is being handed over serves it: the batch arrives
// whole and nothing deadlocks.
TEST(EventThreads, CloseDuringDeliveryServesTheBatch) {
    for (TSyncMethod method : {smThreadSync, smWindowSync}) {
        fake::Reset();
        TBComPort port(nullptr);
        port.SetSyncMethod(method);
        Journal journal;
        port.OnTxEmpty = [&](TObject*) { journal.Add("txempty"); };
        port.OnRing = [&](TObject*) { journal.Add("ring"); };
        std::atomic<bool> woken{false};
        SetWakeMainThread([&] { woken = true; });
        ASSERT_TRUE(port.Open());
        ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
        ASSERT_TRUE(fake::CompleteCommWait(EV_TXEMPTY | EV_RING));
        // Wait (without serving) until the event thread asks the main thread for help.
        for (int i = 0; i < 5000 && !woken; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_TRUE(woken);
        ASSERT_TRUE(port.Close());
        EXPECT_EQ(journal.Get(), (std::vector<std::string>{"txempty", "ring"}));
        SetWakeMainThread(nullptr);
    }
}

// With smNone the handler runs on the event thread; Close waits for it to finish.
TEST(EventThreads, CloseWaitsForAHandlerOnTheEventThread) {
    fake::Reset();
    TBComPort port(nullptr);
    port.SetSyncMethod(smNone);
    std::atomic<bool> entered{false}, release{false}, finished{false};
    port.OnTxEmpty = [&](TObject*) {
        entered = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        finished = true;
    };
    ASSERT_TRUE(port.Open());
    ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
    ASSERT_TRUE(fake::CompleteCommWait(EV_TXEMPTY));
    ASSERT_TRUE(PumpUntil([&] { return entered.load(); }));
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        release = true;
    });
    ASSERT_TRUE(port.Close());
    EXPECT_TRUE(finished);
    releaser.join();
}

// A port event message that reaches the window after the port has closed calls nothing.
TEST(EventThreads, PortEventAfterCloseCallsNothing) {
    fake::Reset();
    TBComPort port(nullptr);
    port.SetSyncMethod(smWindowSync);
    int calls = 0;
    port.OnTxEmpty = [&](TObject*) { ++calls; };
    ASSERT_TRUE(port.Open());
    HWND window = port.NotifyWindow();
    ASSERT_NE(window, nullptr);
    SendMessageA(window, WM_PORTEVENT, EV_TXEMPTY, 0); // open: delivered
    EXPECT_EQ(calls, 1);
    SendMessageA(window, WM_PORTEVENT, 0x8000, 0); // not an event bit: nothing
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(port.Close());
    SendMessageA(window, WM_PORTEVENT, EV_TXEMPTY, 0);
    EXPECT_EQ(calls, 1);
}

// A handler that closes or frees its own port: no deadlock, no crash, the rest of the
// batch is dropped, and the device and the thread are released.
TEST(EventThreads, HandlerMayCloseOrFreeItsOwnPort) {
    // A first thread makes the sanitizers start their own helper threads: count after it.
    std::thread([] {}).join();
    for (bool frees : {false, true}) {
        for (TSyncMethod method : {smThreadSync, smWindowSync, smNone}) {
            fake::Reset();
            const int threads = ThreadCount();
            auto* port = new TBComPort(nullptr);
            port->SetSyncMethod(method);
            std::atomic<int> calls{0};
            std::atomic<bool> done{false};
            port->OnTxEmpty = [&, port, frees](TObject*) {
                ++calls;
                if (frees)
                    delete port;
                else
                    EXPECT_TRUE(port->Close());
                done = true;
            };
            port->OnRing = [&](TObject*) { ++calls; }; // later in the same batch: dropped
            ASSERT_TRUE(port->Open());
            ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
            ASSERT_TRUE(fake::CompleteCommWait(EV_TXEMPTY | EV_RING));
            ASSERT_TRUE(PumpUntil([&] { return done.load(); })) << frees << int(method);
            // The retired thread ends by itself and closes its events.
            EXPECT_TRUE(PumpUntil([&] { return ThreadCount() == threads; })) << frees << int(method);
            EXPECT_TRUE(fake::Called("PurgeComm 12"));
            EXPECT_EQ(calls, 1);
            EXPECT_EQ(fake::Lock()->openDevices, 0);
            if (!frees) {
                EXPECT_FALSE(port->IsOpen());
                ASSERT_TRUE(port->Open()); // and it opens again
                ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
                delete port;
            }
        }
    }
}

} // namespace

