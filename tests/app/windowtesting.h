#pragma once
// Helpers of the window tests: message boxes recorded instead of shown, controls found
// by name, keys typed into a widget.

#include "errorreport.h"
#include "tform1.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

// Test failures show texts as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

// One message box the program asked for.
struct ShownMessage {
    errorreport::MessageKind kind;
    QString text;
    bool windowVisible; // whether the main window was on screen at that moment
};

// Records every message box for its lifetime; onShow runs as the box would be shown.
class MessageRecorder {
public:
    MessageRecorder() {
        errorreport::setMessagePresenter(
            [this](errorreport::MessageKind kind, const QString& text) {
                shown.push_back({kind, text, mainWindowVisible()});
                if (onShow)
                    onShow(text);
            });
    }
    ~MessageRecorder() { errorreport::setMessagePresenter({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<QString> texts(errorreport::MessageKind kind) const {
        std::vector<QString> result;
        for (const ShownMessage& m : shown)
            if (m.kind == kind)
                result.push_back(m.text);
        return result;
    }
    std::vector<QString> results() const { return texts(errorreport::MessageKind::Result); }
    std::vector<QString> errors() const { return texts(errorreport::MessageKind::Error); }

    std::vector<ShownMessage> shown;
    std::function<void(const QString&)> onShow;

private:
    static bool mainWindowVisible() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<TForm1*>(w) && w->isVisible())
                return true;
        return false;
    }
};

// The child control of that name and type; throws (failing the test) when absent.
template <typename T> T* control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr)
        throw std::runtime_error(std::string("no control ") + name);
    return found;
}

// Presses and releases one key on a widget.
inline void pressKey(QWidget* widget, int key, const QString& text = {},
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QCoreApplication::sendEvent(widget, &release);
}

// Types each character as its own key.
inline void typeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        const int key = c.isDigit()    ? Qt::Key_0 + (c.unicode() - u'0')
                        : c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - u'A')
                                       : Qt::Key_Minus;
        pressKey(widget, key, QString(c));
    }
}
