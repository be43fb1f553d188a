// devsim as its clients meet it: the real program on a real pseudo-terminal.
#include "DevsimProcess.h"
#include "PortClient.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Starts devsim; its first line is the port.
struct Device {
    explicit Device(const std::vector<std::string>& args = {}) : process(args) {
        port = process.NextLine().value_or("");
    }
    DevsimProcess process;
    std::string port;
};

Bytes B(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// As the window sends a command: the text, then the value bytes in a write of their own.
void SendCommand(PortClient& client, const std::string& text, const Bytes& value) {
    if (!text.empty()) client.Write(B(text));
    client.Write(value);
}

// The answer arrives, and nothing after it.
void ExpectAnswer(PortClient& client, const Bytes& answer) {
    EXPECT_EQ(client.Read(answer.size()), answer);
    EXPECT_EQ(client.Read(1, 100ms), Bytes{});
}

const Bytes kValue300 = {0x2C, 0x01};

// The bytes as a log line shows them after its tag: " 01 02 .." and, past the first 4096,
// " ... (N bytes)".
std::string LoggedHex(const Bytes& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < 4096; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", bytes[i]);
        out += hex;
    }
    if (bytes.size() > 4096) out += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

// 1, 2, 3 .. n, wrapping past 255.
Bytes Counting(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<std::uint8_t>(i + 1);
    return out;
}

} // namespace

TEST(Devsim, AnswersEachCommandWithItsValue) {
    Device dev;
    struct stat st {};
    ASSERT_EQ(::stat(dev.port.c_str(), &st), 0) << "first line: " << dev.port;
    ASSERT_TRUE(S_ISCHR(st.st_mode));

    PortClient client(dev.port);
    // A fresh port is 9600 8N1 and raw: an echoing pty would send every command back.
    const termios& mode = client.FoundMode();
    EXPECT_EQ(cfgetospeed(&mode), speed_t(B9600));
    EXPECT_EQ(mode.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
    EXPECT_EQ(mode.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(mode.c_oflag & OPOST, 0u);

    struct Case {
        std::string text;
        Bytes value;
        Bytes answer;
        std::string rx, tx;
    };
    const Case cases[] = {
        {"A", kValue300, {0x2C, 0x01, 0x00}, "rx 41 2c 01", "tx 2c 01 00"},
        {"AB", {0xFF, 0xFF}, {0xFF, 0xFF, 0x00}, "rx 41 42 ff ff", "tx ff ff 00"},
        {"\xC1\xE0", {0x00, 0x01}, {0x00, 0x01, 0x00}, "rx c1 e0 00 01", "tx 00 01 00"},
        // Shorter than a value: the missing high byte counts as 0.
        {"", {0x05}, {0x05, 0x00, 0x00}, "rx 05", "tx 05 00 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rx);
        SendCommand(client, c.text, c.value);
        ExpectAnswer(client, c.answer);
        EXPECT_TRUE(dev.process.WaitForLine(c.rx)) << dev.process.Transcript();
        EXPECT_TRUE(dev.process.WaitForLine("tx" + LoggedHex(c.answer)))
            << dev.process.Transcript();
    }
    EXPECT_EQ(dev.process.Stop(SIGTERM), 0) << dev.process.Transcript();
}

TEST(Devsim, KeepsOnlyTheStartOfAnEndlessCommandForItsLog) {
    Device dev;
    PortClient client(dev.port);
    Bytes command(10000);
    for (std::size_t i = 0; i < command.size(); ++i)
        command[i] = static_cast<std::uint8_t>(i);
    client.Write(command);
    ExpectAnswer(client, {0x0E, 0x0F, 0x00}); // still the last two bytes

    const std::string rx = "rx" + LoggedHex(command);
    EXPECT_TRUE(dev.process.WaitForLine(rx)) << dev.process.Transcript();
    EXPECT_EQ(dev.process.Stop(SIGTERM), 0) << dev.process.Transcript();
}

TEST(Devsim, LongerGapJoinsAPausedCommand) {
    Device dev({"--gap", "500"});
    PortClient client(dev.port);
    client.Write(B("A"));
    std::this_thread::sleep_for(50ms); // far longer than the usual gap of 20 ms
    client.Write(kValue300);
    ExpectAnswer(client, {0x2C, 0x01, 0x00});
    EXPECT_TRUE(dev.process.WaitForLine("rx 41 2c 01")) << dev.process.Transcript();
    EXPECT_EQ(dev.process.Stop(SIGTERM), 0) << dev.process.Transcript();
}

TEST(Devsim, AnswersWithFixedBytesWhenTold) {
    struct Case {
        std::vector<std::string> args;
        Bytes answer;
    };
    const Case cases[] = {
        {{"--reply", "00,01,00"}, {0x00, 0x01, 0x00}},
        {{"--reply", "000100"}, {0x00, 0x01, 0x00}},
        {{"--burst", "10"}, Counting(10)},
        // More than the line takes at once: it goes out in parts, whole and in order.
        {{"--burst", "65536"}, Counting(65536)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        Device dev(c.args);
        PortClient client(dev.port);
        SendCommand(client, "A", kValue300);
        EXPECT_TRUE(dev.process.WaitForLine("rx 41 2c 01")) << dev.process.Transcript();
        // Not reading for a while lets the line fill, so a large answer goes out in parts.
        std::this_thread::sleep_for(100ms);
        ExpectAnswer(client, c.answer);
        EXPECT_TRUE(dev.process.WaitForLine("tx" + LoggedHex(c.answer)))
            << dev.process.Transcript();
        EXPECT_EQ(dev.process.Stop(SIGTERM), 0) << dev.process.Transcript();
    }
}

TEST(Devsim, SilentDeviceHearsButNeverAnswers) {
    Device dev({"--silent"});
    PortClient client(dev.port);
    SendCommand(client, "A", kValue300);
    EXPECT_TRUE(dev.process.WaitForLine("rx 41 2c 01")) << dev.process.Transcript();
    EXPECT_EQ(client.Read(1, 200ms), Bytes{});
    EXPECT_EQ(dev.process.NextLine(100ms), std::nullopt); // no "tx" line either
    EXPECT_EQ(dev.process.Stop(SIGTERM), 0) << dev.process.Transcript();
}

TEST(Devsim, VanishesAfterTheNthAnswer) {
    Device dev({"--vanish-after", "2"});
    PortClient client(dev.port);
    SendCommand(client, "A", kValue300);
    EXPECT_EQ(client.Read(3), (Bytes{0x2C, 0x01, 0x00}));
    // The last answer still reaches the client before the line goes.
    SendCommand(client, "B", {0x07, 0x00});
    EXPECT_EQ(client.Read(3), (Bytes{0x07, 0x00, 0x00}));
    EXPECT_TRUE(client.WaitHangup());
    EXPECT_TRUE(dev.process.WaitForLine("vanished")) << dev.process.Transcript();
    EXPECT_EQ(dev.process.WaitExit(), 0) << dev.process.Transcript();
}

TEST(Devsim, ClientsComeAndGoWithoutWakingIt) {
    Device dev;
    const long cpuBefore = dev.process.CpuTicks();
    for (int i = 0; i < 50; ++i)
        PortClient passing(dev.port);
    // Without a slave of its own held open, the master would report a hang-up after each
    // client and the device would spin: a spinning device burns every tick of this sleep.
    std::this_thread::sleep_for(300ms);
    EXPECT_LE(dev.process.CpuTicks() - cpuBefore, 5);

    for (int i = 0; i < 2; ++i) {
        PortClient client(dev.port);
        SendCommand(client, "A", {static_cast<std::uint8_t>(i), 0x00});
        ExpectAnswer(client, {static_cast<std::uint8_t>(i), 0x00, 0x00});
    }
    EXPECT_EQ(dev.process.Stop(SIGTERM), 0) << dev.process.Transcript();
}

TEST(Devsim, FloodsACountingPatternInOrder) {
    constexpr std::size_t kAmount = 256 * 1024;
    for (const bool now : {false, true}) {
        SCOPED_TRACE(now ? "--flood-now" : "--flood");
        Device dev({now ? "--flood-now" : "--flood"});
        PortClient client(dev.port);
        if (!now) {
            EXPECT_EQ(client.Read(1, 100ms), Bytes{}); // waits for the first command
            SendCommand(client, "A", kValue300);
        }
        const Bytes got = client.Read(kAmount, 20s);
        ASSERT_EQ(got.size(), kAmount);
        std::size_t wrong = 0;
        for (std::size_t i = 0; i < got.size(); ++i)
            wrong += got[i] != static_cast<std::uint8_t>(i);
        EXPECT_EQ(wrong, 0u);
        EXPECT_TRUE(dev.process.WaitForLine("flood")) << dev.process.Transcript();
        EXPECT_EQ(dev.process.Stop(SIGTERM), 0) << dev.process.Transcript();
    }
}

TEST(Devsim, EndsCleanlyOnStopSignals) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        Device dev;
        PortClient client(dev.port); // also with a client on the line
        EXPECT_EQ(dev.process.Stop(sig), 0) << dev.process.Transcript();
        EXPECT_TRUE(client.WaitHangup());
    }
}

TEST(Devsim, RejectsBadOptionsBeforeMakingAPort) {
    const std::vector<std::string> cases[] = {
        {"--reply", "0g"},
        {"--reply", "123"},
        {"--reply", ","},
        {"--burst", "0"},
        {"--burst", "65537"},
        {"--gap", "20ms"},
        {"--vanish-after", "-1"},
        {"--silent", "--burst", "3"},
        {"--bogus"},
        {"--reply"},
        {"stray"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(args[0]);
        DevsimProcess process(args);
        EXPECT_EQ(process.WaitExit(), 2);
        EXPECT_EQ(process.NextLine(0ms), std::nullopt);
        EXPECT_NE(process.Errors().find("devsim: "), std::string::npos) << process.Errors();
    }

    DevsimProcess help({"--help"});
    EXPECT_EQ(help.WaitExit(), 0);
    EXPECT_EQ(help.NextLine(0ms).value_or("").rfind("Usage: devsim", 0), 0u);
}
