#include "rowchange.h"

#include "writecheck.h"

namespace signlink {

QString describeUnreadPanels(const SignContents& contents) {
    QString text;
    for (int row = 10; row >= 1; --row)
        for (const bool second : {false, true}) {
            if (contents.panel(row, second).good())
                continue;
            PanelMismatch unread;
            unread.row = row;
            unread.secondHalf = second;
            unread.replied = false;
            text += QLatin1Char('\n') + unread.describe();
        }
    return text.isEmpty() ? text : kNotAllRead + text;
}

HeldSignWrite::HeldSignWrite(const SignContents& held, const RowChanges& changes, Progress progress)
    : held_(held), changes_(changes), progress_(std::move(progress)) {}

PriceRow HeldSignWrite::rowFor(int row, bool secondHalf) const {
    PriceRow input = heldRow(held_.panel(row, secondHalf));
    if (const auto price = changes_.prices.find(row); price != changes_.prices.end()) {
        // A new price replaces the held bytes; grade and flags stay as the panel has them.
        input.price = QString::fromLatin1(price->second);
        input.heldBytes = {};
    }
    if (changes_.notUsed.count(row) != 0)
        input.notUsed = true;
    return input;
}

PriceRow HeldSignWrite::readRow(int row) {
    return rowFor(row, false);
}

PriceRow HeldSignWrite::secondHalfOf(int row, const PriceRow& /*firstHalf*/) {
    return rowFor(row, true);
}

void HeldSignWrite::setProgress(int position) {
    if (progress_)
        progress_(position);
}

} // namespace signlink
