#include "Pump.h"

#include "Thread.h"

#include <thread>

bool PumpUntil(const std::function<bool()>& Done, std::chrono::milliseconds Deadline) {
    const auto end = std::chrono::steady_clock::now() + Deadline;
    while (!Done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        ServeMainThread();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
