// Line timing, injected faults and the test ports, seen from the program's end of the line.

#include "ptyfixture.h"
#include "rawtty.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using namespace std::chrono_literals;
using signsim::SimFaults;
using signsim::SimOptions;

namespace {

SimOptions withFaults(const SimFaults& faults) {
    SimOptions options;
    options.faults = faults;
    return options;
}

std::string writeFrame(char address, const std::string& price, char grade, char flags) {
    const std::string body = std::string("W") + address + price + price[2] + grade + flags + 'E';
    return body + signsim::checksumChars(body);
}

bool checksumMatches(const std::string& reply) {
    return reply.size() == 14 && reply.substr(12) == signsim::checksumChars(reply.substr(0, 12));
}

} // namespace

TEST(SignSimPacing, PanelReplyTakesTheLineTimeOfFourteenBytesComingByteByByte) {
    PtyPorts ports;
    ports.addSign(1);
    RawTty tty(ports.path(1));
    ASSERT_EQ(tty.exchange("R0E", 14).size(), 14u);
    // 14 bytes of 10 bits at 19200 baud are 7.3 ms, after the turnaround
    EXPECT_GE(tty.lastByteAt() - tty.sentAt(), 7ms);
    // 13 byte times lie between first and last byte; a late wake-up of the simulator may send a
    // few at once, so only part of that is asked for
    EXPECT_GE(tty.lastByteAt() - tty.firstByteAt(), 2ms);
}

TEST(SignSimPacing, WithoutPacingTheReplyComesInOnePiece) {
    SimOptions options;
    options.pacing = false;
    PtyPorts ports;
    ports.addSign(1, options);
    RawTty tty(ports.path(1));
    ASSERT_EQ(tty.exchange("R0E", 14).size(), 14u);
    EXPECT_LT(tty.lastByteAt() - tty.firstByteAt(), 2ms);
}

TEST(SignSimPacing, ReplyDelayPostponesTheFirstByte) {
    SimFaults faults;
    faults.replyDelayMs = 40;
    PtyPorts ports;
    ports.addSign(1, withFaults(faults));
    RawTty tty(ports.path(1));
    ASSERT_EQ(tty.exchange("LA", 2), "LA");
    EXPECT_GE(tty.firstByteAt() - tty.sentAt(), 40ms);
}

TEST(SignSimSilence, SilentSignRecordsCommandsButAnswersAndStoresNothing) {
    PtyPorts ports;
    auto& sign = ports.addSilent(2);
    RawTty tty(ports.path(2));
    EXPECT_EQ(tty.exchange("R0E", 1, 100ms), "");
    EXPECT_EQ(tty.exchange(writeFrame('0', "999", '2', '1'), 1, 100ms), "");
    EXPECT_EQ(sign.countReceived("R0E"), 1);
    EXPECT_EQ(sign.panel('0').price, "000");
}

TEST(SignSimSilence, RestrictedToListedPanelsOthersAndLineCommandsStillAnswer) {
    SimFaults faults;
    faults.silent = true;
    faults.panels = {'1', 'A'};
    PtyPorts ports;
    auto& sign = ports.addSign(1, withFaults(faults));
    RawTty tty(ports.path(1));
    EXPECT_EQ(tty.exchange("R1E", 1, 100ms), "");
    EXPECT_EQ(tty.exchange("RAE", 1, 100ms), "");
    EXPECT_EQ(tty.exchange("R2E", 14).size(), 14u);
    EXPECT_EQ(tty.exchange("LA", 2), "LA");

    sign.setFaults({}); // and it can be healed while running
    EXPECT_EQ(tty.exchange("R1E", 14).size(), 14u);
}

TEST(SignSimHangUp, LineClosesAfterAnsweringKCommandsAndTheLinkGoes) {
    SimFaults faults;
    faults.hangUpAfterCommands = 2;
    PtyPorts ports;
    auto& sign = ports.addSign(4, withFaults(faults));
    RawTty tty(ports.path(4));
    EXPECT_EQ(tty.exchange("R0E", 14).size(), 14u);
    EXPECT_EQ(tty.exchange("LA", 2), "LA");
    EXPECT_EQ(tty.exchange("R0E", 1, 500ms), "");
    EXPECT_TRUE(tty.hungUp());
    EXPECT_FALSE(sign.lineOpen());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(ports.path(4))));
}

TEST(SignSimReplyFaults, NulReplacesOneByteAndTheChecksumStillCoversTheOriginal) {
    SimFaults faults;
    faults.nulAtOffset = 8;
    PtyPorts ports;
    ports.addSign(1, withFaults(faults));
    RawTty tty(ports.path(1));
    std::string reply = tty.exchange("R0E", 14);
    ASSERT_EQ(reply.size(), 14u); // 14 on the wire; a line dropping NULs delivers 13
    EXPECT_EQ(reply[8], '\0');
    reply[8] = '0';
    EXPECT_TRUE(checksumMatches(reply));
}

TEST(SignSimReplyFaults, RawFlagEchoReturnsTheFlagByteAsWritten) {
    SimOptions options;
    options.rawFlagEcho = true;
    PtyPorts ports;
    ports.addSign(1, options);
    RawTty tty(ports.path(1));
    // row 1 carries its flags without the 0x30 base: 0x00 here
    ASSERT_EQ(tty.exchange(writeFrame('0', "123", '1', '\0'), 3), "WOK");
    const std::string reply = tty.exchange("R0E", 14);
    ASSERT_EQ(reply.size(), 14u);
    EXPECT_EQ(reply[7], '\0');
    EXPECT_TRUE(checksumMatches(reply));
}

TEST(SignSimReplyFaults, BadChecksumForTheFirstNReadsOfEachPanelThenGood) {
    SimFaults faults;
    faults.badChecksumReplies = 2;
    PtyPorts ports;
    ports.addSign(1, withFaults(faults));
    RawTty tty(ports.path(1));
    EXPECT_FALSE(checksumMatches(tty.exchange("R0E", 14)));
    EXPECT_FALSE(checksumMatches(tty.exchange("R0E", 14)));
    EXPECT_TRUE(checksumMatches(tty.exchange("R0E", 14)));
    EXPECT_FALSE(checksumMatches(tty.exchange("R5E", 14))); // counted per panel
}

TEST(SignSimReplyFaults, WrongAddressOrStatusKeepsAMatchingChecksum) {
    SimFaults faults;
    faults.discoveryT1 = true;
    PtyPorts ports;
    auto& sign = ports.addSign(1, withFaults(faults));
    RawTty tty(ports.path(1));
    std::string reply = tty.exchange("R0E", 14);
    EXPECT_EQ(reply.substr(0, 2), "T1");
    EXPECT_TRUE(checksumMatches(reply));
    EXPECT_EQ(tty.exchange("R1E", 14).substr(0, 2), "T1"); // only the reply to R0E is changed

    faults = {};
    faults.replyAddress = '7';
    faults.badOkByte = true;
    sign.setFaults(faults);
    reply = tty.exchange("R2E", 14);
    EXPECT_EQ(reply[1], '7');
    EXPECT_EQ(reply.substr(10, 2), "OX");
    EXPECT_TRUE(checksumMatches(reply));
}

TEST(SignSimReplyFaults, ShortTrailingAndRawRepliesHaveTheirLengths) {
    SimFaults faults;
    faults.shortReply = true;
    faults.trailingBytes = 3;
    PtyPorts ports;
    auto& sign = ports.addSign(1, withFaults(faults));
    RawTty tty(ports.path(1));
    EXPECT_EQ(tty.exchange("R0E", 30, 100ms), "T000001000OK6###");
    EXPECT_EQ(tty.exchange("LA", 30, 100ms), "LA###");

    faults = {};
    faults.rawReadReply = "t000001000OK";
    sign.setFaults(faults);
    EXPECT_EQ(tty.exchange("R0E", 30, 100ms), "t000001000OK");
}

TEST(SignSimAckFaults, MissingWrongAndLateAcknowledgementsAndAnotherPriceKept) {
    SimFaults faults;
    faults.ack = SimFaults::Ack::None;
    PtyPorts ports;
    auto& sign = ports.addSign(1, withFaults(faults));
    RawTty tty(ports.path(1));
    EXPECT_EQ(tty.exchange(writeFrame('3', "321", '2', '0'), 3, 100ms), "");
    EXPECT_EQ(sign.panel('3').price, "321"); // stored all the same

    faults.ack = SimFaults::Ack::Wrong;
    sign.setFaults(faults);
    EXPECT_EQ(tty.exchange(writeFrame('3', "322", '2', '0'), 3), "WOX");

    faults.ack = SimFaults::Ack::Normal;
    faults.ackDelayMs = 60;
    sign.setFaults(faults);
    EXPECT_EQ(tty.exchange(writeFrame('3', "323", '2', '0'), 3), "WOK");
    EXPECT_GE(tty.firstByteAt() - tty.sentAt(), 60ms);

    // Acknowledged, yet the panel keeps another price (grade and flags as sent).
    faults.ackDelayMs = 0;
    faults.storedPrice = "999";
    sign.setFaults(faults);
    EXPECT_EQ(tty.exchange(writeFrame('3', "324", '4', '1'), 3), "WOK");
    EXPECT_EQ(sign.panel('3'), (signsim::PanelContent{"999", '4', '1'}));
}

TEST(SignSimAckFaults, WrongLevelEchoAnswersTheNextDigit) {
    SimFaults faults;
    faults.wrongLevelEcho = true;
    PtyPorts ports;
    ports.addSign(1, withFaults(faults));
    RawTty tty(ports.path(1));
    EXPECT_EQ(tty.exchange("LM9", 3), "LM0");
    EXPECT_EQ(tty.exchange("LA", 2), "LA");
}

TEST(SignSimRandomBytes, StreamNoFasterThanTheLineCarries) {
    SimFaults faults;
    faults.randomBytes = true;
    PtyPorts ports;
    auto& sign = ports.addSign(1, withFaults(faults));
    RawTty tty(ports.path(1));
    tty.send("R0E");
    const std::string noise = tty.receiveFor(300ms);
    // 1920 bytes a second: about 576 in 300 ms, plus at most one burst early
    EXPECT_GT(noise.size(), 100u);
    EXPECT_LT(noise.size(), 576u + 64u);
    EXPECT_EQ(sign.countReceived("R0E"), 1);
}

TEST(PtyPortsFixture, SetsComDirForItsLifetimeAndCleansUp) {
    ::setenv("ZEMTA_COM_DIR", "/before", 1);
    std::string dir;
    {
        PtyPorts ports;
        dir = ports.dir();
        EXPECT_STREQ(std::getenv("ZEMTA_COM_DIR"), dir.c_str());
        ports.addSign(7);
        EXPECT_EQ(ports.path(7), dir + "/COM7");
        EXPECT_TRUE(std::filesystem::exists(ports.path(7))); // follows the link to the tty
        ports.remove(7);
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(ports.path(7))));
        EXPECT_THROW(ports.sign(7), std::out_of_range);
        ports.addSilent(8);
    }
    EXPECT_STREQ(std::getenv("ZEMTA_COM_DIR"), "/before");
    EXPECT_FALSE(std::filesystem::exists(dir));
    ::unsetenv("ZEMTA_COM_DIR");
}
