// Threads with a hand-over to the main thread.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <thread>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThread {
public:
    // Created suspended: the thread runs Execute only after Start(), whatever the flag
    // says (a C++ base constructor cannot run a virtual Execute safely); a derived class
    // that wants it running at once calls Start() at the end of its own constructor.
    // One std::thread per object, nothing else.
    explicit TThread(bool CreateSuspended);
    // Terminates and waits (see TerminateAndWait) unless the thread has already ended.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    void Start(); // a second call does nothing
    void Terminate() noexcept;
    bool Terminated() const noexcept;
    bool Finished() const noexcept;
    // Maps to the thread's niceness relative to where it started (tpIdle +19, tpLowest
    // +10, tpLower +5, tpNormal 0, tpHigher -5, tpHighest -10, tpTimeCritical -20).
    // Linux refuses a higher priority to unprivileged processes: that refusal is ignored,
    // so setting a priority never fails.
    void SetPriority(TThreadPriority Priority);
    TThreadPriority Priority() const noexcept;

    // Waits for Execute to end. On the main thread it keeps serving hand-overs
    // (Synchronize) and messages sent to the main thread's hidden windows meanwhile.
    // Returns at once for a thread that was never started; raises Exception when
    // called from the thread itself.
    void WaitFor();

    // The exception that ended Execute, if any (the thread ends silently; nothing is
    // shown). Discarded when the object is destroyed.
    std::exception_ptr FatalException() const;

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
    void Run(State& s); // the body of the std::thread
    static void ApplyPriority(State& state, TThreadPriority priority);
    std::shared_ptr<State> state_;
};

// True on the thread that initialised the framework (the program's main thread).
bool IsMainThread();

// Runs the hand-overs waiting for the main thread (those queued when the call began);
// returns true when any ran. Does nothing and returns false on any other thread.
bool CheckSynchronize();

// Called (from any thread) whenever the main thread has a hand-over or a sent message
// to serve. The window layer binds it to its event loop; tests without a toolkit
// pump with ServeMainThread themselves.
void SetWakeMainThread(std::function<void()> Wake);

// A descriptor that is readable whenever the main thread has something to serve. An
// event loop can watch it instead of using the wake hook: nothing of the toolkit is then
// touched from other threads. When it is readable, call ServeSignalledMainThread.
int MainThreadWakeDescriptor();
// On the main thread: clears the signal behind that descriptor, then ServeMainThread.
void ServeSignalledMainThread();

// Serves everything waiting for the main thread: hand-overs and messages sent to its
// hidden windows. An exception from a window method goes to Application->HandleException
// and serving goes on, so this never throws. Does nothing on any other thread.
void ServeMainThread();
