// SetCommState over the DCBs the port component builds and over arbitrary ones, applied
// to a real pseudo-terminal opened with CreateFileA. One pty pair stays open for the run.
//
// A DCB the component can build (rate ordinal 0..14, 5..8 data bits, any parity and stop
// bits) must be taken. Any other DCB may be taken or refused. Taken: the kernel's mode,
// read with TCGETS2 on the master end, has the requested rate, raw mode, reads that never
// wait in the kernel, the stop bits and flow control asked for, and GetCommState gives
// the DCB back. Refused: FALSE with ERROR_INVALID_PARAMETER and the mode exactly as it
// was. A DCB with no rate, or a data size, parity or stop-bit code Windows does not know,
// must be refused. (A pty always shows 8 data bits and no parity, so those cannot be seen.)
#include "winapi.h"

#include <asm/termbits.h> // struct termios2, TCGETS2; not together with <termios.h>
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h> // posix_openpt, grantpt, unlockpt, ptsname_r
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The component's rates, by ordinal.
constexpr std::array<DWORD, 15> kRates = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                          19200, 38400, 56000, 57600, 115200, 128000, 256000};

[[noreturn]] void Fail(const DCB& dcb, const char* what) {
    std::fprintf(stderr,
                 "SetCommState(BaudRate=%u Flags=0x%x ByteSize=%u Parity=%u StopBits=%u Xon=0x%02x "
                 "Xoff=0x%02x): %s\n",
                 dcb.BaudRate, dcb.Flags, dcb.ByteSize, dcb.Parity, dcb.StopBits,
                 static_cast<unsigned char>(dcb.XonChar), static_cast<unsigned char>(dcb.XoffChar),
                 what);
    std::abort();
}

[[noreturn]] void SetupFailed(const char* what) {
    std::fprintf(stderr, "fuzz_line_settings setup: %s: %s (error %u)\n", what,
                 std::strerror(errno), GetLastError());
    std::abort();
}

struct Pty {
    int master = -1;
    HANDLE port = INVALID_HANDLE_VALUE;

    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char slave[128];
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
            ::ptsname_r(master, slave, sizeof slave) != 0)
            SetupFailed("pseudo-terminal");
        const std::string name = std::string("\\\\.\\") + slave;
        port = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
        if (port == INVALID_HANDLE_VALUE) SetupFailed("CreateFileA on the pty");
    }
    ~Pty() {
        CloseHandle(port);
        ::close(master);
    }

    termios2 Mode() const {
        termios2 t{};
        if (::ioctl(master, TCGETS2, &t) != 0) SetupFailed("TCGETS2");
        return t;
    }
};

Pty& ThePty() {
    static Pty pty;
    return pty;
}

// What the component's PushLineSettings fills in.
DCB ComponentDcb(FuzzedDataProvider& in) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = kRates[in.ConsumeIntegralInRange<std::size_t>(0, kRates.size() - 1)];
    dcb.ByteSize = static_cast<BYTE>(5 + in.ConsumeIntegralInRange(0, 3));
    dcb.Parity = static_cast<BYTE>(in.ConsumeIntegralInRange(0, 4));
    dcb.StopBits = static_cast<BYTE>(in.ConsumeIntegralInRange(0, 2));
    dcb.Flags = dcb.Parity == NOPARITY ? 0x1011 : 0x1013;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

// Any DCB; the rate is often one the component knows so that the other fields get tried
// on rates that work.
DCB AnyDcb(FuzzedDataProvider& in) {
    DCB dcb{};
    const auto raw = in.ConsumeBytes<std::uint8_t>(sizeof(DCB));
    if (!raw.empty()) std::memcpy(&dcb, raw.data(), raw.size());
    if (in.ConsumeBool())
        dcb.BaudRate = kRates[in.ConsumeIntegralInRange<std::size_t>(0, kRates.size() - 1)];
    return dcb;
}

bool MustRefuse(const DCB& dcb) {
    return dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
           dcb.StopBits > TWOSTOPBITS;
}

void CheckTaken(const DCB& dcb, const termios2& t, bool fromComponent) {
    if (t.c_ospeed != dcb.BaudRate) Fail(dcb, "the line does not run at the requested rate");
    if (t.c_ispeed != dcb.BaudRate) Fail(dcb, "the input runs at another rate");
    if ((t.c_cflag & (CLOCAL | CREAD)) != (CLOCAL | CREAD)) Fail(dcb, "CLOCAL or CREAD missing");
    if ((t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) != 0) Fail(dcb, "not in raw mode (lflag)");
    if ((t.c_oflag & OPOST) != 0) Fail(dcb, "output is post-processed");
    if ((t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IGNBRK | BRKINT)) != 0)
        Fail(dcb, "input is translated");
    if (t.c_cc[VMIN] != 0 || t.c_cc[VTIME] != 0) Fail(dcb, "reads wait in the kernel");
    if (((t.c_cflag & CSTOPB) != 0) != (dcb.StopBits != ONESTOPBIT)) Fail(dcb, "wrong stop bits");

    const DWORD rts = (dcb.Flags & DCB_fRtsControlMask) >> DCB_fRtsControlShift;
    const bool hardware = (dcb.Flags & DCB_fOutxCtsFlow) != 0 || rts == RTS_CONTROL_HANDSHAKE;
    if (((t.c_cflag & CRTSCTS) != 0) != hardware) Fail(dcb, "wrong hardware flow control");
    if (((t.c_iflag & IXON) != 0) != ((dcb.Flags & DCB_fOutX) != 0)) Fail(dcb, "wrong IXON");
    if (((t.c_iflag & IXOFF) != 0) != ((dcb.Flags & DCB_fInX) != 0)) Fail(dcb, "wrong IXOFF");
    if (fromComponent && (t.c_iflag & IXANY) != 0) Fail(dcb, "IXANY set");

    DCB back{};
    if (!GetCommState(ThePty().port, &back)) Fail(dcb, "GetCommState failed after success");
    if (back.BaudRate != dcb.BaudRate || back.ByteSize != dcb.ByteSize ||
        back.Parity != dcb.Parity || back.StopBits != dcb.StopBits || back.Flags != dcb.Flags)
        Fail(dcb, "GetCommState does not give the DCB back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Pty& pty = ThePty();
    FuzzedDataProvider in(data, size);
    const bool fromComponent = in.ConsumeBool();
    DCB dcb = fromComponent ? ComponentDcb(in) : AnyDcb(in);

    const termios2 before = pty.Mode();
    DCB previous{};
    if (!GetCommState(pty.port, &previous)) SetupFailed("GetCommState");

    SetLastError(ERROR_SUCCESS);
    DCB passed = dcb;
    const BOOL ok = SetCommState(pty.port, &passed);
    if (std::memcmp(&passed, &dcb, sizeof dcb) != 0) Fail(dcb, "SetCommState changed its argument");
    const termios2 after = pty.Mode();

    if (ok) {
        if (MustRefuse(dcb)) Fail(dcb, "took a DCB it must refuse");
        CheckTaken(dcb, after, fromComponent);
    } else {
        if (fromComponent) Fail(dcb, "refused a DCB the component builds");
        if (GetLastError() != ERROR_INVALID_PARAMETER)
            Fail(dcb, ("refused with error " + std::to_string(GetLastError())).c_str());
        if (std::memcmp(&before, &after, sizeof before) != 0)
            Fail(dcb, "a refused DCB changed the line's mode");
        DCB kept{};
        if (!GetCommState(pty.port, &kept) || std::memcmp(&kept, &previous, sizeof kept) != 0)
            Fail(dcb, "a refused DCB changed what GetCommState reports");
    }
    return 0;
}
