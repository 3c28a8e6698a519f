// POSIX backend of the serial device: termios tty, exclusive use by a UUCP lock file,
// flock and TIOCEXCL, non-blocking reads into the device's own input queue, writes
// that wait until the bytes have left, and an epoll-based waiter for the event watcher.

#include "comdevice.h"

#include "linesettings_linux.h"
#include "uucplock_posix.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;

// Modem-line ioctls fail this way on devices without modem lines (pseudo-terminals).
bool noModemLines(int e) {
    return e == ENOTTY || e == EINVAL;
}

// The most bytes the input queue holds; beyond it arriving bytes are lost, as with
// a full driver queue.
constexpr int kInputQueueLimit = 64 * 1024;

class PosixEventWaiter final : public ComEventWaiter {
public:
    PosixEventWaiter(int fd, TComEvents events) : fd_(fd), events_(events) {
        epfd_ = epoll_create1(EPOLL_CLOEXEC);
        wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = wakeFd_;
        epoll_ctl(epfd_, EPOLL_CTL_ADD, wakeFd_, &ev);
        // Edge-triggered: one wake-up per arrival, none while bytes sit unread.
        ev.events = EPOLLIN | EPOLLET | EPOLLRDHUP;
        ev.data.fd = fd_;
        epoll_ctl(epfd_, EPOLL_CTL_ADD, fd_, &ev);
    }
    ~PosixEventWaiter() override {
        if (epfd_ >= 0)
            ::close(epfd_);
        if (wakeFd_ >= 0)
            ::close(wakeFd_);
    }

    TComEvents wait(bool& hungUp) override {
        hungUp = false;
        if (epfd_ < 0 || wakeFd_ < 0)
            return 0;
        for (;;) {
            epoll_event evs[2];
            const int n = epoll_wait(epfd_, evs, 2, -1);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return 0;
            }
            TComEvents seen = 0;
            for (int i = 0; i < n; ++i) {
                if (evs[i].data.fd == wakeFd_)
                    return 0;
                if (evs[i].events & EPOLLIN)
                    seen |= comEvent(evRxChar);
                if (evs[i].events & (EPOLLHUP | EPOLLERR | EPOLLRDHUP)) {
                    seen |= comEvent(evError);
                    hungUp = true;
                }
            }
            seen &= events_;
            if (seen || hungUp)
                return seen;
        }
    }

    void wake() override {
        const std::uint64_t one = 1;
        if (wakeFd_ >= 0) [[maybe_unused]]
            auto r = ::write(wakeFd_, &one, sizeof one);
    }

    void finish() override {
        // Errors are of no interest here: a device that has gone away has no queues.
        tcflush(fd_, TCIFLUSH);
        int pending = 0;
        if (ioctl(fd_, TIOCOUTQ, &pending) == 0 && pending > 0)
            tcflush(fd_, TCOFLUSH);
    }

private:
    int fd_;
    TComEvents events_;
    int epfd_ = -1;
    int wakeFd_ = -1;
};
} // namespace

struct ComDevice::Impl {
    int fd = -1;
    uucplock::DeviceLock lock; // ours while fd is open
    QByteArray rx;
    bool discardNull = false;
    std::uint32_t baudRate = 9600;
    int bitsPerChar = 10;
    std::int32_t writeMultiplier = 100;
    std::int32_t writeConstant = 1000;

    // Moves everything that has arrived into rx. 0, or the error; a hang-up reads as
    // end of file (or EIO) and is reported as EIO.
    int drain() {
        if (fd < 0)
            return EBADF;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n > 0) {
                for (ssize_t i = 0; i < n; ++i)
                    if ((buf[i] != 0 || !discardNull) && rx.size() < kInputQueueLimit)
                        rx.append(buf[i]);
                continue;
            }
            if (n == 0)
                return EIO;
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return 0;
            return errno;
        }
    }

    int setModemLine(int line, bool on) {
        if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || noModemLines(errno))
            return 0;
        return errno;
    }
};

ComDevice::ComDevice() : d(std::make_unique<Impl>()) {}
ComDevice::~ComDevice() {
    close();
}

bool ComDevice::isOpen() const {
    return d->fd >= 0;
}

int ComDevice::open(const std::string& path) {
    if (isOpen())
        return 0;
    if (path.empty())
        return ENOENT;
    // A missing device ends at one stat call, before any lock work (the search tries
    // 255 names, most of them absent).
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    // The device behind any links (a COMn link, /dev/serial/by-id/...), so that all its
    // names meet one lock.
    const std::unique_ptr<char, void (*)(void*)> device(::realpath(path.c_str(), nullptr),
                                                        std::free);
    if (!device)
        return errno;
    // Another program's lock keeps us from opening the device at all, so nothing is
    // ever sent to a line in use.
    if (int e = d->lock.acquire(device.get()))
        return e;
    const int fd = ::open(device.get(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        d->lock.release();
        return e;
    }
    int e = 0;
    if (!isatty(fd))
        e = ENOTTY;
    // TIOCEXCL keeps other users out but not root; the advisory lock keeps out every
    // program that locks too, ourselves included.
    else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        e = (errno == EWOULDBLOCK) ? EBUSY : errno;
    else if (ioctl(fd, TIOCEXCL) != 0)
        e = errno;
    else
        e = linuxline::makeRaw(fd);
    if (e) {
        ::close(fd);
        d->lock.release();
        return e;
    }
    d->fd = fd;
    d->rx.clear();
    return 0;
}

void ComDevice::close() {
    if (d->fd < 0)
        return;
    // On a pseudo-terminal the exclusive flag would outlive this descriptor.
    ioctl(d->fd, TIOCNXCL);
    ::close(d->fd);
    d->fd = -1;
    d->rx.clear();
    d->lock.release();
}

void ComDevice::abandon() {
    // The descriptor and the lock stay with the process.
    if (d->fd < 0)
        return;
    d->lock.keep();
    d->fd = -1;
    d->rx.clear();
}

int ComDevice::applyLineSettings(const LineSettings& s) {
    if (d->fd < 0)
        return EBADF;
    if (int e = linuxline::apply(d->fd, s))
        return e;
    d->discardNull = s.discardNull;
    d->baudRate = s.baudRate ? s.baudRate : 1;
    d->bitsPerChar = 1 + (s.dataBits >= 5 && s.dataBits <= 8 ? s.dataBits : 8) +
                     (s.parity == prNone ? 0 : 1) + (s.stopBits == sbOneStopBit ? 1 : 2);
    // dtrHandshake has no kernel equivalent; the line is then held on.
    if (int e = d->setModemLine(TIOCM_DTR, s.dtr != dtrDisable))
        return e;
    if (s.rts != rtsHandshake)
        if (int e = d->setModemLine(TIOCM_RTS, s.rts == rtsEnable))
            return e;
    return 0;
}

int ComDevice::applyQueueSizes(std::int32_t input, std::int32_t output) {
    // The kernel sizes its own queues; only the request's validity is checked.
    if (d->fd < 0)
        return EBADF;
    return (input < 0 || output < 0) ? EINVAL : 0;
}

int ComDevice::applyTimeouts(std::int32_t writeMultiplier, std::int32_t writeConstant) {
    if (d->fd < 0)
        return EBADF;
    d->writeMultiplier = writeMultiplier;
    d->writeConstant = writeConstant;
    return 0;
}

int ComDevice::readModemStatus(unsigned& lines) {
    if (d->fd < 0)
        return EBADF;
    int status = 0;
    if (ioctl(d->fd, TIOCMGET, &status) != 0) {
        if (!noModemLines(errno))
            return errno;
        status = 0;
    }
    lines = unsigned(status);
    return 0;
}

int ComDevice::waiting(int& count) {
    const int e = d->drain();
    count = int(d->rx.size());
    return e;
}

int ComDevice::purge(bool input, bool output) {
    if (d->fd < 0)
        return EBADF;
    if (input) {
        if (tcflush(d->fd, TCIFLUSH) != 0)
            return errno;
        d->rx.clear();
    }
    if (output) {
        // Only bytes still waiting to leave are discarded. On a pseudo-terminal an
        // output flush would also throw away bytes already written to the other
        // side, so a frame that SendText has sent must never be flushed.
        int pending = 0;
        if (ioctl(d->fd, TIOCOUTQ, &pending) != 0)
            return errno;
        if (pending > 0 && tcflush(d->fd, TCOFLUSH) != 0)
            return errno;
    }
    return 0;
}

int ComDevice::write(const QByteArray& data, int& written) {
    written = 0;
    if (d->fd < 0)
        return EBADF;
    // Negative values stand for the largest timeout; both zero means none at all.
    const bool limited = d->writeMultiplier >= 0 && d->writeConstant >= 0 &&
                         (d->writeMultiplier > 0 || d->writeConstant > 0);
    const auto deadline =
        Clock::now() +
        std::chrono::milliseconds(
            limited ? std::int64_t(d->writeMultiplier) * data.size() + d->writeConstant : 0);
    auto remainingMs = [&]() -> int {
        if (!limited)
            return -1;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        return int(std::max<std::int64_t>(0, left.count()));
    };

    while (written < data.size()) {
        const ssize_t n = ::write(d->fd, data.constData() + written, data.size() - written);
        if (n > 0) {
            written += int(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{d->fd, POLLOUT, 0};
            const int timeout = remainingMs();
            const int r = poll(&p, 1, timeout);
            if (r < 0 && errno != EINTR)
                return errno;
            if (r == 0)
                return 0; // the write timeout ran out: fewer bytes sent, no error
            if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
                return EIO;
            continue;
        }
        return n < 0 ? errno : EIO;
    }

    // Wait until the bytes have left the output queue, sleeping for the time the line
    // needs to carry what is still pending.
    for (;;) {
        int pending = 0;
        if (ioctl(d->fd, TIOCOUTQ, &pending) != 0)
            return errno;
        if (pending <= 0)
            return 0;
        const int left = remainingMs();
        if (left == 0) {
            written = std::max(0, written - pending);
            return 0;
        }
        int sleepMs =
            int((std::int64_t(pending) * d->bitsPerChar * 1000 + d->baudRate - 1) / d->baudRate);
        sleepMs = std::max(sleepMs, 1);
        if (left > 0)
            sleepMs = std::min(sleepMs, left);
        std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    }
}

int ComDevice::read(QByteArray& data, int count) {
    data.clear();
    if (int e = d->drain())
        return e;
    const int n = std::min<int>(count, int(d->rx.size()));
    data = d->rx.left(n);
    d->rx.remove(0, n);
    return 0;
}

std::unique_ptr<ComEventWaiter> ComDevice::makeEventWaiter(TComEvents events) {
    return std::make_unique<PosixEventWaiter>(d->fd, events);
}
