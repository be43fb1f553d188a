#include "Command.h"

#include "Hex.h"

#include <algorithm>

namespace devsim {

void Command::Append(const std::uint8_t* data, std::size_t n) {
    const std::size_t room = kLoggedBytes - kept_.size();
    kept_.insert(kept_.end(), data, data + std::min(n, room));
    for (std::size_t i = 0; i < n; ++i) {
        last_[0] = last_[1];
        last_[1] = data[i];
    }
    total_ += n;
}

void Command::Clear() {
    kept_.clear();
    total_ = 0;
    last_[0] = last_[1] = 0;
}

std::uint16_t Command::Value() const {
    if (total_ == 1) return last_[1];
    return static_cast<std::uint16_t>(last_[0] | (last_[1] << 8));
}

std::string Command::LogLine() const {
    return "rx " + FormatLogged(kept_, total_);
}

} // namespace devsim
