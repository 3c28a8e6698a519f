#pragma once
// Price read-back: reads every panel with checksum-checked retries and reports
// each panel's result, step by step, to whoever shows it.

#include "signlink.h"

#include <array>

namespace signlink {

// One of the 20 steps of the whole-sign read-back.
struct ReadBackStep {
    int step;          // 1..20, the order in which panels are read
    bool firstHalf;    // "Первая половина" or "Вторая половина"
    int row;           // 1 (bottom) .. 10 (top)
    char address;      // panel address, "0".."9" or "@".."I"
    const char* label; // display label control
    const char* entry; // price entry control, nullptr for the second half
    int attributeSet;  // 1..5, or 0 when the step updates no attribute set
    bool zeroFirst;    // progress bar goes to 0 (messages let through) first
    int progressAfter; // progress position after the step
};

// The steps in the order they run: first half "0".."9", then second half "I".."@".
// Only rows 1..5 of the first half and row 1 of the second half carry an attribute
// set, so row 1's grade and flags come from row 1's own panels only.
const std::array<ReadBackStep, 20>& readBackSteps();

// The grades a panel can carry, by grade index: grade code "1".."5".
inline const QStringList kGradeNames = {QStringLiteral("80"), QStringLiteral("92"),
                                        QStringLiteral("95"), QStringLiteral("98"),
                                        QStringLiteral("ДТ")};

// A 14-byte panel reply as the read-back judges it.
struct PanelReply {
    QByteArray bytes;

    // "T" at byte 0, "O" and "K" at bytes 10 and 11.
    bool good() const;
    QByteArray price() const; // bytes 2..4
    int gradeIndex() const;   // byte 6 - 0x31 when 0..4, else -1 (no item selected)
    bool snowflake() const;   // bit 0 of byte 7 ("Снежинка")
    bool euro() const;        // bit 1 of byte 7 ("Евро")
};

// What a read-back found: the reply of every panel, blank for a panel that gave no
// reply with a matching checksum.
class SignContents {
public:
    const PanelReply& panel(int row, bool secondHalf) const;
    PanelReply& panel(int row, bool secondHalf);
    // Panels whose reply was good.
    int goodPanels() const;

private:
    std::array<PanelReply, 20> panels_; // first half rows 1..10, then second half
};

// Receives the read-back's results.
class ReadBackView {
public:
    virtual ~ReadBackView() = default;
    // Called once per step: a good reply (show green, copy price, set attributes) or
    // a bad one (show "XX.XX" red).
    virtual void showPanel(const ReadBackStep& step, const PanelReply& reply) = 0;
    virtual void setProgress(int position) = 0;
};

inline const QString kBadData = QStringLiteral("Принятые данные ошибочные:");
inline const QString kReadingPanel = QStringLiteral("--- Читаю панель");
inline const QString kReadingPanelEnd = QStringLiteral(" ---");
inline const QString kChecksumReceived = QStringLiteral("Контрольная сумма принятая ");
inline const QString kChecksumComputed = QStringLiteral("Контрольная сумма расчитанная ");
// Logged, with the 14 bytes as they came, for a reply whose byte 1 names another panel.
inline const QString kOtherPanelReply = QStringLiteral("Ответ другой панели: ");

// Cycles one panel gets before its reply is given up as blank.
inline constexpr int kPanelReadCycles = 7;
// What the reply buffer holds when a panel gave no reply with a matching checksum.
inline const QByteArray kBlankReply = QByteArray(16, ' ');

// The read command of a panel: "R", the panel address, "E".
QByteArray readCommand(char address);

// Reads one panel: up to 7 cycles until the checksum matches and byte 1 names the panel
// asked. On return the reply buffer holds such a 14-byte reply, or 16 spaces.
void readPanel(SignLink& link, char address);

// Reads all 20 panels in step order and returns what each held; port failures
// propagate.
SignContents readBackSign(SignLink& link, ReadBackView& view);

} // namespace signlink
