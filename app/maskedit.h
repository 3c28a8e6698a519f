#pragma once
// TMaskEdit: a fixed-width entry of optional digit positions, as the price, level and
// interval fields use it.
//
// Each position holds a character or nothing. The operator can only type digits; a
// typed digit overwrites the position at the cursor. A position holding nothing shows
// the placeholder "0" and counts as 0, yet stays distinguishable from a typed "0"
// (positions() reports it as a blank).
//
// Text set from code (the read-back copying what a panel holds, e.g. "---") is taken
// verbatim: each character fills one position, a space stays blank, missing trailing
// positions are blank. Such characters are shown and reported as they stand, so a
// write that follows sends back exactly what the sign held.
//
// A key or pasted character the positions cannot take (no digit, or no position left)
// is dropped with the desktop's beep. A mouse click that gives the entry the focus
// selects all positions, as Tab does, so that typing replaces the whole value.
//
// Text the sign reported (setSignBytes) also keeps, per position, the byte as it came
// until the operator edits that position, so that a byte the display cannot tell apart
// (a control byte, a code page 1251 letter) still goes back to the sign unchanged.

#include <QByteArray>
#include <QLineEdit>
#include <QString>

#include <optional>
#include <vector>

class TMaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TMaskEdit(int positionCount, QWidget* parent = nullptr);

    int positionCount() const { return count_; }
    // The positions, one character each; a blank position is ' '.
    QString positions() const { return positions_; }
    // The number shown: blanks (and characters that are no digit) count as 0.
    int value() const;

    // Fills the entry with what the sign reported: `bytes` as they came, `shown` their
    // display text, one character per byte. Clears editedByOperator().
    void setSignBytes(const QByteArray& bytes, const QString& shown);
    // The byte the sign reported for a position, unless the operator has edited that
    // position since.
    std::optional<char> heldByte(int position) const;
    // Whether the operator has changed the entry since start or since code last set it
    // or forgot the edits.
    bool editedByOperator() const { return editedByOperator_; }
    // Counts the entry as not edited, leaving what it shows and holds as it is.
    void forgetEdits() { editedByOperator_ = false; }

signals:
    // Typed or pasted characters were dropped (the beep has sounded).
    void inputRefused();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Text set from code (QLineEdit::setText): adopt it verbatim.
    void adoptText(const QString& text);
    // Positions to display text; blanks show the placeholder.
    void refresh(int cursor);
    // Overwrites positions with digits from the cursor on; non-digits are dropped.
    void typeDigits(const QString& text);
    // Blanks the selected positions; returns false when nothing was selected.
    bool blankSelection();
    // The clipboard's text typed in (Ctrl+V and the context menu's Paste).
    void pasteDigits();
    // Copies the selection and blanks its positions (Ctrl+X and the menu's Cut).
    void cutSelection();
    // Beeps and tells inputRefused.
    void refuseInput();

    // The operator puts c (a digit or a blank) into a position: its held byte is gone.
    void operatorPut(int position, QChar c);

    int count_;
    QString positions_;
    bool refreshing_ = false;               // the text is being set from the positions
    bool userEdit_ = false;                 // the line edit changed its text on its own
    bool focusByMouse_ = false;             // the focus came with a mouse click not yet delivered
    bool clickSelected_ = false;            // that click selected all; its drag is ignored
    std::vector<std::optional<char>> held_; // per position, a byte the sign reported
    bool editedByOperator_ = false;
};
