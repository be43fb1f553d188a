#include "MasterPeer.h"

#include "Pty.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <vector>

namespace bench {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

} // namespace

MasterPeer::MasterPeer(int master, Direction direction, std::size_t bytes)
    : master_(master), bytes_(bytes) {
    thread_ = std::thread([this, direction] {
        try {
            direction == kReads ? Read() : Write();
        } catch (...) {
            failure_ = std::current_exception();
        }
    });
}

MasterPeer::~MasterPeer() {
    if (thread_.joinable()) thread_.join();
}

void MasterPeer::Finish() {
    thread_.join();
    if (failure_) std::rethrow_exception(failure_);
}

void MasterPeer::Read() {
    std::vector<unsigned char> buffer(kChunk);
    std::size_t left = bytes_;
    while (left > 0) {
        const ssize_t n = ::read(master_, buffer.data(), std::min(left, buffer.size()));
        if (n > 0) {
            left -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd r{master_, POLLIN, 0};
            if (::poll(&r, 1, 5000) == 0) throw std::runtime_error("the line went silent");
        } else if (!(n < 0 && errno == EINTR)) {
            throw std::runtime_error("read on the pty master failed");
        }
    }
}

void MasterPeer::Write() {
    const std::vector<unsigned char> chunk(kChunk, 0x55);
    std::size_t left = bytes_;
    while (left > 0) {
        const std::size_t n = std::min(left, chunk.size());
        WriteAll(master_, chunk.data(), n);
        left -= n;
    }
}

} // namespace bench
