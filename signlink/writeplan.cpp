// Write plan: each panel's frame from its own reply and the operator's request.
#include "writeplan.h"

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
    PlannedRows(const SignContents& reported, RowRequests& requests)
        : reported_(reported), requests_(requests) {}

    RowPlan planFor(int row) override {
        return planRow(reported_.panel(row, false), reported_.panel(row, true),
                       requests_.requestFor(row));
    }
    void setProgress(int position) override { requests_.setProgress(position); }

private:
    const SignContents& reported_;
    RowRequests& requests_;
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

WriteRecord writePlanned(SignLink& link, const SignContents& reported, RowRequests& requests) {
    const OperationTiming timing;
    PlannedRows rows(reported, requests);
    return writeSign(link, rows);
}

PlannedWrite writeAfterReading(SignLink& link, RowRequests& requests, const SignContents* latest,
                               const std::function<SignContents()>& readFirst,
                               UnreadPanels unread) {
    const OperationTiming timing;
    PlannedWrite write;
    write.reported = latest != nullptr && latest->goodPanels() == 20 ? *latest : readFirst();
    const int good = write.reported.goodPanels();
    if (good == 0 || (unread == UnreadPanels::Refuse && good < 20))
        return write;
    write.sent = writePlanned(link, write.reported, requests);
    return write;
}

} // namespace signlink
