#include "RoundTrip.h"

#include "CpuClock.h"
#include "Pty.h"
#include "WakeSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <thread>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;
using Reply = std::array<unsigned char, 3>;

Reply Payload(int trip) {
    return {static_cast<unsigned char>(trip), static_cast<unsigned char>(trip >> 8), 0x5A};
}

// Blocks until `count` bytes have been read from the slave; false when the stop descriptor
// fires first. A silence of 5 s is an error.
bool ReadExactly(int fd, unsigned char* out, std::size_t count, int stopFd = -1) {
    std::size_t got = 0;
    while (got < count) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        const int ready = ::poll(fds, stopFd < 0 ? 1 : 2, 5000);
        if (ready == 0) throw std::runtime_error("no reply within 5 s");
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error("poll failed");
        }
        if (stopFd >= 0 && fds[1].revents != 0) return false;
        const ssize_t n = ::read(fd, out + got, count - got);
        // Raw mode with VMIN 0: a read with nothing queued returns 0, not an error.
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            throw std::runtime_error("read failed");
    }
    return true;
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { ::close(fd_); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

void Check(const Reply& sent, const Reply& got) {
    if (sent != got) throw std::runtime_error("the echo came back changed");
}

} // namespace

void RawTripsOneThread(const TripBlock& block) {
    Descriptor slave(OpenRawSlave(block.slavePath));
    double cpuStart = 0;
    for (int trip = 0; trip < block.warmup + block.trips; ++trip) {
        if (trip == block.warmup) cpuStart = ProcessCpuNs();
        const Reply sent = Payload(trip);
        Reply got{};
        const auto start = Clock::now();
        WriteAll(slave.get(), sent.data(), sent.size());
        ReadExactly(slave.get(), got.data(), got.size());
        const auto end = Clock::now();
        Check(sent, got);
        if (trip >= block.warmup)
            block.samples->push_back(std::chrono::duration<double, std::nano>(end - start).count());
    }
    *block.cpuNs += ProcessCpuNs() - cpuStart;
}

void RawTripsReaderThread(const TripBlock& block) {
    Descriptor slave(OpenRawSlave(block.slavePath));
    Descriptor stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (stop.get() < 0) throw std::runtime_error("eventfd failed");
    WakeSignal arrived; // no spin: the main thread sleeps, as an event loop does
    Reply handed{};
    std::exception_ptr failure;
    std::thread reader([&] {
        try {
            Reply buffer{};
            while (ReadExactly(slave.get(), buffer.data(), buffer.size(), stop.get())) {
                handed = buffer; // the main thread looks only after the raise
                arrived.Raise();
            }
        } catch (...) {
            failure = std::current_exception();
            arrived.Raise();
        }
    });
    auto stopReader = [&] {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(stop.get(), &one, sizeof one);
        reader.join();
    };
    try {
        double cpuStart = 0;
        for (int trip = 0; trip < block.warmup + block.trips; ++trip) {
            if (trip == block.warmup) cpuStart = ProcessCpuNs();
            const Reply sent = Payload(trip);
            const auto start = Clock::now();
            WriteAll(slave.get(), sent.data(), sent.size());
            const bool came = arrived.Wait();
            const auto end = Clock::now();
            if (failure) std::rethrow_exception(failure);
            if (!came) throw std::runtime_error("no reply from the reader thread");
            Check(sent, handed);
            if (trip >= block.warmup)
                block.samples->push_back(
                    std::chrono::duration<double, std::nano>(end - start).count());
        }
        *block.cpuNs += ProcessCpuNs() - cpuStart;
    } catch (...) {
        stopReader();
        throw;
    }
    stopReader();
}

} // namespace bench
