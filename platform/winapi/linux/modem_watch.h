// Watches the modem input lines (CTS, DSR, RLSD, ring) of a device that has them, on a
// helper thread that blocks in TIOCMIWAIT; it runs only while such events are watched.
#pragma once

#include "winapi.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace winapi_linux {

class ModemWatch {
  public:
    // raise gets the EV_CTS / EV_DSR / EV_RLSD / EV_RING bits of each change.
    ModemWatch(int fd, std::function<void(DWORD)> raise);
    ~ModemWatch(); // stops and joins the thread
    ModemWatch(const ModemWatch&) = delete;
    ModemWatch& operator=(const ModemWatch&) = delete;

  private:
    void Run();

    int fd_;
    std::function<void(DWORD)> raise_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable ended_;
    bool finished_ = false;
    std::thread thread_;
};

} // namespace winapi_linux
