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
    line += QStringLiteral("записано ") + signText(sentPrice) + QStringLiteral(", на стеле ") +
            signText(heldPrice);
    if (attributesDiffer)
        line += QStringLiteral(", сорт или флаги отличаются");
    if (!acknowledged && !priceDiffers && !attributesDiffer)
        line += QStringLiteral(", запись не подтверждена");
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
    std::sort(mismatches.begin(), mismatches.end(),
              [](const PanelMismatch& a, const PanelMismatch& b) {
                  return a.row != b.row ? a.row > b.row : !a.secondHalf && b.secondHalf;
              });
    return mismatches;
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
