// COMMTIMEOUTS as Windows defines them, turned into the rules one read or write follows.
#pragma once

#include "winapi.h"

#include <chrono>
#include <optional>

namespace winapi_linux {

struct ReadPlan {
    bool atOnce = false;        // return at once with whatever has arrived, even nothing
    bool anyAtStart = false;    // bytes already queued when the read starts end it at once
    bool firstByteEnds = false; // otherwise the first byte that arrives ends it
    std::optional<std::chrono::milliseconds> total;    // limit from the start of the read
    std::optional<std::chrono::milliseconds> interval; // limit between two bytes, after the first
};

ReadPlan PlanRead(const COMMTIMEOUTS& timeouts, DWORD count);

// The limit of a write of count bytes, or none.
std::optional<std::chrono::milliseconds> WriteLimit(const COMMTIMEOUTS& timeouts, DWORD count);

} // namespace winapi_linux
