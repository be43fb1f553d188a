// A serial port on a pseudo-terminal with the component's timeouts, and transfer records
// as the component makes them, for the transfer and line event tests.
#pragma once

#include "device_fixture.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// The component's defaults: reads return at once, a write of n bytes may take 100 n + 1000 ms.
inline constexpr COMMTIMEOUTS kComponentTimeouts{MAXDWORD, 0, 0, 100, 1000};

// Bounds every wait in these tests: long enough never to fire on a loaded machine.
inline constexpr DWORD kPatience = 5000;

// An OVERLAPPED whose event is manual-reset and created signalled.
struct Record {
    OVERLAPPED ov{};
    Record() { ov.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr); }
    ~Record() { CloseHandle(ov.hEvent); }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    bool Signalled(DWORD ms = 0) const {
        return WaitForSingleObject(ov.hEvent, ms) == WAIT_OBJECT_0;
    }
};

// The outcome of a transfer that was started and has ended (or not, within kPatience).
struct Outcome {
    bool ended = false;
    BOOL ok = FALSE;
    DWORD bytes = 0;
    DWORD error = 0;
};

inline Outcome AwaitEnd(HANDLE port, Record& record, DWORD ms = kPatience) {
    Outcome out;
    out.ended = record.Signalled(ms);
    SetLastError(0);
    out.ok = GetOverlappedResult(port, &record.ov, &out.bytes, FALSE);
    out.error = out.ok ? 0 : GetLastError();
    return out;
}

inline std::vector<std::uint8_t> Pattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return bytes;
}

inline std::string Text(const std::vector<std::uint8_t>& bytes, std::size_t n) {
    return std::string(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

// Process CPU time (user + system) so far.
inline std::chrono::microseconds CpuTime() {
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    auto us = [](const timeval& t) { return std::int64_t{t.tv_sec} * 1000000 + t.tv_usec; };
    return std::chrono::microseconds(us(use.ru_utime) + us(use.ru_stime));
}

class Port : public OpenPty {
  protected:
    void SetUp() override {
        OpenPty::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        SetTimeouts(kComponentTimeouts);
    }

    void SetTimeouts(COMMTIMEOUTS t) { ASSERT_TRUE(SetCommTimeouts(port_, &t)); }

    DWORD Queued() {
        COMSTAT stat{};
        DWORD errors = 0;
        return ClearCommError(port_, &errors, &stat) ? stat.cbInQue : 0;
    }

    // Bytes from the master take a moment to reach the port's queue.
    void AwaitQueued(DWORD n) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatience);
        while (Queued() < n && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_GE(Queued(), n);
    }

    // Reads what is queued now (the port's timeouts must return at once).
    std::string ReadNow(DWORD max = 4096) {
        std::vector<std::uint8_t> buf(max);
        Record r;
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(port_, buf.data(), max, &got, &r.ov));
        return Text(buf, got);
    }
};
