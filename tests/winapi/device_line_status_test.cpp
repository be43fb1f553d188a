// The line's status and control lines on a pty, which has no modem lines and no error
// counters: the functions succeed and report nothing where there is nothing to report.
#include "device_fixture.h"

#include "device.h"
#include "handles.h"

#include <chrono>
#include <thread>

namespace {

// cbInQue once it reaches `want`, or its last value when the deadline passes first
// (pty data crosses a kernel worker, so it arrives a little after the master's write).
DWORD WaitForInQueue(HANDLE port, DWORD want) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    COMSTAT stat{};
    do {
        DWORD errors = 0;
        if (!ClearCommError(port, &errors, &stat)) return 0;
        if (stat.cbInQue >= want) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (std::chrono::steady_clock::now() < deadline);
    return stat.cbInQue;
}

} // namespace

TEST_F(OpenPty, ModemFunctionsSucceedWithoutModemLines) {
    DWORD status = 0xFFFFFFFFu;
    ASSERT_TRUE(GetCommModemStatus(port_, &status));
    EXPECT_EQ(status, 0u);
    for (const DWORD function : {SETDTR, CLRDTR, SETRTS, CLRRTS, SETBREAK, CLRBREAK}) {
        SCOPED_TRACE(function);
        EXPECT_TRUE(EscapeCommFunction(port_, function)) << "error " << GetLastError();
    }
    for (const DWORD unknown : {DWORD{0}, DWORD{7}, DWORD{10}, DWORD{0xFFFFFFFFu}}) {
        SCOPED_TRACE(unknown);
        SetLastError(0);
        EXPECT_FALSE(EscapeCommFunction(port_, unknown));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(GetCommModemStatus(port_, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(OpenPty, ClearCommErrorCountsReceivedBytesAndReportsNoErrors) {
    COMSTAT stat{};
    DWORD errors = 0xFFFFFFFFu;
    ASSERT_TRUE(ClearCommError(port_, &errors, &stat));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(stat.cbInQue, 0u);
    EXPECT_EQ(stat.cbOutQue, 0u);

    pty_.Send(std::string("\x01\x02\x03", 3));
    EXPECT_EQ(WaitForInQueue(port_, 3), 3u);
    pty_.Send(std::string(100, '\0'));
    EXPECT_EQ(WaitForInQueue(port_, 103), 103u) << "counting does not consume";
    EXPECT_TRUE(ClearCommError(port_, nullptr, nullptr));
}

TEST_F(OpenPty, ClearCommErrorFailsOnceTheDeviceHasGone) {
    pty_.CloseMaster();
    COMSTAT stat{};
    DWORD errors = 0;
    EXPECT_FALSE(ClearCommError(port_, &errors, &stat));
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
}

// The event thread refreshes the error state while the main thread queries and changes
// settings; run under ThreadSanitizer as well.
TEST_F(OpenPty, StatusAndSettingsFromTwoThreads) {
    const auto device = winapi_linux::Lookup<winapi_linux::CommDevice>(port_);
    ASSERT_TRUE(device);
    std::thread events([&] {
        for (int i = 0; i < 200; ++i) {
            winapi_linux::RefreshLineErrors(*device);
            DWORD status = 0;
            GetCommModemStatus(port_, &status);
        }
    });
    for (int i = 0; i < 200; ++i) {
        DCB dcb = ComponentDcb(i % 2 ? 9600 : 115200);
        EXPECT_TRUE(SetCommState(port_, &dcb));
        DWORD errors = 0;
        COMSTAT stat{};
        EXPECT_TRUE(ClearCommError(port_, &errors, &stat));
        EXPECT_EQ(errors, 0u);
    }
    events.join();
}
