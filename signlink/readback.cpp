// Price read-back: the checksum-checked panel read and the whole-sign sequence.
#include "readback.h"

#include <algorithm>

namespace signlink {

namespace {

// Byte i of a reply, or 0 when the reply is shorter (a blank or a short buffer).
char byteAt(const QByteArray& bytes, int i) {
    return i < bytes.size() ? bytes.at(i) : '\0';
}

// Offsets in a 14-byte panel reply.
constexpr int kChecksumAt = 12; // two checksum characters follow the 12-byte body
constexpr int kReplyBody = 12;
constexpr int kReplyAddressAt = 1;

} // namespace

const std::array<ReadBackStep, 20>& readBackSteps() {
    // step, first half, row, address, label, entry, attribute set, zero first, progress.
    // Rows 6..10 share row 5's set in the window, so no panel but rows 1..5's own may
    // write a set: row 1's comes from "0" and, read last, "@".
    static const std::array<ReadBackStep, 20> steps{{
        {1, true, 1, '0', "Label9", "MaskEdit6", 1, false, 2},
        {2, true, 2, '1', "Label12", "MaskEdit5", 2, false, 3},
        {3, true, 3, '2', "Label13", "MaskEdit4", 3, false, 4},
        {4, true, 4, '3', "Label14", "MaskEdit3", 4, false, 5},
        {5, true, 5, '4', "Label10", "MaskEdit1", 5, false, 6},
        {6, true, 6, '5', "Label15", "input6", 0, true, 7},
        {7, true, 7, '6', "Label16", "input7", 0, true, 8},
        {8, true, 8, '7', "Label19", "input8", 0, true, 9},
        {9, true, 9, '8', "Label20", "input9", 0, true, 10},
        {10, true, 10, '9', "Label21", "input10", 0, true, 11},
        {11, false, 10, 'I', "Label11", nullptr, 0, false, 12},
        {12, false, 9, 'H', "Label8", nullptr, 0, false, 13},
        {13, false, 8, 'G', "Label4", nullptr, 0, false, 14},
        {14, false, 7, 'F', "Label3", nullptr, 0, false, 15},
        {15, false, 6, 'E', "Label2", nullptr, 0, false, 16},
        {16, false, 5, 'D', "lbl1", nullptr, 0, true, 17},
        {17, false, 4, 'C', "lbl2", nullptr, 0, true, 18},
        {18, false, 3, 'B', "lbl3", nullptr, 0, true, 19},
        {19, false, 2, 'A', "lbl4", nullptr, 0, true, 20},
        {20, false, 1, '@', "lbl5", nullptr, 1, false, 0},
    }};
    return steps;
}

bool PanelReply::good() const {
    return byteAt(bytes, 0) == 'T' && byteAt(bytes, 10) == 'O' && byteAt(bytes, 11) == 'K';
}

QByteArray PanelReply::price() const {
    return bytes.mid(2, 3);
}

int PanelReply::gradeIndex() const {
    const int index = static_cast<unsigned char>(byteAt(bytes, 6)) - 0x31;
    return index >= 0 && index <= 4 ? index : -1;
}

bool PanelReply::snowflake() const {
    return (byteAt(bytes, 7) & 0x01) != 0;
}

bool PanelReply::euro() const {
    return (byteAt(bytes, 7) & 0x02) != 0;
}

const PanelReply& SignContents::panel(int row, bool secondHalf) const {
    return panels_.at((secondHalf ? 10 : 0) + row - 1);
}

PanelReply& SignContents::panel(int row, bool secondHalf) {
    return panels_.at((secondHalf ? 10 : 0) + row - 1);
}

int SignContents::goodPanels() const {
    return static_cast<int>(std::count_if(panels_.begin(), panels_.end(),
                                          [](const PanelReply& r) { return r.good(); }));
}

QByteArray readCommand(char address) {
    QByteArray command("R");
    command.append(address);
    command.append('E');
    return command;
}

void readPanel(SignLink& link, char address) {
    const OperationTiming timing;
    QByteArray& reply = link.replyBuffer();
    const QByteArray command = readCommand(address);
    bool matched = false;
    for (int cycle = 1; cycle <= kPanelReadCycles && !matched; ++cycle) {
        SignLink::pause(link.readDelay());
        link.port().PurgeQueues(true, true);
        link.log(kReadingPanel + QLatin1Char(address) + kReadingPanelEnd);
        link.port().SendText(command);
        link.pollPanelRead();

        // A blank buffer has 12 spaces as its body, which give "00", and two spaces
        // where the checksum characters would be: a short reply never matches.
        const QByteArray computed = checksumChars(reply.left(kReplyBody));
        const QByteArray received = reply.mid(kChecksumAt, 2);
        link.log(kChecksumReceived + signText(received));
        link.log(kChecksumComputed + signText(computed));
        matched = received == computed;
        // A reply that names another panel is not this panel's: a reply that came too late
        // for an earlier exchange still waits on the line, and taking it would show (and
        // write back) that panel's price here. The cycle counts as failed, as for a bad
        // checksum.
        if (matched && byteAt(reply, kReplyAddressAt) != address) {
            link.log(kOtherPanelReply + signText(reply));
            matched = false;
        }
    }
    if (!matched)
        reply = kBlankReply;
}

SignContents readBackSign(SignLink& link, ReadBackView& view) {
    const OperationTiming timing;
    SignContents contents;
    view.setProgress(0);
    view.setProgress(1);
    link.pumpMessages();

    for (const ReadBackStep& step : readBackSteps()) {
        readPanel(link, step.address);
        // A copy: an operation let through by the pump below may reuse the buffer.
        const PanelReply reply{link.replyBuffer()};
        if (!reply.good())
            link.log(kBadData + signText(reply.bytes));
        contents.panel(step.row, !step.firstHalf) = reply;
        view.showPanel(step, reply);

        if (step.zeroFirst) {
            view.setProgress(0);
            link.pumpMessages();
        }
        view.setProgress(step.progressAfter);
        link.pumpMessages();
    }
    return contents;
}

} // namespace signlink
