#include "Machine.h"

#include <sys/syscall.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <string>

namespace bench {
namespace {

std::string CpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) != 0) continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos) break;
        const auto start = line.find_first_not_of(" \t", colon + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return "unknown CPU";
}

std::string Kernel() {
    utsname u{};
    if (::uname(&u) != 0) return "unknown kernel";
    return std::string(u.sysname) + " " + u.release;
}

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm);
    return text;
}

} // namespace

std::string DescribeMachine() {
    const long cpus = ::sysconf(_SC_NPROCESSORS_ONLN);
    return std::to_string(cpus) + " CPUs, " + Kernel() + ", " + CpuModel() + ", " + UtcNow();
}

double SyscallMicroseconds() {
    constexpr int kCalls = 100000;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i)
        ::syscall(SYS_getppid); // not cached by the C library, unlike some others
    const auto end = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(end - start).count() / kCalls;
}

} // namespace bench
