// The port's settings, opening and closing, checked call by call against the fake device layer.
#include "BCPort.h"
#include "PortSupport.h"
#include "FakeComm.h"
#include "Pump.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

class PortTest : public ::testing::Test {
protected:
    void SetUp() override { fake::Reset(); }
    void TearDown() override {
        port.reset();
        EXPECT_EQ(fake::Lock()->openDevices, 0);
    }

    // Opens and forgets the calls so far, once the event thread has started its wait.
    void OpenClean() {
        ASSERT_TRUE(port->Open());
        ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
        fake::Lock()->calls.clear();
    }

    std::unique_ptr<TBComPort> port = std::make_unique<TBComPort>(nullptr);
};


TEST(PortMessages, FifteenTextsExactly) {
    const char* expected[] = {
        "Попытка открыть несуществующий COM-порт",
        "Порт занят другой программой",
        "Ошибка записи в порт",
        "Ошибка чтения из порта",
        "Недопустимый параметр Async",
        "Ошибка функции PurgeComm",
        "Не удалось получить статус асинхронной операции",
        "Ошибка функции SetCommState",
        "Ошибка функции SetCommTimeouts",
        "Ошибка функции SetupComm",
        "Ошибка функции ClearCommError",
        "Ошибка функции GetCommModemStatus",
        "Ошибка функции EscapeCommFunction",
        "Нельзя менять свойство, пока порт открыт",
        "Ошибка обращения к системному реестру",
    };
    for (int n = 1; n <= 15; ++n) {
        EXPECT_STREQ(PortMessages[static_cast<std::size_t>(n)], expected[n - 1]) << n;
        try {
            RaiseComPort(n);
            ADD_FAILURE() << "message " << n << " raised nothing";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Message(), expected[n - 1]);
        }
    }
}

TEST_F(PortTest, DefaultsAndOpenSequence) {
    EXPECT_EQ(port->BaudRate(), br9600);
    EXPECT_EQ(port->Port(), "COM2");
    EXPECT_EQ(port->InBufSize(), 2048);
    EXPECT_EQ(port->SyncMethod(), smThreadSync);
    EXPECT_EQ(port->ComponentStyle() & csInheritable, 0u);
    EXPECT_EQ(port->Device(), INVALID_HANDLE_VALUE);

    port->SetPort("COM10");
    ASSERT_TRUE(port->Open());
    EXPECT_TRUE(port->IsOpen());
    const auto calls = fake::Calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(calls[0], "CreateFileA \\\\.\\COM10");
    EXPECT_EQ(calls[1], "SetupComm 2048 2048");
    EXPECT_EQ(calls[2], "SetCommState");
    EXPECT_EQ(calls[3], "SetCommTimeouts");
    EXPECT_EQ(calls[4], "SetCommMask 1469"); // all eight events; the event thread starts

    const DCB dcb = fake::Lock()->lastDcb;
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.Flags, 0x1011u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, 0);
    EXPECT_EQ(dcb.StopBits, 0);
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_EQ(dcb.XonLim, 0);
    EXPECT_EQ(dcb.XoffLim, 0);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.EofChar, 0);
    EXPECT_EQ(dcb.EvtChar, 0);

    const COMMTIMEOUTS t = fake::Lock()->lastTimeouts;
    EXPECT_EQ(t.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);

    // A second Open does nothing.
    ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
    fake::Lock()->calls.clear();
    EXPECT_TRUE(port->Open());
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(PortTest, LineSettingsReachTheDcb) {
    OpenClean();
    for (int rate = br110; rate <= br256000; ++rate) {
        port->SetBaudRate(static_cast<TBaudRate>(rate));
        EXPECT_EQ(fake::Lock()->lastDcb.BaudRate, BaudRateValues[static_cast<std::size_t>(rate)]);
    }
    struct {
        TParity parity;
        BYTE code;
        DWORD flags;
    } const parities[] = {{paOdd, 1, 0x1013}, {paEven, 2, 0x1013}, {paMark, 3, 0x1013},
                          {paSpace, 4, 0x1013}, {paNone, 0, 0x1011}};
    for (const auto& c : parities) {
        port->SetParity(c.parity);
        EXPECT_EQ(fake::Lock()->lastDcb.Parity, c.code);
        EXPECT_EQ(fake::Lock()->lastDcb.Flags, c.flags);
    }
    for (int size = bs5; size <= bs8; ++size) {
        port->SetByteSize(static_cast<TByteSize>(size));
        EXPECT_EQ(fake::Lock()->lastDcb.ByteSize, size + 5);
    }
    port->SetStopBits(sb1_5);
    EXPECT_EQ(fake::Lock()->lastDcb.StopBits, 1);
    port->SetStopBits(sb2);
    EXPECT_EQ(fake::Lock()->lastDcb.StopBits, 2);
}

TEST_F(PortTest, PushesOnlyWhileOpenAndOnlyForChanges) {
    port->SetBaudRate(br115200);
    port->SetInBufSize(1024);
    port->Timeouts()->SetReadTotalConstant(50);
    EXPECT_TRUE(fake::Calls().empty()); // closed: stored only

    ASSERT_TRUE(port->Open()); // the stored values reach the device now
    EXPECT_EQ(fake::Lock()->lastDcb.BaudRate, 115200u);
    EXPECT_TRUE(fake::Called("SetupComm 1024 2048"));
    EXPECT_EQ(fake::Lock()->lastTimeouts.ReadTotalTimeoutConstant, 50u);
    ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
    fake::Lock()->calls.clear();

    port->SetBaudRate(br115200);
    port->SetParity(paNone);
    port->SetByteSize(bs8);
    port->SetStopBits(sb1);
    port->SetInBufSize(1024);
    port->Timeouts()->SetReadTotalConstant(50);
    port->SetSyncMethod(smThreadSync); // the current value: allowed while open
    EXPECT_TRUE(fake::Calls().empty());

    port->SetBaudRate(br57600);
    port->Timeouts()->SetWriteTotalConstant(-5);
    EXPECT_EQ(fake::Calls(), (std::vector<std::string>{"SetCommState", "SetCommTimeouts"}));
    EXPECT_EQ(fake::Lock()->lastTimeouts.WriteTotalTimeoutConstant, 0xFFFFFFFFu);
}

TEST(ClampTimeout, NegativeBecomesAllBits) {
    EXPECT_EQ(ClampTimeout(-5), 0xFFFFFFFFu);
    EXPECT_EQ(ClampTimeout(-1), 0xFFFFFFFFu);
    EXPECT_EQ(ClampTimeout(0), 0u);
    EXPECT_EQ(ClampTimeout(1000), 1000u);
}

TEST_F(PortTest, QueueSizesLowerOddPositiveValues) {
    struct {
        int stored, assigned, expected;
        bool pushes;
    } const cases[] = {
        {2048, 4095, 4094, true},
        {2048, -3, -3, true},
        {2048, 1, 0, true},
        {4094, 4095, 4094, true}, // compared before lowering: pushed again
        {4094, 4094, 4094, false},
    };
    OpenClean();
    for (const auto& c : cases) {
        port->SetInBufSize(c.stored);
        port->SetOutBufSize(c.stored);
        fake::Lock()->calls.clear();
        port->SetInBufSize(c.assigned);
        EXPECT_EQ(port->InBufSize(), c.expected) << c.assigned;
        EXPECT_EQ(fake::Calls("SetupComm").size(), c.pushes ? 1u : 0u) << c.assigned;
        if (c.pushes) {
            const std::string size = std::to_string(static_cast<DWORD>(c.expected));
            EXPECT_EQ(fake::Calls("SetupComm")[0], "SetupComm " + size + " " + std::to_string(c.stored));
        }
        port->SetOutBufSize(c.assigned);
        EXPECT_EQ(port->OutBufSize(), c.expected) << c.assigned;
    }
}

TEST_F(PortTest, TimeoutsAssignCopiesAndAlwaysPushes) {
    TBComPort other(nullptr);
    other.Timeouts()->SetReadInterval(7);
    other.Timeouts()->SetWriteTotalMultiplier(3);
    OpenClean();
    port->SetTimeouts(other.Timeouts());
    EXPECT_EQ(port->Timeouts()->ReadInterval(), 7);
    EXPECT_EQ(port->Timeouts()->WriteTotalMultiplier(), 3);
    EXPECT_EQ(fake::Lock()->lastTimeouts.ReadIntervalTimeout, 7u);
    port->SetTimeouts(other.Timeouts()); // the same values: pushed all the same
    EXPECT_EQ(fake::Calls("SetCommTimeouts").size(), 2u);

    // Nothing, or an object of another class: the cannot-assign error, nothing changed or pushed.
    TStringList notTimeouts;
    fake::Lock()->calls.clear();
    EXPECT_THROW(port->SetTimeouts(nullptr), EConvertError);
    EXPECT_THROW(port->SetTimeouts(&notTimeouts), EConvertError);
    EXPECT_TRUE(fake::Calls().empty());
    EXPECT_EQ(port->Timeouts()->ReadInterval(), 7);
}

TEST_F(PortTest, PortAndSyncMethodFrozenWhileOpen) {
    OpenClean();
    EXPECT_EQ(MessageOf([&] { port->SetPort("COM2"); }), "Нельзя менять свойство, пока порт открыт");
    EXPECT_EQ(MessageOf([&] { port->SetSyncMethod(smNone); }), "Нельзя менять свойство, пока порт открыт");
    EXPECT_EQ(port->SyncMethod(), smThreadSync);
    ASSERT_TRUE(port->Close());
    port->SetPort("ttyUSB0");
    port->SetSyncMethod(smNone);
    EXPECT_EQ(port->Port(), "ttyUSB0");
    EXPECT_EQ(port->SyncMethod(), smNone);
}

TEST_F(PortTest, FailedOpenLeavesDeviceAndPortClosed) {
    struct {
        DWORD createError;
        const char* failing;
        const char* message;
    } const cases[] = {
        {ERROR_FILE_NOT_FOUND, "", "Попытка открыть несуществующий COM-порт"},
        {ERROR_ACCESS_DENIED, "", "Порт занят другой программой"},
        {ERROR_GEN_FAILURE, "", "Ошибка функции SetupComm"}, // any other reason
        {0, "SetupComm", "Ошибка функции SetupComm"},
        {0, "SetCommState", "Ошибка функции SetCommState"},
        {0, "SetCommTimeouts", "Ошибка функции SetCommTimeouts"},
    };
    for (const auto& c : cases) {
        fake::Reset();
        fake::Lock()->createError = c.createError;
        if (*c.failing) fake::Lock()->failing = {c.failing};
        EXPECT_EQ(MessageOf([&] { port->Open(); }), c.message);
        EXPECT_FALSE(port->IsOpen()) << c.message;
        EXPECT_EQ(fake::Lock()->openDevices, 0) << c.message;
        EXPECT_TRUE(fake::Calls("SetCommMask").empty()) << "no event thread after a failed open";
        EXPECT_TRUE(port->Close()); // nothing to close, nothing called
        EXPECT_TRUE(fake::Calls("EscapeCommFunction").empty());
    }
}

TEST_F(PortTest, CloseLowersLinesPurgesThenStopsTheThread) {
    OpenClean();
    ASSERT_TRUE(port->Close());
    EXPECT_FALSE(port->IsOpen());
    const auto calls = fake::Calls();
    const std::vector<std::string> expected = {"EscapeCommFunction 6", "EscapeCommFunction 4",
                                               "PurgeComm 3", "SetCommMask 0", "PurgeComm 12",
                                               "CloseHandle"};
    std::vector<std::string> seen;
    for (const auto& c : calls)
        if (std::find(expected.begin(), expected.end(), c) != expected.end()) seen.push_back(c);
    EXPECT_EQ(seen, expected);

    fake::Lock()->calls.clear();
    EXPECT_TRUE(port->Close()); // closed already: nothing happens
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(PortTest, FailureInsideCloseKeepsThePortOpen) {
    struct {
        const char* failing;
        const char* message;
    } const cases[] = {
        {"EscapeCommFunction 6", "Ошибка функции EscapeCommFunction"},
        {"EscapeCommFunction 4", "Ошибка функции EscapeCommFunction"},
        {"PurgeComm 3", "Ошибка функции PurgeComm"},
    };
    for (const auto& c : cases) {
        fake::Reset();
        ASSERT_TRUE(port->Open());
        ASSERT_TRUE(PumpUntil(fake::CommWaitPending));
        fake::Lock()->failing = {c.failing};
        EXPECT_EQ(MessageOf([&] { port->Close(); }), c.message);
        EXPECT_TRUE(port->IsOpen());
        EXPECT_TRUE(fake::CommWaitPending()) << "the event thread keeps running";
        EXPECT_FALSE(fake::Called("CloseHandle"));
        fake::Lock()->failing.clear();
        EXPECT_TRUE(port->Close());
        EXPECT_EQ(fake::Lock()->openDevices, 0);
    }
}

TEST_F(PortTest, DestroyClosesAnOpenPort) {
    ASSERT_TRUE(port->Open());
    port.reset();
    EXPECT_TRUE(fake::Called("EscapeCommFunction 6"));
    EXPECT_TRUE(fake::Called("CloseHandle"));
}

TEST_F(PortTest, DestroyReleasesTheDeviceEvenWhenCloseFails) {
    ASSERT_TRUE(port->Open());
    fake::Lock()->failing = {"EscapeCommFunction"};
    port.reset(); // TearDown checks that no device stays open
}

TEST_F(PortTest, OwnerFreesThePort) {
    auto owner = std::make_unique<TComponent>(nullptr);
    auto* owned = new TBComPort(owner.get());
    ASSERT_TRUE(owned->Open());
    owner.reset();
    EXPECT_EQ(fake::Lock()->openDevices, 0);
}

TEST_F(PortTest, LineControlAndStatus) {
    OpenClean();
    port->SetDTRLine(true);
    port->SetRTSLine(true);
    port->SetDTRLine(false);
    port->SetRTSLine(false);
    EXPECT_EQ(fake::Calls(), (std::vector<std::string>{"EscapeCommFunction 5", "EscapeCommFunction 3",
                                                       "EscapeCommFunction 6", "EscapeCommFunction 4"}));
    fake::Lock()->modemStatus = MS_CTS_ON | MS_RLSD_ON;
    EXPECT_EQ(port->LineSignals(), (TLineSignals{lsCTS, lsRLSD}));
    fake::Lock()->modemStatus = MS_DSR_ON | MS_RING_ON;
    EXPECT_EQ(port->LineSignals(), (TLineSignals{lsDSR, lsRing}));
    fake::Lock()->incoming = {1, 2, 3, 4};
    EXPECT_EQ(port->BytesWaiting(), 4);

    fake::Lock()->failing = {"ClearCommError", "GetCommModemStatus", "EscapeCommFunction", "PurgeComm"};
    EXPECT_EQ(MessageOf([&] { port->BytesWaiting(); }), "Ошибка функции ClearCommError");
    EXPECT_EQ(MessageOf([&] { port->LineSignals(); }), "Ошибка функции GetCommModemStatus");
    EXPECT_EQ(MessageOf([&] { port->SetDTRLine(true); }), "Ошибка функции EscapeCommFunction");
    EXPECT_EQ(MessageOf([&] { port->AbortTransfers(); }), "Ошибка функции PurgeComm");
    fake::Lock()->failing.clear();
}

TEST_F(PortTest, SettingsPushFailureWhileOpenKeepsTheNewValue) {
    OpenClean();
    fake::Lock()->failing = {"SetCommState"};
    EXPECT_EQ(MessageOf([&] { port->SetBaudRate(br300); }), "Ошибка функции SetCommState");
    EXPECT_EQ(port->BaudRate(), br300);
    EXPECT_EQ(fake::Lock()->lastDcb.BaudRate, 9600u); // the device keeps what it had
    fake::Lock()->failing.clear();
}

TEST(EventMask, SetAndMaskRoundTrip) {
    const TPortEvents all{peRxChar, peTxEmpty, peRing, peCTS, peDSR, peRLSD, peError, peRx80Full};
    EXPECT_EQ(EventSetToCommMask(all), 0x05BDu);
    EXPECT_EQ(CommMaskToEventSet(0x05BD), all);
    EXPECT_EQ(CommMaskToEventSet(EV_RXFLAG | EV_BREAK), TPortEvents{});
    EXPECT_EQ(CommMaskToEventSet(EV_ERR | EV_RXCHAR), (TPortEvents{peError, peRxChar}));
}

} // namespace
