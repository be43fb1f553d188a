// CreateFileA on serial devices: which names open what, exclusivity, and that failures
// and closes leave nothing behind.
#include "device_fixture.h"
#include "handles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/device-open-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    fs::path operator/(const char* name) const { return path_ / name; }

  private:
    fs::path path_;
};

std::string Contents(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct timespec ModTime(const fs::path& file) {
    struct stat st {};
    ::stat(file.c_str(), &st);
    return st.st_mtim;
}

} // namespace

TEST_F(OpenPty, OpensTheSlaveInRawModeKeepingItsRate) {
    const SlaveMode mode = pty_.Mode();
    EXPECT_EQ(mode.lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(mode.oflag & OPOST, 0u);
    EXPECT_EQ(mode.iflag & (ICRNL | IXON | ISTRIP), 0u);
    EXPECT_EQ(mode.cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(mode.vmin, 0);
    EXPECT_EQ(mode.vtime, 0);
    EXPECT_EQ(mode.ospeed, 38400u) << "a fresh pty runs at 38400 and the open keeps it";

    DCB dcb{};
    ASSERT_TRUE(GetCommState(port_, &dcb));
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.BaudRate, 38400u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

// Nothing but a terminal character device is opened; everything else reads as missing
// and is left exactly as it was.
TEST(DeviceOpen, RefusesNamesThatAreNotTerminalsAsMissing) {
    TempDir dir;
    const fs::path file = dir / "notes.txt";
    std::ofstream(file) << "keep me";
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto fileTime = ModTime(file);
    PtyPair pty;
    const std::string slave = pty.SlavePath();

    const std::string cases[] = {
        "\\\\.\\ttyNOPE",
        "\\\\.\\/dev/ttyNOPE",
        DeviceName(file),
        DeviceName(dir / "."),
        DeviceName(fifo),
        "\\\\.\\null",
        "\\\\.\\/dev/null",
        "",
        "\\\\.\\",
        slave, // no "\\.\" prefix
        "COM2",
        "\\\\.\\pts/" + slave.substr(9), // a bare name may not hold a path
        "\\\\.\\..",
        "\\\\.\\/dev/../" + slave.substr(1), // every one of these names the real pty
        "\\\\.\\/dev//" + slave.substr(5),
        "\\\\.\\/dev/./" + slave.substr(5),
        "\\\\.\\" + slave + "/",
        "\\\\.\\" + slave + "\\",
    };
    const int descriptors = OpenDescriptorCount();
    for (const std::string& name : cases) {
        SCOPED_TRACE(name);
        SetLastError(0);
        const HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        EXPECT_EQ(h, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(
        CreateFileA(nullptr, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(Contents(file), "keep me");
    const auto fileTimeAfter = ModTime(file);
    EXPECT_EQ(fileTimeAfter.tv_sec, fileTime.tv_sec);
    EXPECT_EQ(fileTimeAfter.tv_nsec, fileTime.tv_nsec);
    EXPECT_TRUE(fs::is_fifo(fifo));

    // The refused names did not touch the pty: it still opens.
    const HANDLE h = OpenDevice(slave);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
}

TEST_F(OpenPty, SecondOpenIsDeniedWhileTheFirstIsHeld) {
    EXPECT_EQ(OpenDevice(pty_.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    // The refused open must not have released the holder's kernel-side exclusivity.
    // (Root may open past TIOCEXCL, which lets the test look.)
    const int probe = ::open(pty_.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(probe, 0);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_NE(exclusive, 0);

    ASSERT_TRUE(CloseHandle(port_));
    port_ = INVALID_HANDLE_VALUE;
    ASSERT_EQ(::ioctl(probe, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "closing gives the device back";
    ::close(probe);

    port_ = OpenDevice(pty_.SlavePath());
    EXPECT_NE(port_, INVALID_HANDLE_VALUE);
}

TEST(DeviceOpen, DeviceLockedByAnotherProgramIsDenied) {
    PtyPair pty;
    const int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenDevice(pty.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ::close(other);

    const HANDLE h = OpenDevice(pty.SlavePath());
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(h));
}

TEST(DeviceOpen, RepeatedOpenAndCloseLeavesNothingOpen) {
    PtyPair pty;
    const int descriptors = OpenDescriptorCount();
    const std::size_t handles = winapi_linux::LiveHandleCount();
    for (int i = 0; i < 1000; ++i) {
        const HANDLE h = OpenDevice(pty.SlavePath());
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << "cycle " << i << ", error " << GetLastError();
        ASSERT_EQ(OpenDevice(pty.SlavePath()), INVALID_HANDLE_VALUE) << "cycle " << i;
        ASSERT_TRUE(CloseHandle(h)) << "cycle " << i;
    }
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(winapi_linux::LiveHandleCount(), handles);
}
