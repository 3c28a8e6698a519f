#pragma once
// Write check: compares what a price write sent to each panel with what the read-back
// after it found there, so that a frame the sign never took, a panel that holds
// something else, or a panel the write left out, is told to the operator instead of
// passing in silence.

#include "pricewrite.h"
#include "readback.h"

#include <QString>

#include <vector>

namespace signlink {

inline const QString kNotTakenHeading = QStringLiteral("Стела не приняла цены:");

// One panel that did not take what was written to it.
struct PanelMismatch {
    int row = 0;
    bool secondHalf = false;
    QByteArray sentPrice;          // the three price bytes of the frame
    QByteArray heldPrice;          // the three price bytes the panel reported
    bool acknowledged = false;     // the sign answered the frame with "WOK"
    bool replied = false;          // the read-back got a good reply from the panel
    bool priceDiffers = false;     // the panel holds other price bytes
    bool attributesDiffer = false; // other grade code, or other "Снежинка"/"Евро" bits
    bool leftOut = false;          // not written: it did not answer the read before
    // Its grade code or whole flag byte is not what it reported before the write.
    bool attributesChanged = false;

    // The operator's line for this panel, e.g. "ряд 3, первая половина: записано 469,
    // на стеле 459", "ряд 3, вторая половина: нет ответа" or "ряд 3, вторая половина:
    // нет ответа при чтении — не записана"; a panel whose grade or flags changed:
    // "ряд 6, первая половина: сорт или флаги изменились".
    QString describe() const;
};

// Whether a panel with a good reply shows what the write frame carries: the same three
// price bytes, grade code and "Снежинка"/"Евро" bits. Only flag bits 0-1 count, since a
// row 1 frame carries them on the base 0x00 where the panel reports them on 0x30. The
// write check and a write that sends only what differs judge by this one comparison.
bool panelShows(const PanelReply& reply, const QByteArray& frame);

// The panels that did not take the write or were left out of it, rows 10 down to 1,
// first half before the second within a row; empty when every panel was sent a frame,
// acknowledged it and holds what was sent.
std::vector<PanelMismatch> checkWrite(const WriteRecord& sent, const SignContents& found);

// The panels the write sent a frame whose grade code or whole flag byte now differs from
// what the same panel reported before the write (both replies good; a not-used frame,
// which clears them on purpose, aside). A frame carries grade "0" for a grade it does not
// know and the flag byte rebuilt from bits 0-1 on its row's base, so a panel whose
// reported bytes do not fit that form is changed by a write even of its own price; this
// names it. In checkWrite's order.
std::vector<PanelMismatch> changedAttributes(const WriteRecord& sent, const SignContents& before,
                                             const SignContents& after);

// checkWrite's panels with changedAttributes' panels merged in: one entry per panel, in
// checkWrite's order.
std::vector<PanelMismatch> mergeMismatches(std::vector<PanelMismatch> mismatches,
                                           const std::vector<PanelMismatch>& more);

// The check after a write, for the window and zemta-sign alike: checkWrite's panels, and
// those whose grade or flags the write changed though only their price was due to
// (changedAttributes), one entry per panel.
std::vector<PanelMismatch> checkWrittenSign(const WriteRecord& sent, const SignContents& before,
                                            const SignContents& after);

// Every panel of `found` without a good reply, as "нет ответа", in checkWrite's order.
std::vector<PanelMismatch> unreadPanels(const SignContents& found);

// Every panel as "нет ответа", in checkWrite's order: what the operator is told when a
// sign that gave no good reply at all was not written to.
std::vector<PanelMismatch> noReplyFromAnyPanel();

// The operator's message for a non-empty result of checkWrite: the heading, then one
// line per panel.
QString describeMismatches(const std::vector<PanelMismatch>& mismatches);

} // namespace signlink
