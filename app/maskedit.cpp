#include "maskedit.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>

namespace {

constexpr QChar kBlank = u' ';
constexpr QChar kPlaceholder = u'0';

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

} // namespace

TMaskEdit::TMaskEdit(int positionCount, QWidget* parent)
    : QLineEdit(parent), count_(positionCount), positions_(positionCount, kBlank),
      held_(static_cast<std::size_t>(positionCount)) {
    setMaxLength(count_);
    setAcceptDrops(false);
    // Typing, deleting and pasting are handled here position by position. Any other edit
    // the line edit makes on its own (its context menu, an input method's preedit) is
    // taken back: textEdited marks it, and the textChanged that follows restores the
    // positions.
    connect(this, &QLineEdit::textEdited, this, [this] { userEdit_ = true; });
    connect(this, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (refreshing_)
            return;
        if (userEdit_) {
            userEdit_ = false;
            refresh(qMin(cursorPosition(), count_));
            return;
        }
        adoptText(text);
    });
    refresh(0);
}

int TMaskEdit::value() const {
    int value = 0;
    for (QChar c : positions_)
        value = value * 10 + (isAsciiDigit(c) ? c.unicode() - u'0' : 0);
    return value;
}

void TMaskEdit::adoptText(const QString& text) {
    positions_ = text.left(count_).leftJustified(count_, kBlank);
    held_.assign(held_.size(), std::nullopt);
    editedByOperator_ = false;
    refresh(qMin(cursorPosition(), count_));
}

void TMaskEdit::setSignBytes(const QByteArray& bytes, const QString& shown) {
    positions_ = shown.left(count_).leftJustified(count_, kBlank);
    for (int i = 0; i < count_; ++i)
        held_.at(i) = i < bytes.size() ? std::optional<char>(bytes.at(i)) : std::nullopt;
    editedByOperator_ = false;
    refresh(qMin(cursorPosition(), count_));
}

std::optional<char> TMaskEdit::heldByte(int position) const {
    if (position < 0 || position >= count_)
        return std::nullopt;
    return held_.at(position);
}

void TMaskEdit::operatorPut(int position, QChar c) {
    positions_[position] = c;
    held_.at(position).reset();
    editedByOperator_ = true;
}

void TMaskEdit::refresh(int cursor) {
    QString shown = positions_;
    shown.replace(kBlank, kPlaceholder);
    refreshing_ = true;
    if (text() != shown)
        setText(shown);
    setCursorPosition(cursor);
    refreshing_ = false;
}

bool TMaskEdit::blankSelection() {
    if (!hasSelectedText())
        return false;
    const int start = selectionStart();
    const int end = qMin(start + selectionLength(), count_);
    for (int i = start; i < end; ++i)
        operatorPut(i, kBlank);
    refresh(start);
    return true;
}

void TMaskEdit::typeDigits(const QString& text) {
    QString digits;
    for (QChar c : text)
        if (isAsciiDigit(c))
            digits += c;
    if (digits.isEmpty())
        return;
    blankSelection();
    int cursor = cursorPosition();
    for (QChar c : digits) {
        if (cursor >= count_)
            break;
        operatorPut(cursor++, c);
    }
    refresh(cursor);
}

void TMaskEdit::keyPressEvent(QKeyEvent* event) {
    if (isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event == QKeySequence::Paste) {
        typeDigits(QGuiApplication::clipboard()->text());
        return;
    }
    if (event == QKeySequence::Cut) {
        if (hasSelectedText()) {
            copy();
            blankSelection();
        }
        return;
    }
    if (event == QKeySequence::Undo || event == QKeySequence::Redo)
        return;
    if (event->key() == Qt::Key_Backspace) {
        if (!blankSelection() && cursorPosition() > 0) {
            const int cursor = cursorPosition() - 1;
            operatorPut(cursor, kBlank);
            refresh(cursor);
        }
        return;
    }
    if (event->key() == Qt::Key_Delete) {
        if (!blankSelection() && cursorPosition() < count_) {
            operatorPut(cursorPosition(), kBlank);
            refresh(cursorPosition());
        }
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        typeDigits(text);
        return;
    }
    // Movement, selection, copying, Enter and the like.
    QLineEdit::keyPressEvent(event);
}

void TMaskEdit::inputMethodEvent(QInputMethodEvent* event) {
    typeDigits(event->commitString());
    event->accept();
}
