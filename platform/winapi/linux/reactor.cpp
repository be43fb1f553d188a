#include "reactor.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>
#include <vector>

namespace winapi_linux {
namespace {

constexpr std::uint64_t kWakeId = 0;

int EpollTimeout(Clock::time_point until) {
    if (until == Clock::time_point::max()) return -1;
    const auto now = Clock::now();
    if (until <= now) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

} // namespace

Reactor& Reactor::Instance() {
    // Never destroyed: its thread may still be sleeping when static objects go away.
    static Reactor* instance = new Reactor();
    return *instance;
}

Reactor::Reactor() {
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epollFd_ < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        const int err = errno;
        ::close(epollFd_);
        throw std::system_error(err, std::generic_category(), "eventfd");
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeId;
    ::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);
    thread_ = std::thread([this] { Run(); });
    thread_.detach();
}

std::uint64_t Reactor::Register(int fd, std::weak_ptr<ProgressHook> hook) {
    std::lock_guard lock(mutex_);
    const std::uint64_t id = nextId_++;
    epoll_event ev{};
    ev.events = 0;
    ev.data.u64 = id;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0)
        throw std::system_error(errno, std::generic_category(), "epoll_ctl");
    hooks_.emplace(id, std::move(hook));
    return id;
}

void Reactor::Watch(std::uint64_t id, int fd, bool on) {
    epoll_event ev{};
    ev.events = on ? static_cast<std::uint32_t>(EPOLLIN) : 0u;
    ev.data.u64 = id;
    ::epoll_ctl(epollFd_, EPOLL_CTL_MOD, fd, &ev);
}

void Reactor::Schedule(std::uint64_t id, Clock::time_point deadline) {
    std::lock_guard lock(mutex_);
    if (deadline == Clock::time_point::max()) {
        deadlines_.erase(id);
        return;
    }
    if (!hooks_.contains(id)) return;
    deadlines_[id] = deadline;
    if (deadline < sleepUntil_) Wake();
}

void Reactor::Unregister(std::uint64_t id, int fd) {
    std::lock_guard lock(mutex_);
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    hooks_.erase(id);
    deadlines_.erase(id);
}

void Reactor::Wake() {
    const std::uint64_t one = 1;
    while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Reactor::Run() {
    std::vector<std::uint64_t> due;
    std::vector<std::shared_ptr<ProgressHook>> work;
    epoll_event events[32];
    for (;;) {
        Clock::time_point until;
        {
            std::lock_guard lock(mutex_);
            until = Clock::time_point::max();
            for (const auto& [id, deadline] : deadlines_)
                until = std::min(until, deadline);
            sleepUntil_ = until;
        }
        const int n = ::epoll_wait(epollFd_, events, 32, EpollTimeout(until));
        due.clear();
        for (int i = 0; i < n; ++i) {
            if (events[i].data.u64 == kWakeId) {
                std::uint64_t value;
                while (::read(wakeFd_, &value, sizeof value) < 0 && errno == EINTR) {
                }
            } else {
                due.push_back(events[i].data.u64);
            }
        }
        work.clear();
        {
            std::lock_guard lock(mutex_);
            sleepUntil_ = Clock::time_point::min(); // awake: Schedule need not wake us
            const auto now = Clock::now();
            for (const auto& [id, deadline] : deadlines_)
                if (deadline <= now) due.push_back(id);
            std::sort(due.begin(), due.end());
            due.erase(std::unique(due.begin(), due.end()), due.end());
            for (std::uint64_t id : due) {
                auto it = hooks_.find(id);
                if (it == hooks_.end()) continue;
                if (auto hook = it->second.lock()) work.push_back(std::move(hook));
            }
        }
        for (auto& hook : work)
            hook->Progress();
        work.clear(); // a hook may be destroyed here, outside the lock
    }
}

} // namespace winapi_linux
