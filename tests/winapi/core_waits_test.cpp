// WaitForSingleObject / WaitForMultipleObjects: which index wins, timeouts, threads,
// and a waiter driving the operation behind an event.
#include "linux/events.h"
#include "winapi.h"

#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

struct Events {
    std::vector<HANDLE> h;
    Events(std::initializer_list<std::pair<BOOL, BOOL>> kinds) { // (manual, initial)
        for (auto [manual, initial] : kinds)
            h.push_back(CreateEventA(nullptr, manual, initial, nullptr));
    }
    ~Events() {
        for (HANDLE e : h)
            CloseHandle(e);
    }
    DWORD Wait(DWORD ms) {
        return WaitForMultipleObjects(static_cast<DWORD>(h.size()), h.data(), FALSE, ms);
    }
};

TEST(CoreWaits, LowestSignalledIndexWins) {
    struct Case {
        bool signalled[3];
        DWORD expected;
    };
    const Case cases[] = {
        {{false, false, false}, WAIT_TIMEOUT},    {{false, false, true}, WAIT_OBJECT_0 + 2},
        {{false, true, true}, WAIT_OBJECT_0 + 1}, {{true, true, true}, WAIT_OBJECT_0},
        {{true, false, true}, WAIT_OBJECT_0},
    };
    for (const Case& c : cases) {
        Events ev{{TRUE, c.signalled[0]}, {TRUE, c.signalled[1]}, {TRUE, c.signalled[2]}};
        EXPECT_EQ(ev.Wait(0), c.expected);
        EXPECT_EQ(ev.Wait(20), c.expected); // the same with a (short) limit
    }
}

TEST(CoreWaits, OnlyTheReportedAutoResetEventIsConsumed) {
    Events ev{{FALSE, TRUE}, {FALSE, TRUE}, {TRUE, TRUE}};
    EXPECT_EQ(ev.Wait(0), WAIT_OBJECT_0);
    EXPECT_EQ(ev.Wait(0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(ev.Wait(0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(ev.Wait(0), WAIT_OBJECT_0 + 2); // manual reset: still signalled
}

TEST(CoreWaits, InvalidArgumentsFail) {
    Events ev{{TRUE, TRUE}, {TRUE, TRUE}};
    HANDLE dup[] = {ev.h[0], ev.h[0]};
    HANDLE withBad[] = {ev.h[0], reinterpret_cast<HANDLE>(0x7777)};
    std::vector<HANDLE> tooMany(MAXIMUM_WAIT_OBJECTS + 1, ev.h[0]);
    struct Case {
        DWORD n;
        const HANDLE* handles;
        BOOL all;
        DWORD error;
    };
    const Case cases[] = {
        {0, ev.h.data(), FALSE, ERROR_INVALID_PARAMETER},
        {1, nullptr, FALSE, ERROR_INVALID_PARAMETER},
        {MAXIMUM_WAIT_OBJECTS + 1, tooMany.data(), FALSE, ERROR_INVALID_PARAMETER},
        {2, ev.h.data(), TRUE, ERROR_INVALID_PARAMETER}, // wait-all is not offered
        {2, dup, FALSE, ERROR_INVALID_PARAMETER},
        {2, withBad, FALSE, ERROR_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(WaitForMultipleObjects(c.n, c.handles, c.all, INFINITE), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), c.error);
    }
}

TEST(CoreWaits, InfiniteWaitWakesWhenAnotherThreadSets) {
    Events ev{{TRUE, FALSE}, {TRUE, FALSE}};
    std::thread setter([&] { SetEvent(ev.h[1]); });
    EXPECT_EQ(ev.Wait(INFINITE), WAIT_OBJECT_0 + 1);
    setter.join();
}

TEST(CoreWaits, OneSetOfAnAutoResetEventReleasesOneWaiter) {
    Events ev{{FALSE, FALSE}, {FALSE, FALSE}}; // the event, and "a waiter woke"
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (WaitForSingleObject(ev.h[0], 10000) == WAIT_OBJECT_0) {
            ++woken;
            SetEvent(ev.h[1]);
        }
    };
    std::thread a(waiter), b(waiter);
    SetEvent(ev.h[0]);
    ASSERT_EQ(WaitForSingleObject(ev.h[1], 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(ev.h[1], 100), WAIT_TIMEOUT); // the other one still waits
    EXPECT_EQ(woken.load(), 1);
    SetEvent(ev.h[0]);
    ASSERT_EQ(WaitForSingleObject(ev.h[1], 5000), WAIT_OBJECT_0);
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 2);
}

TEST(CoreWaits, DataWrittenBeforeSetIsSeenAfterTheWait) {
    Events ev{{TRUE, FALSE}};
    int payload = 0; // plain memory: the event alone orders it (ThreadSanitizer checks)
    std::thread producer([&] {
        payload = 42;
        SetEvent(ev.h[0]);
    });
    ASSERT_EQ(ev.Wait(INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(payload, 42);
    producer.join();
}

// An operation that signals its event when its descriptor becomes readable, or at its
// deadline: the waiting thread must drive it.
class FakeOperation : public winapi_linux::ProgressHook {
  public:
    FakeOperation(std::shared_ptr<winapi_linux::EventObject> event,
                  winapi_linux::Clock::time_point deadline)
        : event_(std::move(event)), deadline_(deadline),
          fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~FakeOperation() override { close(fd_); }
    void Poke() {
        const std::uint64_t one = 1;
        ASSERT_EQ(write(fd_, &one, sizeof one), 8);
    }
    int PollFd() const override { return fd_; }
    winapi_linux::Clock::time_point NextDeadline() override { return deadline_; }
    void Progress() override {
        std::uint64_t v;
        const bool poked = read(fd_, &v, sizeof v) == 8;
        if (poked || winapi_linux::Clock::now() >= deadline_) {
            driver = std::this_thread::get_id();
            event_->Set();
        }
    }
    void AddWaiter() override { ++waiters; }
    void RemoveWaiter() override { --waiters; }

    std::atomic<int> waiters{0};
    std::thread::id driver;

  private:
    std::shared_ptr<winapi_linux::EventObject> event_;
    winapi_linux::Clock::time_point deadline_;
    int fd_;
};

TEST(CoreWaits, TheWaitingThreadDrivesTheOperationBehindAnEvent) {
    const auto never = winapi_linux::Clock::time_point::max();
    const auto soon = winapi_linux::Clock::now() + std::chrono::milliseconds(20);
    for (bool byDeadline : {false, true}) {
        SCOPED_TRACE(byDeadline ? "deadline" : "readiness");
        Events ev{{TRUE, FALSE}, {TRUE, FALSE}};
        auto op = std::make_shared<FakeOperation>(winapi_linux::LookupEvent(ev.h[1]),
                                                  byDeadline ? soon : never);
        winapi_linux::LookupEvent(ev.h[1])->SetHook(op);
        std::thread poker;
        if (!byDeadline) poker = std::thread([&] { op->Poke(); });
        EXPECT_EQ(ev.Wait(INFINITE), WAIT_OBJECT_0 + 1);
        if (poker.joinable()) poker.join();
        EXPECT_EQ(op->driver, std::this_thread::get_id());
        EXPECT_EQ(op->waiters.load(), 0); // registered while waiting, released after
        winapi_linux::LookupEvent(ev.h[1])->ClearHook(op.get());
    }
}

TEST(CoreWaits, SleepReturns) {
    Sleep(0);
    Sleep(1);
    SUCCEED();
}

} // namespace
