#pragma once
// Write result: what a price write (or a dry run of it) did to each of the 20 panels,
// as data for whoever records or judges it: what the panel reported before, what the
// plan sent it, what it reported afterwards, and one verdict word.

#include "writecheck.h"
#include "writeplan.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace signlink {

// What became of one panel. The words of verdictWord are an interface: records and
// scripts keep them, so they are never renamed.
enum class PanelVerdict {
    Unchanged,  // no frame needed: the panel already showed the plan
    Written,    // a frame was sent and the read-back confirms it
    NotTaken,   // a frame was sent and the panel shows something else, or did not
                // acknowledge it, or its grade or flags changed
    NoReply,    // no good reply from the panel (after the write, or in the read before)
    LeftOut,    // not written on purpose (unread before, or the write was refused)
    WouldWrite, // dry run: a frame would be sent
};

// "unchanged", "written", "not_taken", "no_reply", "left_out", "would_write".
QString verdictWord(PanelVerdict verdict);

struct PanelOutcome {
    int row = 0;
    bool secondHalf = false;
    std::optional<QByteArray> before;  // the 14-byte reply the write was planned from
    std::optional<QByteArray> planned; // the 11-byte frame sent (or, in a dry run, to send)
    std::optional<QByteArray> after;   // the 14-byte reply of the read-back after the write
    PanelVerdict verdict = PanelVerdict::Unchanged;
};

struct WriteOutcome {
    QString port;
    bool dryRun = false;
    bool changed = false;                // a frame was sent (dry run: would be sent)
    std::array<PanelOutcome, 20> panels; // first half rows 1..10, then the second half
    QStringList problems;                // the lines the operator is told, one per panel

    const PanelOutcome& panel(int row, bool secondHalf) const;
};

// The frame the plan gives each panel (planRow, as the write builds it), first half rows
// 1..10 then the second half; none where the plan leaves a panel out.
using PlannedFrames = std::array<std::optional<QByteArray>, 20>;
PlannedFrames planFrames(const SignContents& reported, RowRequests& requests);

// A dry run: what a write would send after the read `reported`. A panel that already
// shows its frame is unchanged; a panel without a good reply is no_reply and, when
// `refused` (a write would send nothing then), every other panel that needs a frame is
// left_out.
WriteOutcome dryRunOutcome(const QString& port, const SignContents& reported,
                           const PlannedFrames& plan, bool refused);

// A write: `write.sent` is none when it was refused. `after` is the read-back after it
// and `notTaken` the write check's result on it (both only when something was sent).
WriteOutcome writeOutcome(const QString& port, const PlannedWrite& write, const PlannedFrames& plan,
                          const SignContents* after, const std::vector<PanelMismatch>& notTaken);

} // namespace signlink
