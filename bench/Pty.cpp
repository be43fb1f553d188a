#include "Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace bench {

Pty::Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throw std::runtime_error("posix_openpt failed");
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        throw std::runtime_error("cannot set up the pty slave");
    }
    slavePath_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (keeper_ < 0) {
        ::close(master_);
        throw std::runtime_error("cannot open the pty slave");
    }
}

Pty::~Pty() {
    ::close(keeper_);
    ::close(master_);
}

int OpenRawSlave(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + path);
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        ::close(fd);
        throw std::runtime_error("tcgetattr failed on " + path);
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        ::close(fd);
        throw std::runtime_error("tcsetattr failed on " + path);
    }
    return fd;
}

void WriteAll(int fd, const void* data, std::size_t count) {
    const auto* p = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const ssize_t n = ::write(fd, p, count);
        if (n > 0) {
            p += n;
            count -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd w{fd, POLLOUT, 0};
            if (::poll(&w, 1, 5000) == 0) throw std::runtime_error("the line stayed full for 5 s");
        } else if (!(n < 0 && errno == EINTR)) {
            throw std::runtime_error("write failed");
        }
    }
}

} // namespace bench
