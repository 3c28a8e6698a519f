#include "maskedit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <functional>
#include <utility>

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
    bool refused = digits.size() != text.size();
    if (!digits.isEmpty()) {
        blankSelection();
        int cursor = cursorPosition();
        for (QChar c : digits) {
            if (cursor >= count_) {
                refused = true;
                break;
            }
            operatorPut(cursor++, c);
        }
        refresh(cursor);
    }
    if (refused)
        refuseInput();
}

void TMaskEdit::refuseInput() {
    QApplication::beep();
    emit inputRefused();
}

void TMaskEdit::pasteDigits() {
    // A copied price often comes with a line break or blanks around it; only what lies
    // between them is typed.
    typeDigits(QGuiApplication::clipboard()->text().trimmed());
}

void TMaskEdit::cutSelection() {
    if (hasSelectedText()) {
        copy();
        blankSelection();
    }
}

void TMaskEdit::keyPressEvent(QKeyEvent* event) {
    if (isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event == QKeySequence::Paste) {
        pasteDigits();
        return;
    }
    if (event == QKeySequence::Cut) {
        cutSelection();
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
    // A character typed; with Ctrl, Alt or Meta held the key is a shortcut instead, and
    // neither types nor beeps.
    const QString text = event->text();
    const auto shortcutModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (!text.isEmpty() && text.at(0).isPrint() && !(event->modifiers() & shortcutModifiers)) {
        typeDigits(text);
        return;
    }
    // Movement, selection, copying, shortcuts, Enter and the like.
    QLineEdit::keyPressEvent(event);
}

void TMaskEdit::inputMethodEvent(QInputMethodEvent* event) {
    typeDigits(event->commitString());
    event->accept();
}

void TMaskEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // Qt gives the focus before it delivers the click that brought it.
    focusByMouse_ = event->reason() == Qt::MouseFocusReason;
}

void TMaskEdit::mousePressEvent(QMouseEvent* event) {
    const bool selectAllPositions =
        focusByMouse_ && (event->button() == Qt::LeftButton || event->button() == Qt::RightButton);
    focusByMouse_ = false;
    if (!selectAllPositions) {
        QLineEdit::mousePressEvent(event);
        return;
    }
    // The click that gave the focus selects everything instead of placing the caret
    // where it fell, so typing, or pasting from the menu a right click opens, replaces the
    // value rather than a part of it.
    clickSelected_ = event->button() == Qt::LeftButton;
    selectAll();
    event->accept();
}

void TMaskEdit::mouseMoveEvent(QMouseEvent* event) {
    if (clickSelected_) {
        event->accept();
        return;
    }
    QLineEdit::mouseMoveEvent(event);
}

void TMaskEdit::mouseReleaseEvent(QMouseEvent* event) {
    if (clickSelected_) {
        clickSelected_ = false;
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

void TMaskEdit::contextMenuEvent(QContextMenuEvent* event) {
    // The line edit's own menu, with Cut, Paste and Delete going through the positions
    // as their keys do (the line edit would change the text and have it taken back).
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const std::pair<QString, std::function<void()>> edits[] = {
        {QLineEdit::tr("Cu&t"), [this] { cutSelection(); }},
        {QLineEdit::tr("&Paste"), [this] { pasteDigits(); }},
        {QLineEdit::tr("Delete"), [this] { blankSelection(); }},
    };
    for (QAction* standard : menu->actions()) {
        for (const auto& [caption, edit] : edits) {
            // The menu's entries read "caption<Tab>shortcut".
            if (standard->text().section(u'\t', 0, 0) != caption)
                continue;
            auto* replacement = new QAction(standard->text(), menu);
            replacement->setEnabled(standard->isEnabled());
            connect(replacement, &QAction::triggered, this, edit);
            menu->insertAction(standard, replacement);
            menu->removeAction(standard);
        }
    }
    menu->popup(event->globalPos());
    event->accept();
}
