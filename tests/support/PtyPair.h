// A pseudo-terminal pair for tests: the test holds the master end (the "device"), the
// code under test opens the slave path as its serial port.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// The slave's mode as the kernel holds it (flag words as in <termios.h>).
struct SlaveMode {
    unsigned iflag, oflag, cflag, lflag;
    unsigned char vmin, vtime;
    unsigned ispeed, ospeed; // bits per second
};

class PtyPair {
public:
    PtyPair();  // throws std::runtime_error when no pty can be had
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; } // e.g. /dev/pts/3

    // Writes all bytes to the master end (what the device sends).
    void Send(const std::vector<std::uint8_t>& bytes);
    void Send(const std::string& bytes);
    // Reads exactly n bytes that the code under test wrote, or fewer when the deadline passes.
    std::vector<std::uint8_t> Receive(std::size_t n,
                                      std::chrono::milliseconds deadline = std::chrono::seconds(5));
    // Whatever arrives within the quiet period (used to prove that nothing more was sent).
    std::vector<std::uint8_t> Drain(std::chrono::milliseconds quiet = std::chrono::milliseconds(100));

    // The line settings of the slave end, as the code under test set them.
    SlaveMode Mode() const;

    // Closes the master end: the device vanishes.
    void CloseMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};

// Number of open file descriptors of this process.
int OpenDescriptorCount();
// Number of threads of this process.
int ThreadCount();
