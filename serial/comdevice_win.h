#pragma once
// Pieces of the Win32 serial backend that can be examined without a port.

#include "comdevice.h"

#include <windows.h>

namespace windevice {
// The device control block for a set of line settings: binary mode, the framing, parity
// checking and replacement, flow control and its characters, XON/XOFF limits of a
// quarter of the input queue each. fNull stays 0: NUL bytes are dropped by the
// device's own input queue, the same way on every system, and the driver's switch
// for it is not honoured by every driver (USB adapters among them).
DCB makeDcb(const LineSettings& settings);

} // namespace windevice
