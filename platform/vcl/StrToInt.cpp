#include "StrToInt.h"

#include "Exception.h"

#include <cstdint>

namespace {

[[noreturn]] void NotAnInteger(const std::string& text) {
    // The text goes in as data, never as a format: "%s" in it stays "%s".
    throw EConvertError("'" + text + "' is not a valid integer value");
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

int StrToInt(const std::string& S) {
    std::size_t i = 0;
    const std::size_t n = S.size();
    while (i < n && static_cast<unsigned char>(S[i]) <= ' ')
        ++i;

    bool negative = false;
    if (i < n && (S[i] == '+' || S[i] == '-')) negative = S[i++] == '-';

    bool hex = false;
    if (i < n && S[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < n && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == n) NotAnInteger(S); // no digits at all

    std::uint64_t magnitude = 0;
    // A hexadecimal number may fill all 32 bits; decimal stops at the signed range
    // (2147483648 only as the magnitude of the smallest negative value).
    const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
    for (; i < n; ++i) {
        const int digit = hex ? HexDigit(S[i]) : (S[i] >= '0' && S[i] <= '9' ? S[i] - '0' : -1);
        if (digit < 0) NotAnInteger(S);
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit) NotAnInteger(S);
    }

    // Two's complement in unsigned arithmetic: "$FFFFFFFF" is -1, "-$1" is -1 and
    // "-2147483648" is the smallest value, all without signed overflow.
    std::uint32_t bits = static_cast<std::uint32_t>(magnitude);
    if (negative) bits = 0u - bits;
    return static_cast<int>(bits);
}
