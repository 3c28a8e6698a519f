// Price write: frame building and the acknowledged write of all 20 panels.
#include "pricewrite.h"

#include "readback.h"

#include "sessionend.h"

#include <QtGlobal>

namespace signlink {

namespace {

// A position of the price entry as a frame character: a digit stands for itself; a
// blank (or missing) position is shown as "0" by the entry and is sent as "0". An entry
// can also hold what the read-back copied from a panel, such as the "---" of a panel
// without a price; printable ASCII goes back to the sign as it stands, so writing an
// untouched row leaves its panel as it was. Anything else is sent as "0", unless the
// position still holds a byte the sign reported, which goes back as it came.
char priceChar(const PriceRow& input, int position) {
    if (const std::optional<char>& held = input.heldBytes.at(position))
        return *held;
    const QString& price = input.price;
    if (position >= price.size())
        return '0';
    const QChar c = price.at(position);
    return c > QLatin1Char(' ') && c <= QLatin1Char('~') ? c.toLatin1() : '0';
}

// Frame sent for a row, then sent again by every attempt until "WOK" comes back.
// Returns whether it came.
bool awaitAcknowledgement(SignLink& link, const QByteArray& frame) {
    for (int attempt = 1; attempt <= kAckAttempts; ++attempt) {
        link.port().SendText(frame);
        // Whatever the sign answered to the earlier copies goes here.
        link.port().PurgeQueues(true, true);
        link.log(kAwaitingAck);
        link.pollWriteAck();
        if (link.ackBuffer().startsWith("WOK")) {
            link.log(kAckGood + signText(link.ackBuffer()));
            return true;
        }
    }
    // Three attempts without "WOK": the write goes on; the read-back shows the result.
    return false;
}

} // namespace

char panelAddress(int row, bool secondHalf) {
    Q_ASSERT(row >= 1 && row <= 10);
    return static_cast<char>((secondHalf ? 0x40 : 0x30) + row - 1);
}

QByteArray buildWriteBody(int row, bool secondHalf, const PriceRow& input) {
    QByteArray body;
    body.reserve(9);
    body.append('W');
    body.append(panelAddress(row, secondHalf));

    if (input.notUsed) {
        // Not-used marker: dashes, no grade, no flags, whatever the row holds.
        body.append("----");
        body.append('0');
        body.append('\0');
    } else {
        const char third = priceChar(input, 2);
        body.append(priceChar(input, 0));
        body.append(priceChar(input, 1));
        body.append(third);
        body.append(third); // the sign expects the last price character twice
        const bool graded = input.gradeIndex >= 0 && input.gradeIndex <= 4;
        body.append(graded ? static_cast<char>(0x31 + input.gradeIndex) : '0');
        // Row 1 carries its flags in the low bits alone; rows 2..10 above "0".
        const int flagBase = row == 1 ? 0x00 : 0x30;
        body.append(static_cast<char>(flagBase + (input.snowflake ? 1 : 0) + (input.euro ? 2 : 0)));
    }
    body.append('E');
    return body;
}

QByteArray buildWriteFrame(int row, bool secondHalf, const PriceRow& input) {
    const QByteArray body = buildWriteBody(row, secondHalf, input);
    return body + checksumChars(body);
}

PriceRow heldRow(const PanelReply& reply) {
    PriceRow row;
    const QByteArray price = reply.price();
    row.price = QString::fromLatin1(price);
    for (int i = 0; i < 3 && i < price.size(); ++i)
        row.heldBytes.at(i) = price.at(i);
    row.gradeIndex = reply.gradeIndex();
    row.snowflake = reply.snowflake();
    row.euro = reply.euro();
    return row;
}

WriteRecord writeSign(SignLink& link, PriceWriteView& view) {
    const OperationTiming timing;
    const sessionend::WriteHold hold; // frames on the line: the session end waits
    WriteRecord record;
    view.setProgress(0);
    view.setProgress(1);
    link.pumpMessages();
    link.port().PurgeQueues(true, true);

    for (int row = 1; row <= 10; ++row) {
        // Planned once: both halves get the row as it stood before its first frame.
        const RowPlan plan = view.planFor(row);
        for (const bool second : {false, true}) {
            const int frameNumber = 2 * row - (second ? 0 : 1);
            const std::optional<PriceRow>& input = second ? plan.secondHalf : plan.firstHalf;
            if (!input) {
                record.at(frameNumber - 1) = {row, second, {}, false, true};
                continue;
            }
            const QByteArray body = buildWriteBody(row, second, *input);
            link.lastChecksum() = checksumChars(body);
            // The frame is sent from this copy: an operation let through by the pump
            // below may overwrite the reply buffer, but not what goes on the line.
            const QByteArray frame = body + link.lastChecksum();
            link.replyBuffer() = frame;
            link.log(kWillWrite + QString::number(row) +
                     (second ? kSecondHalfPanel : kFirstHalfPanel) + signText(frame));
            if (frameNumber > 1) {
                view.setProgress(frameNumber);
                link.pumpMessages();
            }
            link.port().SendText(frame);
            const bool acknowledged = awaitAcknowledgement(link, frame);
            record.at(frameNumber - 1) = {row, second, frame, acknowledged, false};
        }
    }
    return record;
}

} // namespace signlink
