// What the simulated device does, as chosen on its command line.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace devsim {

enum class Mode {
    Value,  // answer each command with its value in three bytes
    Silent, // answer nothing
    Reply,  // answer each command with fixed bytes
    Burst,  // answer each command with 1, 2, 3 .. N
    Flood,  // send a counting pattern for as long as the line takes it
};

struct Options {
    Mode mode = Mode::Value;
    std::vector<std::uint8_t> reply; // Mode::Reply
    unsigned burst = 0;              // Mode::Burst
    bool floodNow = false;           // Mode::Flood: start at once, not after the first command
    unsigned vanishAfter = 0;        // 0: never
    int gapMs = 20;                  // quiet time that ends a command
    bool help = false;
};

struct UsageError {
    std::string message;
};

std::variant<Options, UsageError> ParseOptions(int argc, char** argv);
const char* UsageText();

} // namespace devsim
