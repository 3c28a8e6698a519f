// Link basics: checksum and log text as pure functions; the exchange shapes against the
// real serial component on a pseudo-terminal with the simulated sign behind it.

#include "ptyfixture.h"
#include "signlink.h"

#include <gtest/gtest.h>

using namespace signlink;

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

TEST(Checksum, IsXorOfTheBodyAsTwoUpperCaseHexDigitsHighFirst) {
    const std::pair<QByteArray, const char*> rows[] = {
        {"\x57\x31\x31\x32\x33\x33\x31\x30\x45", "21"},                // W1123310E
        {QByteArray("\x57\x30\x2D\x2D\x2D\x2D\x30\x00\x45", 9), "12"}, // not-used row, flag 0x00
        {QByteArray(12, ' '), "00"},
        {"\x0A", "0A"},
        {"\x80\x70", "F0"}, // zero kept, upper case
    };
    for (const auto& [body, expected] : rows)
        EXPECT_EQ(checksumChars(body), QByteArray(expected)) << body.toHex(' ').toStdString();
}

TEST(SignText, ShowsControlBytesAsPicturesAndHighBytesAsCodePage1251) {
    EXPECT_EQ(signText(QByteArray("W0----0\0E12", 11)), QStringLiteral("W0----0␀E12"));
    EXPECT_EQ(signText("\x01\x1F\x7F ~"), QStringLiteral("␁␟␡ ~"));
    EXPECT_EQ(signText("\xC4\xD2\xC0\xFF\xA8\xB8\xB9\x88"), QStringLiteral("ДТАяЁё№€"));
}

// A link on COM3 with a simulated sign there; the read delay is long enough that the
// sign's reply delay can be aimed at the middle of one poll's pause.
class LinkOnSign : public ::testing::Test {
protected:
    static constexpr int kDelay = 80;

    void startSign(const signsim::SimFaults& faults) {
        signsim::SimOptions options;
        options.faults = faults;
        ports_.addSign(3, options);
        port_.SetPort(QStringLiteral("COM3"));
        port_.SetDiscardNull(true);
        port_.Open();
        link_.setReadDelay(kDelay);
        link_.setLogSink([this](const QString& line) { log_ << line; });
    }
    void send(const QByteArray& command) {
        port_.PurgeQueues(true, true);
        port_.SendText(command);
    }
    static QStringList polls(std::initializer_list<int> counts, QStringList tail) {
        QStringList lines;
        for (int c : counts)
            lines << kCountLine + QString::number(c);
        lines << QString::number(counts.size()) + kAttemptsMiddle + QString::number(kDelay) +
                     kAttemptsEnd;
        return lines + tail;
    }

    PtyPorts ports_;
    TCustomComPort port_;
    SignLink link_{port_};
    QStringList log_;
};

// The acknowledgement judges by the poll count alone: bytes first seen at the eighth
// and last poll are not read.
TEST_F(LinkOnSign, AcknowledgementFirstSeenAtEighthPollCountsAsFailed) {
    signsim::SimFaults faults;
    // Complete about 20 ms before the 8th poll: the polls only ever run late, so the room
    // after the 7th one is what a busy machine needs.
    faults.ackDelayMs = 7 * kDelay + kDelay * 3 / 4 - 4;
    startSign(faults);
    link_.ackBuffer() = "WOK";

    send("W1123310E21");
    EXPECT_FALSE(link_.pollWriteAck());

    EXPECT_EQ(link_.ackBuffer(), QByteArray(14, ' '));
    EXPECT_EQ(log_, polls({0, 0, 0, 0, 0, 0, 0, 3}, {kReadError, kReceived + QString(14, ' ')}));
    EXPECT_EQ(port_.WaitingCount(), 3);
}

// The panel read judges the waiting bytes themselves: complete at the last poll is read.
TEST_F(LinkOnSign, PanelReplyFirstCompleteAtThirdPollIsRead) {
    signsim::SimFaults faults;
    faults.replyDelayMs = 2 * kDelay + kDelay / 2 - 10; // 14 bytes take ~7 ms on the line
    startSign(faults);

    send("R0E");
    EXPECT_TRUE(link_.pollPanelRead());

    const QByteArray reply = QByteArray::fromStdString(signsim::panelReply('0', {}));
    EXPECT_EQ(link_.replyBuffer(), reply);
    EXPECT_EQ(log_, polls({0, 0, 14}, {kReceived + QString::fromLatin1(reply)}));
}

} // namespace
