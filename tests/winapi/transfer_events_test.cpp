// WaitCommEvent and SetCommMask on a serial port: which line events are reported, when,
// and how a pending wait ends.
#include "transfer_fixture.h"

namespace {

// A pending WaitCommEvent with its own record and mask variable.
struct EventWait {
    Record record;
    DWORD mask = 0xDEAD;
    BOOL started = FALSE;
    DWORD error = 0;

    explicit EventWait(HANDLE port) {
        SetLastError(0);
        started = WaitCommEvent(port, &mask, &record.ov);
        error = started ? 0 : GetLastError();
    }
    bool Pending() const { return !started && error == ERROR_IO_PENDING; }
};

// Long enough for a wrongly reported event to show up: a negative check, not a timing one.
constexpr DWORD kQuiet = 150;

TEST_F(Port, NewBytesRaiseRxCharOnceAndWaitingBytesDoNot) {
    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
    EventWait first(port_);
    ASSERT_TRUE(first.Pending());
    pty_.Send("ab");
    Outcome end = AwaitEnd(port_, first.record);
    ASSERT_TRUE(end.ok);
    EXPECT_EQ(first.mask, EV_RXCHAR);

    EventWait second(port_); // "ab" still waits in the queue: no new event for it
    ASSERT_TRUE(second.Pending());
    EXPECT_FALSE(second.record.Signalled(kQuiet));
    EXPECT_EQ(ReadNow(1), "a"); // reading some of it is no arrival either
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port_, &dcb));
    ASSERT_TRUE(SetCommState(port_, &dcb)); // nor is a settings change (it wakes readers)
    EXPECT_FALSE(second.record.Signalled(kQuiet));

    pty_.Send("c");
    end = AwaitEnd(port_, second.record);
    ASSERT_TRUE(end.ok);
    EXPECT_EQ(second.mask, EV_RXCHAR);
    AwaitQueued(2);
    EXPECT_EQ(ReadNow(), "bc");
}

TEST_F(Port, BytesThatArriveBetweenWaitsAreReportedByTheNextWait) {
    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY));
    pty_.Send("x");
    AwaitQueued(1);
    EventWait wait(port_);
    EXPECT_TRUE(wait.started);
    EXPECT_EQ(wait.mask, EV_RXCHAR);
    EXPECT_TRUE(wait.record.Signalled());

    EventWait next(port_); // reported once only
    EXPECT_TRUE(next.Pending());
    ASSERT_TRUE(SetCommMask(port_, 0));
}

TEST_F(Port, SetCommMaskEndsAPendingWaitWithNoEvents) {
    for (DWORD newMask : {DWORD{0}, DWORD{EV_RXCHAR | EV_TXEMPTY}}) {
        ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
        EventWait wait(port_);
        ASSERT_TRUE(wait.Pending());
        ASSERT_TRUE(SetCommMask(port_, newMask));
        const Outcome end = AwaitEnd(port_, wait.record);
        EXPECT_TRUE(end.ended);
        EXPECT_TRUE(end.ok);
        EXPECT_EQ(wait.mask, 0u);
        DWORD mask = 0;
        ASSERT_TRUE(GetCommMask(port_, &mask));
        EXPECT_EQ(mask, newMask);
    }
}

TEST_F(Port, WaitsThatCannotStartFailWithoutSignalling) {
    // No events to wait for; then a second wait beside a pending one. Either way the
    // record's event stays reset, so a loop that waits for it blocks instead of spinning.
    ASSERT_TRUE(SetCommMask(port_, 0));
    EventWait noMask(port_);
    EXPECT_FALSE(noMask.started);
    EXPECT_EQ(noMask.error, ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(noMask.record.Signalled());

    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR));
    EventWait first(port_);
    ASSERT_TRUE(first.Pending());
    EventWait second(port_);
    EXPECT_FALSE(second.started);
    EXPECT_EQ(second.error, ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(second.record.Signalled());

    pty_.Send("z"); // the first one is unharmed
    EXPECT_TRUE(AwaitEnd(port_, first.record).ok);
    EXPECT_EQ(first.mask, EV_RXCHAR);

    SetLastError(0);
    EXPECT_FALSE(SetCommMask(port_, 0x4000));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(Port, TxEmptyWhenTheOutputHasDrained) {
    SetTimeouts({MAXDWORD, 0, 0, 0, 0});
    ASSERT_TRUE(SetCommMask(port_, EV_TXEMPTY));
    EventWait small(port_);
    ASSERT_TRUE(small.Pending());
    Record w;
    ASSERT_TRUE(WriteFile(port_, "abc", 3, nullptr, &w.ov));
    ASSERT_TRUE(AwaitEnd(port_, small.record).ok);
    EXPECT_EQ(small.mask, EV_TXEMPTY);
    EXPECT_EQ(pty_.Receive(3).size(), 3u);

    // A write that waits for the line: no EV_TXEMPTY before all of it went out.
    EventWait big(port_);
    ASSERT_TRUE(big.Pending());
    const auto data = Pattern(64 * 1024);
    ASSERT_FALSE(WriteFile(port_, data.data(), static_cast<DWORD>(data.size()), nullptr, &w.ov));
    EXPECT_FALSE(big.record.Signalled(kQuiet));
    EXPECT_EQ(pty_.Receive(data.size()).size(), data.size());
    ASSERT_TRUE(AwaitEnd(port_, w).ok);
    ASSERT_TRUE(AwaitEnd(port_, big.record).ok);
    EXPECT_EQ(big.mask, EV_TXEMPTY);
}

TEST_F(Port, Rx80FullWhenTheQueueReachesEightyPercentOfTheSetupSize) {
    ASSERT_TRUE(SetupComm(port_, 100, 100));
    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_RX80FULL));
    EventWait below(port_);
    pty_.Send(std::string(50, 'a'));
    ASSERT_TRUE(AwaitEnd(port_, below.record).ok);
    EXPECT_EQ(below.mask, EV_RXCHAR);

    AwaitQueued(50);
    EventWait above(port_);
    ASSERT_TRUE(above.Pending());
    pty_.Send(std::string(30, 'b')); // 80 of 100
    ASSERT_TRUE(AwaitEnd(port_, above.record).ok);
    EXPECT_EQ(above.mask, EV_RXCHAR | EV_RX80FULL);
}

TEST_F(Port, UnwatchedEventsAreNotReported) {
    ASSERT_TRUE(SetCommMask(port_, EV_TXEMPTY));
    pty_.Send("ignored");
    AwaitQueued(7);
    EventWait wait(port_);
    ASSERT_TRUE(wait.Pending());
    EXPECT_FALSE(wait.record.Signalled(kQuiet));
    ASSERT_TRUE(SetCommMask(port_, 0));
    EXPECT_TRUE(AwaitEnd(port_, wait.record).ok);
}

} // namespace
