// SIGTERM, SIGINT and SIGHUP turned into a readable descriptor, so the serving loop can wait
// for them in the same poll() as the line and end cleanly.
#pragma once

namespace devsim {

class StopSignal {
  public:
    StopSignal(); // installs the handlers; throws std::system_error
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    int Fd() const { return readFd_; } // readable once a stop signal has arrived

  private:
    int readFd_ = -1;
};

} // namespace devsim
