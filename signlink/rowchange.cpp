#include "rowchange.h"

#include "writecheck.h"

namespace signlink {

QString describeUnreadPanels(const SignContents& contents) {
    QString text;
    for (const PanelMismatch& unread : unreadPanels(contents))
        text += QLatin1Char('\n') + unread.describe();
    return text.isEmpty() ? text : kNotAllRead + text;
}

ChangedRows::ChangedRows(const RowChanges& changes, Progress progress)
    : changes_(changes), progress_(std::move(progress)) {}

RowRequest ChangedRows::requestFor(int row) {
    RowRequest request;
    if (const auto price = changes_.prices.find(row); price != changes_.prices.end()) {
        request.asked = true;
        request.typed.price = QString::fromLatin1(price->second);
    }
    if (changes_.notUsed.count(row) != 0) {
        request.asked = true;
        request.typed.notUsed = true;
    }
    return request;
}

void ChangedRows::setProgress(int position) {
    if (progress_)
        progress_(position);
}

} // namespace signlink
