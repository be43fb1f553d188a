// A pseudo-terminal whose slave end is open as a serial device through CreateFileA:
// the test plays the device on the master end.
#pragma once

#include "winapi.h"

#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <string>

inline std::string DeviceName(const std::string& path) {
    return "\\\\.\\" + path;
}

inline HANDLE OpenDevice(const std::string& path) {
    return CreateFileA(DeviceName(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

// A DCB as the component builds it: DTR and RTS enabled, no flow control.
inline DCB ComponentDcb(DWORD rate, BYTE byteSize = 8, BYTE parity = NOPARITY,
                        BYTE stopBits = ONESTOPBIT) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = rate;
    dcb.Flags = DCB_fBinary | (DTR_CONTROL_ENABLE << DCB_fDtrControlShift) |
                (RTS_CONTROL_ENABLE << DCB_fRtsControlShift) |
                (parity != NOPARITY ? DCB_fParity : 0);
    dcb.ByteSize = byteSize;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

class OpenPty : public ::testing::Test {
  protected:
    void SetUp() override {
        port_ = OpenDevice(pty_.SlavePath());
        ASSERT_NE(port_, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    }
    void TearDown() override {
        if (port_ != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(port_));
        }
    }

    PtyPair pty_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
};
