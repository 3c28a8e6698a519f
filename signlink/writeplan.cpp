// Write plan: each panel's frame from its own reply and the operator's request.
#include "writeplan.h"

#include "writecheck.h"

namespace signlink {

namespace {

// The typed row as it goes to a half whose grade and flags come from `attributes`.
PriceRow typedWith(const PriceRow& typed, const PriceRow& attributes) {
    PriceRow input = typed;
    input.gradeIndex = attributes.gradeIndex;
    input.snowflake = attributes.snowflake;
    input.euro = attributes.euro;
    return input;
}

// Adds the plan to what the operator asked for.
class PlannedRows : public PriceWriteView {
public:
    PlannedRows(const SignContents& reported, RowRequests& requests, PlannedFrameSending sending)
        : reported_(reported), requests_(requests), sending_(sending) {}

    RowPlan planFor(int row) override {
        RowPlan plan = planRow(reported_.panel(row, false), reported_.panel(row, true),
                               requests_.requestFor(row));
        if (sending_ == PlannedFrameSending::OnlyDiffering) {
            holdBackShown(row, false, plan.firstHalf);
            holdBackShown(row, true, plan.secondHalf);
        }
        return plan;
    }
    void setProgress(int position) override { requests_.setProgress(position); }

    // Marks the panels held back as unchanged, with the frame they already show.
    void markUnchanged(WriteRecord& record) const {
        for (SentFrame& sent : record) {
            if (sent.row == 0 || !sent.leftOut)
                continue;
            const QByteArray& held = shown_.at((sent.secondHalf ? 10 : 0) + sent.row - 1);
            if (held.isEmpty())
                continue;
            sent.leftOut = false;
            sent.unchanged = true;
            sent.frame = held;
        }
    }

private:
    // Leaves a half out when its panel already shows the frame the plan gives it.
    void holdBackShown(int row, bool second, std::optional<PriceRow>& half) {
        if (!half)
            return;
        const QByteArray frame = buildWriteFrame(row, second, *half);
        if (panelShows(reported_.panel(row, second), frame)) {
            shown_.at((second ? 10 : 0) + row - 1) = frame;
            half.reset();
        }
    }

    const SignContents& reported_;
    RowRequests& requests_;
    PlannedFrameSending sending_;
    std::array<QByteArray, 20> shown_; // frames held back, first half rows 1..10 first
};

} // namespace

RowPlan planRow(const PanelReply& firstHalf, const PanelReply& secondHalf,
                const RowRequest& request) {
    const std::optional<PriceRow> first =
        firstHalf.good() ? std::optional(heldRow(firstHalf)) : std::nullopt;
    const std::optional<PriceRow> second =
        secondHalf.good() ? std::optional(heldRow(secondHalf)) : std::nullopt;
    if (!request.asked)
        return {first, second};
    // Each half's own grade and flags, else its partner's, else the typed row's.
    const PriceRow& fallback = first ? *first : second ? *second : request.typed;
    return {typedWith(request.typed, first.value_or(fallback)),
            typedWith(request.typed, second.value_or(fallback))};
}

WriteRecord writePlanned(SignLink& link, const SignContents& reported, RowRequests& requests,
                         PlannedFrameSending sending) {
    const OperationTiming timing;
    PlannedRows rows(reported, requests, sending);
    WriteRecord record = writeSign(link, rows);
    rows.markUnchanged(record);
    return record;
}

PlannedWrite writeAfterReading(SignLink& link, RowRequests& requests, const SignContents* latest,
                               const std::function<SignContents()>& readFirst, UnreadPanels unread,
                               PlannedFrameSending sending) {
    const OperationTiming timing;
    PlannedWrite write;
    write.reported = latest != nullptr && latest->goodPanels() == 20 ? *latest : readFirst();
    const int good = write.reported.goodPanels();
    if (good == 0 || (unread == UnreadPanels::Refuse && good < 20))
        return write;
    write.sent = writePlanned(link, write.reported, requests, sending);
    return write;
}

} // namespace signlink
