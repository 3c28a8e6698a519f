#pragma once
// Price write: sends the ten price rows to both halves of the sign, 20 frames,
// each acknowledged by the sign with "WOK" (up to three attempts).

#include "signlink.h"

namespace signlink {

// What the write reads of one price row, once, before the row's two frames.
struct PriceRow {
    QString price;        // the entry's three positions; a blank position is ' '
    bool notUsed = false; // "Не исп."
    int gradeIndex = 0;   // 0..4, -1 when no grade is selected
    bool snowflake = false;
    bool euro = false;
};

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
    virtual PriceRow readRow(int row) = 0;
    virtual void setProgress(int position) = 0;
};

// The write sequence (without the read-back that follows it); port failures propagate.
void writeSign(SignLink& link, PriceWriteView& view);

} // namespace signlink
