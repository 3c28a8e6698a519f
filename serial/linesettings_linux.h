#pragma once
// Line settings of a tty through the kernel's termios2 interface, which also takes
// rates that have no Bxxx constant (14400, 56000, 128000, 256000, custom rates).
// Kept apart because the kernel's termios header cannot meet the C library's.

#include "comdevice.h"

namespace linuxline {
// Raw mode: no echo, no line editing, no character translation, reads return at
// once (together with O_NONBLOCK), breaks and framing errors never turn into bytes.
int makeRaw(int fd);
// Applies speed, framing, parity and flow control; returns 0 or errno.
int apply(int fd, const LineSettings& s);
} // namespace linuxline
