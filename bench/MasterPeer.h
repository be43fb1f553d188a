// The far end of the throughput runs: a thread that reads, or writes, a given number of
// bytes on the pty master, sleeping in poll() whenever the line has nothing for it.
#pragma once

#include <cstddef>
#include <exception>
#include <thread>

namespace bench {

class MasterPeer {
  public:
    enum Direction { kReads, kWrites };
    MasterPeer(int master, Direction direction, std::size_t bytes); // starts the thread
    ~MasterPeer();
    MasterPeer(const MasterPeer&) = delete;
    MasterPeer& operator=(const MasterPeer&) = delete;

    // Waits until all bytes went through; throws what stopped the thread early.
    void Finish();

  private:
    void Read();
    void Write();

    int master_;
    std::size_t bytes_;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace bench
