#pragma once
// Write plan: what the price write sends to each panel, from what the panels reported in
// a read-back and what the operator asked for. No panel is sent a price, grade or flag
// byte that neither the operator asked for nor that panel itself reported; a panel that
// reported nothing, in a row nobody asked to change, is not written at all.

#include "pricewrite.h"
#include "readback.h"

#include <functional>
#include <optional>

namespace signlink {

// What the operator asked for in one price row.
struct RowRequest {
    // The row's entry was edited, or its "Не исп." box changed, since the sign was last
    // read; the row is then written from `typed`.
    bool asked = false;
    // The entry and the not-used box; its grade and flags (the row's attribute set) are
    // only used for a half when neither half of the row reported its own.
    PriceRow typed;
};

// Plans one row from the replies of its two panels (a panel without a good reply has
// reported nothing):
// - a row asked for: both halves get the typed price, or the not-used marker when it is
//   ticked; each half keeps the grade and flags it reported, a half that did not report
//   takes its partner's, and when neither did, the typed row's;
// - any other row: each half goes back exactly as it reported itself (price bytes as they
//   came, grade, flags); a half that did not report is left out.
RowPlan planRow(const PanelReply& firstHalf, const PanelReply& secondHalf,
                const RowRequest& request);

// Where the planned write takes what the operator asked for, and shows its progress.
class RowRequests {
public:
    virtual ~RowRequests() = default;
    // What the operator asked of a row; read once, before the row's frames.
    virtual RowRequest requestFor(int row) = 0;
    virtual void setProgress(int position) = 0;
};

// Which planned frames go out.
enum class PlannedFrameSending {
    All,           // every panel the plan does not leave out, as the window writes
    OnlyDiffering, // only panels that do not already show their frame (panelShows); the
                   // others are recorded as unchanged and get nothing
};

// The write sequence with each row planned by planRow from `reported` and `requests`.
// Port failures propagate.
WriteRecord writePlanned(SignLink& link, const SignContents& reported, RowRequests& requests,
                         PlannedFrameSending sending = PlannedFrameSending::All);

// What a panel without a good reply means to the write.
enum class UnreadPanels {
    LeaveOut, // plan the write without them: their untouched rows keep what they hold
    Refuse,   // write nothing unless every panel reported
};

// The price write with the read before it, as the window and zemta-sign run it.
struct PlannedWrite {
    SignContents reported;           // the replies the write was planned from
    std::optional<WriteRecord> sent; // none: nothing was written
};

// Plans from `latest` when it holds a good reply of every panel; otherwise reads the sign
// first with `readFirst` (a read-back that shows itself) and plans from that. Writes
// nothing when not one panel reported, nor, with UnreadPanels::Refuse, when any panel did
// not. Port failures propagate.
PlannedWrite writeAfterReading(SignLink& link, RowRequests& requests, const SignContents* latest,
                               const std::function<SignContents()>& readFirst, UnreadPanels unread,
                               PlannedFrameSending sending = PlannedFrameSending::All);

} // namespace signlink
