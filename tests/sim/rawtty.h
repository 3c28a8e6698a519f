#pragma once
// The program's end of a test line: a tty opened raw with plain POSIX calls.

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

// A tty opened raw and non-blocking, read with poll() against a deadline.
class RawTty {
public:
    using Clock = std::chrono::steady_clock;

    explicit RawTty(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            ADD_FAILURE() << "cannot open " << path;
        termios tio{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
            ::tcflush(fd_, TCIOFLUSH);
        }
    }
    ~RawTty() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    RawTty(const RawTty&) = delete;
    RawTty& operator=(const RawTty&) = delete;

    bool isOpen() const { return fd_ >= 0; }

    void send(std::string_view bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads until `count` bytes arrived or `timeout` passed; returns what arrived. Notes when the
    // first and the last byte came, and whether the line hung up.
    std::string receive(std::size_t count,
                        std::chrono::milliseconds timeout = std::chrono::milliseconds(500)) {
        std::string got;
        const auto deadline = Clock::now() + timeout;
        while (got.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() < 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0)
                break;
            char buf[256];
            const ssize_t n = ::read(fd_, buf, std::min(sizeof buf, count - got.size()));
            if (n <= 0) {
                hungUp_ = (n == 0 || errno == EIO);
                if (hungUp_)
                    break;
                continue;
            }
            if (got.empty())
                firstByte_ = Clock::now();
            got.append(buf, static_cast<std::size_t>(n));
            lastByte_ = Clock::now();
        }
        return got;
    }

    // Everything that arrives within `window`.
    std::string receiveFor(std::chrono::milliseconds window) { return receive(1 << 16, window); }

    // Sends a command and returns up to `count` reply bytes.
    std::string exchange(std::string_view command, std::size_t count,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(500)) {
        sent_ = Clock::now();
        send(command);
        return receive(count, timeout);
    }

    bool hungUp() const { return hungUp_; }
    Clock::time_point sentAt() const { return sent_; }
    Clock::time_point firstByteAt() const { return firstByte_; }
    Clock::time_point lastByteAt() const { return lastByte_; }

private:
    int fd_ = -1;
    bool hungUp_ = false;
    Clock::time_point sent_, firstByte_, lastByte_;
};
