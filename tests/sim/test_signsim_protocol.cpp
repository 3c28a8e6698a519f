// The simulator's side of the protocol, checked with literal bytes against a raw tty.

#include "ptyfixture.h"
#include "rawtty.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using signsim::PanelContent;
using signsim::SimOptions;

TEST(SignSimChecksum, IsXorOfTheBodyAsTwoUpperCaseHexDigits) {
    // W 1 "123" 3 grade 1 flag '0' E  -> XOR 0x21
    EXPECT_EQ(signsim::checksumChars("W1123310E"), "21");
    // row 1 not used: W 0 "----" grade '0' flag 0x00 E -> 0x12 (the NUL counts as a byte)
    EXPECT_EQ(signsim::checksumChars(std::string("W0----0\0E", 9)), "12");
    // every byte value an even number of times
    EXPECT_EQ(signsim::checksumChars("            "), "00");
    EXPECT_EQ(signsim::checksumChars("\xAB"), "AB");
}

TEST(SignSimPanelReply, CarriesPriceGradeFlagBitsAndChecksum) {
    // T, address 1, "123", 3 again, grade '3', flags 0x30+2, "00", "OK", checksum 0x63
    EXPECT_EQ(signsim::panelReply('1', {"123", '3', 2}), "T112333200OK63");
    // only the two flag bits reach byte 7 ...
    EXPECT_EQ(signsim::panelReply('0', {"000", '1', 0x33})[7], '3');
    // ... unless the stored byte is echoed as it came
    EXPECT_EQ(signsim::panelReply('0', {"000", '1', 0x00}, true)[7], '\0');
}

TEST(SignSimPanelContent, ParsesPriceGradeAndDecimalFlags) {
    EXPECT_EQ(signsim::parsePanelContent("456"), (PanelContent{"456", '1', 0}));
    EXPECT_EQ(signsim::parsePanelContent("456:5"), (PanelContent{"456", '5', 0}));
    EXPECT_EQ(signsim::parsePanelContent("---:0:48"), (PanelContent{"---", '0', 48}));
    for (const char* bad : {"45", "456:", "456:5:", "456:5:256", "456:5:x", "4567"})
        EXPECT_FALSE(signsim::parsePanelContent(bad)) << bad;
}

// A sign on COM3 with a known panel 1, and the program's end of the line.
class SignSimLine : public ::testing::Test {
protected:
    SimOptions knownPanels() {
        SimOptions options;
        options.panels['1'] = {"123", '3', 2};
        return options;
    }

    PtyPorts ports;
    signsim::SignSimulator& sign = ports.addSign(3, knownPanels());
    RawTty tty{ports.path(3)};
};

TEST_F(SignSimLine, ReadCommandAnswersThePanelReply) {
    EXPECT_EQ(tty.exchange("R1E", 14), "T112333200OK63");
    EXPECT_EQ(tty.exchange("R0E", 14), "T000001000OK61"); // defaults: "000", grade 1, no flags
}

TEST_F(SignSimLine, EverySecondHalfAddressAnswersWithItsOwnAddress) {
    for (char address : std::string("@ABCDEFGHI")) {
        const std::string reply = tty.exchange(std::string("R") + address + "E", 14);
        ASSERT_EQ(reply.size(), 14u) << address;
        EXPECT_EQ(reply.substr(0, 2), std::string("T") + address);
        EXPECT_EQ(reply.substr(12), signsim::checksumChars(reply.substr(0, 12)));
    }
}

TEST_F(SignSimLine, WriteWithGoodChecksumIsStoredAcknowledgedAndReadBack) {
    // W, panel 7, "456", 6 again, grade '4', flags '3', E, checksum
    const std::string body = "W74566"
                             "43E";
    EXPECT_EQ(tty.exchange(body + signsim::checksumChars(body), 3), "WOK");
    EXPECT_EQ(sign.panel('7'), (PanelContent{"456", '4', '3'}));
    EXPECT_EQ(tty.exchange("R7E", 14).substr(0, 8), "T7456643");
}

TEST_F(SignSimLine, WriteWithBadChecksumIsNeitherStoredNorAnswered) {
    EXPECT_EQ(tty.exchange("W1123310E22", 3, 100ms), ""); // good would be "21"
    EXPECT_EQ(sign.panel('1'), (PanelContent{"123", '3', 2}));
    EXPECT_EQ(sign.countReceived("W1123310E22"), 1); // it did reach the line
}

TEST_F(SignSimLine, BrightnessIsEchoedAndEffectConfirmed) {
    EXPECT_EQ(tty.exchange("LA", 2), "LA");
    EXPECT_EQ(sign.lastBrightnessCommand(), "LA");
    EXPECT_EQ(tty.exchange("LM7", 3), "LM7");
    EXPECT_EQ(sign.lastBrightnessCommand(), "LM7");
    EXPECT_EQ(tty.exchange("q\xA5", 3), "FOK"); // interval 5, effects 1 and 3
    EXPECT_EQ(sign.lastEffect(), 0xA5);
}

TEST_F(SignSimLine, UnknownAndMalformedBytesAreSkippedUntilACommandStarts) {
    // 'x' starts nothing; "RX" is no read command ('X' is no panel); "LZ" neither.
    EXPECT_EQ(tty.exchange("xRXLZR1E", 14), "T112333200OK63");
    EXPECT_EQ(sign.droppedBytes(), 5u);
    EXPECT_EQ(sign.received().size(), 1u);
}

TEST_F(SignSimLine, CommandSplitAcrossWritesIsAssembled) {
    tty.send("R");
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(tty.exchange("1E", 14), "T112333200OK63");
}

TEST_F(SignSimLine, HalfCommandLeftStandingIsDiscardedByTheNextOne) {
    tty.send("W1");
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(tty.exchange("R1E", 14), "T112333200OK63");
}

TEST_F(SignSimLine, CountsEveryArrivalOfTheSameFrame) {
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(tty.exchange("R0E", 14).size(), 14u);
    EXPECT_EQ(sign.countReceived("R0E"), 3);
    EXPECT_EQ(sign.countReceived("R1E"), 0);
    sign.clearRecords();
    EXPECT_EQ(sign.countReceived("R0E"), 0);
}

TEST_F(SignSimLine, PortStillAnswersAfterTheProgramClosesAndReopensIt) {
    {
        RawTty first(ports.path(3));
        EXPECT_EQ(first.exchange("LA", 2), "LA");
    }
    RawTty second(ports.path(3));
    EXPECT_EQ(second.exchange("R1E", 14), "T112333200OK63");
    EXPECT_TRUE(sign.lineOpen());
}

TEST(SignSimTraffic, ReportsEachCommandAndReplyWithHexAndText) {
    std::mutex mutex;
    std::vector<signsim::TrafficEvent> events;
    SimOptions options;
    options.onTraffic = [&](const signsim::TrafficEvent& e) {
        std::lock_guard lock(mutex);
        events.push_back(e);
    };
    PtyPorts ports;
    ports.addSign(1, options);
    RawTty tty(ports.path(1));
    ASSERT_EQ(tty.exchange("LA", 2), "LA");
    std::this_thread::sleep_for(20ms);
    std::lock_guard lock(mutex);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].direction, signsim::TrafficEvent::Direction::Received);
    EXPECT_EQ(events[1].direction, signsim::TrafficEvent::Direction::Sent);
    const std::string line = signsim::formatTraffic(events[1]);
    EXPECT_NE(line.find("TX  4C 41  |LA|"), std::string::npos) << line;
}
