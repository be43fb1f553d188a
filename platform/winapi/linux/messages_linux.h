// Linux-only side of the window messages: creating message windows and serving the
// messages other threads send to them. A thread owns the windows it creates; a message
// sent from another thread waits in the owner's queue until the owner serves it, as
// Windows delivers sent messages only when the receiving thread takes them up.
#pragma once

#include "winapi.h"

#include <functional>
#include <thread>

namespace winapi_linux {

using WindowProc = std::function<LRESULT(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)>;

// Creates a message window owned by the calling thread. The handle is never reused
// within a run, so a stale one cannot reach a newer window.
HWND CreateMessageWindow(WindowProc Proc);

// Destroys a window (from any thread). Later sends to it return 0 at once; senders whose
// messages still wait in the queue are released with 0; a message whose procedure is
// running completes normally. False when the handle is not a live window.
bool DestroyMessageWindow(HWND hWnd);

// Runs, on the calling thread, the messages that other threads had sent to its windows
// when the call began; returns true when any ran. Messages sent meanwhile stay for the
// next call (each send fires the hook below, so none is forgotten). An exception from a
// window procedure releases its sender with 0 and leaves this call; the rest stay queued.
bool ServeSentMessages();

// Whether messages from other threads wait to be served by the calling thread.
bool HasSentMessages();

// Called on the sending thread each time a message has been queued for another thread,
// with the id of the thread that owns the window. The framework installs it to wake that
// thread's wait (for the main thread: the toolkit's event loop and TThread::WaitFor).
using SentMessageHook = void (*)(std::thread::id Owner);
void SetSentMessageHook(SentMessageHook Hook);

} // namespace winapi_linux
