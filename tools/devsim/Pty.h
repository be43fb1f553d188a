// The device's end of the line: a pseudo-terminal whose slave path clients open as their port.
#pragma once

#include <string>

namespace devsim {

class Pty {
  public:
    // Creates the pair, sets the port to 9600 bit/s, 8 data bits, no parity, one stop bit,
    // raw; throws std::system_error.
    Pty();
    ~Pty() { Close(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int Master() const { return master_; } // non-blocking
    int Keeper() const { return keeper_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Closes every descriptor of the pair: clients of the port see a hang-up.
    void Close();

  private:
    int master_ = -1;
    // The device's own descriptor of the slave, never read or written. While no slave is open
    // a master reports POLLHUP and read() fails with EIO, which would spin the serving loop
    // whenever no client has the port; holding one keeps the master quiet. It is opened here,
    // before any client can make the port exclusive with TIOCEXCL, and it takes no flock.
    int keeper_ = -1;
    std::string slavePath_;
};

} // namespace devsim
