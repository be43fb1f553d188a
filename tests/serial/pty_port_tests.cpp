// The component on the real Linux layer: pseudo-terminal pairs stand for the device.
#include "BCPort.h"
#include "PortSupport.h"
#include "PtyCycles.h"
#include "PtyPair.h"
#include "Pump.h"

#include <gtest/gtest.h>

#include <termios.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {


bool IsRaw(const SlaveMode& m) {
    return (m.lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 && (m.iflag & (ICRNL | IXON | IXOFF | ISTRIP)) == 0 &&
           (m.oflag & OPOST) == 0 && (m.cflag & (CREAD | CLOCAL)) == (CREAD | CLOCAL) && (m.cflag & CRTSCTS) == 0;
}

TEST(PtyPort, TheOtherEndSeesTheLineSettings) {
    struct {
        TBaudRate rate;
        TStopBits stopBits;
        unsigned speed;
        bool twoStopBits;
    } const cases[] = {
        {br9600, sb1, 9600, false},
        {br115200, sb2, 115200, true},
        {br256000, sb1, 256000, false}, // no termios constant: the arbitrary-rate interface
        {br14400, sb1_5, 14400, true},  // one and a half stop bits become two
    };
    for (const auto& c : cases) {
        PtyPair pty;
        TBComPort port(nullptr);
        port.SetPort(pty.SlavePath());
        port.SetBaudRate(c.rate);
        port.SetStopBits(c.stopBits);
        ASSERT_TRUE(port.Open());
        const SlaveMode mode = pty.Mode();
        EXPECT_EQ(mode.ospeed, c.speed);
        EXPECT_EQ(mode.ispeed, c.speed);
        EXPECT_EQ((mode.cflag & CSTOPB) != 0, c.twoStopBits) << c.speed;
        EXPECT_TRUE(IsRaw(mode)) << c.speed;
        EXPECT_EQ(mode.vmin, 0);
        EXPECT_EQ(mode.vtime, 0);

        port.SetBaudRate(br57600); // pushed while open
        EXPECT_EQ(pty.Mode().ospeed, 57600u);
        ASSERT_TRUE(port.Close());
    }
}

TEST(PtyPort, OpenErrorsReachTheUser) {
    PtyPair pty;
    TBComPort first(nullptr), second(nullptr);
    first.SetPort(pty.SlavePath());
    second.SetPort(pty.SlavePath());
    ASSERT_TRUE(first.Open());
    EXPECT_EQ(MessageOf([&] { second.Open(); }), "Порт занят другой программой");
    EXPECT_FALSE(second.IsOpen());
    ASSERT_TRUE(first.Close());
    EXPECT_TRUE(second.Open()); // free again once closed
    ASSERT_TRUE(second.Close());

    TBComPort missing(nullptr);
    missing.SetPort("ttyNoSuchPort99");
    EXPECT_EQ(MessageOf([&] { missing.Open(); }), "Попытка открыть несуществующий COM-порт");
}

TEST(PtyPort, AFilePathIsNeverOpenedOrChanged) {
    char path[] = "/tmp/serialtest-fileXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "keep me", 7), 7);
    close(fd);
    struct stat before {};
    ASSERT_EQ(stat(path, &before), 0);

    TBComPort port(nullptr);
    port.SetPort(path);
    EXPECT_EQ(MessageOf([&] { port.Open(); }), "Попытка открыть несуществующий COM-порт");
    struct stat after {};
    ASSERT_EQ(stat(path, &after), 0);
    EXPECT_EQ(after.st_size, 7);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "keep me");
    std::remove(path);
}

TEST(PtyPort, OpenCloseCyclesLeakNothing) {
    ExpectOpenCloseCyclesLeakNothing(1000);
}

// Bytes both ways, with the component's default timeouts.
TEST(PtyPort, BytesBothWays) {
    PtyPair pty;
    TBComPort port(nullptr);
    port.SetPort(pty.SlavePath());
    ASSERT_TRUE(port.Open());

    PPortTransfer async = nullptr;
    CreateTransfer(async);
    const char command[] = {'A', 0x02, 0x01};
    port.WriteData(command, 3, async);
    ASSERT_TRUE(PumpUntil([&] { return port.TransferDone(async); }));
    EXPECT_EQ(port.AwaitTransfer(async), 3);
    EXPECT_EQ(pty.Receive(3), (std::vector<std::uint8_t>{'A', 0x02, 0x01}));

    pty.Send(std::vector<std::uint8_t>{0x2C, 0x01, 0x00, 0x07});
    ASSERT_TRUE(PumpUntil([&] { return port.BytesWaiting() == 4; }));
    std::uint8_t reply[3] = {};
    port.ReadData(reply, 3, async);
    ASSERT_TRUE(PumpUntil([&] { return port.TransferDone(async); }));
    EXPECT_EQ(port.AwaitTransfer(async), 3);
    EXPECT_EQ(reply[0], 0x2C);
    EXPECT_EQ(reply[1], 0x01);
    EXPECT_EQ(port.BytesWaiting(), 1); // the fourth byte waits for the next read
    ReleaseTransfer(async);
    ASSERT_TRUE(port.Close());
}

// A write larger than the line can take at once finishes in the background, every byte
// in order, once the other end reads.
TEST(PtyPort, AWriteThatWaitsForTheLine) {
    PtyPair pty;
    TBComPort port(nullptr);
    port.SetPort(pty.SlavePath());
    port.Timeouts()->SetWriteTotalMultiplier(0);
    port.Timeouts()->SetWriteTotalConstant(0); // no limit: the write waits for the reader
    ASSERT_TRUE(port.Open());
    std::vector<std::uint8_t> data(256 * 1024);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    PPortTransfer async = nullptr;
    CreateTransfer(async);
    EXPECT_EQ(port.WriteData(data.data(), static_cast<int>(data.size()), async), 0); // pending
    EXPECT_FALSE(port.TransferDone(async));
    EXPECT_EQ(pty.Receive(data.size(), std::chrono::seconds(20)), data);
    ASSERT_TRUE(PumpUntil([&] { return port.TransferDone(async); }));
    EXPECT_EQ(port.AwaitTransfer(async), static_cast<int>(data.size()));
    ReleaseTransfer(async);
    ASSERT_TRUE(port.Close());
}

// A reply from the device reaches OnRxChar on the main thread, bytes beyond those read
// waiting for the next arrival.
TEST(PtyPort, RepliesReachOnRxChar) {
    PtyPair pty;
    TBComPort port(nullptr);
    port.SetPort(pty.SlavePath());
    std::vector<int> values;
    std::atomic<bool> wrongThread{false};
    port.OnRxChar = [&](TObject*, int) {
        if (!IsMainThread()) wrongThread = true;
        std::uint8_t reply[3] = {};
        ReadAsHandler(port, reply, 3);
        values.push_back(reply[0] + 256 * reply[1] + 65536 * reply[2]);
    };
    ASSERT_TRUE(port.Open());
    pty.Send(std::vector<std::uint8_t>{0x00, 0x01, 0x00});
    ASSERT_TRUE(PumpUntil([&] { return values.size() == 1; }));
    EXPECT_EQ(values[0], 256);
    pty.Send(std::vector<std::uint8_t>{1, 2, 3, 4, 5});
    ASSERT_TRUE(PumpUntil([&] { return values.size() == 2; }));
    EXPECT_EQ(port.BytesWaiting(), 2); // not reported again until more arrives
    pty.Send(std::vector<std::uint8_t>{6});
    ASSERT_TRUE(PumpUntil([&] { return values.size() == 3; }));
    EXPECT_EQ(values[2], 4 + 256 * 5 + 65536 * 6);
    EXPECT_FALSE(wrongThread);
    ASSERT_TRUE(port.Close());
}

// The other end goes away while the port is open: nothing hangs, Close works, and the
// port can be opened on a new device.
TEST(PtyPort, VanishingDeviceNeitherHangsNorBlocksClose) {
    for (TSyncMethod method : {smThreadSync, smWindowSync, smNone}) {
        auto pty = std::make_unique<PtyPair>();
        TBComPort port(nullptr);
        port.SetSyncMethod(method);
        port.SetPort(pty->SlavePath());
        ASSERT_TRUE(port.Open());
        pty->CloseMaster();
        PumpUntil([] { return false; }, std::chrono::milliseconds(100));
        EXPECT_TRUE(port.Close()) << int(method);
        PtyPair fresh;
        port.SetPort(fresh.SlavePath());
        ASSERT_TRUE(port.Open());
        ASSERT_TRUE(port.Close());
    }
}

} // namespace
