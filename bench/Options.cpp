#include "Options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {
namespace {

void Usage(std::FILE* to) {
    std::fputs(
        "usage: serial_bench [--quick] [--only SECTION] [--trips N] [--mib N] [--idle-s N]\n"
        "                    [--spin-us N]\n"
        "  --quick      short runs (a few seconds), to prove the program works\n"
        "  --only S     one section: latency, throughput, openclose or idle\n"
        "  --trips N    round trips per kind (default 20000)\n"
        "  --mib N      MiB per throughput direction (default 64)\n"
        "  --idle-s N   seconds an open idle port is watched (default 10)\n"
        "  --spin-us N  smNone: spin this long before sleeping on the reply flag (default 0)\n",
        to);
}

bool Number(const char* text, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && out >= 0;
}

} // namespace

std::optional<Options> ParseOptions(int argc, char** argv, int& exitCode) {
    Options o;
    exitCode = 0;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strcmp(a, "--help") == 0) {
            Usage(stdout);
            return std::nullopt;
        }
        if (std::strcmp(a, "--quick") == 0) {
            o.quick = true;
            o.trips = 500;
            o.warmup = 100;
            o.rounds = 2;
            o.bytes = std::size_t{4} << 20;
            o.openClose = std::chrono::milliseconds(300);
            o.idle = std::chrono::milliseconds(500);
            continue;
        }
        if (std::strcmp(a, "--only") == 0 && i + 1 < argc) {
            const std::string section = argv[++i];
            if (section == "latency" || section == "throughput" || section == "openclose" ||
                section == "idle") {
                o.only = section;
                continue;
            }
        }
        long v = 0;
        if (i + 1 < argc && Number(argv[i + 1], v)) {
            if (std::strcmp(a, "--trips") == 0 && v > 0) {
                o.trips = static_cast<int>(v);
                ++i;
                continue;
            }
            if (std::strcmp(a, "--mib") == 0 && v > 0) {
                o.bytes = static_cast<std::size_t>(v) << 20;
                ++i;
                continue;
            }
            if (std::strcmp(a, "--idle-s") == 0) {
                o.idle = std::chrono::seconds(v);
                ++i;
                continue;
            }
            if (std::strcmp(a, "--spin-us") == 0) {
                o.spin = std::chrono::microseconds(v);
                ++i;
                continue;
            }
        }
        std::fprintf(stderr, "serial_bench: unknown or incomplete argument: %s\n", a);
        Usage(stderr);
        exitCode = 2;
        return std::nullopt;
    }
    if (o.rounds > o.trips) o.rounds = o.trips;
    return o;
}

} // namespace bench
