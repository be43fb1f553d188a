// Bytes as the log shows them ("2c 01 00") and as --reply takes them ("2c,01,00", "2c0100").
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

std::string FormatHex(std::span<const std::uint8_t> bytes);

// Log lines show at most this many bytes, so one line of the log stays small enough for a
// pipe even for a command that never ends or the largest burst.
inline constexpr std::size_t kLoggedBytes = 4096;

// The first kLoggedBytes of `bytes`, then " ... (N bytes)" when `total` (the true length,
// at least bytes.size()) is more.
std::string FormatLogged(std::span<const std::uint8_t> bytes, std::size_t total);

// Tokens separated by ',', ':' or blanks; a token of one digit is one byte, longer tokens are
// digit pairs. Nothing (no byte at all, a stray digit, a non-hex character) gives nullopt.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text);

} // namespace devsim
