// Messages to hidden windows: direct calls on the owning thread, cross-thread sends that
// wait for the owner, ReplyMessage, InSendMessage and destroyed windows.
#include "Application.h"
#include "Exception.h"
#include "HiddenWindow.h"
#include "messages_linux.h"
#include "vcl/ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr UINT WM_TEST = WM_USER + 1;

// What a window procedure saw on one call.
struct Seen {
    bool onMain = false;
    bool inSend = false;
    WPARAM wParam = 0;
};

// A hidden window on the calling thread that records its calls.
class RecordingWindow {
public:
    explicit RecordingWindow(std::function<void(TMessage&)> Extra = {}) : extra_(std::move(Extra)) {
        handle = AllocateHWnd([this](TMessage& m) {
            {
                std::lock_guard lock(mutex_);
                seen_.push_back({IsMainThread(), InSendMessage() != FALSE, m.WParam});
            }
            m.Result = static_cast<LRESULT>(m.WParam) * 10;
            if (extra_) extra_(m);
        });
    }
    ~RecordingWindow() { DeallocateHWnd(handle); }
    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    std::vector<Seen> Calls() {
        std::lock_guard lock(mutex_);
        return seen_;
    }

    HWND handle = nullptr;

private:
    std::function<void(TMessage&)> extra_;
    std::mutex mutex_;
    std::vector<Seen> seen_;
};

TEST(User32, SameThreadSendIsADirectCall) {
    RecordingWindow window;
    EXPECT_EQ(SendMessageA(window.handle, WM_TEST, 4, 0), 40);
    const auto calls = window.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].inSend);
    EXPECT_EQ(ReplyMessage(1), FALSE); // nothing to reply to
    EXPECT_EQ(DefWindowProcA(window.handle, WM_TEST, 1, 2), 0);
}

TEST(User32, CrossThreadSendRunsOnTheOwnerAndReturnsItsResult) {
    MainPump pump;
    RecordingWindow window;
    std::atomic<LRESULT> result{-1};
    TLambdaThread sender([&](TLambdaThread&) {
        result = SendMessageA(window.handle, WM_TEST, 7, 0);
        pump.Notify();
    });
    sender.Start();
    ASSERT_TRUE(pump.ServeUntil([&] { return result != -1; }));
    EXPECT_EQ(result, 70);
    const auto calls = window.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].onMain);
    EXPECT_TRUE(calls[0].inSend);
    EXPECT_FALSE(InSendMessage()); // only while the procedure runs
}

TEST(User32, ReplyReleasesTheSenderBeforeTheProcedureEnds) {
    MainPump pump;
    std::atomic<bool> senderReturned{false};
    std::atomic<BOOL> firstReply{FALSE}, secondReply{TRUE};
    std::atomic<bool> inSendAfterReply{false}, senderBackBeforeEnd{false};
    std::atomic<LRESULT> result{-1};
    HWND window = AllocateHWnd([&](TMessage& m) {
        firstReply = ReplyMessage(5);
        secondReply = ReplyMessage(6);
        inSendAfterReply = InSendMessage() != FALSE;
        // The procedure goes on only once the sender is back: a reply that did not
        // release it would never end this wait.
        senderBackBeforeEnd = pump.WaitUntil([&] { return senderReturned.load(); });
        m.Result = 99;
    });
    TLambdaThread sender([&](TLambdaThread&) {
        result = SendMessageA(window, WM_TEST, 0, 0);
        senderReturned = true;
        pump.Notify();
    });
    sender.Start();
    ASSERT_TRUE(pump.ServeUntil([&] { return senderReturned.load(); }));
    DeallocateHWnd(window);
    EXPECT_TRUE(senderBackBeforeEnd);
    EXPECT_EQ(result, 5);
    EXPECT_EQ(firstReply, TRUE);
    EXPECT_EQ(secondReply, FALSE);
    EXPECT_TRUE(inSendAfterReply);
}

TEST(User32, DestroyedWindowTakesNoMessages) {
    RecordingWindow window;
    DeallocateHWnd(window.handle);
    EXPECT_EQ(SendMessageA(window.handle, WM_TEST, 1, 0), 0);
    std::atomic<LRESULT> fromThread{-1};
    TLambdaThread sender(
        [&](TLambdaThread&) { fromThread = SendMessageA(window.handle, WM_TEST, 2, 0); });
    sender.Start();
    sender.WaitFor();
    EXPECT_EQ(fromThread, 0);
    EXPECT_TRUE(window.Calls().empty());
    EXPECT_EQ(SendMessageA(nullptr, WM_TEST, 1, 0), 0);
    DeallocateHWnd(nullptr); // ignored
}

TEST(User32, SenderWaitingOnADestroyedWindowIsReleased) {
    MainPump pump;
    RecordingWindow window;
    std::atomic<LRESULT> result{-1};
    TLambdaThread sender([&](TLambdaThread&) {
        result = SendMessageA(window.handle, WM_TEST, 3, 0);
        pump.Notify();
    });
    sender.Start();
    ASSERT_TRUE(pump.WaitForWakes(1)); // the message is queued; nobody has served it
    DeallocateHWnd(window.handle);
    sender.WaitFor();
    EXPECT_EQ(result, 0);
    ServeMainThread();
    EXPECT_TRUE(window.Calls().empty());
}

TEST(User32, WaitForOnTheMainThreadServesSentMessages) {
    RecordingWindow window([](TMessage& m) {
        if (InSendMessage()) ReplyMessage(m.Result); // as the port's window does
    });
    TLambdaThread sender([&](TLambdaThread&) {
        for (WPARAM i = 1; i <= 20; ++i)
            SendMessageA(window.handle, WM_TEST, i, 0);
    });
    sender.Start();
    sender.WaitFor();
    const auto calls = window.Calls();
    ASSERT_EQ(calls.size(), 20u);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].wParam, i + 1); // in the order sent
        EXPECT_TRUE(calls[i].onMain);
    }
}

TEST(User32, ExceptionInAWindowMethodIsShownAndReleasesItsSender) {
    std::vector<std::string> boxes;
    Application->ShowErrorBox = [&](const std::string&, const std::string& text) {
        boxes.push_back(text);
    };
    HWND window = AllocateHWnd([](TMessage&) { throw Exception("handler failed"); });
    std::atomic<LRESULT> result{-1};
    TLambdaThread sender([&](TLambdaThread&) { result = SendMessageA(window, WM_TEST, 1, 0); });
    sender.Start();
    sender.WaitFor();
    DeallocateHWnd(window);
    Application->ShowErrorBox = nullptr;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"handler failed."});
}

TEST(User32, ThreadsSendingToEachOtherDoNotDeadlock) {
    // The worker's window is served while the worker itself waits in a send to the main
    // thread's window, whose procedure sends back to the worker.
    std::atomic<HWND> workerWindow{nullptr};
    std::atomic<LRESULT> inner{-1}, outer{-1};
    HWND mainWindow = AllocateHWnd([&](TMessage& m) {
        inner = SendMessageA(workerWindow.load(), WM_TEST, 0, 0);
        m.Result = 1;
    });
    TLambdaThread worker([&](TLambdaThread&) {
        HWND own = AllocateHWnd([](TMessage& m) { m.Result = IsMainThread() ? -2 : 2; });
        workerWindow = own;
        outer = SendMessageA(mainWindow, WM_TEST, 0, 0);
        DeallocateHWnd(own);
    });
    worker.Start();
    worker.WaitFor();
    DeallocateHWnd(mainWindow);
    EXPECT_EQ(inner, 2);
    EXPECT_EQ(outer, 1);
}

TEST(User32, SendersAreReleasedWhenTheOwningThreadEnds) {
    std::atomic<HWND> window{nullptr};
    MainPump pump;
    TLambdaThread owner([&](TLambdaThread&) {
        window = AllocateHWnd([](TMessage& m) { m.Result = 1; });
        pump.Notify();
        // Ends, without serving, once a message waits for it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!winapi_linux::HasSentMessages() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    });
    owner.Start();
    ASSERT_TRUE(pump.WaitUntil([&] { return window.load() != nullptr; }));
    std::atomic<LRESULT> result{-1};
    TLambdaThread sender(
        [&](TLambdaThread&) { result = SendMessageA(window.load(), WM_TEST, 0, 0); });
    sender.Start();
    sender.WaitFor();
    owner.WaitFor();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(SendMessageA(window.load(), WM_TEST, 0, 0), 0); // its windows went with it
}

TEST(User32, WindowMethodMayOwnObjectsThatDestroyWindows) {
    // Destroying A frees its method, whose captured object destroys B on the way out.
    HWND b = AllocateHWnd([](TMessage&) {});
    struct FreesB {
        HWND wnd;
        ~FreesB() { DeallocateHWnd(wnd); }
    };
    auto owned = std::make_shared<FreesB>(FreesB{b});
    HWND a = AllocateHWnd([owned](TMessage&) {});
    owned.reset();
    DeallocateHWnd(a);
    EXPECT_EQ(SendMessageA(b, WM_TEST, 0, 0), 0); // B is gone too
}

} // namespace
