// Write result: each panel's before, plan, after and verdict.
#include "writeresult.h"

namespace signlink {

namespace {

// Index of a panel in WriteOutcome::panels and PlannedFrames.
int panelIndex(int row, bool secondHalf) {
    return (secondHalf ? 10 : 0) + row - 1;
}

// Index of a panel's frame in a WriteRecord: the order of the write sequence.
int frameIndex(int row, bool secondHalf) {
    return 2 * (row - 1) + (secondHalf ? 1 : 0);
}

std::optional<QByteArray> replyBytes(const PanelReply& reply) {
    return reply.good() ? std::optional(reply.bytes) : std::nullopt;
}

// Whether the plan needs no frame for a panel: it already shows what the frame carries.
bool alreadyShown(const PanelReply& reply, const std::optional<QByteArray>& frame) {
    return frame && panelShows(reply, *frame);
}

const PanelMismatch* findPanel(const std::vector<PanelMismatch>& panels, int row, bool secondHalf) {
    for (const PanelMismatch& panel : panels)
        if (panel.row == row && panel.secondHalf == secondHalf)
            return &panel;
    return nullptr;
}

WriteOutcome emptyOutcome(const QString& port, bool dryRun) {
    WriteOutcome outcome;
    outcome.port = port;
    outcome.dryRun = dryRun;
    for (int row = 1; row <= 10; ++row)
        for (const bool second : {false, true}) {
            PanelOutcome& panel = outcome.panels.at(panelIndex(row, second));
            panel.row = row;
            panel.secondHalf = second;
        }
    return outcome;
}

// The unread panels' lines, as the refusal tells them.
QStringList unreadLines(const SignContents& reported) {
    QStringList lines;
    for (const PanelMismatch& panel : unreadPanels(reported))
        lines << panel.describe();
    return lines;
}

} // namespace

QString verdictWord(PanelVerdict verdict) {
    switch (verdict) {
    case PanelVerdict::Unchanged:
        return QStringLiteral("unchanged");
    case PanelVerdict::Written:
        return QStringLiteral("written");
    case PanelVerdict::NotTaken:
        return QStringLiteral("not_taken");
    case PanelVerdict::NoReply:
        return QStringLiteral("no_reply");
    case PanelVerdict::LeftOut:
        return QStringLiteral("left_out");
    case PanelVerdict::WouldWrite:
        return QStringLiteral("would_write");
    }
    return {};
}

const PanelOutcome& WriteOutcome::panel(int row, bool secondHalf) const {
    return panels.at(panelIndex(row, secondHalf));
}

PlannedFrames planFrames(const SignContents& reported, RowRequests& requests) {
    PlannedFrames frames;
    for (int row = 1; row <= 10; ++row) {
        const RowPlan plan = planRow(reported.panel(row, false), reported.panel(row, true),
                                     requests.requestFor(row));
        if (plan.firstHalf)
            frames.at(panelIndex(row, false)) = buildWriteFrame(row, false, *plan.firstHalf);
        if (plan.secondHalf)
            frames.at(panelIndex(row, true)) = buildWriteFrame(row, true, *plan.secondHalf);
    }
    return frames;
}

WriteOutcome dryRunOutcome(const QString& port, const SignContents& reported,
                           const PlannedFrames& plan, bool refused) {
    WriteOutcome outcome = emptyOutcome(port, true);
    for (PanelOutcome& panel : outcome.panels) {
        const PanelReply& reply = reported.panel(panel.row, panel.secondHalf);
        const std::optional<QByteArray>& frame = plan.at(panelIndex(panel.row, panel.secondHalf));
        panel.before = replyBytes(reply);
        if (!reply.good()) {
            panel.verdict = PanelVerdict::NoReply;
        } else if (alreadyShown(reply, frame)) {
            panel.verdict = PanelVerdict::Unchanged;
        } else if (refused || !frame) {
            panel.verdict = PanelVerdict::LeftOut;
        } else {
            panel.verdict = PanelVerdict::WouldWrite;
            panel.planned = frame;
            outcome.changed = true;
        }
    }
    if (refused)
        outcome.problems = unreadLines(reported);
    return outcome;
}

WriteOutcome writeOutcome(const QString& port, const PlannedWrite& write, const PlannedFrames& plan,
                          const SignContents* after, const std::vector<PanelMismatch>& notTaken) {
    if (!write.sent) {
        // Refused: nothing went out, and the verdicts are those of a dry run, except
        // that no panel would be written.
        WriteOutcome outcome = dryRunOutcome(port, write.reported, plan, true);
        outcome.dryRun = false;
        return outcome;
    }
    WriteOutcome outcome = emptyOutcome(port, false);
    for (PanelOutcome& panel : outcome.panels) {
        const SentFrame& sent = write.sent->at(frameIndex(panel.row, panel.secondHalf));
        panel.before = replyBytes(write.reported.panel(panel.row, panel.secondHalf));
        if (after != nullptr)
            panel.after = replyBytes(after->panel(panel.row, panel.secondHalf));
        if (sent.row == 0 || sent.unchanged) {
            panel.verdict = PanelVerdict::Unchanged;
            continue;
        }
        if (sent.leftOut) {
            panel.verdict = panel.before ? PanelVerdict::LeftOut : PanelVerdict::NoReply;
            continue;
        }
        outcome.changed = true;
        panel.planned = sent.frame;
        const PanelMismatch* mismatch = findPanel(notTaken, panel.row, panel.secondHalf);
        panel.verdict = mismatch == nullptr ? PanelVerdict::Written
                        : mismatch->replied ? PanelVerdict::NotTaken
                                            : PanelVerdict::NoReply;
    }
    for (const PanelMismatch& panel : notTaken)
        outcome.problems << panel.describe();
    return outcome;
}

} // namespace signlink
