// Line settings as other programs see them on the device, read through the C library's
// termios: the speed code of a standard rate, and stop bits the line cannot carry.

#include "ptyfixture.h"
#include "tcustomcomport.h"

#include <cerrno>
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
    // The stop-bit flag; a pseudo-terminal always reports eight data bits.
    bool longStop() { return attributes(tty_)->c_cflag & CSTOPB; }
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

// 1.5 stop bits go only with 5 data bits, 2 only with 6 to 8; the others are refused
// as a failed apply and the line keeps what it had.
TEST_F(LineSettings, StopBitsTheLineCannotCarryAreRefusedAndTheLineStaysAsItWas) {
    auto expectRefused = [&](auto&& change) {
        try {
            change();
            ADD_FAILURE() << "an impossible framing was accepted";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorCode(), CError_SetStateFailed);
            EXPECT_EQ(e.SystemCode(), EINVAL);
            EXPECT_STREQ(e.what(), "SetCommState function failed (win error code: 22)");
        }
    };
    expectRefused([&] { port_.SetStopBits(sbOne5StopBits); });
    EXPECT_FALSE(longStop()); // was silently applied as two stop bits
    port_.SetStopBits(sbTwoStopBits);
    EXPECT_TRUE(longStop());
    expectRefused([&] { port_.SetDataBits(dbFive); });
    EXPECT_TRUE(port_.Connected());
    // The refused value stays stored, as after any failed apply; with it one and
    // then one and a half stop bits are what the line can carry.
    port_.SetStopBits(sbOneStopBit);
    EXPECT_FALSE(longStop());
    port_.SetStopBits(sbOne5StopBits);
    EXPECT_TRUE(longStop());

    // On a closed port the setter only stores; Open then refuses and closes the device
    // again, so another component can have it.
    port_.Close();
    port_.SetDataBits(dbEight);
    expectRefused([&] { port_.Open(); });
    EXPECT_FALSE(port_.Connected());
    TCustomComPort other;
    other.SetPort("COM3");
    other.Open();
    EXPECT_TRUE(other.Connected());
}

} // namespace
