// Brightness and effect commands against the real serial component on a pseudo-terminal,
// with the simulated sign behind it.

#include "brightness.h"
#include "ptyfixture.h"

#include <gtest/gtest.h>

#include <thread>

using namespace signlink;

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

TEST(EffectByte, IsIntervalDigitPlusOneBitPerTickedEffect) {
    EXPECT_EQ(effectByte(0, false, false, false, false), 0);  // empty field, nothing ticked
    EXPECT_EQ(effectByte(0, false, true, false, false), 64);  // Эф.2
    EXPECT_EQ(effectByte(9, true, true, true, true), 249);    // 0xF9
    EXPECT_EQ(effectByte(5, true, false, true, false), 0xA5); // Эф.1 + Эф.3
    EXPECT_EQ(effectByte(3, false, false, false, true), 19);  // Эф.4 is bit 4
}

class Commands : public ::testing::Test {
protected:
    signsim::SignSimulator& startSign(int replyDelayMs = 0) {
        signsim::SimOptions options;
        options.faults.replyDelayMs = replyDelayMs;
        signsim::SignSimulator& sign = ports_.addSign(3, options);
        port_.SetPort(QStringLiteral("COM3"));
        port_.SetDiscardNull(true);
        port_.Open();
        link_.setLogSink([this](const QString& line) { log_ << line; });
        return sign;
    }

    PtyPorts ports_;
    TCustomComPort port_;
    SignLink link_{port_};
    QStringList log_;
};

TEST_F(Commands, BrightnessIsConfirmedOnlyByAnEchoThisExchangeRead) {
    signsim::SignSimulator& sign = startSign();
    EXPECT_EQ(setAutomaticBrightness(link_), kAutoSet);
    EXPECT_EQ(setManualBrightness(link_, 0), kManualSet + "0"); // an empty level field
    EXPECT_EQ(sign.lastBrightnessCommand(), "LM0");
    EXPECT_EQ(setManualBrightness(link_, 7), kManualSet + "7");
    EXPECT_TRUE(log_.isEmpty());

    // Sent again to a silent sign: the reply buffer still holds the echo, but only what
    // this exchange read may count.
    signsim::SimFaults silent;
    silent.silent = true;
    sign.setFaults(silent);
    EXPECT_EQ(setManualBrightness(link_, 7), kBrightnessNotSet);
    EXPECT_EQ(link_.replyBuffer(), QByteArray("LM7"));

    signsim::SimFaults wrongDigit;
    wrongDigit.wrongLevelEcho = true; // "LM7" comes back as "LM8"
    sign.setFaults(wrongDigit);
    EXPECT_EQ(setManualBrightness(link_, 7), kBrightnessNotSet);
}

// A late reply is not waited for, and the next command's clearing keeps it from
// spoiling that command's reply.
TEST_F(Commands, ReplyAfterThePauseIsNotWaitedForAndIsClearedByTheNextCommand) {
    signsim::SignSimulator& sign = startSign(250);
    EXPECT_EQ(setAutomaticBrightness(link_), kBrightnessNotSet); // 100 ms pause
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    ASSERT_EQ(port_.WaitingCount(), 2); // the late "LA"

    sign.setFaults({});
    EXPECT_EQ(setManualBrightness(link_, 2), kManualSet + "2");
}

TEST_F(Commands, EffectLogsTheByteSentAndTellsWhetherEffectsAreOn) {
    signsim::SignSimulator& sign = startSign();
    const std::pair<std::uint8_t, QString> cases[] = {
        {0, kEffectsOff}, {64, kEffectsOn}, {249, kEffectsOn}, {0xA5, kEffectsOn}};
    for (const auto& [effect, message] : cases) {
        log_.clear();
        EXPECT_EQ(setEffect(link_, effect), message);
        EXPECT_EQ(log_, QStringList{"Отправлено:" + QString::number(effect)});
        EXPECT_EQ(sign.lastEffect(), effect);
    }
    signsim::SimFaults silent;
    silent.silent = true;
    sign.setFaults(silent);
    EXPECT_EQ(setEffect(link_, 0), kEffectsNotOn);
}

TEST_F(Commands, ClosedPortRaisesFromTheFirstClearingBeforeAnythingIsSentOrLogged) {
    signsim::SignSimulator& sign = startSign();
    port_.Close();
    EXPECT_THROW(setAutomaticBrightness(link_), EComPort);
    EXPECT_THROW(setManualBrightness(link_, 3), EComPort);
    try {
        setEffect(link_, 64);
        ADD_FAILURE() << "no EComPort";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_PurgeFailed);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(sign.received().empty());
    EXPECT_TRUE(log_.isEmpty());
}

} // namespace
