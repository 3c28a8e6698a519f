// Settings objects, text tables and error messages of the serial port component.

#include "comsettings.h"
#include "comtypes.h"
#include "ecomport.h"

#include <gtest/gtest.h>

TEST(FlowSummary, ReadsEachCombinationOfTheFlags) {
    struct Row {
        TRTSFlowControl rts;
        bool cts, xonIn, xonOut;
        TFlowControl expected;
    };
    const Row rows[] = {
        {rtsHandshake, true, false, false, fcHardware},
        {rtsDisable, false, true, true, fcSoftware},
        {rtsDisable, false, false, false, fcNone},
        {rtsEnable, false, false, false, fcCustom}, // RTS held on
        {rtsDisable, true, false, false, fcCustom}, // CTS alone
        {rtsDisable, false, true, false, fcCustom}, // XON/XOFF one way only
        {rtsHandshake, true, true, true, fcCustom}, // both kinds at once
    };
    for (const Row& r : rows) {
        TComFlowControl fc;
        fc.SetControlRTS(r.rts);
        fc.SetOutCTSFlow(r.cts);
        fc.SetXonXoffIn(r.xonIn);
        fc.SetXonXoffOut(r.xonOut);
        EXPECT_EQ(fc.ReadFlowSummary(), r.expected) << FlowControlToStr(r.expected);
    }
}

TEST(FlowSummary, WritingASummaryRoundTripsAndCustomKeepsTheFlags) {
    for (TFlowControl v : {fcHardware, fcSoftware, fcNone}) {
        TComFlowControl fc;
        fc.SetControlRTS(rtsToggle);
        fc.SetXonXoffIn(true);
        fc.WriteFlowSummary(v);
        EXPECT_EQ(fc.ReadFlowSummary(), v);
    }
    TComFlowControl fc;
    fc.SetControlRTS(rtsEnable);
    fc.SetOutDSRFlow(true);
    fc.SetControlDTR(dtrEnable);
    fc.WriteFlowSummary(fcCustom);
    EXPECT_EQ(fc.ControlRTS(), rtsEnable);
    fc.WriteFlowSummary(fcNone);
    EXPECT_EQ(fc.ControlRTS(), rtsDisable);
    // Flags outside the summary are never touched.
    EXPECT_TRUE(fc.OutDSRFlow());
    EXPECT_EQ(fc.ControlDTR(), dtrEnable);
}

TEST(TextTables, NameEveryValueAndAreFoundWithoutRegardToCase) {
    EXPECT_EQ(BaudRateTexts().size(), 16u);
    EXPECT_EQ(BaudRateToStr(brCustom), "Custom");
    EXPECT_EQ(BaudRateToStr(br19200), "19200");
    EXPECT_EQ(BaudRateToStr(br256000), "256000");
    EXPECT_EQ(StopBitsToStr(sbOne5StopBits), "1.5");
    EXPECT_EQ(ParityToStr(prSpace), "Space");
    EXPECT_EQ(RTSToStr(rtsToggle), "Toggle");
    EXPECT_EQ(FlowControlToStr(fcNone), "None");
    EXPECT_EQ(FindTextIndex(ParityTexts(), "even"), int(prEven));
    EXPECT_EQ(FindTextIndex(FlowControlTexts(), "CUSTOM"), int(fcCustom));
    EXPECT_EQ(FindTextIndex(BaudRateTexts(), "19201"), -1);
    EXPECT_EQ(BaudRateValue(br56000, 0), 56000u);
    EXPECT_EQ(BaudRateValue(brCustom, 31250), 31250u);
}

TEST(EventMask, AllTenEventsGiveTheClassicMask) {
    EXPECT_EQ(EventsToMask(AllComEvents), 0x05FFu);
    EXPECT_EQ(EventsToMask(comEvent(evRxFlag)), 0x0002u);
    EXPECT_EQ(MaskToEvents(0x0401), comEvent(evRxChar) | comEvent(evRx80Full));
}

TEST(EComPortMessages, CarryTheSystemCodeOnlyWhereOneExists) {
    const EComPort withCode(CError_ClearComFailed, 6);
    EXPECT_STREQ(withCode.what(), "ClearCommError function failed (win error code: 6)");
    EXPECT_EQ(withCode.ErrorCode(), 10);
    EXPECT_EQ(withCode.SystemCode(), 6);

    const EComPort noCode(CError_StoreFailed);
    EXPECT_STREQ(noCode.what(), "Failed to store settings");
    EXPECT_EQ(noCode.SystemCode(), -1);

    EXPECT_STREQ(EComPort(CError_RegError, 2).what(), "Registry error (win error code: 2)");
    EXPECT_STREQ(EComPort(CError_OpenFailed, -5).what(),
                 "Unable to open com port (win error code: -5)");
}
