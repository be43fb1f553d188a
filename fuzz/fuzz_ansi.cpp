// Utf8ToAnsi over arbitrary bytes (the command text before it goes on the line).
//
// The input is split by a strict UTF-8 reader of our own into characters and runs of
// bytes that are not well-formed. The output must be, in order: one byte per character,
// which read back through the Windows-1251 table below gives that character (or '?' when
// the code page lacks it), and for each malformed run between one '?' and one '?' per
// byte (how a malformed run is cut into sequences is the converter's choice).
#include "AnsiCodePage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Bytes 0x80..0xFF of Windows-1251, made with python3:
//   [ord(bytes([b]).decode('cp1251')) for b in range(0x80, 0x100)]
// 0 where the codec has no character (0x98).
constexpr std::array<std::uint16_t, 128> kCp1251High = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, // 0xC0
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, // 0xC8
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, // 0xD0
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, // 0xD8
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, // 0xE0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, // 0xE8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, // 0xF0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F, // 0xF8
};

constexpr char32_t kNone = 0xFFFFFFFF;

char32_t FromCp1251(unsigned char b) {
    if (b < 0x80) return b;
    const char32_t c = kCp1251High[b - 0x80];
    return c == 0 ? kNone : c;
}

bool InCp1251(char32_t c) {
    if (c < 0x80) return true;
    return std::find(kCp1251High.begin(), kCp1251High.end(), c) != kCp1251High.end();
}

// One piece of the input: a character, or a run of `bad` malformed bytes.
struct Piece {
    char32_t character = 0;
    std::size_t bad = 0;
};

// The length of the well-formed sequence at s[i] (Unicode's table of well-formed byte
// sequences), or 0 when none starts there.
std::size_t WellFormed(const std::uint8_t* s, std::size_t n, std::size_t i, char32_t& c) {
    const std::uint8_t b = s[i];
    auto in = [&](std::size_t k, std::uint8_t lo, std::uint8_t hi) {
        return i + k < n && s[i + k] >= lo && s[i + k] <= hi;
    };
    auto tail = [&](std::size_t k) { return static_cast<char32_t>(s[i + k] & 0x3F); };
    if (b < 0x80) {
        c = b;
        return 1;
    }
    if (b >= 0xC2 && b <= 0xDF && in(1, 0x80, 0xBF)) {
        c = (static_cast<char32_t>(b & 0x1F) << 6) | tail(1);
        return 2;
    }
    if (b >= 0xE0 && b <= 0xEF) {
        const std::uint8_t lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
        if (in(1, lo, hi) && in(2, 0x80, 0xBF)) {
            c = (static_cast<char32_t>(b & 0x0F) << 12) | (tail(1) << 6) | tail(2);
            return 3;
        }
        return 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        const std::uint8_t lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
        if (in(1, lo, hi) && in(2, 0x80, 0xBF) && in(3, 0x80, 0xBF)) {
            c = (static_cast<char32_t>(b & 0x07) << 18) | (tail(1) << 12) | (tail(2) << 6) |
                tail(3);
            return 4;
        }
    }
    return 0;
}

std::vector<Piece> Split(const std::uint8_t* s, std::size_t n) {
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < n;) {
        char32_t c = 0;
        if (const std::size_t len = WellFormed(s, n, i, c); len != 0) {
            pieces.push_back({c, 0});
            i += len;
        } else {
            if (pieces.empty() || pieces.back().bad == 0) pieces.push_back({0, 0});
            ++pieces.back().bad;
            ++i;
        }
    }
    return pieces;
}

// Whether `out` can be the pieces' conversion: the set of output positions reachable
// after each piece, kept sorted.
bool Matches(const std::vector<Piece>& pieces, const std::string& out) {
    // questions[p]: how many '?' follow from position p.
    std::vector<std::size_t> questions(out.size() + 1, 0);
    for (std::size_t p = out.size(); p-- > 0;)
        questions[p] = out[p] == '?' ? questions[p + 1] + 1 : 0;

    std::vector<std::size_t> reach = {0}, next;
    for (const Piece& piece : pieces) {
        next.clear();
        for (const std::size_t p : reach) {
            if (piece.bad != 0) {
                const std::size_t last = p + std::min(piece.bad, questions[p]);
                for (std::size_t q = std::max(p + 1, next.empty() ? 0 : next.back() + 1); q <= last;
                     ++q)
                    next.push_back(q);
            } else if (p < out.size()) {
                const auto b = static_cast<unsigned char>(out[p]);
                const bool same = FromCp1251(b) == piece.character;
                const bool replaced = b == '?' && !InCp1251(piece.character);
                if (same || replaced) next.push_back(p + 1);
            }
        }
        reach.swap(next);
        if (reach.empty()) return false;
    }
    return std::binary_search(reach.begin(), reach.end(), out.size());
}

void Dump(const char* label, const std::uint8_t* s, std::size_t n) {
    std::fprintf(stderr, "%s:", label);
    for (std::size_t i = 0; i < n; ++i)
        std::fprintf(stderr, " %02x", s[i]);
    std::fprintf(stderr, "\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string out = Utf8ToAnsi(std::string(reinterpret_cast<const char*>(data), size));
    if (!Matches(Split(data, size), out)) {
        Dump("input ", data, size);
        Dump("output", reinterpret_cast<const std::uint8_t*>(out.data()), out.size());
        std::abort();
    }
    return 0;
}
