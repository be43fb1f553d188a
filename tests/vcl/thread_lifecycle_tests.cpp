// TThread: start, terminate, wait, the exception that ends Execute, priorities.
#include "Application.h"
#include "Exception.h"
#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

namespace {

TEST(ThreadLifecycle, NeverStartedThreadWaitsAndDiesAtOnce) {
    std::atomic<bool> ran{false};
    {
        TLambdaThread thread([&](TLambdaThread&) { ran = true; });
        thread.WaitFor();
        EXPECT_FALSE(thread.Finished());
    }
    EXPECT_FALSE(ran);
}

TEST(ThreadLifecycle, RunsOnlyAfterStartAndOffTheMainThread) {
    std::atomic<bool> onMain{true};
    TLambdaThread thread([&](TLambdaThread&) { onMain = IsMainThread(); });
    thread.Start();
    thread.Start(); // a second start changes nothing
    thread.WaitFor();
    EXPECT_TRUE(thread.Finished());
    EXPECT_FALSE(onMain);
    EXPECT_TRUE(IsMainThread());
}

TEST(ThreadLifecycle, DestructionTerminatesAndWaits) {
    std::atomic<bool> sawTerminated{false};
    {
        TLambdaThread thread([&](TLambdaThread& self) {
            while (!self.Terminated())
                std::this_thread::yield();
            sawTerminated = true;
        });
        thread.Start();
    }
    EXPECT_TRUE(sawTerminated);
}

TEST(ThreadLifecycle, ExceptionInExecuteEndsTheThreadSilently) {
    int boxes = 0;
    Application->ShowErrorBox = [&](const std::string&, const std::string&) { ++boxes; };
    {
        std::atomic<bool> after{false};
        TLambdaThread thread([&](TLambdaThread&) {
            throw Exception("line failure");
            after = true; // never reached
        });
        thread.Start();
        thread.WaitFor();
        EXPECT_TRUE(thread.Finished());
        EXPECT_FALSE(after);
        ASSERT_TRUE(thread.FatalException());
        try {
            std::rethrow_exception(thread.FatalException());
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "line failure");
        }
    } // the kept exception is discarded here (a leak would show under AddressSanitizer)
    Application->ShowErrorBox = nullptr;
    EXPECT_EQ(boxes, 0);
}

TEST(ThreadLifecycle, AThreadCannotWaitForItself) {
    std::atomic<bool> refused{false};
    TLambdaThread thread([&](TLambdaThread& self) {
        try {
            self.WaitFor();
        } catch (const Exception&) {
            refused = true;
        }
    });
    thread.Start();
    thread.WaitFor();
    EXPECT_TRUE(refused);
}

// Lowering a priority is allowed to every process; raising it is refused to most, and
// must not fail either way.
TEST(ThreadLifecycle, PriorityLowersNicenessAndNeverFails) {
    std::atomic<int> before{0}, after{0};
    std::atomic<bool> started{false}, go{false};
    TLambdaThread thread([&](TLambdaThread&) {
        before = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
        started = true;
        while (!go)
            std::this_thread::yield();
        after = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    });
    const int mainNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    thread.SetPriority(tpLower); // before the start: applied when the thread begins
    thread.Start();
    while (!started)
        std::this_thread::yield();
    EXPECT_NO_THROW(thread.SetPriority(tpTimeCritical));
    EXPECT_NO_THROW(thread.SetPriority(tpIdle)); // while it runs
    EXPECT_EQ(thread.Priority(), tpIdle);
    go = true;
    thread.WaitFor();
    EXPECT_EQ(before, std::min(mainNice + 5, 19));
    EXPECT_EQ(after, 19);
    EXPECT_EQ(::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid())), mainNice);
}

TEST(ThreadLifecycle, PriorityChangedWhileRunningIsRelativeToTheStart) {
    std::atomic<bool> started{false}, go{false};
    std::atomic<int> after{0};
    TLambdaThread thread([&](TLambdaThread&) {
        started = true;
        while (!go) std::this_thread::yield();
        after = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    });
    const int mainNice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
    thread.Start();
    while (!started) std::this_thread::yield();
    thread.SetPriority(tpLowest);
    go = true;
    thread.WaitFor();
    EXPECT_EQ(after, std::min(mainNice + 10, 19));
}

} // namespace
