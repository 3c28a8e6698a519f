#pragma once
// Simulated signs for the "each panel holds what was typed or what it held" cases that the
// window's and zemta-sign's tests both run.

#include "signsim.h"

#include <string>

namespace signcases {

// Every panel its own price, grade and flag bits; flag bytes as a write sends them (row 1
// the bits alone, rows 2..10 above "0"), so a panel written back unchanged keeps its bytes.
inline signsim::SimOptions distinctSign(int firstPrice = 300, int gradeShift = 0) {
    signsim::SimOptions options;
    int k = 0;
    for (const char address : signsim::kPanelAddresses) {
        const int row = (address & 0x0F) + 1;
        options.panels[address] = {std::to_string(firstPrice + 11 * k),
                                   char('1' + (k + gradeShift) % 5),
                                   std::uint8_t((row == 1 ? 0x00 : 0x30) + k % 4)};
        ++k;
    }
    return options;
}

// Grade and flag bytes a frame cannot carry: row 6's first half reports grade "7" and flag
// byte 0x34, row 7's second half 0x37. Flags are echoed as stored, so none may be 0x00 (a
// NUL the port drops).
inline signsim::SimOptions oddAttributes() {
    signsim::SimOptions options = distinctSign();
    options.rawFlagEcho = true;
    for (const char address : {'0', '@'})
        options.panels[address].flags |= 0x01;
    options.panels['5'] = {"355", '7', 0x34};
    options.panels['F'] = {"476", '3', 0x37};
    return options;
}

// Row 3's first half answers 220 ms late: after its cycle at the read delay of 50 ms, while
// the next panel's exchange waits.
inline signsim::SimOptions lateRowThree() {
    signsim::SimOptions options = distinctSign();
    options.faults.panels = {'2'};
    options.faults.replyDelayMs = 220;
    return options;
}

// A panel of `options` with another price.
inline signsim::PanelContent priced(const signsim::SimOptions& options, char address,
                                    const char* price) {
    signsim::PanelContent panel = options.panels.at(address);
    panel.price = price;
    return panel;
}

} // namespace signcases
