#pragma once
// Row changes: a price write that changes only the rows it names. Every panel is
// written back with what a read-back found on it (price bytes as they came, grade and
// flags), except the named rows, which get a new price in both halves (each half
// keeping its own grade and flags) or the not-used marker.

#include "pricewrite.h"
#include "readback.h"

#include <functional>
#include <map>
#include <set>

namespace signlink {

// New contents for some rows.
struct RowChanges {
    std::map<int, QByteArray> prices; // row 1..10 -> three digits
    std::set<int> notUsed;            // rows 1..10 to mark "not used"

    bool empty() const { return prices.empty() && notUsed.empty(); }
};

inline const QString kNotAllRead =
    QStringLiteral("Стела прочитана не полностью, цены не записаны:");

// Empty when every panel of a read-back gave a good reply, so the sign can be written
// back as it stands; otherwise kNotAllRead and one line per panel without a good reply
// ("ряд 3, вторая половина: нет ответа"), rows 10..1, first half first.
QString describeUnreadPanels(const SignContents& contents);

// What the write sends: each panel as `held` found it, with `changes` applied. `held`
// must come from a read-back in which every panel gave a good reply (see
// describeUnreadPanels): a panel without one has nothing that could be written back.
class HeldSignWrite : public PriceWriteView {
public:
    using Progress = std::function<void(int position)>;
    HeldSignWrite(const SignContents& held, const RowChanges& changes, Progress progress = {});

    PriceRow readRow(int row) override;
    PriceRow secondHalfOf(int row, const PriceRow& firstHalf) override;
    void setProgress(int position) override;

    // The row as it goes to one half.
    PriceRow rowFor(int row, bool secondHalf) const;

private:
    const SignContents& held_;
    const RowChanges& changes_;
    Progress progress_;
};

} // namespace signlink
