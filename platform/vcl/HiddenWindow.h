// Hidden message windows: a window handle whose messages go to a method of ours.
#pragma once

#include "winapi.h"

#include <functional>

struct TMessage {
    UINT Msg;
    WPARAM WParam;
    LPARAM LParam;
    LRESULT Result;
};

using TWndMethod = std::function<void(TMessage& Message)>;

// Creates a hidden window owned by the calling thread; messages sent to it (also from
// other threads, through SendMessageA) run Method on the owning thread, which sets
// Message.Result. Messages from other threads wait until the owner serves them
// (ServeMainThread for the main thread, which is woken for each one).
HWND AllocateHWnd(TWndMethod Method);
// Destroys the window: later messages to it do nothing and return 0; senders still
// waiting for it are released with 0. A null handle is ignored.
void DeallocateHWnd(HWND Wnd);
