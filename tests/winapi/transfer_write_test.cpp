// WriteFile on a serial port: at once, waiting for the line, the write limit, order.
#include "transfer_fixture.h"

namespace {

// More than a pseudo-terminal takes in while nobody reads the other end.
constexpr std::size_t kBig = 64 * 1024;

TEST_F(Port, AWriteThatFitsEndsAtOnce) {
    Record r;
    DWORD put = 0;
    ASSERT_TRUE(WriteFile(port_, "hello", 5, &put, &r.ov));
    EXPECT_EQ(put, 5u);
    EXPECT_TRUE(r.Signalled());
    EXPECT_EQ(Text(pty_.Receive(5), 5), "hello");

    ASSERT_TRUE(WriteFile(port_, "", 0, &put, &r.ov)); // an empty write succeeds at once
    EXPECT_EQ(put, 0u);
}

TEST_F(Port, AWriteWaitsForTheLineAndDeliversEveryByteInOrder) {
    SetTimeouts({MAXDWORD, 0, 0, 0, 0}); // no write limit
    const auto data = Pattern(kBig);
    Record r;
    SetLastError(0);
    ASSERT_FALSE(WriteFile(port_, data.data(), static_cast<DWORD>(data.size()), nullptr, &r.ov));
    ASSERT_EQ(GetLastError(), ERROR_IO_PENDING);
    DWORD put = 0;
    EXPECT_FALSE(GetOverlappedResult(port_, &r.ov, &put, FALSE));
    EXPECT_EQ(GetLastError(), ERROR_IO_INCOMPLETE);

    const auto received = pty_.Receive(kBig);
    EXPECT_EQ(received, data);
    const Outcome end = AwaitEnd(port_, r);
    ASSERT_TRUE(end.ended);
    EXPECT_TRUE(end.ok);
    EXPECT_EQ(end.bytes, kBig);
}

TEST_F(Port, QueuedWritesGoOutInOrder) {
    SetTimeouts({MAXDWORD, 0, 0, 0, 0});
    const auto data = Pattern(kBig);
    Record first, second;
    ASSERT_FALSE(
        WriteFile(port_, data.data(), static_cast<DWORD>(data.size()), nullptr, &first.ov));
    ASSERT_FALSE(WriteFile(port_, "tail", 4, nullptr, &second.ov));
    auto expected = data;
    expected.insert(expected.end(), {'t', 'a', 'i', 'l'});
    EXPECT_EQ(pty_.Receive(expected.size()), expected);
    EXPECT_TRUE(AwaitEnd(port_, first).ok);
    const Outcome two = AwaitEnd(port_, second);
    EXPECT_TRUE(two.ok);
    EXPECT_EQ(two.bytes, 4u);
}

TEST_F(Port, AWriteThatRunsOutOfTimeSucceedsWithTheBytesThatWentOut) {
    SetTimeouts({MAXDWORD, 0, 0, 0, 100});
    const auto data = Pattern(kBig);
    Record r;
    ASSERT_FALSE(WriteFile(port_, data.data(), static_cast<DWORD>(data.size()), nullptr, &r.ov));
    const Outcome end = AwaitEnd(port_, r); // nobody reads the other end
    ASSERT_TRUE(end.ended);
    EXPECT_TRUE(end.ok) << end.error;
    EXPECT_GT(end.bytes, 0u);
    EXPECT_LT(end.bytes, kBig);
    const auto received = pty_.Receive(kBig, std::chrono::milliseconds(500));
    ASSERT_EQ(received.size(), end.bytes) << "exactly the reported bytes reach the line";
    EXPECT_TRUE(std::equal(received.begin(), received.end(), data.begin()));
}

TEST_F(Port, PurgeAbortsAPendingWrite) {
    SetTimeouts({MAXDWORD, 0, 0, 0, 0});
    const auto data = Pattern(kBig);
    Record r;
    ASSERT_FALSE(WriteFile(port_, data.data(), static_cast<DWORD>(data.size()), nullptr, &r.ov));
    ASSERT_TRUE(PurgeComm(port_, PURGE_TXABORT | PURGE_RXABORT));
    const Outcome end = AwaitEnd(port_, r);
    EXPECT_TRUE(end.ended);
    EXPECT_FALSE(end.ok);
    EXPECT_EQ(end.error, ERROR_OPERATION_ABORTED);
    EXPECT_LT(pty_.Drain().size(), kBig) << "the rest is not sent";
}

} // namespace
