// Write check: what each panel was sent against what it holds afterwards.
#include "writecheck.h"

#include <algorithm>

namespace signlink {

namespace {

// Offsets in a write frame and in a panel reply.
constexpr int kFramePrice = 2; // three price bytes, in both
constexpr int kFrameGrade = 6;
constexpr int kFrameFlags = 7;
constexpr int kReplyGrade = 6;
constexpr int kReplyFlags = 7;
// The flag bits both sides carry: "Снежинка" and "Евро".
constexpr int kFlagBits = 0x03;

char byteAt(const QByteArray& bytes, int i) {
    return i < bytes.size() ? bytes.at(i) : '\0';
}

// The grade code and the two flag bits of a reply against those of a frame.
bool attributesMatch(const PanelReply& reply, const QByteArray& frame) {
    const QByteArray& held = reply.bytes;
    return byteAt(held, kReplyGrade) == byteAt(frame, kFrameGrade) &&
           (byteAt(held, kReplyFlags) & kFlagBits) == (byteAt(frame, kFrameFlags) & kFlagBits);
}

// checkWrite's order: rows 10 down to 1, the first half before the second.
bool listedBefore(const PanelMismatch& a, const PanelMismatch& b) {
    return a.row != b.row ? a.row > b.row : !a.secondHalf && b.secondHalf;
}

// A frame that marks its panel not used: dashes for the price.
bool notUsedFrame(const QByteArray& frame) {
    return frame.mid(kFramePrice, 4) == "----";
}

} // namespace

bool panelShows(const PanelReply& reply, const QByteArray& frame) {
    return reply.good() && reply.price() == frame.mid(kFramePrice, 3) &&
           attributesMatch(reply, frame);
}

QString PanelMismatch::describe() const {
    QString line = QStringLiteral("ряд ") + QString::number(row) +
                   (secondHalf ? QStringLiteral(", вторая половина: ")
                               : QStringLiteral(", первая половина: "));
    if (leftOut)
        return line + QStringLiteral("нет ответа при чтении — не записана");
    if (!replied)
        return line + QStringLiteral("нет ответа");
    if (attributesChanged && acknowledged && !priceDiffers && !attributesDiffer)
        return line + QStringLiteral("сорт или флаги изменились");
    line += QStringLiteral("записано ") + signText(sentPrice) + QStringLiteral(", на стеле ") +
            signText(heldPrice);
    if (attributesDiffer)
        line += QStringLiteral(", сорт или флаги отличаются");
    if (!acknowledged && !priceDiffers && !attributesDiffer)
        line += QStringLiteral(", запись не подтверждена");
    if (attributesChanged && !attributesDiffer)
        line += QStringLiteral(", сорт или флаги изменились");
    return line;
}

std::vector<PanelMismatch> checkWrite(const WriteRecord& sent, const SignContents& found) {
    std::vector<PanelMismatch> mismatches;
    for (const SentFrame& frame : sent) {
        if (frame.row == 0 || frame.unchanged)
            continue; // the write ended before this frame, or it needed none
        const PanelReply& reply = found.panel(frame.row, frame.secondHalf);
        PanelMismatch panel;
        panel.row = frame.row;
        panel.secondHalf = frame.secondHalf;
        if (frame.leftOut) {
            panel.leftOut = true;
            mismatches.push_back(panel);
            continue;
        }
        panel.sentPrice = frame.frame.mid(kFramePrice, 3);
        panel.acknowledged = frame.acknowledged;
        panel.replied = reply.good();
        if (panel.replied) {
            panel.heldPrice = reply.price();
            panel.priceDiffers = panel.heldPrice != panel.sentPrice;
            panel.attributesDiffer = !attributesMatch(reply, frame.frame);
        }
        if (!panel.replied || !panel.acknowledged || panel.priceDiffers || panel.attributesDiffer)
            mismatches.push_back(panel);
    }
    std::sort(mismatches.begin(), mismatches.end(), listedBefore);
    return mismatches;
}

std::vector<PanelMismatch> changedAttributes(const WriteRecord& sent, const SignContents& before,
                                             const SignContents& after) {
    std::vector<PanelMismatch> changed;
    for (const SentFrame& frame : sent) {
        if (frame.row == 0 || frame.leftOut || frame.unchanged || notUsedFrame(frame.frame))
            continue; // no frame went to it, or one that clears grade and flags on purpose
        const PanelReply& was = before.panel(frame.row, frame.secondHalf);
        const PanelReply& now = after.panel(frame.row, frame.secondHalf);
        if (!was.good() || !now.good())
            continue; // nothing to compare; checkWrite names a panel without an answer
        if (byteAt(now.bytes, kReplyGrade) == byteAt(was.bytes, kReplyGrade) &&
            byteAt(now.bytes, kReplyFlags) == byteAt(was.bytes, kReplyFlags))
            continue;
        PanelMismatch panel;
        panel.row = frame.row;
        panel.secondHalf = frame.secondHalf;
        panel.sentPrice = frame.frame.mid(kFramePrice, 3);
        panel.heldPrice = now.price();
        panel.acknowledged = frame.acknowledged;
        panel.replied = true;
        panel.priceDiffers = panel.heldPrice != panel.sentPrice;
        panel.attributesDiffer = !attributesMatch(now, frame.frame);
        panel.attributesChanged = true;
        changed.push_back(panel);
    }
    std::sort(changed.begin(), changed.end(), listedBefore);
    return changed;
}

std::vector<PanelMismatch> mergeMismatches(std::vector<PanelMismatch> mismatches,
                                           const std::vector<PanelMismatch>& more) {
    for (const PanelMismatch& panel : more) {
        const auto same = std::find_if(mismatches.begin(), mismatches.end(),
                                       [&](const PanelMismatch& m) {
                                           return m.row == panel.row &&
                                                  m.secondHalf == panel.secondHalf;
                                       });
        if (same != mismatches.end())
            same->attributesChanged = same->attributesChanged || panel.attributesChanged;
        else
            mismatches.push_back(panel);
    }
    std::stable_sort(mismatches.begin(), mismatches.end(), listedBefore);
    return mismatches;
}

std::vector<PanelMismatch> checkWrittenSign(const WriteRecord& sent, const SignContents& before,
                                            const SignContents& after) {
    return mergeMismatches(checkWrite(sent, after), changedAttributes(sent, before, after));
}

std::vector<PanelMismatch> unreadPanels(const SignContents& found) {
    std::vector<PanelMismatch> unread;
    for (int row = 10; row >= 1; --row)
        for (const bool second : {false, true})
            if (!found.panel(row, second).good()) {
                PanelMismatch panel;
                panel.row = row;
                panel.secondHalf = second;
                unread.push_back(panel);
            }
    return unread;
}

std::vector<PanelMismatch> noReplyFromAnyPanel() {
    return unreadPanels(SignContents{});
}

QString describeMismatches(const std::vector<PanelMismatch>& mismatches) {
    QString text = kNotTakenHeading;
    for (const PanelMismatch& panel : mismatches)
        text += QLatin1Char('\n') + panel.describe();
    return text;
}

} // namespace signlink
