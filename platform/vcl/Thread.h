// Threads with a hand-over to the main thread.
#pragma once

#include <functional>
#include <memory>
#include <thread>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThread {
public:
    // Created suspended: the thread runs Execute only after Start().
    explicit TThread(bool CreateSuspended);
    // Terminates and waits (see TerminateAndWait) unless the thread has already ended.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start();
    void Terminate() noexcept;
    bool Terminated() const noexcept;
    bool Finished() const noexcept;
    void SetPriority(TThreadPriority Priority);
    TThreadPriority Priority() const noexcept;

    // Waits for Execute to end. On the main thread it keeps serving hand-overs
    // (Synchronize) and messages sent to the main thread's hidden windows meanwhile.
    void WaitFor();

    // Runs Method on the main thread and blocks until it has run there. An exception
    // thrown by Method is thrown again here, on the calling thread, and shows nothing.
    // Called on the main thread it runs Method at once.
    static void Synchronize(const std::function<void()>& Method);

protected:
    virtual void Execute() = 0;
    // Derived destructors call this first so that Execute never runs on a half-destroyed
    // object: marks terminated, waits for the end (if started), discards the exception
    // that ended Execute.
    void TerminateAndWait();

private:
    struct State;
    std::shared_ptr<State> state_;
};

// True on the thread that initialised the framework (the program's main thread).
bool IsMainThread();

// Runs the hand-overs waiting for the main thread; returns true when any ran.
// Must be called on the main thread.
bool CheckSynchronize();

// Called (from any thread) whenever the main thread has a hand-over or a sent message
// to serve. The window layer binds it to its event loop; tests without a toolkit
// pump with ServeMainThread themselves.
void SetWakeMainThread(std::function<void()> Wake);

// Serves everything waiting for the main thread: hand-overs and messages sent to its
// hidden windows. Must be called on the main thread.
void ServeMainThread();
