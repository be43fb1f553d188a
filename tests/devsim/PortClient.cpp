#include "PortClient.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

using Clock = std::chrono::steady_clock;

static int MillisLeft(Clock::time_point end) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

PortClient::PortClient(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open " + path);
    termios raw{};
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd_, TIOCEXCL) != 0 ||
        ::tcgetattr(fd_, &found_) != 0) {
        ::close(fd_);
        throw std::runtime_error("cannot take " + path + " for this client alone");
    }
    raw = found_;
    ::cfmakeraw(&raw);
    ::tcsetattr(fd_, TCSANOW, &raw);
}

PortClient::~PortClient() {
    // A pty keeps TIOCEXCL after the last close: without this, a client that is not root
    // could never open the port again.
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

void PortClient::Write(const Bytes& bytes) {
    std::size_t done = 0;
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR) && MillisLeft(end) > 0) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, MillisLeft(end));
        } else {
            throw std::runtime_error("write to the port failed");
        }
    }
}

Bytes PortClient::Read(std::size_t n, std::chrono::milliseconds deadline) {
    Bytes out;
    const auto end = Clock::now() + deadline;
    while (out.size() < n) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, MillisLeft(end)) <= 0) break;
        std::uint8_t buf[4096];
        const std::size_t want = std::min(sizeof buf, n - out.size());
        const ssize_t got = ::read(fd_, buf, want);
        if (got > 0)
            out.insert(out.end(), buf, buf + got);
        else if (got == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

bool PortClient::WaitHangup(std::chrono::milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const int n = ::poll(&p, 1, MillisLeft(end));
        if (n <= 0) return false;
        if (p.revents & (POLLHUP | POLLERR)) return true;
        std::uint8_t buf[256];
        const ssize_t got = ::read(fd_, buf, sizeof buf);
        if (got == 0 || (got < 0 && errno == EIO)) return true;
    }
}
