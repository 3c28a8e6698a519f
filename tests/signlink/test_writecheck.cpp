// Write check: what was sent to each panel against what the read-back found there.
#include "writecheck.h"

#include <gtest/gtest.h>

using namespace signlink;

namespace {

// A write in which every panel got "456", grade "3" (95), "Евро", and acknowledged it.
WriteRecord promptWrite() {
    WriteRecord record;
    PriceRow row{"456", false, 2, false, true};
    for (int k = 0; k < 20; ++k) {
        const int r = k / 2 + 1;
        const bool second = k % 2 == 1;
        record.at(k) = {r, second, buildWriteFrame(r, second, row), true};
    }
    return record;
}

// A panel reply: T, address, price, price[2], grade, flags, "00", "OK", checksum.
PanelReply reply(const QByteArray& price, char grade, char flags) {
    QByteArray body = "T0" + price + price.right(1) + grade + flags + "00OK";
    return {body + checksumChars(body)};
}

// A sign that holds exactly what promptWrite sent ("Евро" is bit 1; rows 2..10 report the
// flags above "0", row 1 reports them as they came).
SignContents holdingWhatWasSent() {
    SignContents sign;
    for (int row = 1; row <= 10; ++row)
        for (bool second : {false, true})
            sign.panel(row, second) = reply("456", '3', row == 1 ? '\x02' : '2');
    return sign;
}

TEST(WriteCheck, PanelsThatHoldWhatWasSentPassWhateverTheirFlagByteBase) {
    EXPECT_TRUE(checkWrite(promptWrite(), holdingWhatWasSent()).empty());
}

TEST(WriteCheck, ListsEachPanelThatDidNotTakeItTopRowFirst) {
    WriteRecord sent = promptWrite();
    SignContents found = holdingWhatWasSent();
    found.panel(3, false) = reply("459", '3', '2');   // another price
    found.panel(3, true) = {QByteArray(16, ' ')};     // no good reply
    found.panel(7, false) = reply("456", '4', '2');   // another grade
    found.panel(7, true) = reply("456", '3', '3');    // "Снежинка" set as well
    sent.at(2 * 5 - 2).acknowledged = false;          // row 5, first half: no "WOK"
    found.panel(9, true) = reply("456", '3', '\x72'); // other high bits: no difference

    const auto mismatches = checkWrite(sent, found);
    EXPECT_EQ(describeMismatches(mismatches),
              QStringLiteral("Стела не приняла цены:\n"
                             "ряд 7, первая половина: записано 456, на стеле 456, сорт или "
                             "флаги отличаются\n"
                             "ряд 7, вторая половина: записано 456, на стеле 456, сорт или "
                             "флаги отличаются\n"
                             "ряд 5, первая половина: записано 456, на стеле 456, запись не "
                             "подтверждена\n"
                             "ряд 3, первая половина: записано 456, на стеле 459\n"
                             "ряд 3, вторая половина: нет ответа"));
}

TEST(WriteCheck, SilentSignListsAllTwentyPanelsAsNoReply) {
    WriteRecord sent = promptWrite();
    for (SentFrame& frame : sent)
        frame.acknowledged = false;
    const auto mismatches = checkWrite(sent, SignContents{});
    ASSERT_EQ(mismatches.size(), 20u);
    EXPECT_EQ(mismatches.front().describe(), QStringLiteral("ряд 10, первая половина: нет ответа"));
    EXPECT_EQ(mismatches.back().describe(), QStringLiteral("ряд 1, вторая половина: нет ответа"));
    // What the operator is told when such a sign was not written to at all.
    EXPECT_EQ(describeMismatches(noReplyFromAnyPanel()), describeMismatches(mismatches));
}

} // namespace
