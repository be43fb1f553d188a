#include "EchoDevice.h"

#include "Pty.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace bench {

EchoDevice::EchoDevice(int master) : master_(master) {
    stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_ < 0) throw std::runtime_error("eventfd failed");
    thread_ = std::thread([this] { Run(); });
}

EchoDevice::~EchoDevice() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(stop_, &one, sizeof one);
    thread_.join();
    ::close(stop_);
}

void EchoDevice::Run() {
    unsigned char reply[3];
    std::size_t got = 0;
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents != 0) break;
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            std::fputs("serial_bench: the pty master hung up\n", stderr);
            break;
        }
        const ssize_t n = ::read(master_, reply + got, sizeof reply - got);
        if (n <= 0) continue; // EAGAIN: woken without data
        got += static_cast<std::size_t>(n);
        if (got < sizeof reply) continue;
        WriteAll(master_, reply, sizeof reply);
        got = 0;
    }
}

} // namespace bench
