// The one background thread of the transfer layer: it drives pending transfers and
// event waits that no thread is waiting for, so that they still finish on their own.
// It sleeps in epoll_wait and wakes only for readiness or a deadline: an idle process
// with open ports costs no CPU.
#pragma once

#include "events.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace winapi_linux {

class Reactor {
  public:
    // The process's reactor, started on first use. Throws std::system_error when its
    // descriptors or thread cannot be had.
    static Reactor& Instance();

    // Adds a pollable descriptor (watched level-triggered) with the operation it drives;
    // it starts unwatched. Returns the registration's id.
    std::uint64_t Register(int fd, std::weak_ptr<ProgressHook> hook);
    void Watch(std::uint64_t id, int fd, bool on);
    // Runs the hook's Progress at that time (Clock::time_point::max(): never).
    void Schedule(std::uint64_t id, Clock::time_point deadline);
    // After this returns the reactor starts no new Progress for the id, though one call
    // it had already picked up may still come: Progress must cope with a closed owner.
    void Unregister(std::uint64_t id, int fd);

  private:
    Reactor();
    void Run();
    void Wake();

    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::mutex mutex_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, std::weak_ptr<ProgressHook>> hooks_;
    std::map<std::uint64_t, Clock::time_point> deadlines_;
    Clock::time_point sleepUntil_ = Clock::time_point::max(); // what the thread sleeps for
    std::thread thread_;
};

} // namespace winapi_linux
