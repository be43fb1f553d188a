// Helpers for threading tests without a toolkit: a thread running a lambda and a pump
// that serves the main thread when the framework wakes it.
#pragma once

#include "Thread.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class TLambdaThread : public TThread {
public:
    explicit TLambdaThread(std::function<void(TLambdaThread&)> Body)
        : TThread(true), body_(std::move(Body)) {}
    ~TLambdaThread() override { TerminateAndWait(); }
    using TThread::Terminated;

protected:
    void Execute() override { body_(*this); }

private:
    std::function<void(TLambdaThread&)> body_;
};

// Binds the framework's wake hook for one test. Serve() runs ServeMainThread each time the
// main thread is woken (or a test thread calls Notify) until a condition holds; the
// deadline only keeps a broken build from hanging.
class MainPump {
public:
    MainPump() {
        SetWakeMainThread([this] { Notify(); });
    }
    ~MainPump() { SetWakeMainThread(nullptr); }
    MainPump(const MainPump&) = delete;
    MainPump& operator=(const MainPump&) = delete;

    void Notify() {
        std::lock_guard lock(mutex_);
        ++wakes_;
        woken_.notify_all();
    }

    int Wakes() {
        std::lock_guard lock(mutex_);
        return wakes_;
    }

    // Waits (without serving) until the framework has woken the main thread Count times
    // since the pump was made: each hand-over and each sent message wakes it once.
    bool WaitForWakes(int Count, std::chrono::seconds Limit = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return woken_.wait_for(lock, Limit, [&] { return wakes_ >= Count; });
    }

    // Returns whether Done() became true before the deadline.
    bool ServeUntil(const std::function<bool()>& Done,
                    std::chrono::seconds Limit = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + Limit;
        for (;;) {
            int seen;
            {
                std::lock_guard lock(mutex_);
                seen = wakes_;
            }
            ServeMainThread();
            if (Done()) return true;
            std::unique_lock lock(mutex_);
            if (!woken_.wait_until(lock, deadline, [&] { return wakes_ != seen; })) return Done();
        }
    }

    // Waits (without serving) until Done() holds; test threads call Notify after a change.
    // Done() runs under the pump's lock: it should read atomics only.
    bool WaitUntil(const std::function<bool()>& Done,
                   std::chrono::seconds Limit = std::chrono::seconds(20)) {
        std::unique_lock lock(mutex_);
        return woken_.wait_for(lock, Limit, Done);
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
    int wakes_ = 0;
};
