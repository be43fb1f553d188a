#include "Options.h"

#include "Hex.h"

#include <getopt.h>

#include <charconv>
#include <cstring>
#include <string_view>

namespace devsim {

namespace {

enum LongOnly : int {
    kSilent = 1000,
    kReply,
    kBurst,
    kFlood,
    kFloodNow,
    kVanishAfter,
    kGap,
    kHelp
};

const option kLongOptions[] = {
    {"silent", no_argument, nullptr, kSilent},
    {"reply", required_argument, nullptr, kReply},
    {"burst", required_argument, nullptr, kBurst},
    {"flood", no_argument, nullptr, kFlood},
    {"flood-now", no_argument, nullptr, kFloodNow},
    {"vanish-after", required_argument, nullptr, kVanishAfter},
    {"gap", required_argument, nullptr, kGap},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

// A whole decimal number within [low, high], nothing else around it.
bool ParseNumber(const char* text, long low, long high, long& out) {
    const char* end = text + std::strlen(text);
    long value = 0;
    const auto [ptr, ec] = std::from_chars(text, end, value);
    if (ec != std::errc{} || ptr != end || ptr == text || value < low || value > high) return false;
    out = value;
    return true;
}

} // namespace

const char* UsageText() {
    return "Usage: devsim [OPTION]...\n"
           "A simulated serial device on a pseudo-terminal. Prints the port's path as its\n"
           "first line, then one line per command received (rx ..) and answer sent (tx ..),\n"
           "and serves until it gets SIGTERM or SIGINT.\n"
           "\n"
           "A command is the bytes that arrive in one burst; the device answers it with its\n"
           "value (the last two bytes, low byte first) as three bytes: low, high, 0.\n"
           "\n"
           "  --silent            answer nothing\n"
           "  --reply HEX         answer every command with these bytes (00,01,00 or 000100)\n"
           "  --burst N           answer every command with N bytes 1, 2, 3 .. N in one write\n"
           "                      (1 to 65536; counts past 255 wrap)\n"
           "  --flood             after the first command, send a counting pattern\n"
           "                      (00 01 .. ff 00 ..) as fast as the line takes it\n"
           "  --flood-now         the same, from the start\n"
           "  --vanish-after N    after the N-th command and its answer, close the line,\n"
           "                      print \"vanished\" and exit\n"
           "  --gap MS            quiet time that ends a command, 1 to 60000 ms (default 20)\n"
           "  --help              show this text\n";
}

std::variant<Options, UsageError> ParseOptions(int argc, char** argv) {
    Options opts;
    int modes = 0; // how many answer modes were chosen
    opterr = 0;    // our own messages, not getopt's
    optind = 1;
    for (;;) {
        const int previous = optind;
        const int c = getopt_long(argc, argv, ":", kLongOptions, nullptr);
        if (c == -1) break;
        long number = 0;
        switch (c) {
        case kSilent:
            opts.mode = Mode::Silent;
            ++modes;
            break;
        case kReply: {
            auto bytes = ParseHex(optarg);
            if (!bytes) return UsageError{"--reply needs hex bytes such as 00,01,00 or 000100"};
            opts.mode = Mode::Reply;
            opts.reply = std::move(*bytes);
            ++modes;
            break;
        }
        case kBurst:
            if (!ParseNumber(optarg, 1, 65536, number))
                return UsageError{"--burst needs a count from 1 to 65536"};
            opts.mode = Mode::Burst;
            opts.burst = static_cast<unsigned>(number);
            ++modes;
            break;
        case kFlood:
        case kFloodNow:
            if (opts.mode != Mode::Flood) ++modes;
            opts.mode = Mode::Flood;
            opts.floodNow = opts.floodNow || c == kFloodNow;
            break;
        case kVanishAfter:
            if (!ParseNumber(optarg, 1, 1'000'000'000, number))
                return UsageError{"--vanish-after needs a count of 1 or more"};
            opts.vanishAfter = static_cast<unsigned>(number);
            break;
        case kGap:
            if (!ParseNumber(optarg, 1, 60000, number))
                return UsageError{"--gap needs milliseconds from 1 to 60000"};
            opts.gapMs = static_cast<int>(number);
            break;
        case kHelp:
            opts.help = true;
            break;
        case ':':
            return UsageError{std::string(argv[previous]) + " needs a value"};
        default:
            return UsageError{"unknown option " + std::string(argv[previous])};
        }
    }
    if (optind < argc) return UsageError{"unexpected argument " + std::string(argv[optind])};
    if (modes > 1) return UsageError{"choose one of --silent, --reply, --burst, --flood"};
    return opts;
}

} // namespace devsim
