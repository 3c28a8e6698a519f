#pragma once
// Row changes: a price write that changes only the rows it names, as zemta-sign asks for
// it. The named rows get a new price in both halves (each half keeping its own grade and
// flags) or the not-used marker; every other panel goes back as a read-back found it.

#include "writeplan.h"

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

// The operator's requests of a write that changes the rows `changes` names.
class ChangedRows : public RowRequests {
public:
    using Progress = std::function<void(int position)>;
    explicit ChangedRows(const RowChanges& changes, Progress progress = {});

    RowRequest requestFor(int row) override;
    void setProgress(int position) override;

private:
    const RowChanges& changes_;
    Progress progress_;
};

} // namespace signlink
