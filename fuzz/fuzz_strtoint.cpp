// StrToInt over arbitrary text (what a user can paste into the number box): it returns
// what a second, differently built parser says, or raises EConvertError with exactly the
// framework's text. Any other exception, a crash or a mismatch stops the fuzzer.
#include "Exception.h"
#include "StrToInt.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool IsDecimal(char c) {
    return c >= '0' && c <= '9';
}
bool IsHex(char c) {
    return IsDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Digits compared as numbers without arithmetic: leading zeros dropped, then the shorter
// string is smaller and equal lengths compare character by character (hex in upper case).
bool NotAbove(std::string_view digits, std::string_view limit) {
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    if (digits.size() != limit.size()) return digits.size() < limit.size();
    for (std::size_t i = 0; i < digits.size(); ++i) {
        char c = digits[i];
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
        if (c != limit[i]) return c < limit[i];
    }
    return true;
}

std::int64_t Value(std::string_view digits, int base) {
    std::int64_t v = 0;
    for (char c : digits) {
        int d = IsDecimal(c) ? c - '0' : ((c | 0x20) - 'a' + 10);
        v = v * base + d;
    }
    return v;
}

// The documented grammar: blanks (bytes up to ' '), a sign, then decimal digits within
// the signed 32-bit range, or "$"/"0x"/"0X" and up to 32 bits of hex that wrap to
// negative values and are negated as 32-bit values after '-'.
std::optional<std::int32_t> Reference(std::string_view s) {
    std::size_t blanks = 0;
    while (blanks < s.size() && static_cast<unsigned char>(s[blanks]) <= 0x20)
        ++blanks;
    s.remove_prefix(blanks);
    bool minus = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        minus = s[0] == '-';
        s.remove_prefix(1);
    }
    bool hex = false;
    if (s.starts_with("$")) {
        hex = true;
        s.remove_prefix(1);
    } else if (s.starts_with("0x") || s.starts_with("0X")) {
        hex = true;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    for (char c : s)
        if (!(hex ? IsHex(c) : IsDecimal(c))) return std::nullopt;

    if (hex) {
        if (!NotAbove(s, "FFFFFFFF")) return std::nullopt;
        std::int64_t v = Value(s, 16);
        if (minus) v = -v;
        v &= 0xFFFFFFFF;
        return static_cast<std::int32_t>(v >= 0x80000000 ? v - 0x100000000 : v);
    }
    if (!NotAbove(s, minus ? "2147483648" : "2147483647")) return std::nullopt;
    std::int64_t v = Value(s, 10);
    return static_cast<std::int32_t>(minus ? -v : v);
}

[[noreturn]] void Fail(const std::string& text, const char* what) {
    std::fprintf(stderr, "StrToInt(\"");
    for (unsigned char c : text)
        std::fprintf(stderr, c >= 0x20 && c < 0x7F && c != '"' && c != '\\' ? "%c" : "\\x%02x", c);
    std::fprintf(stderr, "\"): %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int32_t> expected = Reference(text);
    try {
        const int got = StrToInt(text);
        if (!expected) Fail(text, "accepted a text that is not an integer");
        if (got != *expected) {
            std::fprintf(stderr, "got %d, expected %d\n", got, *expected);
            Fail(text, "wrong value");
        }
    } catch (const EConvertError& e) {
        if (expected) Fail(text, "refused a valid integer");
        if (e.Message() != "'" + text + "' is not a valid integer value")
            Fail(text, "wrong message");
    }
    return 0;
}
