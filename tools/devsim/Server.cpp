#include "Server.h"

#include "Hex.h"
#include "Log.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace devsim {

namespace {

constexpr std::size_t kChunk = 4096;

// How long a vanishing device waits for the client to take its last answer.
constexpr auto kTakeLimit = std::chrono::seconds(1);
constexpr int kTakeCheckMs = 10;

void Complain(const char* what) {
    std::fprintf(stderr, "devsim: %s: %s\n", what, std::strerror(errno));
}

} // namespace

Server::Server(Pty& pty, const Options& options, int stopFd)
    : pty_(pty), options_(options), stopFd_(stopFd) {}

int Server::Run() {
    if (options_.mode == Mode::Flood && options_.floodNow) StartFlood();
    for (;;) {
        if (vanishing_ && outbox_.empty()) return Vanish();

        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {pty_.Master(), 0, 0}};
        if (!vanishing_) fds[1].events |= POLLIN;
        if (!outbox_.empty() || flooding_) fds[1].events |= POLLOUT;
        if (::poll(fds, 2, PollTimeout()) < 0) {
            if (errno == EINTR) continue;
            Complain("poll");
            return 1;
        }
        if (fds[0].revents != 0) return 0;

        const short got = fds[1].revents;
        if (got & POLLIN) {
            if (!Receive()) return 1;
        } else if (got & (POLLHUP | POLLERR | POLLNVAL)) {
            // Cannot happen while the keeper holds the slave; never spin on it if it does.
            std::fprintf(stderr, "devsim: the line hung up\n");
            return 1;
        }
        if ((got & POLLOUT) && !Transmit()) return 1;

        if (!command_.Empty() &&
            Clock::now() >= lastRx_ + std::chrono::milliseconds(options_.gapMs))
            FinishCommand();
    }
}

// Sleep until the current command's quiet time is over, or for good when none is under way.
int Server::PollTimeout() const {
    if (command_.Empty() || vanishing_) return -1;
    const auto left = lastRx_ + std::chrono::milliseconds(options_.gapMs) - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

bool Server::Receive() {
    std::uint8_t buf[kChunk];
    const ssize_t n = ::read(pty_.Master(), buf, sizeof buf);
    if (n > 0) {
        command_.Append(buf, static_cast<std::size_t>(n));
        lastRx_ = Clock::now();
        return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (n == 0) errno = EIO;
    Complain("read from the line");
    return false;
}

bool Server::Transmit() {
    std::uint8_t chunk[kChunk];
    const std::uint8_t* data = chunk;
    std::size_t size = 0;
    if (!outbox_.empty()) {
        data = outbox_.front().data() + frontSent_;
        size = outbox_.front().size() - frontSent_; // a whole answer in one write when it fits
    } else {
        flood_.Peek(chunk, sizeof chunk);
        size = sizeof chunk;
    }
    const ssize_t n = ::write(pty_.Master(), data, size);
    if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) return true;
        Complain("write to the line");
        return false;
    }
    const auto written = static_cast<std::size_t>(n);
    if (outbox_.empty()) {
        flood_.Advance(written);
    } else if ((frontSent_ += written) == outbox_.front().size()) {
        LogLine("tx " + FormatLogged(outbox_.front(), outbox_.front().size()));
        outbox_.pop_front();
        frontSent_ = 0;
    }
    return true;
}

void Server::FinishCommand() {
    LogLine(command_.LogLine());
    ++commands_;
    std::vector<std::uint8_t> answer = AnswerFor(options_, command_);
    command_.Clear();
    if (options_.mode == Mode::Flood && !flooding_) StartFlood();
    answeredLast_ = !answer.empty();
    if (answeredLast_) outbox_.push_back(std::move(answer));
    if (options_.vanishAfter != 0 && commands_ == options_.vanishAfter) vanishing_ = true;
}

void Server::StartFlood() {
    flooding_ = true;
    LogLine("flood");
}

int Server::Vanish() {
    if (answeredLast_ && !WaitUntilTaken()) return 0;
    pty_.Close();
    LogLine("vanished");
    return 0;
}

// Closing the master hangs the port up, and a hung-up port gives its reader nothing more:
// an answer still waiting in the port's input queue would be lost. Give the client the
// command gap, then as long as the answer waits (within a limit), to take it. False when a
// stop signal came meanwhile.
bool Server::WaitUntilTaken() {
    const auto limit = Clock::now() + kTakeLimit;
    int waitMs = options_.gapMs;
    for (;;) {
        pollfd stop{stopFd_, POLLIN, 0};
        const int n = ::poll(&stop, 1, waitMs);
        if (n > 0) return false;
        if (n < 0 && errno != EINTR) return true;
        int queued = 0;
        if (::ioctl(pty_.Keeper(), FIONREAD, &queued) != 0 || queued <= 0) return true;
        if (Clock::now() >= limit) return true;
        waitMs = kTakeCheckMs;
    }
}

} // namespace devsim
