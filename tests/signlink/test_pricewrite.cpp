// Price write: frames from byte tables, and the acknowledged write against a simulated sign.
#include "pricewrite.h"
#include "ptyfixture.h"
#include "tcustomcomport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <vector>

// Failure messages show Qt strings as text.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

using namespace signlink;

namespace {

TEST(WriteFrame, FramesFollowTheByteTable) {
    struct Case {
        int row;
        bool secondHalf;
        PriceRow input;
        const char* frame; // hexadecimal
    };
    const Case cases[] = {
        // W 1 | 1 2 3 3 | grade "1" (80) | flags "0" | E | checksum "21"
        {2, false, {"123"}, "57 31 31 32 33 33 31 30 45 32 31"},
        // W A: the same row in the second half, checksum "51"
        {2, true, {"123"}, "57 41 31 32 33 33 31 30 45 35 31"},
        // not used: - - - -, grade "0", flags 0x00, whatever the row holds
        {2, false, {"123", true, 2, true, true}, "57 31 2D 2D 2D 2D 30 00 45 31 33"},
        // empty entry: 0 0 0 0
        {2, false, {""}, "57 31 30 30 30 30 31 30 45 32 32"},
        // W 9 | 4, blank -> 0, 7, 7
        {10, false, {"4 7"}, "57 39 34 30 37 37 31 30 45 32 45"},
        // row 1: flags on 0x00, not on "0"
        {1, false, {"123"}, "57 30 31 32 33 33 31 00 45 31 30"},
        {1, true, {"123"}, "57 40 31 32 33 33 31 00 45 36 30"},
        // row 1, snowflake + euro: flags 0x03
        {1, false, {"123", false, 0, true, true}, "57 30 31 32 33 33 31 03 45 31 33"},
        // no grade selected (-1): grade "0" although the row is used
        {2, false, {"123", false, -1}, "57 31 31 32 33 33 30 30 45 32 30"},
        // W E | 4 5 6 6 | grade "5" (ДТ) | flags "2" (euro)
        {6, true, {"456", false, 4, false, true}, "57 45 34 35 36 36 35 32 45 35 31"},
        // "---" copied from a panel without a price goes back as it came
        {3, false, {"---"}, "57 32 2D 2D 2D 2D 31 30 45 32 31"},
        // bytes the sign reported go back as they came: 0x01, "4", 0xC0 (code page 1251
        // "А"); the entry shows them as something else, which does not matter
        {3,
         false,
         {"04А", false, 0, false, false, {'\x01', std::nullopt, '\xC0'}},
         "57 32 01 34 C0 C0 31 30 45 31 34"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame);
        const QByteArray frame = buildWriteFrame(c.row, c.secondHalf, c.input);
        EXPECT_EQ(frame.toHex(' ').toUpper(), c.frame);
        EXPECT_EQ(buildWriteBody(c.row, c.secondHalf, c.input), frame.left(9));
    }
}

// Stands in for the window: hands out the rows and records what the write asks of it.
struct RowsView : PriceWriteView {
    std::map<int, PriceRow> rows; // rows not listed are empty
    std::vector<int> rowsRead;
    std::vector<int> progress;
    RowPlan planFor(int row) override {
        rowsRead.push_back(row);
        return {rows[row], rows[row]};
    }
    void setProgress(int position) override { progress.push_back(position); }
};

class WriteSign : public ::testing::Test {
protected:
    void connect(signsim::SimOptions options, int readDelay) {
        port.Close();
        sign = &ports.addSign(3, std::move(options));
        port.SetPort("COM3");
        port.SetBaudRate(br19200);
        port.SetDiscardNull(true);
        port.Open();
        link.setReadDelay(readDelay);
        log.clear();
        view = {};
    }
    void SetUp() override {
        link.setLogSink([this](const QString& line) { log << line; });
    }
    std::vector<QByteArray> allFrames() {
        std::vector<QByteArray> frames;
        for (int row = 1; row <= 10; ++row)
            for (bool second : {false, true})
                frames.push_back(buildWriteFrame(row, second, view.rows[row]));
        return frames;
    }
    int copiesOnLine(const QByteArray& frame) { return sign->countReceived(frame.toStdString()); }

    PtyPorts ports;
    signsim::SignSimulator* sign = nullptr;
    TCustomComPort port;
    SignLink link{port};
    QStringList log;
    RowsView view;
};

TEST_F(WriteSign, EveryRowReachesBothHalvesAndIsAcknowledgedAtOnce) {
    signsim::SimOptions options;
    options.faults.trailingBytes = 2; // "WOK##": acknowledged all the same, 5 bytes read
    // The frame goes out twice back to back and the queues are purged after the second copy;
    // a sign that answers the first copy within 2 ms can have its answer cut in two by that
    // purge when the machine is busy, which costs a third copy. A slower sign and a longer
    // read delay leave room on both sides of the answers.
    options.turnaround = std::chrono::milliseconds(15);
    connect(options, 60);
    view.rows[1] = {"123"};
    view.rows[2] = {"4 7", false, 2, false, true};
    view.rows[3] = {"999", true};

    const WriteRecord record = writeSign(link, view);

    EXPECT_EQ(sign->panel('0'), (signsim::PanelContent{"123", '1', 0x00}));
    EXPECT_EQ(sign->panel('@'), (signsim::PanelContent{"123", '1', 0x00}));
    EXPECT_EQ(sign->panel('A'), (signsim::PanelContent{"407", '3', 0x32}));
    EXPECT_EQ(sign->panel('B'), (signsim::PanelContent{"---", '0', 0x00}));
    EXPECT_EQ(sign->panel('I'), (signsim::PanelContent{"000", '1', 0x30}));

    EXPECT_EQ(view.rowsRead, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(view.progress, (std::vector<int>{0,  1,  2,  3,  4,  5,  6,  7,  8,  9, 10,
                                               11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
    const auto frames = allFrames();
    for (const QByteArray& frame : frames)
        EXPECT_EQ(copiesOnLine(frame), 2) << frame.constData(); // the sequence's and attempt 1's
    EXPECT_EQ(log.filter(kAckGood + "WOK##").size(), 20);
    EXPECT_EQ(link.ackBuffer(), "WOK##");
    EXPECT_EQ(link.replyBuffer(), frames.back());
    EXPECT_EQ(link.lastChecksum(), frames.back().right(2));
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(record.at(k).frame, frames.at(k));
        EXPECT_TRUE(record.at(k).acknowledged);
    }
    EXPECT_EQ(record.at(3).row, 2);
    EXPECT_TRUE(record.at(3).secondHalf);

    // Row 10's frames: W 9 / W I | 0 0 0 0 | "1" | "0" | E | checksum
    EXPECT_TRUE(log.contains(QStringLiteral("Запишу 10 панель:W9000010E2A")));
    EXPECT_TRUE(log.contains(QStringLiteral("Запишу 10` панель:WI000010E5A")));
    // Row 1's flag byte 0x00 is shown as the NUL picture.
    EXPECT_EQ(log.first(), QStringLiteral("Запишу 1 панель:W012331␀E10"));
}

TEST_F(WriteSign, AcknowledgementFirstSeenAtTheEighthPollCountsAsFailed) {
    signsim::SimOptions options;
    options.faults.panels = {'0'};
    // The answer starts about 620 ms after the frame (delay + turnaround): after the 7th poll
    // (560 ms, later on a busy machine, as sleeps only ever overrun) and before the 8th (640 ms).
    options.turnaround = std::chrono::milliseconds(20);
    options.faults.ackDelayMs = 600;
    connect(options, 80);

    writeSign(link, view);

    const auto frames = allFrames();
    EXPECT_EQ(copiesOnLine(frames[0]), 4); // every attempt failed and sent it again
    EXPECT_EQ(copiesOnLine(frames[1]), 2);
    const int wait = log.indexOf(kAwaitingAck);
    ASSERT_GE(wait, 0);
    EXPECT_EQ(log[wait + 7], kCountLine + "0");
    EXPECT_GE(log[wait + 8].mid(kCountLine.size()).toInt(), 3);
    EXPECT_EQ(log.mid(wait + 9, 3), (QStringList{"8" + kAttemptsMiddle + "80мс", kReadError,
                                                 kReceived + QString(14, ' ')}));
}

TEST_F(WriteSign, SignThatNeverAcknowledgesGetsEveryFrameFourTimes) {
    for (const auto ack : {signsim::SimFaults::Ack::None, signsim::SimFaults::Ack::Wrong}) {
        SCOPED_TRACE(ack == signsim::SimFaults::Ack::None ? "silent" : "answers WOX");
        signsim::SimOptions options;
        options.faults.ack = ack;
        connect(options, 5); // short polls: the outcome does not depend on timing here

        const WriteRecord record = writeSign(link, view);

        for (const SentFrame& frame : record)
            EXPECT_FALSE(frame.acknowledged) << frame.frame.constData();
        ASSERT_TRUE(sign->waitForCommands(80, std::chrono::seconds(5)));
        for (const QByteArray& frame : allFrames())
            EXPECT_EQ(copiesOnLine(frame), 4) << frame.constData();
        EXPECT_EQ(view.progress.back(), 20);
        EXPECT_TRUE(log.filter(kAckGood).isEmpty());
        if (ack == signsim::SimFaults::Ack::None) {
            EXPECT_EQ(log.count(kReadError), 60);
        }
    }
}

TEST_F(WriteSign, ClosedPortFailsBeforeAnyFrameOrLogLine) {
    sign = &ports.addSign(3);
    port.SetPort("COM3");
    try {
        writeSign(link, view);
        FAIL() << "no port error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_PurgeFailed);
    }
    EXPECT_EQ(view.progress, (std::vector<int>{0, 1}));
    EXPECT_TRUE(view.rowsRead.empty());
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(sign->received().empty());
}

TEST_F(WriteSign, SignHangingUpMidWriteEndsWithAPortError) {
    signsim::SimOptions options;
    options.faults.hangUpAfterCommands = 5;
    connect(options, 20);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(writeSign(link, view), EComPort);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_LT(view.progress.back(), 20);
}

} // namespace
