// Events, handles and the last error.
#include "linux/handles.h"
#include "winapi.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(CoreEvents, InitialStateAndResetKind) {
    struct Case {
        BOOL manual, initial;
        DWORD first, second; // two waits of 0 ms in a row
    };
    const Case cases[] = {
        {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0}, // manual reset stays signalled
        {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT}, // auto reset: the first wait consumes it
        {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
        {FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "manual " << c.manual << " initial " << c.initial);
        HANDLE e = CreateEventA(nullptr, c.manual, c.initial, nullptr);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.first);
        EXPECT_EQ(WaitForSingleObject(e, 0), c.second);
        EXPECT_TRUE(CloseHandle(e));
    }
}

TEST(CoreEvents, SetAndResetChangeTheState) {
    HANDLE e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(SetEvent(e));
    ASSERT_TRUE(SetEvent(e)); // setting a signalled event changes nothing
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(ResetEvent(e));
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(ResetEvent(e)); // resetting twice is harmless
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    CloseHandle(e);

    HANDLE a = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetEvent(a);
    SetEvent(a); // two sets of an auto-reset event still release one wait
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
    CloseHandle(a);
}

TEST(CoreEvents, BadHandlesFailCleanly) {
    HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    ASSERT_TRUE(CloseHandle(e));
    const HANDLE bad[] = {nullptr, INVALID_HANDLE_VALUE, e /* closed */};
    for (HANDLE h : bad) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(SetEvent(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_FALSE(ResetEvent(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(0);
        EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
}

TEST(CoreEvents, NamedEventsAreRefused) {
    SetLastError(0);
    EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, "Global\\x"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CoreEvents, HandlesAreReleasedOnClose) {
    const std::size_t before = winapi_linux::LiveHandleCount();
    HANDLE h[8];
    for (HANDLE& e : h)
        e = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(winapi_linux::LiveHandleCount(), before + 8);
    for (HANDLE e : h)
        EXPECT_TRUE(CloseHandle(e));
    EXPECT_EQ(winapi_linux::LiveHandleCount(), before);
}

TEST(CoreEvents, LastErrorBelongsToEachThread) {
    SetLastError(1234);
    DWORD seen = 0;
    std::thread other([&] {
        seen = GetLastError();
        SetLastError(99);
    });
    other.join();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
}

} // namespace
