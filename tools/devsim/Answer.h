// What the device sends back for one command, by its mode.
#pragma once

#include "Command.h"
#include "Options.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace devsim {

// Empty when the mode answers nothing (silent, flood).
std::vector<std::uint8_t> AnswerFor(const Options& options, const Command& command);

// The flood's counting pattern: byte i of the stream is i mod 256.
class CountingPattern {
  public:
    // Fills n bytes from where the stream stands, without moving it on.
    void Peek(std::uint8_t* out, std::size_t n) const;
    // Moves the stream on by the n bytes that reached the line.
    void Advance(std::size_t n) { next_ = static_cast<std::uint8_t>(next_ + n); }

  private:
    std::uint8_t next_ = 0;
};

} // namespace devsim
