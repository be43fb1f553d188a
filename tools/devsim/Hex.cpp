#include "Hex.h"

#include <algorithm>

namespace devsim {

std::string FormatHex(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        if (!out.empty()) out += ' ';
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

std::string FormatLogged(std::span<const std::uint8_t> bytes, std::size_t total) {
    std::string out = FormatHex(bytes.first(std::min(bytes.size(), kLoggedBytes)));
    if (total > kLoggedBytes) out += " ... (" + std::to_string(total) + " bytes)";
    return out;
}

static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static bool IsSeparator(char c) {
    return c == ',' || c == ':' || c == ' ' || c == '\t';
}

std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text) {
    std::vector<std::uint8_t> out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSeparator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !IsSeparator(text[end]))
            ++end;
        const std::string_view token = text.substr(i, end - i);
        if (token.size() > 1 && token.size() % 2 != 0) return std::nullopt;
        for (std::size_t k = 0; k < token.size(); k += 2) {
            const int hi = HexDigit(token[k]);
            const int lo = token.size() == 1 ? hi : HexDigit(token[k + 1]);
            if (hi < 0 || lo < 0) return std::nullopt;
            out.push_back(static_cast<std::uint8_t>(token.size() == 1 ? lo : hi * 16 + lo));
        }
        i = end;
    }
    if (out.empty()) return std::nullopt;
    return out;
}

} // namespace devsim
