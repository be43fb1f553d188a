// CreateFileA for serial devices, and the end of a device (its destructor).
//
// "\\.\ttyUSB0" opens /dev/ttyUSB0, "\\.\/dev/pts/3" the path itself. Only a character
// device that is a terminal is ever opened, so that a typed name can never open, create
// or truncate anything else; the open is exclusive, as serial ports are on Windows.
#include "comm_internal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace winapi_linux {
namespace {

constexpr DWORD kErrorTooManyOpenFiles = 4; // ERROR_TOO_MANY_OPEN_FILES

// The /dev path for a Windows device name, or nullopt for anything that is not
// "\\.\" + a bare name or "\\.\" + a plain absolute path.
std::optional<std::string> DevicePath(const char* fileName) {
    if (fileName == nullptr) return std::nullopt;
    std::string_view name(fileName);
    constexpr std::string_view kPrefix = "\\\\.\\";
    if (!name.starts_with(kPrefix)) return std::nullopt;
    name.remove_prefix(kPrefix.size());
    if (name.empty()) return std::nullopt;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') return std::nullopt;
    }
    if (name.front() != '/') {
        if (name.find('/') != std::string_view::npos || name == "." || name == "..")
            return std::nullopt;
        return "/dev/" + std::string(name);
    }
    // Every component must be a plain name: no "", "." or "..".
    std::string_view rest = name.substr(1);
    for (;;) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "." || part == "..") return std::nullopt;
        if (slash == std::string_view::npos) break;
        rest.remove_prefix(slash + 1);
    }
    return std::string(name);
}

// Holds a descriptor until the open has succeeded.
class FdGuard {
  public:
    explicit FdGuard(int fd) : fd_(fd) {}
    ~FdGuard() {
        if (fd_ >= 0) ::close(fd_);
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

HANDLE Fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

bool Unsupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

// /dev/tty, /dev/console and the virtual consoles are terminals but not serial lines:
// putting them into raw mode would take the user's own screen and keyboard away.
bool IsConsoleDevice(dev_t device) {
    const unsigned major = ::major(device), minor = ::minor(device);
    return (major == 5 && (minor == 0 || minor == 1)) || (major == 4 && minor < 64);
}

HANDLE OpenSerialDevice(LPCSTR fileName) {
    const std::optional<std::string> path = DevicePath(fileName);
    if (!path) return Fail(ERROR_FILE_NOT_FOUND);

    struct stat before {};
    if (::stat(path->c_str(), &before) != 0) return Fail(ErrorFromErrno(errno));
    if (!S_ISCHR(before.st_mode)) return Fail(ERROR_FILE_NOT_FOUND);
    if (IsConsoleDevice(before.st_rdev)) return Fail(ERROR_ACCESS_DENIED);

    FdGuard fd(::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return Fail(ErrorFromErrno(errno));

    // The same device as checked (not swapped meanwhile), and a terminal.
    struct stat after {};
    if (::fstat(fd.get(), &after) != 0 || !S_ISCHR(after.st_mode) ||
        after.st_rdev != before.st_rdev)
        return Fail(ERROR_FILE_NOT_FOUND);
    LineMode mode;
    if (const int err = GetLineMode(fd.get(), mode); err != 0)
        return Fail(Unsupported(err) ? ERROR_FILE_NOT_FOUND : ErrorFromErrno(err));
    // The terminal this program runs in (its shell's pty) is in use by the user.
    if (::tcgetsid(fd.get()) != -1) return Fail(ERROR_ACCESS_DENIED);

    // flock also refuses a second open description within this process; TIOCEXCL makes
    // the kernel refuse other programs that do not take the lock (root is exempt).
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return Fail(ErrorFromErrno(errno));
    if (::ioctl(fd.get(), TIOCEXCL) != 0) return Fail(ErrorFromErrno(errno));

    auto device = std::make_shared<CommDevice>();
    device->fd = fd.release(); // from here the device's destructor also undoes TIOCEXCL
    device->path = *path;

    int lines = 0;
    if (::ioctl(device->fd, TIOCMGET, &lines) != 0) {
        if (!Unsupported(errno)) return Fail(ErrorFromErrno(errno));
        device->hasModemLines = false; // pseudo-terminals, some adapters
    }

    // Raw mode, as a Windows serial port always is, in the character format the device
    // already has; DTR and RTS up.
    DCB dcb = DcbFromLineMode(mode);
    if (dcb.BaudRate == 0) dcb.BaudRate = 9600; // B0 means "hang up", not a rate
    if (const DWORD err = ApplyCommState(*device, dcb, mode); err != ERROR_SUCCESS) {
        SetLineMode(device->fd, mode);
        return Fail(err);
    }

    device->inQueueSize = kLinuxInputQueueSize;
    device->outQueueSize = kLinuxInputQueueSize;
    RefreshLineErrors(*device); // counts from before the open are not ours to report
    device->pendingErrors = 0;
    return InsertObject(std::move(device));
}

} // namespace

DWORD ErrorFromErrno(int err) {
    switch (err) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK: // flock held elsewhere
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case ENOMEM:
    case ENOBUFS:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return kErrorTooManyOpenFiles;
    case ENOTTY:
    case ENOSYS:
    case EOPNOTSUPP:
        return ERROR_BAD_COMMAND;
    case EIO: // a hung-up terminal: the adapter was unplugged or the pty master closed
        return ERROR_DEVICE_REMOVED;
    case ECANCELED:
        return ERROR_OPERATION_ABORTED;
    default:
        return ERROR_GEN_FAILURE;
    }
}

std::shared_ptr<CommDevice> FindDevice(HANDLE handle) {
    auto device = Lookup<CommDevice>(handle);
    if (!device || device->fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return device;
}

CommDevice::~CommDevice() {
    engine.reset(); // its transfers use fd
    if (fd >= 0) {
        ::ioctl(fd, TIOCNXCL); // let other programs open the device again
        ::close(fd);           // also drops the flock
    }
}

} // namespace winapi_linux

using namespace winapi_linux;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD /*dwDesiredAccess*/, DWORD /*dwShareMode*/,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD /*dwCreationDisposition*/,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
    // Serial devices are always opened for reading and writing, exclusively, and never
    // created; the other arguments cannot change that.
    try {
        return OpenSerialDevice(lpFileName);
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
