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
// other threads, through SendMessageA) run Method on the owning thread.
HWND AllocateHWnd(TWndMethod Method);
void DeallocateHWnd(HWND Wnd);
