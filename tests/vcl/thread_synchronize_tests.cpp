// Synchronize: the hand-over to the main thread, its exceptions, and WaitFor serving it.
#include "Application.h"
#include "Exception.h"
#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace {

// Records error boxes so that a test can prove nothing was shown.
class SynchronizeTest : public testing::Test {
protected:
    std::atomic<int> boxes{0};
    void SetUp() override {
        Application->ShowErrorBox = [this](const std::string&, const std::string&) { ++boxes; };
    }
    void TearDown() override { Application->ShowErrorBox = nullptr; }
};

TEST_F(SynchronizeTest, OnTheMainThreadRunsAtOnce) {
    bool ran = false;
    TThread::Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(CheckSynchronize());
}

TEST_F(SynchronizeTest, RunsOnTheMainThreadWhileTheCallerBlocks) {
    MainPump pump;
    std::atomic<int> step{0};
    std::atomic<bool> ranOnMain{false}, callerBlocked{false};
    TLambdaThread thread([&](TLambdaThread&) {
        step = 1;
        TThread::Synchronize([&] {
            ranOnMain = IsMainThread();
            callerBlocked = step == 1;
            step = 2;
        });
        step = 3;
        pump.Notify();
    });
    thread.Start();
    ASSERT_TRUE(pump.ServeUntil([&] { return step == 3; }));
    EXPECT_TRUE(ranOnMain);
    EXPECT_TRUE(callerBlocked);
    EXPECT_GE(pump.Wakes(), 1); // the wake hook was called for the hand-over
}

TEST_F(SynchronizeTest, ExceptionIsThrownAgainOnTheCallerAndShowsNothing) {
    std::atomic<bool> caught{false}, rest{false};
    TLambdaThread thread([&](TLambdaThread&) {
        try {
            TThread::Synchronize([] { throw Exception("read failed"); });
            rest = true;
        } catch (const Exception& e) {
            caught = e.Message() == "read failed";
        }
    });
    thread.Start();
    thread.WaitFor(); // serves the hand-over itself
    EXPECT_TRUE(caught);
    EXPECT_FALSE(rest);
    EXPECT_EQ(boxes, 0);
}

// Without serving, a thread blocked in Synchronize and a main thread waiting for it would
// deadlock; this is what closing a port does.
TEST_F(SynchronizeTest, WaitForOnTheMainThreadServesHandOvers) {
    std::atomic<int> served{0};
    TLambdaThread thread([&](TLambdaThread& self) {
        for (int i = 0; i < 100 && !self.Terminated(); ++i)
            TThread::Synchronize([&] { served += IsMainThread() ? 1 : 1000; });
    });
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(served, 100);
}

TEST_F(SynchronizeTest, HandOverThatWaitsForAnotherThreadStillServesIt) {
    // Thread A's hand-over waits on the main thread for thread B, whose own hand-over is
    // queued behind A's: the nested wait must find and run it.
    std::atomic<bool> bRan{false};
    MainPump pump;
    auto b = std::make_unique<TLambdaThread>(
        [&](TLambdaThread&) { TThread::Synchronize([&] { bRan = true; }); });
    TLambdaThread a([&](TLambdaThread&) { TThread::Synchronize([&] { b->WaitFor(); }); });
    a.Start();
    ASSERT_TRUE(pump.WaitForWakes(1)); // A's hand-over is queued first
    b->Start();
    ASSERT_TRUE(pump.WaitForWakes(2));
    a.WaitFor();
    EXPECT_TRUE(bRan);
    b.reset();
}

TEST_F(SynchronizeTest, ManyThreadsHandOverWhileTheMainThreadWaits) {
    std::atomic<int> total{0};
    int onMainOnly = 0; // touched on the main thread only: a race here is a real fault
    std::vector<std::unique_ptr<TLambdaThread>> threads;
    for (int t = 0; t < 4; ++t) {
        threads.push_back(std::make_unique<TLambdaThread>([&](TLambdaThread&) {
            for (int i = 0; i < 50; ++i)
                TThread::Synchronize([&] {
                    ++onMainOnly;
                    ++total;
                });
        }));
    }
    for (auto& thread : threads)
        thread->Start();
    for (auto& thread : threads)
        thread->WaitFor();
    EXPECT_EQ(total, 200);
    EXPECT_EQ(onMainOnly, 200);
}

} // namespace
