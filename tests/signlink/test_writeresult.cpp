// Write result: the verdict of each panel from what was read, sent and read back.
#include "writeresult.h"

#include <gtest/gtest.h>

#include <functional>

using namespace signlink;

namespace {

const PriceRow kAsked{"469", false, 2, false, true}; // "469", grade "95", "Евро"
const PriceRow kHeld{"459", false, 2, false, true};

// A panel reply: T, address, price, price[2], grade, flags, "00", "OK", checksum.
PanelReply reply(const PriceRow& row, int rowNumber) {
    const QByteArray frame = buildWriteFrame(rowNumber, false, row);
    QByteArray body =
        "T0" + frame.mid(2, 4) + frame.at(6) + char(0x30 | (frame.at(7) & 3)) + "00OK";
    return {body + checksumChars(body)};
}

SignContents signHolding(const PriceRow& row) {
    SignContents sign;
    for (int r = 1; r <= 10; ++r)
        for (bool second : {false, true})
            sign.panel(r, second) = reply(row, r);
    return sign;
}

// A write of row 3 (both halves) to a sign that held kHeld everywhere; every other
// panel already showed its plan and got nothing.
PlannedWrite rowThreeWritten() {
    PlannedWrite write;
    write.reported = signHolding(kHeld);
    WriteRecord record;
    for (int k = 0; k < 20; ++k) {
        const int row = k / 2 + 1;
        const bool second = k % 2 == 1;
        const bool asked = row == 3;
        record.at(k) = {row,   second, buildWriteFrame(row, second, asked ? kAsked : kHeld),
                        asked, false,  !asked};
    }
    write.sent = record;
    return write;
}

TEST(WriteResult, EachPanelsVerdictFollowsWhatWasSentAndWhatTheReadBackFound) {
    struct Case {
        const char* name;
        std::function<void(PlannedWrite&, SignContents& after)> change;
        PanelVerdict first, second;
        bool afterShown; // the first half's after is present
    };
    const Case cases[] = {
        {"both took it", [](PlannedWrite&, SignContents&) {}, PanelVerdict::Written,
         PanelVerdict::Written, true},
        {"second half holds the old price",
         [](PlannedWrite&, SignContents& after) { after.panel(3, true) = reply(kHeld, 3); },
         PanelVerdict::Written, PanelVerdict::NotTaken, true},
        {"first half silent after the write",
         [](PlannedWrite&, SignContents& after) { after.panel(3, false) = {kBlankReply}; },
         PanelVerdict::NoReply, PanelVerdict::Written, false},
        {"first half never acknowledged",
         [](PlannedWrite& write, SignContents&) { write.sent->at(4).acknowledged = false; },
         PanelVerdict::NotTaken, PanelVerdict::Written, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PlannedWrite write = rowThreeWritten();
        SignContents after = signHolding(kHeld);
        after.panel(3, false) = reply(kAsked, 3);
        after.panel(3, true) = reply(kAsked, 3);
        c.change(write, after);
        const WriteOutcome outcome =
            writeOutcome("COM3", write, {}, &after, checkWrite(*write.sent, after));
        EXPECT_TRUE(outcome.changed);
        EXPECT_EQ(outcome.panel(3, false).verdict, c.first);
        EXPECT_EQ(outcome.panel(3, true).verdict, c.second);
        EXPECT_EQ(outcome.panel(3, false).after.has_value(), c.afterShown);
        EXPECT_EQ(outcome.panel(3, false).planned, write.sent->at(4).frame);
        for (int row : {1, 2, 4, 10}) {
            EXPECT_EQ(outcome.panel(row, true).verdict, PanelVerdict::Unchanged) << row;
            EXPECT_FALSE(outcome.panel(row, true).planned.has_value()) << row;
        }
        const bool problems = c.first != PanelVerdict::Written || c.second != PanelVerdict::Written;
        EXPECT_EQ(outcome.problems.size(), problems ? 1 : 0);
    }
}

} // namespace
