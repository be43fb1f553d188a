// Transfer records and the four transfer operations against the fake device layer.
#include "BCPort.h"
#include "PortSupport.h"
#include "FakeComm.h"
#include "Pump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {


class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        ASSERT_TRUE(port.Open());
        ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
        fake::Lock()->calls.clear();
        CreateTransfer(async);
    }
    void TearDown() override { ReleaseTransfer(async); }

    TBComPort port{nullptr};
    PPortTransfer async = nullptr;
};

TEST(TransferRecord, CreateStageRelease) {
    PPortTransfer async = nullptr;
    CreateTransfer(async);
    ASSERT_NE(async, nullptr);
    EXPECT_EQ(static_cast<void*>(async), static_cast<void*>(&async->Overlapped));
    EXPECT_EQ(async->Staged, nullptr);
    EXPECT_EQ(async->StagedSize, 0);
    EXPECT_EQ(async->Overlapped.Internal, 0u);
    EXPECT_EQ(WaitForSingleObject(async->Overlapped.hEvent, 0), WAIT_OBJECT_0); // created signalled

    const char first[] = "abc";
    StageTransfer(tdWrite, first, 3, async);
    void* firstCopy = async->Staged;
    ASSERT_NE(firstCopy, nullptr);
    EXPECT_EQ(std::memcmp(firstCopy, "abc", 3), 0);
    StageTransfer(tdRead, "xy", 2, async); // the first copy is freed (ASan would report a leak)
    EXPECT_EQ(async->Direction, tdRead);
    EXPECT_EQ(async->StagedSize, 2);
    EXPECT_EQ(std::memcmp(async->Staged, "xy", 2), 0);
    StageTransfer(tdWrite, nullptr, -4, async);
    EXPECT_EQ(async->Staged, nullptr);
    EXPECT_EQ(async->StagedSize, -4);

    ReleaseTransfer(async);
    EXPECT_EQ(async, nullptr);
    ReleaseTransfer(async); // an empty variable: nothing happens
}

TEST_F(TransferTest, WriteOfZeroBytesStillStartsAWrite) {
    EXPECT_EQ(port.WriteData("ignored", 0, async), 0);
    EXPECT_EQ(async->Staged, nullptr);
    EXPECT_EQ(async->StagedSize, 0);
    EXPECT_EQ(fake::Calls("WriteFile"), std::vector<std::string>{"WriteFile 0"});
    EXPECT_TRUE(port.TransferDone(async));
}

TEST_F(TransferTest, WriteCopiesTheCallersBytes) {
    char buffer[] = {0x41, 0x00, 0x02};
    EXPECT_EQ(port.WriteData(buffer, 3, async), 3);
    buffer[0] = 'Z'; // the caller may reuse its buffer at once
    EXPECT_EQ(async->Direction, tdWrite);
    EXPECT_EQ(std::memcmp(async->Staged, "\x41\x00\x02", 3), 0);
    EXPECT_EQ(fake::Lock()->written, (std::vector<std::uint8_t>{0x41, 0x00, 0x02}));
    EXPECT_TRUE(port.TransferDone(async));
    EXPECT_TRUE(port.TransferDone(async)); // polled twice: still true
    EXPECT_EQ(port.AwaitTransfer(async), 3);
}

TEST_F(TransferTest, PendingTransfersPollFalseUntilTheyEnd) {
    fake::Lock()->transfersPend = true;
    EXPECT_EQ(port.WriteData("ab", 2, async), 0);
    EXPECT_FALSE(port.TransferDone(async));
    fake::CompleteTransfer(&async->Overlapped, true, 2);
    EXPECT_TRUE(port.TransferDone(async));
    EXPECT_EQ(port.AwaitTransfer(async), 2);

    char reply[3] = {};
    EXPECT_EQ(port.ReadData(reply, 3, async), 0);
    EXPECT_EQ(async->Direction, tdRead);
    EXPECT_FALSE(port.TransferDone(async));
    fake::CompleteTransfer(&async->Overlapped, true, 1);
    EXPECT_EQ(port.AwaitTransfer(async), 1);
}

TEST_F(TransferTest, FailedTransfersRaiseByDirection) {
    fake::Lock()->transfersPend = true;
    char reply[3];
    port.ReadData(reply, 3, async);
    fake::CompleteTransfer(&async->Overlapped, false, 0);
    EXPECT_EQ(MessageOf([&] { port.AwaitTransfer(async); }), "Ошибка чтения из порта");
    EXPECT_EQ(MessageOf([&] { port.TransferDone(async); }),
              "Не удалось получить статус асинхронной операции");

    port.WriteData("a", 1, async);
    fake::CompleteTransfer(&async->Overlapped, false, 0);
    EXPECT_EQ(MessageOf([&] { port.AwaitTransfer(async); }), "Ошибка записи в порт");
}

TEST_F(TransferTest, RejectedStartsRaise) {
    fake::Lock()->failing = {"WriteFile", "ReadFile"};
    char reply[3];
    EXPECT_EQ(MessageOf([&] { port.WriteData("abc", 3, async); }), "Ошибка записи в порт");
    EXPECT_EQ(async->StagedSize, 3); // the staged copy stays until release
    EXPECT_EQ(MessageOf([&] { port.ReadData(reply, 3, async); }), "Ошибка чтения из порта");
    fake::Lock()->failing.clear();
}

TEST_F(TransferTest, MissingRecordIsRefusedBeforeAnythingHappens) {
    PPortTransfer none = nullptr;
    char reply[3];
    const char* text = "Недопустимый параметр Async";
    EXPECT_EQ(MessageOf([&] { port.WriteData("abc", 3, none); }), text);
    EXPECT_EQ(MessageOf([&] { port.ReadData(reply, 3, none); }), text);
    EXPECT_EQ(MessageOf([&] { port.AwaitTransfer(none); }), text);
    EXPECT_EQ(MessageOf([&] { port.TransferDone(none); }), text);
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(TransferTest, ClosedPortRefusesTransfers) {
    ASSERT_TRUE(port.Close());
    fake::Lock()->calls.clear();
    char reply[3];
    EXPECT_EQ(MessageOf([&] { port.WriteData("abc", 3, async); }), "Ошибка записи в порт");
    EXPECT_EQ(MessageOf([&] { port.ReadData(reply, 3, async); }), "Ошибка чтения из порта");
    EXPECT_EQ(MessageOf([&] { port.TransferDone(async); }),
              "Не удалось получить статус асинхронной операции");
    EXPECT_EQ(MessageOf([&] { port.AwaitTransfer(async); }), "Ошибка записи в порт");
    EXPECT_TRUE(fake::Calls().empty());
}

} // namespace
