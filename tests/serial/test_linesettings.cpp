// Line settings as other programs see them on the device, read through the C library's
// termios: the speed code of a standard rate.

#include "ptyfixture.h"
#include "tcustomcomport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace {

// The tty's settings as tcgetattr gives them; none when the tty cannot be opened here
// (the component's exclusive flag keeps out anyone but root).
std::optional<termios> attributes(const std::string& tty) {
    const int fd = ::open(tty.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    termios t{};
    const int r = tcgetattr(fd, &t);
    ::close(fd);
    return r == 0 ? std::optional(t) : std::nullopt;
}

class LineSettings : public ::testing::Test {
protected:
    void SetUp() override {
        tty_ = ports_.addSign(3).ttyPath();
        port_.BeginLoading();
        port_.SetPort("COM3");
        port_.SetBaudRate(br19200);
        port_.EndLoading();
        port_.Open();
        if (!attributes(tty_))
            GTEST_SKIP() << "the tty cannot be inspected by this user while held exclusively";
    }
    speed_t outputSpeed() {
        const termios t = *attributes(tty_);
        return cfgetospeed(&t);
    }

    PtyPorts ports_;
    std::string tty_;
    TCustomComPort port_;
};

TEST_F(LineSettings, StandardRatesReadBackAsTheirCodesAndOtherRatesStillOpen) {
    EXPECT_EQ(outputSpeed(), speed_t(B19200));
    port_.SetBaudRate(br115200);
    EXPECT_EQ(outputSpeed(), speed_t(B115200));

    port_.Close();
    port_.SetCustomBaudRate(250000);
    port_.SetBaudRate(brCustom);
    EXPECT_NO_THROW(port_.Open());
    EXPECT_TRUE(port_.Connected());
}

} // namespace
