// A pseudo-terminal pair: the benchmark holds the master end (the "device"); the port
// under test, or the raw floor, opens the slave path.
#pragma once

#include <string>

namespace bench {

class Pty {
  public:
    Pty(); // throws std::runtime_error when no pty can be had
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Master() const { return master_; } // non-blocking
    const std::string& SlavePath() const { return slavePath_; }

  private:
    int master_ = -1;
    // Keeps the slave side open for the whole run, so that the master never sees a hang-up
    // while the port or the raw floor has it closed between measurements.
    int keeper_ = -1;
    std::string slavePath_;
};

// Opens the slave as a plain serial program would: read/write, non-blocking, raw mode.
// Throws std::runtime_error on failure.
int OpenRawSlave(const std::string& path);

// Writes all bytes to a non-blocking descriptor, sleeping in poll() while it is full.
// Throws std::runtime_error on failure, or when the line stays full for 5 s.
void WriteAll(int fd, const void* data, std::size_t count);

} // namespace bench
