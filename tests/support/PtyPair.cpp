#include "PtyPair.h"

#include <asm/termbits.h> // struct termios2, TCGETS2 (kept apart from <termios.h>)
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) throw std::runtime_error("posix_openpt failed");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        ::close(master_);
        throw std::runtime_error("grantpt/unlockpt failed");
    }
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        throw std::runtime_error("ptsname_r failed");
    }
    slavePath_ = name;
    int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
}

PtyPair::~PtyPair() { CloseMaster(); }

void PtyPair::CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

void PtyPair::Send(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 1000);
        } else {
            throw std::runtime_error("write to pty master failed");
        }
    }
}

void PtyPair::Send(const std::string& bytes) { Send(std::vector<std::uint8_t>(bytes.begin(), bytes.end())); }

std::vector<std::uint8_t> PtyPair::Receive(std::size_t n, std::chrono::milliseconds deadline) {
    std::vector<std::uint8_t> out;
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (out.size() < n) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        std::uint8_t buf[4096];
        const std::size_t want = std::min(sizeof buf, n - out.size());
        ssize_t got = ::read(master_, buf, want);
        if (got > 0) out.insert(out.end(), buf, buf + got);
        else if (got == 0 || (errno != EAGAIN && errno != EINTR)) break;
    }
    return out;
}

std::vector<std::uint8_t> PtyPair::Drain(std::chrono::milliseconds quiet) {
    std::vector<std::uint8_t> out;
    for (;;) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(quiet.count())) <= 0 || !(p.revents & POLLIN)) break;
        std::uint8_t buf[4096];
        ssize_t got = ::read(master_, buf, sizeof buf);
        if (got <= 0) break;
        out.insert(out.end(), buf, buf + got);
    }
    return out;
}

SlaveMode PtyPair::Mode() const {
    // On a pty master, TCGETS2 reports the slave's settings.
    struct ::termios2 t2 {};
    if (ioctl(master_, TCGETS2, &t2) != 0) throw std::runtime_error("TCGETS2 failed");
    return SlaveMode{t2.c_iflag, t2.c_oflag, t2.c_cflag, t2.c_lflag,
                     t2.c_cc[VMIN], t2.c_cc[VTIME], t2.c_ispeed, t2.c_ospeed};
}

static int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = opendir(dir)) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

int OpenDescriptorCount() { return CountEntries("/proc/self/fd") - 1; } // less the DIR itself
int ThreadCount() { return CountEntries("/proc/self/task"); }
