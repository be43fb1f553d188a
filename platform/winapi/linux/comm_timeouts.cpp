#include "comm_timeouts.h"

#include <cstdint>

namespace winapi_linux {
namespace {

// multiplier × count + constant, in milliseconds; limits beyond a few decades are none.
std::optional<std::chrono::milliseconds> Total(DWORD multiplier, DWORD constant, DWORD count) {
    if (multiplier == 0 && constant == 0) return std::nullopt;
    const std::uint64_t ms = std::uint64_t{multiplier} * count + constant;
    constexpr std::uint64_t kForever = std::uint64_t{1} << 40;
    if (ms >= kForever) return std::nullopt;
    return std::chrono::milliseconds(static_cast<std::int64_t>(ms));
}

} // namespace

ReadPlan PlanRead(const COMMTIMEOUTS& t, DWORD count) {
    ReadPlan plan;
    if (t.ReadIntervalTimeout == MAXDWORD) {
        if (t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
            plan.atOnce = true;
        } else if (t.ReadTotalTimeoutMultiplier == MAXDWORD && t.ReadTotalTimeoutConstant != 0 &&
                   t.ReadTotalTimeoutConstant != MAXDWORD) {
            // Queued bytes return at once, else the first byte, else nothing after the constant.
            plan.anyAtStart = true;
            plan.firstByteEnds = true;
            plan.total = std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
        } else {
            // Queued bytes return at once; otherwise the count or the total limit ends it.
            plan.anyAtStart = true;
            plan.total = Total(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count);
        }
        return plan;
    }
    plan.total = Total(t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, count);
    if (t.ReadIntervalTimeout != 0)
        plan.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
    return plan;
}

std::optional<std::chrono::milliseconds> WriteLimit(const COMMTIMEOUTS& t, DWORD count) {
    return Total(t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, count);
}

} // namespace winapi_linux
