// One command as it arrives: the bytes of one burst on the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace devsim {

class Command {
  public:
    void Append(const std::uint8_t* data, std::size_t n);
    bool Empty() const { return total_ == 0; }
    void Clear();

    // The last two bytes, low byte first; bytes missing from a short command count as 0.
    std::uint16_t Value() const;
    // "rx 41 2c 01"; a long command is cut short as FormatLogged() does.
    std::string LogLine() const;

  private:
    // A client that writes without pause never ends its command: only what the log shows is
    // kept, so such a client cannot exhaust the memory.
    std::vector<std::uint8_t> kept_;
    std::size_t total_ = 0;
    std::uint8_t last_[2] = {0, 0}; // the two most recent bytes, older first
};

} // namespace devsim
