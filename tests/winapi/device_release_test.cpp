// Devices that must never be taken as serial lines, and a device that is free again as
// soon as its handle is closed.
#include "winapi.h"

#include "PtyPair.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace {

HANDLE OpenPort(const std::string& name) {
    const std::string path = "\\\\.\\" + name;
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

// The user's own terminal and the consoles are terminals too, but raw mode on them would
// take the user's screen and keyboard away.
TEST(DeviceRelease, ConsolesAreRefused) {
    for (const char* name : {"tty", "/dev/tty", "console", "tty0", "tty1"}) {
        const std::string node = name[0] == '/' ? name : std::string("/dev/") + name;
        if (::access(node.c_str(), F_OK) != 0) continue; // not on this machine
        SetLastError(0);
        EXPECT_EQ(OpenPort(name), INVALID_HANDLE_VALUE) << name;
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << name;
    }
}

// Closing a handle while a transfer is still pending frees the device at once: a new open
// right after the close is never refused as busy.
TEST(DeviceRelease, ReopenRightAfterCloseWithPendingTransfer) {
    PtyPair pty;
    std::vector<std::uint8_t> data(1 << 16, 0x5A);
    for (int i = 0; i < 200; ++i) {
        HANDLE port = OpenPort(pty.SlavePath());
        ASSERT_NE(port, INVALID_HANDLE_VALUE) << "cycle " << i << ", error " << GetLastError();
        COMMTIMEOUTS none{};
        ASSERT_TRUE(SetCommTimeouts(port, &none));
        OVERLAPPED write{};
        write.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD written = 0;
        WriteFile(port, data.data(), static_cast<DWORD>(data.size()), &written, &write);
        DWORD transferred = 0;
        GetOverlappedResult(port, &write, &transferred, FALSE); // polled, not waited on
        ASSERT_TRUE(CloseHandle(port));
        CloseHandle(write.hEvent);
        pty.Drain(std::chrono::milliseconds(0));
    }
}

} // namespace
