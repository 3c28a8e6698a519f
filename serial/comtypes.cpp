#include "comtypes.h"

#include <strings.h>

namespace {
constexpr std::uint32_t kEventMask[] = {
    0x0001, // evRxChar   EV_RXCHAR
    0x0004, // evTxEmpty  EV_TXEMPTY
    0x0002, // evRxFlag   EV_RXFLAG
    0x0100, // evRing     EV_RING
    0x0040, // evBreak    EV_BREAK
    0x0008, // evCTS      EV_CTS
    0x0010, // evDSR      EV_DSR
    0x0080, // evError    EV_ERR
    0x0020, // evRLSD     EV_RLSD
    0x0400, // evRx80Full EV_RX80FULL
};
constexpr std::uint32_t kBaudValue[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                        14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

template <typename E> std::string textOf(const std::vector<std::string>& table, E v) {
    const auto i = static_cast<std::size_t>(v);
    return i < table.size() ? table[i] : std::string();
}
} // namespace

std::uint32_t EventMaskBit(TComEvent e) {
    return kEventMask[e];
}

std::uint32_t EventsToMask(TComEvents events) {
    std::uint32_t mask = 0;
    for (int i = evRxChar; i <= evRx80Full; ++i)
        if (events & comEvent(TComEvent(i)))
            mask |= kEventMask[i];
    return mask;
}

TComEvents MaskToEvents(std::uint32_t mask) {
    TComEvents events = 0;
    for (int i = evRxChar; i <= evRx80Full; ++i)
        if (mask & kEventMask[i])
            events |= comEvent(TComEvent(i));
    return events;
}

std::uint32_t BaudRateValue(TBaudRate rate, std::uint32_t customRate) {
    return rate == brCustom ? customRate : kBaudValue[rate];
}

const std::vector<std::string>& BaudRateTexts() {
    static const std::vector<std::string> t{"Custom", "110",    "300",    "600",   "1200",  "2400",
                                            "4800",   "9600",   "14400",  "19200", "38400", "56000",
                                            "57600",  "115200", "128000", "256000"};
    return t;
}
const std::vector<std::string>& DataBitsTexts() {
    static const std::vector<std::string> t{"5", "6", "7", "8"};
    return t;
}
const std::vector<std::string>& StopBitsTexts() {
    static const std::vector<std::string> t{"1", "1.5", "2"};
    return t;
}
const std::vector<std::string>& ParityTexts() {
    static const std::vector<std::string> t{"None", "Odd", "Even", "Mark", "Space"};
    return t;
}
const std::vector<std::string>& DTRTexts() {
    static const std::vector<std::string> t{"Disable", "Enable", "Handshake"};
    return t;
}
const std::vector<std::string>& RTSTexts() {
    static const std::vector<std::string> t{"Disable", "Enable", "Handshake", "Toggle"};
    return t;
}
const std::vector<std::string>& FlowControlTexts() {
    static const std::vector<std::string> t{"Hardware", "Software", "None", "Custom"};
    return t;
}

std::string BaudRateToStr(TBaudRate v) {
    return textOf(BaudRateTexts(), v);
}
std::string DataBitsToStr(TDataBits v) {
    return textOf(DataBitsTexts(), v);
}
std::string StopBitsToStr(TStopBits v) {
    return textOf(StopBitsTexts(), v);
}
std::string ParityToStr(TParityBits v) {
    return textOf(ParityTexts(), v);
}
std::string DTRToStr(TDTRFlowControl v) {
    return textOf(DTRTexts(), v);
}
std::string RTSToStr(TRTSFlowControl v) {
    return textOf(RTSTexts(), v);
}
std::string FlowControlToStr(TFlowControl v) {
    return textOf(FlowControlTexts(), v);
}

int FindTextIndex(const std::vector<std::string>& table, const std::string& text) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (strcasecmp(table[i].c_str(), text.c_str()) == 0)
            return int(i);
    return -1;
}
