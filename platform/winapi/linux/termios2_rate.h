// A terminal's mode read and written through the kernel's termios2 interface
// (TCGETS2 / TCSETS2), which carries the rate in bits per second and so also takes rates
// without a Bnnn constant. Kept apart because <asm/termbits.h> clashes with <termios.h>;
// the flag words use the same bit values as <termios.h>.
#pragma once

namespace winapi_linux {

struct LineMode {
    unsigned iflag = 0, oflag = 0, cflag = 0, lflag = 0; // cflag without the rate bits
    unsigned char vmin = 0, vtime = 0, vstart = 0, vstop = 0;
    unsigned rate = 0; // bits per second, both directions
};

// TCGETS2. Returns 0 or the errno value.
int GetLineMode(int fd, LineMode& mode);

// TCSETS2, at once (TCSANOW), keeping the line discipline and the control characters
// not in LineMode. A rate with a Bnnn constant is set by that constant, any other through
// BOTHER. Returns 0 or the errno value.
int SetLineMode(int fd, const LineMode& mode);

} // namespace winapi_linux
