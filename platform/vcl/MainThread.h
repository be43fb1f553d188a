// The main thread's wake-up signal, internal to the framework. Everything that needs the
// main thread's attention raises it: a queued hand-over, a message sent to one of its
// windows, and the end of a thread that the main thread waits for. TThread::WaitFor
// sleeps on it in the kernel, so waiting and serving never spin.
#pragma once

namespace vcl_detail {

// Raises the signal only (no toolkit wake-up): enough for a thread end.
void SignalMainThread();
// Raises the signal and calls the toolkit's wake hook: for work the main thread must serve.
void WakeMainThread();
// On the main thread: clears the signal before a serving pass, then sleeps until raised.
void ClearMainThreadSignal();
void SleepUntilMainThreadSignal();

// Makes messages sent to the main thread's windows wake it. Installed at start-up;
// AllocateHWnd calls it too, so it holds even when nothing else of the thread code is used.
void InstallMessageWake();

} // namespace vcl_detail
