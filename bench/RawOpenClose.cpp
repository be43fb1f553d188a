#include "OpenClose.h"

#include "Pty.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <thread>

namespace bench {

long RawOpenCloseCycles(const std::string& slavePath, std::chrono::steady_clock::time_point end) {
    long cycles = 0;
    do {
        const int fd = OpenRawSlave(slavePath);
        ::flock(fd, LOCK_EX | LOCK_NB);
        ::ioctl(fd, TIOCEXCL);
        const int stop = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (stop < 0) {
            ::close(fd);
            throw std::runtime_error("eventfd failed");
        }
        std::thread watcher([fd, stop] {
            pollfd fds[2] = {{fd, POLLIN, 0}, {stop, POLLIN, 0}};
            while (::poll(fds, 2, -1) >= 0 && fds[1].revents == 0) {
            }
        });
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stop, &one, sizeof one);
        watcher.join();
        ::close(stop);
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        ++cycles;
    } while (std::chrono::steady_clock::now() < end);
    return cycles;
}

} // namespace bench
