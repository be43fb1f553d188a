// Line settings, queue sizes and timeouts, checked on the pty's slave end as the
// kernel holds it. A pty forces 8 data bits and clears PARENB, so data bits and parity
// show only through PARODD and CMSPAR.
#include "device_fixture.h"

#include <termios.h>

namespace {

struct LineCase {
    const char* what;
    DWORD rate;
    BYTE parity, stopBits;
    bool twoStopBits;    // CSTOPB
    tcflag_t parityBits; // PARODD | CMSPAR
};

const LineCase kLineCases[] = {
    {"9600 8N1", 9600, NOPARITY, ONESTOPBIT, false, 0},
    {"115200 two stop bits", 115200, NOPARITY, TWOSTOPBITS, true, 0},
    {"110, the slowest", 110, NOPARITY, ONESTOPBIT, false, 0},
    {"14400 has no Bnnn", 14400, ODDPARITY, ONESTOPBIT, false, PARODD},
    {"56000 has no Bnnn", 56000, EVENPARITY, ONESTOPBIT, false, 0},
    {"128000 has no Bnnn", 128000, MARKPARITY, ONESTOPBIT, false, PARODD | CMSPAR},
    {"256000 has no Bnnn", 256000, SPACEPARITY, TWOSTOPBITS, true, CMSPAR},
    {"one and a half stop bits run as two", 19200, NOPARITY, ONE5STOPBITS, true, 0},
    {"31250, a rate outside the list", 31250, NOPARITY, ONESTOPBIT, false, 0},
    {"230400, outside the list with a Bnnn", 230400, NOPARITY, ONESTOPBIT, false, 0},
};

} // namespace

TEST_F(OpenPty, LineSettingsReachTheOtherEnd) {
    for (const LineCase& c : kLineCases) {
        SCOPED_TRACE(c.what);
        DCB dcb = ComponentDcb(c.rate, 8, c.parity, c.stopBits);
        ASSERT_TRUE(SetCommState(port_, &dcb)) << "error " << GetLastError();

        const SlaveMode mode = pty_.Mode();
        EXPECT_EQ(mode.ospeed, c.rate);
        EXPECT_EQ(mode.ispeed, c.rate);
        EXPECT_EQ((mode.cflag & CSTOPB) != 0, c.twoStopBits);
        EXPECT_EQ(mode.cflag & (PARODD | CMSPAR), c.parityBits);
        EXPECT_EQ(mode.cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
        EXPECT_EQ(mode.cflag & CRTSCTS, 0u);
        EXPECT_EQ(mode.iflag & (IXON | IXOFF | INPCK | ICRNL | ISTRIP), 0u);
        EXPECT_EQ(mode.lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(mode.oflag & OPOST, 0u);
        EXPECT_EQ(mode.vmin, 0);
        EXPECT_EQ(mode.vtime, 0);

        DCB kept{};
        ASSERT_TRUE(GetCommState(port_, &kept));
        EXPECT_EQ(kept.BaudRate, c.rate);
        EXPECT_EQ(kept.Parity, c.parity);
        EXPECT_EQ(kept.StopBits, c.stopBits);
        EXPECT_EQ(kept.Flags, dcb.Flags);
    }
}

TEST_F(OpenPty, FlowControlFlagsMapToTermios) {
    struct Case {
        const char* what;
        DWORD flags;
        tcflag_t cflag, iflag;
    };
    const Case cases[] = {
        {"CTS output flow", DCB_fOutxCtsFlow, CRTSCTS, 0},
        {"RTS handshake", RTS_CONTROL_HANDSHAKE << DCB_fRtsControlShift, CRTSCTS, 0},
        {"XON/XOFF output", DCB_fOutX, 0, IXON},
        {"XON/XOFF input", DCB_fInX, 0, IXOFF},
        {"none", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DCB dcb = ComponentDcb(9600);
        dcb.Flags = (dcb.Flags & ~DCB_fRtsControlMask) | c.flags;
        if ((c.flags & DCB_fRtsControlMask) == 0)
            dcb.Flags |= RTS_CONTROL_ENABLE << DCB_fRtsControlShift;
        ASSERT_TRUE(SetCommState(port_, &dcb));
        const SlaveMode mode = pty_.Mode();
        EXPECT_EQ(mode.cflag & CRTSCTS, c.cflag);
        EXPECT_EQ(mode.iflag & (IXON | IXOFF), c.iflag);
    }
}

// An invalid DCB is refused as a whole: the line keeps its mode and GetCommState the
// previous DCB. DCBlength is not checked, as on Windows.
TEST_F(OpenPty, InvalidDcbChangesNothing) {
    DCB good = ComponentDcb(115200, 8, NOPARITY, TWOSTOPBITS);
    ASSERT_TRUE(SetCommState(port_, &good));
    const SlaveMode before = pty_.Mode();

    struct Case {
        const char* what;
        void (*spoil)(DCB&);
    };
    const Case cases[] = {
        {"rate 0", [](DCB& d) { d.BaudRate = 0; }},
        {"4 data bits", [](DCB& d) { d.ByteSize = 4; }},
        {"9 data bits", [](DCB& d) { d.ByteSize = 9; }},
        {"parity 5", [](DCB& d) { d.Parity = 5; }},
        {"stop bits 3", [](DCB& d) { d.StopBits = 3; }},
        {"XON equal to XOFF with XON/XOFF on",
         [](DCB& d) {
             d.Flags |= DCB_fOutX;
             d.XoffChar = d.XonChar;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DCB bad = ComponentDcb(9600, 7, EVENPARITY, ONESTOPBIT);
        c.spoil(bad);
        SetLastError(0);
        EXPECT_FALSE(SetCommState(port_, &bad));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        const SlaveMode after = pty_.Mode();
        EXPECT_EQ(after.cflag, before.cflag);
        EXPECT_EQ(after.iflag, before.iflag);
        EXPECT_EQ(after.ospeed, before.ospeed);
        DCB kept{};
        ASSERT_TRUE(GetCommState(port_, &kept));
        EXPECT_EQ(kept.BaudRate, 115200u);
        EXPECT_EQ(kept.StopBits, TWOSTOPBITS);
    }
    EXPECT_FALSE(SetCommState(port_, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

    DCB anyLength = ComponentDcb(57600);
    anyLength.DCBlength = 0;
    EXPECT_TRUE(SetCommState(port_, &anyLength));
    EXPECT_EQ(pty_.Mode().ospeed, 57600u);
}

TEST_F(OpenPty, TimeoutsAreKeptAndTheContradictoryOneRefused) {
    COMMTIMEOUTS component{MAXDWORD, 0, 0, 100, 1000};
    ASSERT_TRUE(SetCommTimeouts(port_, &component));
    COMMTIMEOUTS kept{};
    ASSERT_TRUE(GetCommTimeouts(port_, &kept));
    EXPECT_EQ(kept.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(kept.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(kept.WriteTotalTimeoutConstant, 1000u);

    COMMTIMEOUTS allMax{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    EXPECT_FALSE(SetCommTimeouts(port_, &allMax));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    COMMTIMEOUTS oneByteOrConstant{MAXDWORD, MAXDWORD, 500, 0, 0};
    EXPECT_TRUE(SetCommTimeouts(port_, &oneByteOrConstant));
    ASSERT_TRUE(GetCommTimeouts(port_, &kept));
    EXPECT_EQ(kept.ReadTotalTimeoutConstant, 500u);
}

TEST_F(OpenPty, SetupCommSucceedsForAnySize) {
    for (const DWORD size : {DWORD{2048}, DWORD{0}, DWORD{1}, DWORD{0xFFFFFFFDu}}) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(SetupComm(port_, size, size));
    }
}

// Every device function checks its handle first: nothing that is not an open serial
// device is ever touched.
TEST(DeviceHandles, FunctionsRefuseHandlesThatAreNotOpenDevices) {
    PtyPair pty;
    const HANDLE closed = OpenDevice(pty.SlavePath());
    ASSERT_NE(closed, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(closed));
    const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);

    struct Out {
        DCB dcb = ComponentDcb(9600);
        COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 100, 1000};
        DWORD word = 0;
        COMSTAT stat{};
    };
    struct Call {
        const char* what;
        BOOL (*call)(HANDLE, Out&);
    };
    const Call calls[] = {
        {"SetupComm", [](HANDLE h, Out&) { return SetupComm(h, 2048, 2048); }},
        {"GetCommState", [](HANDLE h, Out& o) { return GetCommState(h, &o.dcb); }},
        {"SetCommState", [](HANDLE h, Out& o) { return SetCommState(h, &o.dcb); }},
        {"GetCommTimeouts", [](HANDLE h, Out& o) { return GetCommTimeouts(h, &o.timeouts); }},
        {"SetCommTimeouts", [](HANDLE h, Out& o) { return SetCommTimeouts(h, &o.timeouts); }},
        {"ClearCommError", [](HANDLE h, Out& o) { return ClearCommError(h, &o.word, &o.stat); }},
        {"GetCommModemStatus", [](HANDLE h, Out& o) { return GetCommModemStatus(h, &o.word); }},
        {"EscapeCommFunction", [](HANDLE h, Out&) { return EscapeCommFunction(h, SETDTR); }},
    };
    for (const HANDLE h : {INVALID_HANDLE_VALUE, HANDLE{nullptr}, closed, event}) {
        for (const Call& c : calls) {
            SCOPED_TRACE(c.what);
            Out out;
            SetLastError(0);
            EXPECT_FALSE(c.call(h, out));
            EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        }
    }
    EXPECT_TRUE(CloseHandle(event));
}
