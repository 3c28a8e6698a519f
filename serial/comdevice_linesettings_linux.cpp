#include "linesettings_linux.h"

#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace linuxline {
namespace {
int get(int fd, termios2& t) {
    return ioctl(fd, TCGETS2, &t) == 0 ? 0 : errno;
}
int set(int fd, const termios2& t) {
    return ioctl(fd, TCSETS2, &t) == 0 ? 0 : errno;
}

// The termios code of a line speed: its Bxxx constant, or BOTHER when it has none.
tcflag_t speedCode(std::uint32_t rate) {
    struct Speed {
        std::uint32_t rate;
        tcflag_t code;
    };
    static constexpr Speed speeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const Speed& sp : speeds)
        if (sp.rate == rate)
            return sp.code;
    return BOTHER;
}

void raw(termios2& t) {
    t.c_iflag &= ~tcflag_t(BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                           INPCK | IUCLC | IMAXBEL);
    // Breaks and bytes with framing or parity errors are ignored instead of being
    // delivered as NUL bytes.
    t.c_iflag |= IGNBRK | IGNPAR;
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cflag &= ~tcflag_t(HUPCL);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}
} // namespace

int makeRaw(int fd) {
    termios2 t{};
    if (int e = get(fd, t))
        return e;
    raw(t);
    return set(fd, t);
}

int apply(int fd, const LineSettings& s) {
    const int dataBits = (s.dataBits < 5 || s.dataBits > 8) ? 8 : s.dataBits;
    // The UART gives one and a half stop bits only with five data bits (for CSTOPB) and
    // two only with six to eight; a combination the line cannot carry is refused before
    // anything changes, as the device refuses such a control block.
    if ((s.stopBits == sbOne5StopBits && dataBits != 5) ||
        (s.stopBits == sbTwoStopBits && dataBits == 5))
        return EINVAL;

    termios2 t{};
    if (int e = get(fd, t))
        return e;
    raw(t);

    // A rate with a standard code is set by that code, so that every program reading
    // the line through cfgetospeed sees it; only other rates need BOTHER. The numeric
    // speeds are set in both cases, as the kernel reports them back.
    const tcflag_t code = speedCode(s.baudRate);
    t.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= code | (code << IBSHIFT);
    t.c_ispeed = t.c_ospeed = s.baudRate;

    t.c_cflag &= ~tcflag_t(CSIZE);
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[dataBits - 5];

    if (s.stopBits == sbOneStopBit)
        t.c_cflag &= ~tcflag_t(CSTOPB);
    else
        t.c_cflag |= CSTOPB;

    t.c_cflag &= ~tcflag_t(PARENB | PARODD | CMSPAR);
    switch (s.parity) {
    case prNone:
        break;
    case prOdd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case prEven:
        t.c_cflag |= PARENB;
        break;
    case prMark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case prSpace:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    }
    if (s.parityCheck) {
        t.c_iflag |= INPCK;
        // Without replacement bytes with parity errors are dropped; with it the
        // line discipline delivers them as NUL bytes.
        if (s.parityReplace)
            t.c_iflag &= ~tcflag_t(IGNPAR);
    }

    // The kernel couples RTS handshake and CTS output flow in one flag.
    if (s.outCTSFlow || s.rts == rtsHandshake)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~tcflag_t(CRTSCTS);
    if (s.xonXoffOut)
        t.c_iflag |= IXON;
    if (s.xonXoffIn)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = cc_t(s.xonChar);
    t.c_cc[VSTOP] = cc_t(s.xoffChar);
    return set(fd, t);
}
} // namespace linuxline
