// The fault suite: the operations run from the main window against a simulated sign that
// misbehaves (silence, late or damaged replies, wrong acknowledgements and echoes, a line
// that hangs up, a stream of noise) and against ports the program cannot have. Each case
// checks what the operator sees, what reached the line, and that nothing was lost.
#include "windowtesting.h"

#include "discovery.h"
#include "ecomport.h"
#include "ptyfixture.h"
#include "readback.h"
#include "tcomcombobox.h"
#include "tcomsetupfrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;
using signsim::SimFaults;

namespace {

using Clock = std::chrono::steady_clock;

const QString kBad = QStringLiteral("XX.XX");

// The read-back's steps in the order they run: panel, display label, price entry (first
// half only) and the attribute set its good reply writes (0 for none).
struct Step {
    char address;
    const char* label;
    const char* entry;
    int set;
};
constexpr Step kSteps[20] = {
    {'0', "Label9", "MaskEdit6", 1},  {'1', "Label12", "MaskEdit5", 2},
    {'2', "Label13", "MaskEdit4", 3}, {'3', "Label14", "MaskEdit3", 4},
    {'4', "Label10", "MaskEdit1", 5}, {'5', "Label15", "input6", 0},
    {'6', "Label16", "input7", 0},    {'7', "Label19", "input8", 0},
    {'8', "Label20", "input9", 0},    {'9', "Label21", "input10", 0},
    {'I', "Label11", nullptr, 0},     {'H', "Label8", nullptr, 0},
    {'G', "Label4", nullptr, 0},      {'F', "Label3", nullptr, 0},
    {'E', "Label2", nullptr, 0},      {'D', "lbl1", nullptr, 0},
    {'C', "lbl2", nullptr, 0},        {'B', "lbl3", nullptr, 0},
    {'A', "lbl4", nullptr, 0},        {'@', "lbl5", nullptr, 1},
};
const Step& stepOf(char address) {
    for (const Step& step : kSteps)
        if (step.address == address)
            return step;
    throw std::out_of_range("no panel");
}

// The sign's 20 panels, each different; `variant` gives another set of contents.
signsim::SimOptions distinctPanels(int variant = 0) {
    signsim::SimOptions options;
    for (int i = 0; i < 20; ++i) {
        const int price = variant == 0 ? 101 + 43 * i : 950 - 37 * i;
        options.panels[signsim::kPanelAddresses[i]] = {
            std::to_string(price), static_cast<char>('1' + (i + variant) % 5),
            static_cast<std::uint8_t>((i + variant) % 4)};
    }
    return options;
}

QString priceOf(const signsim::SimOptions& options, char address) {
    return QString::fromStdString(options.panels.at(address).price);
}

QString labelState(TForm1& form, const char* name) {
    auto* label = control<QLabel>(form, name);
    return label->text() + QLatin1Char(' ') + textColor(label).name();
}
QString shows(const QString& text, const QColor& color) {
    return text + QLatin1Char(' ') + color.name();
}

QString setState(TForm1& form, int set) {
    const auto& names = kSets[set - 1];
    return QStringLiteral("%1 %2 %3")
        .arg(control<QComboBox>(form, names.grade)->currentIndex())
        .arg(control<QCheckBox>(form, names.snowflake)->isChecked())
        .arg(control<QCheckBox>(form, names.euro)->isChecked());
}
QString setStateOf(const signsim::PanelContent& panel) {
    return QStringLiteral("%1 %2 %3")
        .arg(panel.grade - '1')
        .arg((panel.flags & 1) != 0)
        .arg((panel.flags & 2) != 0);
}

QString entryText(TForm1& form, const char* entry) {
    return control<TMaskEdit>(form, entry)->positions();
}

// Everything a sign operation may change on screen or in the hidden sets.
QStringList displayState(TForm1& form) {
    QStringList state;
    for (const Step& step : kSteps) {
        state << labelState(form, step.label);
        if (step.entry)
            state << entryText(form, step.entry);
    }
    for (int set = 1; set <= 5; ++set)
        state << setState(form, set);
    return state;
}

// The message of a port whose line went away (EIO) in one of the calls an exchange makes.
bool isLineGoneError(const QString& text) {
    for (int code :
         {CError_PurgeFailed, CError_WriteFailed, CError_ReadFailed, CError_ClearComFailed})
        if (text == QString::fromLatin1(EComPort::CodeText(code)) + " (win error code: 5)")
            return true;
    return false;
}

// How many write frames for this panel reached the sign.
int framesReceived(const signsim::SignSimulator& sign, char address) {
    int count = 0;
    for (const signsim::ReceivedCommand& command : sign.received())
        count +=
            command.bytes.size() == 11 && command.bytes[0] == 'W' && command.bytes[1] == address;
    return count;
}

int readsReceived(const signsim::SignSimulator& sign) {
    int count = 0;
    for (const signsim::ReceivedCommand& command : sign.received())
        count += command.bytes.size() == 3 && command.bytes[0] == 'R';
    return count;
}

// Faults set by a table row.
SimFaults withFaults(void (*set)(SimFaults&)) {
    SimFaults faults;
    set(faults);
    return faults;
}

// gtest names a parameterised case by its table name (and prints it so: PrintTo below).
template <typename Case> std::string caseName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.name;
}

} // namespace

// --- discovery ---------------------------------------------------------------------------------

struct DiscoveryCase {
    const char* name;
    SimFaults faults;
    bool found;
};
void PrintTo(const DiscoveryCase& c, std::ostream* os) {
    *os << c.name;
}

class DiscoveryFaults : public ::testing::TestWithParam<DiscoveryCase> {};

TEST_P(DiscoveryFaults, OnlyAReplyOfTwelveBytesBeginningT0InThreePollsFindsTheSign) {
    const DiscoveryCase& c = GetParam();
    PtyPorts ports;
    signsim::SimOptions options;
    options.faults = c.faults;
    auto& sign = ports.addSign(3, options);
    MessageRecorder messages;

    TForm1 form; // the start-up search

    EXPECT_EQ(sign.countReceived("R0E"), 1);
    EXPECT_TRUE(messages.errors().empty());
    if (c.found) {
        EXPECT_EQ(messages.results(), std::vector<QString>{signlink::kFoundMessage + "COM3"});
        EXPECT_TRUE(form.ComPort->Connected());
        EXPECT_EQ(form.ComPort->Port(), "COM3");
        EXPECT_EQ(control<QStatusBar>(form, "StatusBar1")->currentMessage(), "Работаем на COM3");
    } else {
        EXPECT_EQ(messages.results(), std::vector<QString>{signlink::kNotFoundMessage});
        EXPECT_FALSE(form.ComPort->Connected());
        EXPECT_TRUE(control<QStatusBar>(form, "StatusBar1")->currentMessage().isEmpty());
    }
}

// At the start-up read delay of 50 ms the probe's polls come at 50, 100 and 150 ms.
INSTANTIATE_TEST_SUITE_P(
    Table, DiscoveryFaults,
    ::testing::Values(
        DiscoveryCase{"Silent", withFaults([](SimFaults& f) { f.silent = true; }), false},
        DiscoveryCase{"SlowWithinThePolls", withFaults([](SimFaults& f) { f.replyDelayMs = 60; }),
                      true},
        DiscoveryCase{"SlowerThanThreePolls",
                      withFaults([](SimFaults& f) { f.replyDelayMs = 400; }), false},
        DiscoveryCase{"AnswersT1", withFaults([](SimFaults& f) { f.discoveryT1 = true; }), false},
        DiscoveryCase{"ThirteenBytesAreEnough",
                      withFaults([](SimFaults& f) { f.shortReply = true; }), true},
        DiscoveryCase{"ElevenBytesAreTooFew",
                      withFaults([](SimFaults& f) { f.rawReadReply = "T0123456789"; }), false},
        DiscoveryCase{"ChecksumIsNotLookedAt",
                      withFaults([](SimFaults& f) { f.badChecksumReplies = 1; }), true},
        DiscoveryCase{"NulInPlaceOfTheT", withFaults([](SimFaults& f) { f.nulAtOffset = 0; }),
                      false},
        DiscoveryCase{"TrailingBytes", withFaults([](SimFaults& f) { f.trailingBytes = 4; }),
                      true}),
    caseName<DiscoveryCase>);

// --- read-back -----------------------------------------------------------------------------------

struct ReadBackCase {
    const char* name;
    char panel; // the one panel the fault concerns
    SimFaults faults;
    bool shownGood;
};
void PrintTo(const ReadBackCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadBackFaults : public ::testing::TestWithParam<ReadBackCase> {};

TEST_P(ReadBackFaults, OnlyAMatchingReplyWithItsMarkersTurnsTheLabelGreen) {
    const ReadBackCase& c = GetParam();
    PtyPorts ports;
    signsim::SimOptions options = distinctPanels();
    options.faults = c.faults;
    options.faults.panels = {c.panel};
    ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 30);
    const Step& faulty = stepOf(c.panel);
    // What the faulty panel's entry and set hold before; a bad reply leaves them so.
    QString entryBefore;
    QString setBefore;
    if (faulty.entry) {
        retype(form, faulty.entry, "555");
        entryBefore = entryText(form, faulty.entry);
    }
    messages.shown.clear();

    click(form, "Button7");

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(allSignButtonsEnabled(form));
    for (const Step& step : kSteps) {
        if (step.address == c.panel)
            continue;
        // The panels around the faulty one are undisturbed.
        EXPECT_EQ(labelState(form, step.label), shows(priceOf(options, step.address), kPureGreen))
            << step.label;
    }
    const QString price = priceOf(options, c.panel);
    if (c.shownGood) {
        EXPECT_EQ(labelState(form, faulty.label), shows(price, kPureGreen));
        if (faulty.entry) {
            EXPECT_EQ(entryText(form, faulty.entry), price);
        }
        if (faulty.set > 1) {
            EXPECT_EQ(setState(form, faulty.set), setStateOf(options.panels.at(c.panel)));
        }
    } else {
        EXPECT_EQ(labelState(form, faulty.label), shows(kBad, kPureRed));
        if (faulty.entry) {
            EXPECT_EQ(entryText(form, faulty.entry), entryBefore);
        }
        if (faulty.set > 1) { // the set stays at its start: grade "80", no flags
            EXPECT_EQ(setState(form, faulty.set), "0 0 0");
        }
    }
}

namespace {
// A 14-byte reply for panel "2" whose checksum matches but whose first byte is no "T".
std::string replyWithoutT() {
    const std::string body = "X2999910"
                             "00OK";
    return body + signsim::checksumChars(body);
}
} // namespace

// At a read delay of 30 ms one cycle polls at 30, 60 and 90 ms after its command; a panel
// gets 7 cycles.
INSTANTIATE_TEST_SUITE_P(
    Table, ReadBackFaults,
    ::testing::Values(
        ReadBackCase{"Silent", '2', withFaults([](SimFaults& f) { f.silent = true; }), false},
        ReadBackCase{"SlowWithinThePolls", '2',
                     withFaults([](SimFaults& f) { f.replyDelayMs = 25; }), true},
        // The last panel's replies all come after the read-back has ended.
        ReadBackCase{"SlowerThanEveryCycle", '@',
                     withFaults([](SimFaults& f) { f.replyDelayMs = 2000; }), false},
        ReadBackCase{"ChecksumWrongSixTimes", '2',
                     withFaults([](SimFaults& f) { f.badChecksumReplies = 6; }), true},
        ReadBackCase{"ChecksumWrongSevenTimes", '2',
                     withFaults([](SimFaults& f) { f.badChecksumReplies = 7; }), false},
        ReadBackCase{"NulInsideTheReply", '2', withFaults([](SimFaults& f) { f.nulAtOffset = 5; }),
                     false},
        ReadBackCase{"ShortReply", '2', withFaults([](SimFaults& f) { f.shortReply = true; }),
                     false},
        ReadBackCase{"OverlongReply", '2', withFaults([](SimFaults& f) { f.trailingBytes = 3; }),
                     true},
        ReadBackCase{"NoKAfterTheO", '2', withFaults([](SimFaults& f) { f.badOkByte = true; }),
                     false},
        ReadBackCase{"NoTInFront", '2',
                     withFaults([](SimFaults& f) { f.rawReadReply = replyWithoutT(); }), false},
        ReadBackCase{"NamingAnotherPanel", '2',
                     withFaults([](SimFaults& f) { f.replyAddress = '7'; }), false}),
    caseName<ReadBackCase>);

// --- write ------------------------------------------------------------------------------------

struct WriteCase {
    const char* name;
    SimFaults faults;  // for row 3's panels, "2" and "B"
    int framesAtLeast; // how often each of their frames reaches the line (at most 4)
    QString held;      // what they hold afterwards; empty: what was written
    QString notTaken;  // what the box says of each of them after "ряд 3, ... половина: "
};
void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteFaults : public ::testing::TestWithParam<WriteCase> {};

TEST_P(WriteFaults, EveryFrameGoesOutAndTheReadBackShowsWhatTheSignHolds) {
    const WriteCase& c = GetParam();
    PtyPorts ports;
    signsim::SimOptions options;
    options.faults = c.faults;
    options.faults.panels = {'2', 'B'};
    auto& sign = ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 30);
    const QString prices[10] = {"120", "231", "342", "453", "564",
                                "675", "786", "897", "908", "019"};
    for (int row = 1; row <= 10; ++row)
        retype(form, kRows[row - 1].entry, prices[row - 1]);
    messages.shown.clear();

    click(form, "Button8");

    // Missing or wrong acknowledgements show in the box after the write, the log and the
    // read-back.
    if (c.notTaken.isEmpty()) {
        EXPECT_TRUE(messages.shown.empty());
    } else {
        EXPECT_EQ(messages.results(),
                  std::vector<QString>{"Стела не приняла цены:\nряд 3, первая половина: " +
                                       c.notTaken + "\nряд 3, вторая половина: " + c.notTaken});
    }
    EXPECT_TRUE(allSignButtonsEnabled(form));
    for (int row = 1; row <= 10; ++row) {
        SCOPED_TRACE(row);
        const bool faulty = row == 3;
        const QString held = faulty && !c.held.isEmpty() ? c.held : prices[row - 1];
        const bool answered = !faulty || !c.faults.silent;
        EXPECT_EQ(entryText(form, kRows[row - 1].entry), answered ? held : prices[row - 1]);
        for (char address : {char('0' + row - 1), char('@' + row - 1)}) {
            // Sent, then resent by each attempt; a busy machine may cost any frame an
            // attempt more.
            const int frames = framesReceived(sign, address);
            EXPECT_GE(frames, faulty ? c.framesAtLeast : 2) << address;
            EXPECT_LE(frames, 4) << address;
            EXPECT_EQ(QString::fromStdString(sign.panel(address).price), held) << address;
            EXPECT_EQ(labelState(form, stepOf(address).label),
                      answered ? shows(held, kPureGreen) : shows(kBad, kPureRed))
                << address;
        }
    }
}

// Each frame is sent once and then once per acknowledgement attempt (at most 3); an attempt
// polls 8 times, 240 ms at a read delay of 30 ms.
INSTANTIATE_TEST_SUITE_P(
    Table, WriteFaults,
    ::testing::Values(WriteCase{"NoAcknowledgement",
                                withFaults([](SimFaults& f) { f.ack = SimFaults::Ack::None; }), 4,
                                "", "записано 342, на стеле 342, запись не подтверждена"},
                      WriteCase{"WrongAcknowledgement",
                                withFaults([](SimFaults& f) { f.ack = SimFaults::Ack::Wrong; }), 4,
                                "", "записано 342, на стеле 342, запись не подтверждена"},
                      WriteCase{"LateAcknowledgementWithinThePolls",
                                withFaults([](SimFaults& f) { f.ackDelayMs = 60; }), 2, "", ""},
                      WriteCase{"AcknowledgedButAnotherPriceKept",
                                withFaults([](SimFaults& f) { f.storedPrice = "999"; }), 2, "999",
                                "записано 342, на стеле 999"},
                      WriteCase{"SilentPanel", withFaults([](SimFaults& f) { f.silent = true; }), 4,
                                "000", "нет ответа"}),
    caseName<WriteCase>);

// --- brightness and effects -------------------------------------------------------------------

namespace {
const QString kAutoSet = QStringLiteral("Установлена автоматическая яркость.");
const QString kManualSet = QStringLiteral("Установлена ручная яркость: 4");
const QString kNotSet = QStringLiteral("Яркость не установлена.");
const QString kEffectsOn = QStringLiteral("Эффекты включены");
const QString kEffectsNotOn = QStringLiteral("Эффекты не включены");
} // namespace

struct SingleWaitCase {
    const char* name;
    const char* button;
    SimFaults faults;
    QString message; // shown with the fault
};
void PrintTo(const SingleWaitCase& c, std::ostream* os) {
    *os << c.name;
}

class SingleWaitFaults : public ::testing::TestWithParam<SingleWaitCase> {};

TEST_P(SingleWaitFaults, TheReplyDecidesTheMessageAndALateOneNeverAnswersTheNextCommand) {
    const SingleWaitCase& c = GetParam();
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    typeText(control<TMaskEdit>(form, "MaskEdit7"), "4");
    typeText(control<TMaskEdit>(form, "del_effect"), "5");
    control<QCheckBox>(form, "chk9")->setChecked(true);
    sign.setFaults(c.faults);
    messages.shown.clear();

    click(form, c.button);
    EXPECT_EQ(messages.results(), std::vector<QString>{c.message});

    // Whatever the sign still sends arrives now. The next command, another one, clears it
    // away before it sends, so it is not taken for that command's reply.
    QThread::msleep(500);
    sign.setFaults({});
    messages.shown.clear();
    const bool automatic = std::string(c.button) == "Button5";
    click(form, automatic ? "Button6" : "Button5");
    EXPECT_EQ(messages.results(), std::vector<QString>{automatic ? kManualSet : kAutoSet});
    EXPECT_TRUE(messages.errors().empty());
}

// "Автоматическая" waits 100 ms for its reply, "Ручная" and "Эффект" 200 ms.
INSTANTIATE_TEST_SUITE_P(
    Table, SingleWaitFaults,
    ::testing::Values(
        SingleWaitCase{"AutomaticSilent", "Button5",
                       withFaults([](SimFaults& f) { f.silent = true; }), kNotSet},
        SingleWaitCase{"ManualSilent", "Button6", withFaults([](SimFaults& f) { f.silent = true; }),
                       kNotSet},
        SingleWaitCase{"EffectSilent", "effect", withFaults([](SimFaults& f) { f.silent = true; }),
                       kEffectsNotOn},
        SingleWaitCase{"AutomaticLate", "Button5",
                       withFaults([](SimFaults& f) { f.replyDelayMs = 250; }), kNotSet},
        SingleWaitCase{"ManualLate", "Button6",
                       withFaults([](SimFaults& f) { f.replyDelayMs = 400; }), kNotSet},
        SingleWaitCase{"EffectLate", "effect",
                       withFaults([](SimFaults& f) { f.replyDelayMs = 400; }), kEffectsNotOn},
        SingleWaitCase{"ManualEchoOfAnotherLevel", "Button6",
                       withFaults([](SimFaults& f) { f.wrongLevelEcho = true; }), kNotSet},
        SingleWaitCase{"ManualWithTrailingBytes", "Button6",
                       withFaults([](SimFaults& f) { f.trailingBytes = 2; }), kManualSet},
        SingleWaitCase{"EffectWithTrailingBytes", "effect",
                       withFaults([](SimFaults& f) { f.trailingBytes = 2; }), kEffectsOn}),
    caseName<SingleWaitCase>);

// --- the line hanging up -----------------------------------------------------------------------

// A sign on COM3 with contents A; the window found it and reads quickly.
class SignHangingUp : public ::testing::Test {
protected:
    void start() {
        form = std::make_unique<TForm1>();
        useShortReadDelay(*form, 30);
        messages.shown.clear();
    }
    // Sets the faults, clicks, and checks what every hang-up gives: one error report with
    // the port's message, no result message, the buttons usable, and no hang.
    void clickExpectingLineGone(const char* button, SimFaults faults) {
        sign.setFaults(faults);
        const auto started = Clock::now();
        click(*form, button);
        EXPECT_LT(Clock::now() - started, 10s);
        ASSERT_EQ(messages.errors().size(), 1u);
        EXPECT_TRUE(isLineGoneError(messages.errors().front()))
            << messages.errors().front().toStdString();
        EXPECT_TRUE(messages.results().empty());
        EXPECT_TRUE(allSignButtonsEnabled(*form));
    }

    const signsim::SimOptions contentsA = distinctPanels(0);
    const signsim::SimOptions contentsB = distinctPanels(1);
    PtyPorts ports;
    signsim::SignSimulator& sign = ports.addSign(3, contentsA);
    MessageRecorder messages;
    std::unique_ptr<TForm1> form;
};

TEST_F(SignHangingUp, MidSearchEndsItWithoutAResultAndTheNextSearchFindsTheOtherSign) {
    ports.addSign(5);
    start();
    ASSERT_EQ(form->ComPort->Port(), "COM5");
    const QStringList before = displayState(*form);

    // COM3 takes the probe and hangs up without answering, while the search polls it.
    SimFaults hangUp;
    hangUp.silent = true;
    hangUp.hangUpAfterCommands = 1;
    clickExpectingLineGone("Button36", hangUp);
    EXPECT_EQ(control<QStatusBar>(*form, "StatusBar1")->currentMessage(), "Работаем на COM5");
    EXPECT_EQ(ports.sign(5).countReceived("R0E"), 1); // only the start-up's probe
    EXPECT_EQ(displayState(*form), before);

    messages.shown.clear();
    click(*form, "Button36");
    EXPECT_EQ(messages.results(), std::vector<QString>{signlink::kFoundMessage + "COM5"});
    EXPECT_TRUE(form->ComPort->Connected());
}

TEST_F(SignHangingUp, MidReadBackKeepsTheStepsDoneAndLeavesTheRestAsItWas) {
    start();
    click(*form, "Button7"); // everything shows contents A
    for (const auto& [address, panel] : contentsB.panels)
        sign.setPanel(address, panel);

    SimFaults hangUp;
    hangUp.hangUpAfterCommands = 5; // answers panels "0".."4", then the line goes
    clickExpectingLineGone("Button7", hangUp);

    // The steps before the failure show contents B, all later ones still A. Five reads
    // were answered (fewer panels if one needed a second cycle).
    int done = 0;
    while (done < 20 && labelState(*form, kSteps[done].label) ==
                            shows(priceOf(contentsB, kSteps[done].address), kPureGreen))
        ++done;
    EXPECT_GE(done, 1);
    EXPECT_LE(done, 5);
    for (int i = 0; i < 20; ++i) {
        const Step& step = kSteps[i];
        const signsim::SimOptions& shown = i < done ? contentsB : contentsA;
        SCOPED_TRACE(step.label);
        EXPECT_EQ(labelState(*form, step.label), shows(priceOf(shown, step.address), kPureGreen));
        if (step.entry) {
            EXPECT_EQ(entryText(*form, step.entry), priceOf(shown, step.address));
        }
    }
    // Row 1's set came from "@" (A) and now from "0" (B); rows 2..5 by their own steps.
    EXPECT_EQ(setState(*form, 1), setStateOf(contentsB.panels.at('0')));
    for (int set = 2; set <= 5; ++set) {
        const signsim::SimOptions& shown = set - 1 < done ? contentsB : contentsA;
        EXPECT_EQ(setState(*form, set), setStateOf(shown.panels.at(kSteps[set - 1].address)))
            << set;
    }
}

TEST_F(SignHangingUp, MidWriteStopsTheFramesSkipsTheReadBackAndChangesNoEntry) {
    start();
    click(*form, "Button7"); // read first, so that the write starts at once
    for (int row = 1; row <= 10; ++row)
        retype(*form, kRows[row - 1].entry, QString::number(300 + row));
    control<QCheckBox>(*form, "chk2")->setChecked(true);
    const QStringList before = displayState(*form);
    sign.clearRecords();

    SimFaults hangUp;
    hangUp.hangUpAfterCommands = 5; // each frame reaches the line twice
    clickExpectingLineGone("Button8", hangUp);

    EXPECT_EQ(displayState(*form), before);
    EXPECT_TRUE(control<QCheckBox>(*form, "chk2")->isChecked());
    EXPECT_EQ(readsReceived(sign), 0);
    EXPECT_EQ(framesReceived(sign, '5'), 0);
    EXPECT_EQ(sign.panel('0').price, "301");
    EXPECT_EQ(sign.panel('9').price, priceOf(contentsA, '9').toStdString());
}

TEST_F(SignHangingUp, MidEffectShowsOnlyTheErrorReport) {
    start();
    typeText(control<TMaskEdit>(*form, "del_effect"), "7");
    const QStringList before = displayState(*form);

    SimFaults hangUp;
    hangUp.silent = true;
    hangUp.hangUpAfterCommands = 1;
    clickExpectingLineGone("effect", hangUp);

    EXPECT_EQ(displayState(*form), before);
    EXPECT_EQ(sign.countReceived(std::string("q\x07", 2)), 1);
}

// --- noise ------------------------------------------------------------------------------------

namespace {
// The prices of the replies that the log shows taken with matching checksum characters,
// "T" in front and "OK" after: the only replies a read-back may show in green.
QSet<QString> pricesOfMatchingReplies(TForm1& form) {
    const QStringList lines = control<QPlainTextEdit>(form, "Memo1")->toPlainText().split('\n');
    QSet<QString> prices;
    for (qsizetype i = 0; i + 2 < lines.size(); ++i) {
        if (!lines[i].startsWith(signlink::kReceived) ||
            !lines[i + 1].startsWith(signlink::kChecksumReceived) ||
            !lines[i + 2].startsWith(signlink::kChecksumComputed))
            continue;
        const QString reply = lines[i].mid(signlink::kReceived.size());
        const QString received = lines[i + 1].mid(signlink::kChecksumReceived.size());
        const QString computed = lines[i + 2].mid(signlink::kChecksumComputed.size());
        if (reply.size() == 14 && received == computed && reply.startsWith('T') &&
            reply.mid(10, 2) == "OK")
            prices.insert(reply.mid(2, 3));
    }
    return prices;
}

// The line of the write's box for a panel that gave no good reply.
QString noReplyLine(char address) {
    const bool second = address >= '@';
    return QStringLiteral("ряд %1, %2 половина: нет ответа")
        .arg(address - (second ? '@' : '0') + 1)
        .arg(second ? "вторая" : "первая");
}
} // namespace

TEST(Noise, TenSecondsOfRandomBytesShowNoUnconfirmedPanelAndLoseNothing) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 20); // room for a write and a read-back in ten seconds
    click(form, "Button7");      // read first, so that no write reads before it writes
    for (int row = 1; row <= 10; ++row)
        retype(form, kRows[row - 1].entry, QString::number(600 + row));
    messages.shown.clear();
    sign.clearRecords();
    SimFaults noise;
    noise.randomBytes = true;
    sign.setFaults(noise);

    int readBacks = 0;
    const auto started = Clock::now();
    for (bool write = true; Clock::now() - started < 10s; write = !write) {
        const auto opStarted = Clock::now();
        click(form, write ? "Button8" : "Button7");
        ++readBacks; // a write ends with one too
        EXPECT_LT(Clock::now() - opStarted, 30s);
        // A write ends with a box of what did not take, a read-back with none.
        EXPECT_TRUE(messages.errors().empty());
        EXPECT_LE(messages.results().size(), write ? 1u : 0u);
        const QString box = messages.results().empty() ? QString() : messages.results().front();
        messages.shown.clear();
        EXPECT_TRUE(allSignButtonsEnabled(form));

        const QSet<QString> confirmed = pricesOfMatchingReplies(form);
        for (int i = 0; i < 20; ++i) {
            const Step& step = kSteps[i];
            auto* label = control<QLabel>(form, step.label);
            if (textColor(label) == kPureGreen) {
                EXPECT_TRUE(confirmed.contains(label->text())) << step.label;
            } else {
                EXPECT_EQ(labelState(form, step.label), shows(kBad, kPureRed));
                if (write) {
                    EXPECT_TRUE(box.contains(noReplyLine(step.address))) << step.label;
                }
            }
            // An entry changes only with a green label, to what that label shows.
            if (step.entry && entryText(form, step.entry) != QString::number(601 + i)) {
                EXPECT_EQ(shows(entryText(form, step.entry), kPureGreen),
                          labelState(form, step.label));
            }
        }
    }
    // Every frame and every read command went out in spite of the noise.
    for (char address : signsim::kPanelAddresses)
        EXPECT_GE(framesReceived(sign, address), 2) << address;
    EXPECT_GE(readsReceived(sign), 20 * readBacks);

    // Once the noise stops, the next read-back shows the sign as it is.
    sign.setFaults({});
    messages.shown.clear();
    click(form, "Button7");
    EXPECT_TRUE(messages.shown.empty());
    for (const Step& step : kSteps)
        EXPECT_EQ(labelState(form, step.label), shows("000", kPureGreen)) << step.label;
}

// --- ports the program cannot have ------------------------------------------------------------

TEST(PortInUse, ASecondWindowCannotTakeThePortTheFirstHolds) {
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    ScopedEnv configHome("XDG_CONFIG_HOME", config.path());
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    InstallComSetupDialog();
    MessageRecorder messages;
    TForm1 first;
    ASSERT_TRUE(first.ComPort->Connected());
    sign.clearRecords();
    messages.shown.clear();

    TForm1 second; // its search skips the port the first one holds

    EXPECT_EQ(messages.results(), std::vector<QString>{signlink::kNotFoundMessage});
    EXPECT_FALSE(second.ComPort->Connected());
    EXPECT_TRUE(sign.received().empty());

    // Nor can its port setup take it.
    SetComSetupDialogOperator([](TComSetupFrm& dialog) {
        dialog.Combo1->ChooseEntry(dialog.Combo1->findText("COM3"));
        dialog.Button1->click();
    });
    messages.shown.clear();
    click(second, "Button2");
    SetComSetupDialogOperator({});
    EXPECT_EQ(messages.errors(),
              std::vector<QString>{"Unable to open com port (win error code: 16)"});
    EXPECT_FALSE(second.ComPort->Connected());

    // The first window still talks to the sign; once it has closed, the second finds it.
    messages.shown.clear();
    click(first, "Button5");
    EXPECT_EQ(messages.results(), std::vector<QString>{kAutoSet});
    first.close();
    messages.shown.clear();
    click(second, "Button36");
    EXPECT_EQ(messages.results(), std::vector<QString>{signlink::kFoundMessage + "COM3"});
    EXPECT_TRUE(second.ComPort->Connected());
}

// A port that cannot be opened is skipped without a trace; the search goes on to COM5.
struct RefusedCase {
    const char* name;
    bool needsUnprivilegedUser; // root opens devices whatever their permissions
    void (*refuse)(PtyPorts& ports);
};
void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedPort : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedPort, IsSkippedBySearchWithoutATrace) {
    const RefusedCase& c = GetParam();
    if (c.needsUnprivilegedUser && ::geteuid() == 0)
        GTEST_SKIP() << "running as root, which device permissions do not keep out";
    PtyPorts ports;
    c.refuse(ports);
    ports.addSign(5);
    MessageRecorder messages;

    TForm1 form;
    messages.shown.clear();

    click(form, "Button36");

    EXPECT_TRUE(messages.errors().empty());
    EXPECT_EQ(messages.results(), std::vector<QString>{signlink::kFoundMessage + "COM5"});
    // One probe in the log, COM5's.
    const QString log = control<QPlainTextEdit>(form, "Memo1")->toPlainText();
    EXPECT_EQ(log.count(signlink::kSent + "R0E"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedPort,
    ::testing::Values(RefusedCase{"NoAccessRights", true,
                                  [](PtyPorts& ports) {
                                      auto& sign = ports.addSign(3);
                                      ASSERT_EQ(::chmod(sign.ttyPath().c_str(), 0), 0);
                                  }},
                      RefusedCase{"NotASerialDevice", false,
                                  [](PtyPorts& ports) {
                                      ASSERT_EQ(::symlink("/dev/null", ports.path(3).c_str()), 0);
                                  }}),
    caseName<RefusedCase>);
