// Serving the main thread in tests that have no event loop of their own.
#pragma once

#include <chrono>
#include <functional>

// Serves hand-overs and sent messages on the calling (main) thread until Done() holds or
// the deadline passes; returns Done().
bool PumpUntil(const std::function<bool()>& Done,
               std::chrono::milliseconds Deadline = std::chrono::seconds(5));
