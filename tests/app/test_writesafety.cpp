// The write's safety as the operator meets it: bytes the read-back copied go back
// unchanged.
#include "windowtesting.h"

#include "ptyfixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The write frames for this panel that reached the sign.
std::vector<std::string> framesFor(const signsim::SignSimulator& sign, char address) {
    std::vector<std::string> frames;
    for (const signsim::ReceivedCommand& command : sign.received())
        if (command.bytes.size() == 11 && command.bytes[0] == 'W' && command.bytes[1] == address)
            frames.push_back(command.bytes);
    return frames;
}

} // namespace

// --- bytes the read-back copied ------------------------------------------------------------------

TEST(HeldBytes, AControlByteAndACodePageLetterGoBackAsTheyCameUntilTheirPositionIsTyped) {
    PtyPorts ports;
    signsim::SimOptions options;
    options.panels['2'] = {"\x01\xC0"
                           "9",
                           '3', 1}; // row 3, first half
    auto& sign = ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    click(form, "Button7");
    auto* entry = control<TMaskEdit>(form, kRows[2].entry);
    // Shown as the log shows them: a control picture and the letter "А" (0xC0).
    EXPECT_EQ(entry->text(), QString(QChar(0x2401)) + QChar(0x0410) + QLatin1Char('9'));
    sign.clearRecords();

    click(form, "Button8");
    // "W2", the price with its last byte twice, grade "3", "Снежинка" above "0", "E".
    const std::string body = "W2\x01\xC0"
                             "993"
                             "1E";
    ASSERT_FALSE(framesFor(sign, '2').empty());
    EXPECT_EQ(framesFor(sign, '2').front(), body + signsim::checksumChars(body));
    EXPECT_EQ(sign.panel('2').price, "\x01\xC0"
                                     "9");
    EXPECT_EQ(sign.panel('B').price, "\x01\xC0"
                                     "9");

    // The middle position typed over: only it changes.
    pressKey(entry, Qt::Key_Home);
    pressKey(entry, Qt::Key_Right);
    typeText(entry, "5");
    sign.clearRecords();
    click(form, "Button8");
    EXPECT_EQ(sign.panel('2').price, "\x01"
                                     "59");
}
