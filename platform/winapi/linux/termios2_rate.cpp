#include "termios2_rate.h"

#include <asm/termbits.h> // struct termios2, BOTHER; not together with <termios.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <utility>

namespace winapi_linux {
namespace {

constexpr std::pair<unsigned, unsigned> kStandardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

unsigned RateBits(unsigned rate) {
    for (const auto& [value, bits] : kStandardRates)
        if (value == rate) return bits;
    return BOTHER;
}

} // namespace

int GetLineMode(int fd, LineMode& mode) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
    mode.iflag = t.c_iflag;
    mode.oflag = t.c_oflag;
    mode.cflag = t.c_cflag & ~(CBAUD | CIBAUD);
    mode.lflag = t.c_lflag;
    mode.vmin = t.c_cc[VMIN];
    mode.vtime = t.c_cc[VTIME];
    mode.vstart = t.c_cc[VSTART];
    mode.vstop = t.c_cc[VSTOP];
    mode.rate = t.c_ospeed; // the kernel keeps it filled in for Bnnn rates too
    return 0;
}

int SetLineMode(int fd, const LineMode& mode) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_iflag = mode.iflag;
    t.c_oflag = mode.oflag;
    // Input rate bits 0: the input runs at the output rate.
    t.c_cflag = (mode.cflag & ~(CBAUD | CIBAUD)) | RateBits(mode.rate);
    t.c_lflag = mode.lflag;
    t.c_cc[VMIN] = mode.vmin;
    t.c_cc[VTIME] = mode.vtime;
    t.c_cc[VSTART] = mode.vstart;
    t.c_cc[VSTOP] = mode.vstop;
    t.c_ispeed = mode.rate;
    t.c_ospeed = mode.rate;
    if (::ioctl(fd, TCSETS2, &t) != 0) return errno;
    return 0;
}

} // namespace winapi_linux
