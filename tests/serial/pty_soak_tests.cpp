// Faults and long runs on real pseudo-terminals: a device that vanishes mid-transfer, many
// open/close cycles, and a flood of bytes that must all arrive once and in order.
#include "BCPort.h"
#include "PortSupport.h"
#include "PtyCycles.h"
#include "PtyPair.h"
#include "Pump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

namespace {


// The other end closes while a transfer is pending: the transfer fails with the port's
// texts, nothing hangs, Close works, and the port opens on a new device afterwards.
TEST(PtySoak, DeviceVanishesWhileTransfersArePending) {
    for (TTransferDirection direction : {tdWrite, tdRead}) {
        auto pty = std::make_unique<PtyPair>();
        TBComPort port(nullptr);
        port.SetPort(pty->SlavePath());
        // No limits: the read waits for its bytes, the write for the reader.
        port.Timeouts()->SetReadInterval(0);
        port.Timeouts()->SetWriteTotalMultiplier(0);
        port.Timeouts()->SetWriteTotalConstant(0);
        ASSERT_TRUE(port.Open());
        PPortTransfer async = nullptr;
        CreateTransfer(async);
        std::vector<std::uint8_t> data(1 << 20, 0x55);
        std::uint8_t reply[3];
        if (direction == tdWrite)
            port.WriteData(data.data(), static_cast<int>(data.size()), async);
        else
            port.ReadData(reply, 3, async);
        EXPECT_FALSE(port.TransferDone(async));
        pty->CloseMaster();
        const char* expected = direction == tdWrite ? "Ошибка записи в порт" : "Ошибка чтения из порта";
        EXPECT_EQ(MessageOf([&] { port.AwaitTransfer(async); }), expected);
        EXPECT_EQ(MessageOf([&] { port.TransferDone(async); }),
                  "Не удалось получить статус асинхронной операции");
        ReleaseTransfer(async);
        EXPECT_TRUE(port.Close());

        PtyPair fresh;
        port.SetPort(fresh.SlavePath());
        ASSERT_TRUE(port.Open());
        CreateTransfer(async);
        port.WriteData("ok", 2, async);
        ASSERT_TRUE(PumpUntil([&] { return port.TransferDone(async); }));
        ReleaseTransfer(async);
        EXPECT_EQ(fresh.Receive(2), (std::vector<std::uint8_t>{'o', 'k'}));
        ASSERT_TRUE(port.Close());
    }
}

// The device vanishes while a batch is being delivered: the handler's read fails, the
// event thread ends quietly, Close still works.
TEST(PtySoak, DeviceVanishesDuringDelivery) {
    auto pty = std::make_unique<PtyPair>();
    TBComPort port(nullptr);
    port.SetPort(pty->SlavePath());
    std::atomic<int> calls{0};
    port.OnRxChar = [&](TObject*, int) {
        ++calls;
        pty->CloseMaster();
        std::uint8_t buffer[3];
        ReadAsHandler(port, buffer, 3); // fails: the device is gone
    };
    ASSERT_TRUE(port.Open());
    pty->Send(std::vector<std::uint8_t>{1});
    ASSERT_TRUE(PumpUntil([&] { return calls == 1; }));
    PumpUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(port.Close());
}

TEST(PtySoak, TenThousandOpenCloseCyclesLeakNothing) {
    ExpectOpenCloseCyclesLeakNothing(10000);
}

// 10 MiB at full pty speed into a reading handler: every byte read once, in order.
TEST(PtySoak, FloodArrivesWholeAndInOrder) {
    constexpr std::size_t total = 10u << 20;
    PtyPair pty;
    TBComPort port(nullptr);
    port.SetPort(pty.SlavePath());
    std::size_t received = 0;
    bool inOrder = true;
    std::vector<std::uint8_t> buffer(65536);
    port.OnRxChar = [&](TObject*, int count) {
        const int got = ReadAsHandler(port, buffer.data(), std::min(count, static_cast<int>(buffer.size())));
        for (int i = 0; i < got; ++i, ++received)
            if (buffer[static_cast<std::size_t>(i)] != static_cast<std::uint8_t>(received % 251)) inOrder = false;
    };
    ASSERT_TRUE(port.Open());
    std::thread writer([&] {
        std::vector<std::uint8_t> chunk(4096);
        for (std::size_t sent = 0; sent < total;) {
            for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>((sent + i) % 251);
            pty.Send(chunk);
            sent += chunk.size();
        }
    });
    // Bytes left in the queue wait for the next arrival; the last ones are collected by
    // reading what still waits once the writer is done.
    EXPECT_TRUE(PumpUntil([&] { return received >= total; }, std::chrono::seconds(60)));
    writer.join();
    EXPECT_EQ(received, total);
    EXPECT_TRUE(inOrder);
    ASSERT_TRUE(port.Close());
}

} // namespace
