// user32 messages to hidden windows on Linux.
//
// Every thread that owns windows or sends across threads has a queue. A cross-thread
// SendMessageA puts a record that lives on the sender's stack into the owner's queue and
// sleeps on its own queue's condition until the owner has run the procedure (or replied,
// or the window or its thread went away). One mutex guards all windows and queues: the
// traffic is a handful of messages per line event, and one lock keeps every hand-over
// (queue, release, destruction) simple to reason about.
#include "messages_linux.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace winapi_linux {
namespace {

struct ThreadQueue;

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<ThreadQueue> owner;
    WindowProc proc;
    bool alive = true;
};

struct SentMessage {
    std::shared_ptr<Window> window;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    ThreadQueue* sender; // alive: the sender sleeps until done
    LRESULT result = 0;
    bool done = false;
};

struct ThreadQueue {
    std::thread::id thread = std::this_thread::get_id();
    std::deque<SentMessage*> pending;
    std::condition_variable wake; // the owning thread sleeps here inside its own sends
    bool alive = true;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Window>> windows;
    std::uintptr_t next = 0x10000;
};

// Never destroyed: threads may still send or exit while the program's statics go.
Registry& registry() {
    static Registry* instance = new Registry;
    return *instance;
}

std::atomic<SentMessageHook> sentHook{nullptr};

// Must hold the registry's mutex.
void Release(SentMessage& m, LRESULT result) {
    m.result = result;
    m.done = true;
    m.sender->wake.notify_all();
}

void ThreadExiting(ThreadQueue& queue);

// The calling thread's queue, made on first use and retired when the thread exits.
struct QueueHolder {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueHolder() {
        if (queue) ThreadExiting(*queue);
    }
};
thread_local QueueHolder currentQueue;

ThreadQueue& CurrentQueue() {
    if (!currentQueue.queue) currentQueue.queue = std::make_shared<ThreadQueue>();
    return *currentQueue.queue;
}

// The cross-thread message whose procedure this thread is running (innermost), or null.
struct Receiving {
    SentMessage* message;
    bool replied = false;
};
thread_local Receiving* receiving = nullptr;

// A thread that ends cannot serve its windows any more: release whoever waits on them
// and drop the windows, so that no sender is left blocked for ever.
void ThreadExiting(ThreadQueue& queue) {
    Registry& r = registry();
    std::vector<std::shared_ptr<Window>> gone; // freed after the lock: procedures own objects
    std::lock_guard lock(r.mutex);
    queue.alive = false;
    for (SentMessage* m : queue.pending)
        Release(*m, 0);
    queue.pending.clear();
    for (auto it = r.windows.begin(); it != r.windows.end();) {
        if (it->second->owner.get() == &queue) {
            it->second->alive = false;
            gone.push_back(std::move(it->second));
            it = r.windows.erase(it);
        } else {
            ++it;
        }
    }
}

std::shared_ptr<Window> FindWindow(HWND hWnd) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.windows.find(reinterpret_cast<std::uintptr_t>(hWnd));
    return it == r.windows.end() ? nullptr : it->second;
}

// Runs one message taken from the queue; releases its sender when the procedure ends
// without having replied, also when it throws.
void Dispatch(SentMessage& m, bool windowAlive) {
    // Copied first: once the procedure replies, the sender returns and its record is gone,
    // and the window may be destroyed meanwhile; this reference keeps the procedure alive.
    const std::shared_ptr<Window> window = m.window;
    const UINT msg = m.msg;
    const WPARAM wParam = m.wParam;
    const LPARAM lParam = m.lParam;
    Receiving context{&m};
    Receiving* const outer = receiving;
    receiving = &context;
    struct Finish {
        Receiving& context;
        Receiving* outer;
        LRESULT result = 0;
        ~Finish() {
            receiving = outer;
            if (!context.replied) {
                std::lock_guard lock(registry().mutex);
                Release(*context.message, result);
            }
        }
    } finish{context, outer};
    if (windowAlive) finish.result = window->proc(window->handle, msg, wParam, lParam);
}

} // namespace

HWND CreateMessageWindow(WindowProc Proc) {
    auto window = std::make_shared<Window>();
    window->proc = std::move(Proc);
    CurrentQueue();
    window->owner = currentQueue.queue;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const std::uintptr_t value = r.next;
    r.next += 2;
    window->handle = reinterpret_cast<HWND>(value);
    r.windows.emplace(value, window);
    return window->handle;
}

bool DestroyMessageWindow(HWND hWnd) {
    Registry& r = registry();
    std::shared_ptr<Window> window; // freed after the lock: its procedure may own objects
    std::lock_guard lock(r.mutex);
    auto it = r.windows.find(reinterpret_cast<std::uintptr_t>(hWnd));
    if (it == r.windows.end()) return false;
    window = std::move(it->second);
    r.windows.erase(it);
    window->alive = false;
    auto& pending = window->owner->pending;
    for (auto m = pending.begin(); m != pending.end();) {
        if ((*m)->window == window) {
            Release(**m, 0);
            m = pending.erase(m);
        } else {
            ++m;
        }
    }
    return true;
}

bool ServeSentMessages() {
    if (!currentQueue.queue) return false; // this thread owns no window and never sent
    ThreadQueue& queue = *currentQueue.queue;
    Registry& r = registry();
    std::size_t budget;
    {
        std::lock_guard lock(r.mutex);
        budget = queue.pending.size();
    }
    bool any = false;
    for (; budget > 0; --budget) {
        SentMessage* m;
        bool windowAlive;
        {
            std::lock_guard lock(r.mutex);
            if (queue.pending.empty()) break; // destroyed windows took theirs away
            m = queue.pending.front();
            queue.pending.pop_front();
            windowAlive = m->window->alive;
        }
        any = true;
        Dispatch(*m, windowAlive);
    }
    return any;
}

bool HasSentMessages() {
    if (!currentQueue.queue) return false;
    std::lock_guard lock(registry().mutex);
    return !currentQueue.queue->pending.empty();
}

void SetSentMessageHook(SentMessageHook Hook) {
    sentHook.store(Hook);
}

} // namespace winapi_linux

using namespace winapi_linux;

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    const std::shared_ptr<Window> window = FindWindow(hWnd);
    if (!window) return 0;

    if (window->owner->thread == std::this_thread::get_id()) {
        // Same thread: a plain call, during which InSendMessage is false.
        Receiving* const outer = receiving;
        receiving = nullptr;
        struct Restore {
            Receiving* outer;
            ~Restore() { receiving = outer; }
        } restore{outer};
        return window->proc(hWnd, Msg, wParam, lParam);
    }

    ThreadQueue& self = CurrentQueue();
    SentMessage m{window, Msg, wParam, lParam, &self};
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        if (!window->alive || !window->owner->alive) return 0;
        window->owner->pending.push_back(&m);
        window->owner->wake.notify_all();
    }
    if (SentMessageHook hook = sentHook.load()) hook(window->owner->thread);

    // While waiting, serve what others send to this thread, as Windows does, so that two
    // threads sending to each other cannot deadlock. An exception from such a procedure
    // waits until this message is done: the record on this stack must outlive the wait.
    std::exception_ptr failure;
    std::unique_lock lock(r.mutex);
    while (!m.done) {
        if (!self.pending.empty()) {
            lock.unlock();
            try {
                ServeSentMessages();
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
            lock.lock();
            continue;
        }
        self.wake.wait(lock);
    }
    const LRESULT result = m.result;
    lock.unlock();
    if (failure) std::rethrow_exception(failure);
    return result;
}

BOOL InSendMessage() {
    return receiving != nullptr ? TRUE : FALSE;
}

BOOL ReplyMessage(LRESULT lResult) {
    if (receiving == nullptr || receiving->replied) return FALSE;
    {
        std::lock_guard lock(registry().mutex);
        Release(*receiving->message, lResult);
    }
    receiving->replied = true;
    return TRUE;
}

LRESULT DefWindowProcA(HWND /*hWnd*/, UINT /*Msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    return 0;
}
