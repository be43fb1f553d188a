// A device that vanishes or is closed while transfers and a line event wait are pending,
// and an idle port: everything ends, nothing hangs, nothing spins.
#include "transfer_fixture.h"

#include "handles.h"

#include <atomic>

namespace {

constexpr std::size_t kBig = 64 * 1024;

// The event thread of the serial component, reduced to its loop: wait for a line event
// or the stop signal; deliver only what GetOverlappedResult confirms.
class EventLoop {
  public:
    explicit EventLoop(HANDLE port) : port_(port) {
        stop_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        record_.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
        thread_ = std::thread([this] { Run(); });
    }
    ~EventLoop() {
        Stop();
        CloseHandle(record_.hEvent);
        CloseHandle(stop_);
    }
    void Stop() {
        SetEvent(stop_);
        if (thread_.joinable()) thread_.join();
    }
    int Wakeups() const { return wakeups_.load(); }
    int Deliveries() const { return deliveries_.load(); }

  private:
    void Run() {
        const HANDLE handles[] = {stop_, record_.hEvent};
        DWORD mask = 0; // outlives the loop: a wait still pending at the stop writes it
        for (;;) {
            WaitCommEvent(port_, &mask, &record_);
            if (WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) break;
            ++wakeups_;
            DWORD bytes = 0;
            if (GetOverlappedResult(port_, &record_, &bytes, FALSE)) ++deliveries_;
        }
        SetCommMask(port_, 0);
        PurgeComm(port_, PURGE_TXCLEAR | PURGE_RXCLEAR);
    }

    HANDLE port_;
    HANDLE stop_;
    OVERLAPPED record_{};
    std::atomic<int> wakeups_{0}, deliveries_{0};
    std::thread thread_;
};

struct PendingSet {
    Record read, write, wait;
    char readBuf[16]{};
    std::vector<std::uint8_t> data = Pattern(kBig);
    DWORD mask = 0xDEAD;

    // A read waiting for its count, a write waiting for the line, a line event wait.
    void Start(HANDLE port) {
        const COMMTIMEOUTS forever{0, 0, 0, 0, 0};
        ASSERT_TRUE(SetCommTimeouts(port, const_cast<COMMTIMEOUTS*>(&forever)));
        ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_ERR));
        ASSERT_FALSE(ReadFile(port, readBuf, sizeof readBuf, nullptr, &read.ov));
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        ASSERT_FALSE(
            WriteFile(port, data.data(), static_cast<DWORD>(data.size()), nullptr, &write.ov));
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        ASSERT_FALSE(WaitCommEvent(port, &mask, &wait.ov));
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    }
};

TEST_F(Port, AVanishedDeviceEndsEverythingPendingAndDoesNotSpin) {
    PendingSet pending;
    pending.Start(port_);
    ASSERT_FALSE(HasFatalFailure());

    pty_.CloseMaster();
    for (Record* r : {&pending.read, &pending.write, &pending.wait}) {
        const Outcome end = AwaitEnd(port_, *r);
        EXPECT_TRUE(end.ended);
        EXPECT_FALSE(end.ok);
        EXPECT_EQ(end.error, ERROR_DEVICE_REMOVED);
    }

    // New transfers fail at once with the same error.
    Record r;
    char buf[4];
    SetLastError(0);
    EXPECT_FALSE(ReadFile(port_, buf, 4, nullptr, &r.ov));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_REMOVED);
    SetLastError(0);
    EXPECT_FALSE(WriteFile(port_, "x", 1, nullptr, &r.ov));
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_REMOVED);

    // A new line event wait stays pending quietly until the mask changes.
    DWORD mask = 0xDEAD;
    Record wait;
    EXPECT_FALSE(WaitCommEvent(port_, &mask, &wait.ov));
    EXPECT_EQ(GetLastError(), ERROR_IO_PENDING);
    EXPECT_FALSE(wait.Signalled(150));
    ASSERT_TRUE(SetCommMask(port_, 0));
    EXPECT_TRUE(AwaitEnd(port_, wait).ok);
    EXPECT_EQ(mask, 0u);
}

TEST_F(Port, AnEventLoopGoesQuietWhenTheDeviceVanishes) {
    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY | EV_ERR | EV_RX80FULL));
    EventLoop loop(port_);
    pty_.Send("hi");
    for (int i = 0; i < 500 && loop.Deliveries() == 0; ++i)
        Sleep(10);
    ASSERT_GE(loop.Deliveries(), 1);
    const int delivered = loop.Deliveries(), woken = loop.Wakeups();

    pty_.CloseMaster();
    for (int i = 0; i < 500 && loop.Wakeups() == woken; ++i)
        Sleep(10); // the failed wait
    const auto cpu = CpuTime();
    Sleep(300);
    EXPECT_EQ(loop.Wakeups(), woken + 1) << "the loop must not spin on a vanished device";
    EXPECT_LT(CpuTime() - cpu, std::chrono::milliseconds(30));
    EXPECT_EQ(loop.Deliveries(), delivered);
    loop.Stop(); // and it still stops
}

TEST_F(Port, ClosingTheHandleEndsEverythingPending) {
    ASSERT_TRUE(SetCommMask(port_, 0)); // the port now has its poll set
    const int descriptors = OpenDescriptorCount();
    const std::size_t handles = winapi_linux::LiveHandleCount();
    {
        PendingSet pending;
        pending.Start(port_);
        ASSERT_FALSE(HasFatalFailure());

        // Someone blocked on the line event wait wakes too.
        DWORD woke = WAIT_FAILED;
        std::thread waiter([&] { woke = WaitForSingleObject(pending.wait.ov.hEvent, kPatience); });
        ASSERT_TRUE(CloseHandle(port_));
        port_ = INVALID_HANDLE_VALUE;
        waiter.join();
        EXPECT_EQ(woke, WAIT_OBJECT_0);
        for (Record* r : {&pending.read, &pending.write, &pending.wait}) {
            const Outcome end = AwaitEnd(port_, *r);
            EXPECT_TRUE(end.ended);
            EXPECT_FALSE(end.ok);
            EXPECT_EQ(end.error, ERROR_OPERATION_ABORTED);
        }
    }
    EXPECT_EQ(winapi_linux::LiveHandleCount(), handles - 1); // only the port went
    EXPECT_EQ(OpenDescriptorCount(), descriptors - 2) << "the port's descriptor and its poll set";

    // The device can be opened again.
    const HANDLE reopened = OpenDevice(pty_.SlavePath());
    ASSERT_NE(reopened, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(reopened));
}

TEST_F(Port, AnIdlePortWithAPendingWaitCostsNoCpu) {
    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY | EV_ERR | EV_RX80FULL));
    EventLoop loop(port_);
    Sleep(50); // let it settle into its wait
    const auto cpu = CpuTime();
    Sleep(1000);
    EXPECT_LT(CpuTime() - cpu, std::chrono::milliseconds(20));
    EXPECT_EQ(loop.Wakeups(), 0);
}

TEST_F(Port, TrafficBothWaysWhileAnEventLoopRuns) {
    // The component's shape: the main thread writes and reads through records while the
    // event thread waits for line events on the same device.
    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY | EV_ERR | EV_RX80FULL));
    EventLoop loop(port_);
    const auto data = Pattern(20000);
    constexpr std::size_t kChunk = 100;
    std::thread deviceSends([&] {
        for (std::size_t i = 0; i < data.size(); i += kChunk)
            pty_.Send(
                std::vector<std::uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(i),
                                          data.begin() + static_cast<std::ptrdiff_t>(i + kChunk)));
    });
    std::vector<std::uint8_t> deviceGot;
    std::thread deviceReceives([&] { deviceGot = pty_.Receive(data.size()); });

    std::vector<std::uint8_t> got;
    std::size_t sent = 0;
    Record r;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatience);
    while ((got.size() < data.size() || sent < data.size()) &&
           std::chrono::steady_clock::now() < end) {
        std::uint8_t buf[512];
        DWORD n = 0;
        ASSERT_TRUE(ReadFile(port_, buf, sizeof buf, &n, &r.ov));
        got.insert(got.end(), buf, buf + n);
        if (sent < data.size()) {
            DWORD put = 0;
            ASSERT_TRUE(WriteFile(port_, data.data() + sent, kChunk, nullptr, &r.ov) ||
                        GetLastError() == ERROR_IO_PENDING);
            ASSERT_TRUE(GetOverlappedResult(port_, &r.ov, &put, TRUE));
            sent += put;
        } else if (n == 0) {
            Sleep(1);
        }
    }
    deviceSends.join();
    deviceReceives.join();
    EXPECT_EQ(got, data);
    EXPECT_EQ(deviceGot, data);
    EXPECT_GT(loop.Deliveries(), 0);
}

} // namespace
