#pragma once
// Enumerations of the serial port component and their text forms (used by the
// setup dialog's lists and by the stored settings).

#include <cstdint>
#include <string>
#include <vector>

enum TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };

// Line events the watcher can report; bit i of TComEvents stands for the event of value i.
enum TComEvent {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
using TComEvents = std::uint16_t;
constexpr TComEvents comEvent(TComEvent e) {
    return TComEvents(1u << e);
}
constexpr TComEvents AllComEvents = 0x03FF;

// Device event mask bit of each event (the classic serial event mask values).
std::uint32_t EventMaskBit(TComEvent e);
// Mask of a set of events; all ten give 0x05FF.
std::uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(std::uint32_t mask);

// Line speed in baud of a rate value; brCustom gives customRate.
std::uint32_t BaudRateValue(TBaudRate rate, std::uint32_t customRate);

// Text tables. Each list is in the order of its enumeration.
const std::vector<std::string>& BaudRateTexts();
const std::vector<std::string>& DataBitsTexts();
const std::vector<std::string>& StopBitsTexts();
const std::vector<std::string>& ParityTexts();
const std::vector<std::string>& DTRTexts();
const std::vector<std::string>& RTSTexts();
const std::vector<std::string>& FlowControlTexts();

std::string BaudRateToStr(TBaudRate v);
std::string DataBitsToStr(TDataBits v);
std::string StopBitsToStr(TStopBits v);
std::string ParityToStr(TParityBits v);
std::string DTRToStr(TDTRFlowControl v);
std::string RTSToStr(TRTSFlowControl v);
std::string FlowControlToStr(TFlowControl v);

// Case-insensitive lookup of a text in a table; -1 when absent.
int FindTextIndex(const std::vector<std::string>& table, const std::string& text);
