// Read-back: reply judging from byte tables, and the whole-sign read against a simulated sign.
#include "ptyfixture.h"
#include "readback.h"
#include "tcustomcomport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

// Failure messages show Qt strings as text.
void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

using namespace signlink;

namespace {

TEST(PanelReply, JudgesMarkersGradeAndFlags) {
    struct Case {
        QByteArray reply; // checksum characters do not matter here
        bool good;
        int grade;
        bool snowflake, euro;
    };
    const Case cases[] = {
        // T 0 | 1 2 3 3 | grade "1" -> 80 | flags "0" | 0 0 | O K
        {"T012331000OK", true, 0, false, false},
        {"T012335300OK", true, 4, true, true},   // "5" -> ДТ; "3": both flags
        {"T012330100OK", true, -1, true, false}, // "0": no grade; bit 0 alone
        {"T012336200OK", true, -1, false, true}, // "6": no grade; bit 1 alone
        {QByteArray("T012333") + char(0xFD) + "00OK", true, 2, true, false}, // other bits ignored
        {"T012331000OX", false, 0, false, false},                            // K missing
        {"X012331000OK", false, 0, false, false},                            // T missing
        {kBlankReply, false, -1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.toStdString());
        const PanelReply reply{c.reply};
        EXPECT_EQ(reply.good(), c.good);
        EXPECT_EQ(reply.gradeIndex(), c.grade);
        EXPECT_EQ(reply.snowflake(), c.snowflake);
        EXPECT_EQ(reply.euro(), c.euro);
    }
}

// Stands in for the window: applies each step to its named controls as the window does.
struct SignModel : ReadBackView {
    struct Attributes {
        int grade = 0;
        bool snowflake = false, euro = false;
        bool operator==(const Attributes&) const = default;
    };
    std::map<std::string, QByteArray> text; // caption of a label, text of an entry
    std::map<std::string, bool> green;
    Attributes sets[6];          // 1..5
    QByteArray order;            // addresses in the order they were shown
    std::string attributeWrites; // "address:set" for every attribute set written
    std::vector<PanelReply> replies;
    std::string trace; // progress positions, "~" where messages were let through

    void showPanel(const ReadBackStep& step, const PanelReply& reply) override {
        order += step.address;
        replies.push_back(reply);
        green[step.label] = reply.good();
        if (!reply.good()) {
            text[step.label] = "XX.XX";
            return;
        }
        text[step.label] = reply.price();
        if (step.attributeSet) {
            sets[step.attributeSet] = {reply.gradeIndex(), reply.snowflake(), reply.euro()};
            attributeWrites += {step.address, ':', char('0' + step.attributeSet), ' '};
        }
        if (step.entry)
            text[step.entry] = reply.price();
    }
    void setProgress(int position) override { trace += std::to_string(position) + ' '; }
};

class ReadBack : public ::testing::Test {
protected:
    void SetUp() override {
        link.setLogSink([this](const QString& line) { log << line; });
        link.setMessagePump([this] { view.trace += "~ "; });
        port.SetPort("COM3");
        port.SetBaudRate(br19200);
        port.SetDiscardNull(true);
    }
    void connect(signsim::SimOptions options, int readDelay) {
        port.Close();
        sign = &ports.addSign(3, std::move(options));
        port.Open();
        link.setReadDelay(readDelay);
        log.clear();
        view = {};
    }
    // The lines logged while reading panel `address`, up to the next panel.
    QStringList panelLines(char address) const {
        QStringList lines;
        bool in = false;
        for (const QString& line : log) {
            if (line.startsWith(kReadingPanel))
                in = line == kReadingPanel + QLatin1Char(address) + kReadingPanelEnd;
            if (in)
                lines << line;
        }
        return lines;
    }

    PtyPorts ports;
    signsim::SignSimulator* sign = nullptr;
    TCustomComPort port;
    SignLink link{port};
    QStringList log;
    SignModel view;
};

TEST_F(ReadBack, EveryPanelGoodFillsLabelsEntriesAndAttributeSets) {
    signsim::SimOptions options;
    options.rawFlagEcho = true;  // byte 7 as stored, to show that only bits 0 and 1 count
    for (int i = 0; i < 20; ++i) // prices "500".."519", grades "1".."5", flags "0".."3"
        options.panels[signsim::kPanelAddresses[i]] = {
            {'5', char('0' + i / 10), char('0' + i % 10)},
            char('1' + i % 5),
            std::uint8_t(0x30 + i % 4)};
    options.panels['1'].grade = '0';
    options.panels['2'] = {"---", '6', 0x32};
    options.panels['3'].flags = 0xFD;
    connect(options, 20);

    readBackSign(link, view);

    EXPECT_EQ(view.order, "0123456789IHGFEDCBA@");
    EXPECT_EQ(view.trace,
              "0 1 ~ 2 ~ 3 ~ 4 ~ 5 ~ 6 ~ 0 ~ 7 ~ 0 ~ 8 ~ 0 ~ 9 ~ 0 ~ 10 ~ 0 ~ 11 ~ 12 ~ 13 "
              "~ 14 ~ 15 ~ 16 ~ 0 ~ 17 ~ 0 ~ 18 ~ 0 ~ 19 ~ 0 ~ 20 ~ 0 ~ ");
    for (const ReadBackStep& step : readBackSteps()) {
        const QByteArray price = QByteArray::fromStdString(sign->panel(step.address).price);
        EXPECT_TRUE(view.green[step.label]) << step.label;
        EXPECT_EQ(view.text[step.label], price) << step.label;
        if (step.entry) {
            EXPECT_EQ(view.text[step.entry], price) << step.entry;
        }
    }
    EXPECT_EQ(view.text["MaskEdit4"], "---");
    // Row 1's set takes only row 1's own panels, first half then second half.
    EXPECT_EQ(view.attributeWrites, "0:1 1:2 2:3 3:4 4:5 @:1 ");
    using A = SignModel::Attributes;
    EXPECT_EQ(view.sets[1], (A{0, false, true}));  // second half's row 1 ("@"), read last
    EXPECT_EQ(view.sets[2], (A{-1, true, false})); // "1": grade "0"
    EXPECT_EQ(view.sets[3], (A{-1, false, true})); // "2": grade "6"
    EXPECT_EQ(view.sets[4], (A{3, true, false}));  // "3": flags 0xFD
    EXPECT_EQ(view.sets[5], (A{4, false, false})); // "4"
    EXPECT_TRUE(log.filter(kBadData).isEmpty());
}

TEST_F(ReadBack, ReplyCompleteOnlyAtTheThirdPollIsRead) {
    signsim::SimOptions options;
    options.faults.replyDelayMs = 240; // polls at 100, 200, 300 ms
    connect(options, 100);

    readPanel(link, '0');

    const QByteArray reply = QByteArray::fromStdString(signsim::panelReply('0', {}));
    EXPECT_EQ(link.replyBuffer(), reply);
    EXPECT_EQ(log, (QStringList{"--- Читаю панель0 ---", kCountLine + "0", kCountLine + "0",
                                kCountLine + "14", "3" + kAttemptsMiddle + "100мс",
                                kReceived + signText(reply), kChecksumReceived + reply.right(2),
                                kChecksumComputed + reply.right(2)}));
}

TEST_F(ReadBack, FaultyPanelIsRetriedJudgedAndLeavesTheNextPanelAlone) {
    struct Case {
        const char* what;
        void (*fault)(signsim::SimFaults&); // applied to panel "0" alone
        bool good;
        int cycles;
        bool thirteenBytes;
    };
    using Faults = signsim::SimFaults;
    const Case cases[] = {
        {"13 bytes", [](Faults& f) { f.shortReply = true; }, false, 7, true},
        {"NUL dropped", [](Faults& f) { f.nulAtOffset = 5; }, false, 7, true},
        {"checksum wrong 7 times", [](Faults& f) { f.badChecksumReplies = 7; }, false, 7, false},
        {"checksum right 7th time", [](Faults& f) { f.badChecksumReplies = 6; }, true, 7, false},
        {"O then X", [](Faults& f) { f.badOkByte = true; }, false, 1, false},
        {"names panel 7", [](Faults& f) { f.replyAddress = '7'; }, false, 7, false},
        {"3 bytes extra", [](Faults& f) { f.trailingBytes = 3; }, true, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        signsim::SimOptions options;
        options.faults.panels = {'0'};
        c.fault(options.faults);
        connect(options, 20);

        readBackSign(link, view);

        ASSERT_EQ(view.replies.size(), 20u);
        const PanelReply& first = view.replies[0];
        EXPECT_EQ(first.good(), c.good);
        EXPECT_EQ(sign->countReceived("R0E"), c.cycles);
        const QStringList lines = panelLines('0');
        EXPECT_EQ(lines.last() == kBadData + signText(first.bytes), !c.good);
        if (!c.good) {
            EXPECT_EQ(first.bytes.size(), c.cycles == 7 ? 16 : 14); // blanked, or as it came
        }
        for (std::size_t i = 1; i < view.replies.size(); ++i)
            EXPECT_TRUE(view.replies[i].good()) << "step " << i + 1;
        EXPECT_EQ(sign->countReceived("R1E"), 1);
        if (!c.thirteenBytes)
            continue;
        ASSERT_EQ(lines.size(), 7 * 10 + 1);
        for (int cycle = 0; cycle < 7; ++cycle)
            EXPECT_EQ(lines.mid(cycle * 10 + 3, 7),
                      (QStringList{kCountLine + "13", "3" + kAttemptsMiddle + "20мс", kTooFew,
                                   kBigError, kReceived + QString(16, ' '),
                                   kChecksumReceived + "  ", kChecksumComputed + "00"}));
    }
}

TEST_F(ReadBack, ClosedPortFailsBeforeAnyPanelIsShown) {
    sign = &ports.addSign(3);
    try {
        readBackSign(link, view);
        FAIL() << "no port error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_PurgeFailed);
    }
    EXPECT_TRUE(view.replies.empty());
    EXPECT_TRUE(log.isEmpty());
    EXPECT_TRUE(sign->received().empty());
}

TEST_F(ReadBack, SignHangingUpMidwayKeepsWhatTheStepsDoneShowed) {
    signsim::SimOptions options;
    options.faults.hangUpAfterCommands = 5;
    // A read delay long enough that a busy machine does not turn a late reply into a second
    // read of the same panel, which would use up one of the five answers.
    connect(options, 100);

    EXPECT_THROW(readBackSign(link, view), EComPort);

    // Five panels answered before the line went: their results stay, nothing else is shown.
    ASSERT_EQ(view.order, "01234");
    for (const PanelReply& reply : view.replies)
        EXPECT_TRUE(reply.good());
}

} // namespace
