// Modem line events on a device that claims modem lines its driver cannot watch (a
// pseudo-terminal standing in for such an adapter): watching them must neither break
// the other events nor leave a thread behind.
#include "transfer_fixture.h"

#include "device.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

TEST(ModemLineEvents, AnUnwatchableDeviceStillReportsDataAndLeavesNoThread) {
    PtyPair pty;
    auto device = std::make_shared<winapi_linux::CommDevice>();
    device->fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(device->fd, 0);
    device->hasModemLines = true;
    const HANDLE port = winapi_linux::InsertObject(device);
    DCB dcb = ComponentDcb(9600);
    ASSERT_TRUE(SetCommState(port, &dcb));
    COMMTIMEOUTS timeouts = kComponentTimeouts;
    ASSERT_TRUE(SetCommTimeouts(port, &timeouts));

    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR)); // the process's transfer thread is up now
    const int threads = ThreadCount();
    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD | EV_RING));
    Record wait;
    DWORD mask = 0;
    ASSERT_FALSE(WaitCommEvent(port, &mask, &wait.ov));
    pty.Send("data");
    ASSERT_TRUE(AwaitEnd(port, wait).ok);
    EXPECT_EQ(mask, EV_RXCHAR);

    ASSERT_TRUE(SetCommMask(port, EV_RXCHAR)); // the watch ends here
    EXPECT_EQ(ThreadCount(), threads);
    ASSERT_TRUE(SetCommMask(port, EV_CTS)); // and again on close
    EXPECT_TRUE(CloseHandle(port));
    EXPECT_EQ(ThreadCount(), threads);
}

} // namespace
