// A client of devsim's port in plain POSIX, opening it the way a serial program does:
// exclusive (flock and TIOCEXCL), raw.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

class PortClient {
  public:
    explicit PortClient(const std::string& path); // throws std::runtime_error
    ~PortClient();
    PortClient(const PortClient&) = delete;
    PortClient& operator=(const PortClient&) = delete;

    // The line settings found on opening, before this client made the port raw.
    const termios& FoundMode() const { return found_; }

    void Write(const Bytes& bytes); // all of it, in one write() when the line takes it
    // Up to n bytes, fewer when the deadline passes first.
    Bytes Read(std::size_t n, std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // True once the port reports a hang-up (POLLHUP, read() of 0 or EIO) within the deadline;
    // bytes that still arrive first are skipped.
    bool WaitHangup(std::chrono::milliseconds deadline = std::chrono::seconds(5));

  private:
    int fd_ = -1;
    termios found_{};
};
