#include "HiddenWindow.h"

#include "MainThread.h"
#include "messages_linux.h"

HWND AllocateHWnd(TWndMethod Method) {
    vcl_detail::InstallMessageWake();
    return winapi_linux::CreateMessageWindow(
        [method = std::move(Method)](HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam) {
            if (!method) return DefWindowProcA(wnd, msg, wParam, lParam);
            TMessage message{msg, wParam, lParam, 0};
            method(message);
            return message.Result;
        });
}

void DeallocateHWnd(HWND Wnd) {
    if (Wnd != nullptr) winapi_linux::DestroyMessageWindow(Wnd);
}
