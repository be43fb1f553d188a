// ReadFile on a serial port: COMMTIMEOUTS as Windows defines them, order, abort.
#include "transfer_fixture.h"

namespace {

struct ReadCase {
    const char* name;
    COMMTIMEOUTS timeouts;
    DWORD count;
    std::string before; // queued before the read starts
    bool pending;       // the read does not end at once
    std::string after;  // sent once the read is pending
    std::string result;
};

const ReadCase kReadCases[] = {
    {"at once, nothing there", {MAXDWORD, 0, 0, 0, 0}, 10, "", false, "", ""},
    {"at once, with what is there", {MAXDWORD, 0, 0, 0, 0}, 10, "abc", false, "", "abc"},
    {"at once, no more than asked", {MAXDWORD, 0, 0, 0, 0}, 2, "abc", false, "", "ab"},
    {"all zero waits for the count", {0, 0, 0, 0, 0}, 5, "ab", true, "cdefg", "abcde"},
    {"total limit ends with what came", {0, 0, 500, 0, 0}, 10, "", true, "xy", "xy"},
    {"total limit ends with nothing", {0, 10, 20, 0, 0}, 3, "", true, "", ""},
    {"first byte ends the wait", {MAXDWORD, MAXDWORD, 60000, 0, 0}, 10, "", true, "q", "q"},
    {"queued bytes end it at once", {MAXDWORD, MAXDWORD, 60000, 0, 0}, 10, "abc", false, "", "abc"},
    {"interval after the first byte", {40, 0, 0, 0, 0}, 10, "", true, "abc", "abc"},
};

class PortRead : public Port, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PortRead, FollowsTheTimeouts) {
    const ReadCase& c = GetParam();
    SetTimeouts(c.timeouts);
    if (!c.before.empty()) {
        pty_.Send(c.before);
        AwaitQueued(static_cast<DWORD>(c.before.size()));
    }
    std::vector<std::uint8_t> buf(c.count + 8, 0);
    Record r;
    DWORD got = 12345;
    SetLastError(0);
    const BOOL atOnce = ReadFile(port_, buf.data(), c.count, &got, &r.ov);
    if (c.pending) {
        ASSERT_FALSE(atOnce);
        ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
        EXPECT_FALSE(r.Signalled());
        if (!c.after.empty()) pty_.Send(c.after);
    } else {
        ASSERT_TRUE(atOnce) << GetLastError();
        EXPECT_EQ(Text(buf, got), c.result);
        EXPECT_TRUE(r.Signalled()); // the event is set for a transfer that ended at once too
    }
    const Outcome end = AwaitEnd(port_, r);
    ASSERT_TRUE(end.ended);
    EXPECT_TRUE(end.ok) << end.error; // a limit that runs out is no error
    EXPECT_EQ(Text(buf, end.bytes), c.result);
    EXPECT_EQ(buf[c.count], 0) << "nothing beyond the count is written";
}

INSTANTIATE_TEST_SUITE_P(Timeouts, PortRead, ::testing::ValuesIn(kReadCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
});

TEST_F(Port, BytesBeyondACountedReadStayForTheNext) {
    SetTimeouts({0, 0, 0, 0, 0});
    Record first, second;
    char a[2], b[3];
    ASSERT_FALSE(ReadFile(port_, a, 2, nullptr, &first.ov));
    ASSERT_FALSE(ReadFile(port_, b, 3, nullptr, &second.ov)); // queued behind the first
    pty_.Send("abcdefg");
    const Outcome one = AwaitEnd(port_, first), two = AwaitEnd(port_, second);
    ASSERT_TRUE(one.ok && two.ok);
    EXPECT_EQ(std::string(a, one.bytes), "ab");
    EXPECT_EQ(std::string(b, two.bytes), "cde");
    SetTimeouts(kComponentTimeouts);
    AwaitQueued(2);
    EXPECT_EQ(ReadNow(), "fg");
}

TEST_F(Port, PollingAPendingReadReportsIncompleteUntilItEnds) {
    SetTimeouts({0, 0, 0, 0, 0});
    Record r;
    char buf[4];
    ASSERT_FALSE(ReadFile(port_, buf, 4, nullptr, &r.ov));
    DWORD got = 99;
    SetLastError(0);
    EXPECT_FALSE(GetOverlappedResult(port_, &r.ov, &got, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);
    pty_.Send("wxyz");
    ASSERT_TRUE(GetOverlappedResult(port_, &r.ov, &got, TRUE)); // waits
    EXPECT_EQ(std::string(buf, got), "wxyz");
    EXPECT_TRUE(GetOverlappedResult(port_, &r.ov, &got, FALSE)); // and stays ended
}

TEST_F(Port, AReadWithoutOverlappedWaitsForItsEnd) {
    SetTimeouts({0, 0, 0, 0, 0});
    std::thread device([&] { pty_.Send("sync"); });
    char buf[4];
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(port_, buf, 4, &got, nullptr));
    device.join();
    EXPECT_EQ(std::string(buf, got), "sync");
}

TEST_F(Port, PurgeAbortsPendingReadsAndClearsTheQueue) {
    SetTimeouts({0, 0, 0, 0, 0});
    Record r;
    char buf[8];
    ASSERT_FALSE(ReadFile(port_, buf, 8, nullptr, &r.ov));
    ASSERT_TRUE(PurgeComm(port_, PURGE_TXABORT | PURGE_RXABORT));
    const Outcome end = AwaitEnd(port_, r);
    EXPECT_TRUE(end.ended);
    EXPECT_FALSE(end.ok);
    EXPECT_EQ(end.error, ERROR_OPERATION_ABORTED);

    pty_.Send("stale");
    AwaitQueued(5);
    ASSERT_TRUE(PurgeComm(port_, PURGE_TXCLEAR | PURGE_RXCLEAR));
    EXPECT_EQ(Queued(), 0u);
    SetTimeouts(kComponentTimeouts);
    EXPECT_EQ(ReadNow(), "");
}

TEST_F(Port, BadArgumentsAreRefused) {
    Record r;
    char buf[4];
    struct Case {
        HANDLE port;
        void* buffer;
        OVERLAPPED* ov;
        DWORD error;
    };
    OVERLAPPED noEvent{};
    const Case cases[] = {
        {nullptr, buf, &r.ov, ERROR_INVALID_HANDLE},
        {r.ov.hEvent, buf, &r.ov, ERROR_INVALID_HANDLE}, // an event is no serial port
        {port_, nullptr, &r.ov, ERROR_INVALID_PARAMETER},
        {port_, buf, &noEvent, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(ReadFile(c.port, c.buffer, 4, nullptr, c.ov));
        EXPECT_EQ(GetLastError(), c.error);
        SetLastError(0);
        EXPECT_FALSE(WriteFile(c.port, c.buffer, 4, nullptr, c.ov));
        EXPECT_EQ(GetLastError(), c.error);
    }
    SetLastError(0);
    EXPECT_FALSE(PurgeComm(port_, 0x10));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(GetOverlappedResult(port_, nullptr, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

} // namespace
