#include "Answer.h"

namespace devsim {

std::vector<std::uint8_t> AnswerFor(const Options& options, const Command& command) {
    switch (options.mode) {
    case Mode::Value: {
        const std::uint16_t value = command.Value();
        return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8), 0};
    }
    case Mode::Reply:
        return options.reply;
    case Mode::Burst: {
        std::vector<std::uint8_t> bytes(options.burst);
        for (unsigned i = 0; i < options.burst; ++i)
            bytes[i] = static_cast<std::uint8_t>(i + 1);
        return bytes;
    }
    case Mode::Silent:
    case Mode::Flood:
        break;
    }
    return {};
}

void CountingPattern::Peek(std::uint8_t* out, std::size_t n) const {
    std::uint8_t b = next_;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = b++;
}

} // namespace devsim
