// The device's serving loop: frames commands by the quiet time after them, answers them,
// floods, and vanishes when told to. One poll() waits for the line and the stop signal, so an
// idle device sleeps.
#pragma once

#include "Answer.h"
#include "Command.h"
#include "Options.h"
#include "Pty.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <vector>

namespace devsim {

class Server {
  public:
    Server(Pty& pty, const Options& options, int stopFd);
    int Run(); // the exit status: 0 when stopped by a signal or after vanishing

  private:
    using Clock = std::chrono::steady_clock;

    int PollTimeout() const;
    bool Receive();
    bool Transmit();
    void FinishCommand();
    void StartFlood();
    int Vanish();
    bool WaitUntilTaken();

    Pty& pty_;
    const Options& options_;
    const int stopFd_;

    Command command_;
    Clock::time_point lastRx_{};
    std::deque<std::vector<std::uint8_t>> outbox_; // answers not yet wholly on the line
    std::size_t frontSent_ = 0;                    // bytes of outbox_.front() already written
    bool flooding_ = false;
    CountingPattern flood_;
    unsigned commands_ = 0;
    bool vanishing_ = false;
    bool answeredLast_ = false;
};

} // namespace devsim
