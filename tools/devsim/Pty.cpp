#include "Pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace devsim {

namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// A fresh pty echoes and edits lines; a serial port passes bytes as they are.
void SetDefaultLine(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) Fail("tcgetattr");
    ::cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (::cfsetispeed(&t, B9600) != 0 || ::cfsetospeed(&t, B9600) != 0) Fail("cfsetspeed");
    if (::tcsetattr(fd, TCSANOW, &t) != 0) Fail("tcsetattr");
}

} // namespace

Pty::Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) Fail("posix_openpt");
    try {
        if (::grantpt(master_) != 0) Fail("grantpt");
        if (::unlockpt(master_) != 0) Fail("unlockpt");
        char name[128];
        if (const int err = ::ptsname_r(master_, name, sizeof name); err != 0) {
            errno = err;
            Fail("ptsname_r");
        }
        slavePath_ = name;
        const int flags = ::fcntl(master_, F_GETFL);
        if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) Fail("fcntl");
        keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (keeper_ < 0) Fail("open slave");
        SetDefaultLine(keeper_);
    } catch (...) {
        Close();
        throw;
    }
}

void Pty::Close() {
    if (keeper_ >= 0) ::close(keeper_);
    if (master_ >= 0) ::close(master_);
    keeper_ = master_ = -1;
}

} // namespace devsim
