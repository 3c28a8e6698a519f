#pragma once
// Price write: sends the ten price rows to both halves of the sign, up to 20 frames,
// each acknowledged by the sign with "WOK" (up to three attempts).

#include "signlink.h"

#include <array>
#include <optional>

namespace signlink {

struct PanelReply;

// What the write reads of one price row, once, before the row's two frames.
struct PriceRow {
    QString price;        // the entry's three positions; a blank position is ' '
    bool notUsed = false; // "Не исп."
    int gradeIndex = 0;   // 0..4, -1 when no grade is selected
    bool snowflake = false;
    bool euro = false;
    // Per position, a byte the sign itself reported (copied in by a read-back and not
    // edited since): it goes back to the sign exactly as it came, whatever it is.
    std::array<std::optional<char>, 3> heldBytes{};
};

// The row as a panel reports it, to be written back unchanged: its three price bytes
// as they came, its grade and its two flags.
PriceRow heldRow(const PanelReply& reply);

// What the two panels of one row are sent; a half without a value is left out.
struct RowPlan {
    std::optional<PriceRow> firstHalf;
    std::optional<PriceRow> secondHalf;
};

// What the write sent to one panel, and whether the sign acknowledged it.
struct SentFrame {
    int row = 0; // 0: the write ended before this frame
    bool secondHalf = false;
    QByteArray frame; // the 11 bytes on the line; empty when left out
    bool acknowledged = false;
    bool leftOut = false; // the plan sent this panel nothing
    // Not sent because the panel already showed `frame` (a write of what differs only).
    bool unchanged = false;
};
// The 20 frames in the order of the sequence, left-out panels in their place.
using WriteRecord = std::array<SentFrame, 20>;

inline const QString kWillWrite = QStringLiteral("Запишу ");
inline const QString kFirstHalfPanel = QStringLiteral(" панель:");
inline const QString kSecondHalfPanel = QStringLiteral("` панель:");
inline const QString kAwaitingAck = QStringLiteral("--- Жду ответ после записи данных ---");
inline const QString kAckGood = QStringLiteral("Принятые данные верные:");

// Attempts of the acknowledgement wait for one frame.
inline constexpr int kAckAttempts = 3;

// The panel address of row 1..10: "0".."9" in the first half, "@".."I" in the second.
char panelAddress(int row, bool secondHalf);

// The 9-byte body of a write frame for row 1..10 in the given half.
QByteArray buildWriteBody(int row, bool secondHalf, const PriceRow& input);
// The 11-byte write frame: body plus checksum characters.
QByteArray buildWriteFrame(int row, bool secondHalf, const PriceRow& input);

class PriceWriteView {
public:
    virtual ~PriceWriteView() = default;
    // What the row's two panels are sent, asked once before the row's frames.
    virtual RowPlan planFor(int row) = 0;
    virtual void setProgress(int position) = 0;
};

// The write sequence (without the read-back that follows it); port failures propagate.
// A panel the plan leaves out gets neither of its two frame copies; all other frames go
// in the usual order. Returns what went to each panel and whether the sign acknowledged
// it.
WriteRecord writeSign(SignLink& link, PriceWriteView& view);

} // namespace signlink
