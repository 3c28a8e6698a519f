#include "rowchange.h"

#include "writecheck.h"

namespace signlink {

QString describeUnreadPanels(const SignContents& contents) {
    QString text;
    for (const PanelMismatch& unread : unreadPanels(contents))
        text += QLatin1Char('\n') + unread.describe();
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
