#pragma once
// Helpers of the window tests: message boxes recorded instead of shown, controls found
// by name, keys typed into a widget.

#include "errorreport.h"
#include "tform1.h"

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
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

// One key pressed and released where the keyboard's keys go: the focus widget.
inline void keyToFocus(int key, const QString& text = {},
                       Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false) {
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, modifiers, text, autoRepeat);
        QCoreApplication::sendEvent(QApplication::focusWidget(), &event);
    }
}

// Shows the window and makes it the active one; false when it did not become active.
inline bool activate(QWidget& window) {
    window.show();
    window.activateWindow();
    for (int i = 0; i < 100 && !window.isActiveWindow(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return window.isActiveWindow();
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

// Replaces what a masked entry holds, as the operator does: cursor home, then the digits.
inline void retype(QWidget& window, const char* entry, const QString& digits) {
    auto* edit = control<TMaskEdit>(window, entry);
    pressKey(edit, Qt::Key_Home);
    typeText(edit, digits);
}

inline void click(QWidget& window, const char* button) {
    control<QPushButton>(window, button)->click();
}

// A quick read delay for tests; the simulator's replies (about 10 ms on the line) still
// arrive within the polls.
inline void useShortReadDelay(QWidget& window, int ms = 20) {
    control<QSlider>(window, "RxSlider1")->setValue(ms);
}

inline const QColor kPureRed(255, 0, 0);
inline const QColor kPureGreen(0, 255, 0);

inline QColor textColor(QLabel* label) {
    return label->palette().color(QPalette::WindowText);
}

// The seven buttons a write or read-back holds, and "Эффект".
inline constexpr const char* kSignButtons[] = {"Button5",  "Button7", "Button8", "Button6",
                                               "Button36", "Button2", "Button1", "effect"};

inline bool allSignButtonsEnabled(QWidget& window) {
    for (const char* name : kSignButtons)
        if (!control<QPushButton>(window, name)->isEnabled())
            return false;
    return true;
}

// One price row's controls; index row - 1 (row 1 at the bottom of the window).
struct RowControls {
    const char* entry;
    const char* notUsed;
    const char* firstLabel;
    const char* secondLabel;
};
inline constexpr RowControls kRows[10] = {
    {"MaskEdit6", "CheckBox3", "Label9", "lbl5"},  {"MaskEdit5", "CheckBox6", "Label12", "lbl4"},
    {"MaskEdit4", "CheckBox4", "Label13", "lbl3"}, {"MaskEdit3", "CheckBox5", "Label14", "lbl2"},
    {"MaskEdit1", "CheckBox1", "Label10", "lbl1"}, {"input6", "chk5", "Label15", "Label2"},
    {"input7", "chk4", "Label16", "Label3"},       {"input8", "chk3", "Label19", "Label4"},
    {"input9", "chk2", "Label20", "Label8"},       {"input10", "chk1", "Label21", "Label11"},
};

// The hidden attribute sets of rows 1..5 (rows 6..10 use row 5's).
struct SetControls {
    const char* grade;
    const char* snowflake;
    const char* euro;
};
inline constexpr SetControls kSets[5] = {
    {"ComboBox5", "CheckBox10", "CheckBox15"}, {"ComboBox4", "CheckBox9", "CheckBox14"},
    {"ComboBox3", "CheckBox8", "CheckBox13"},  {"ComboBox2", "CheckBox7", "CheckBox12"},
    {"ComboBox1", "CheckBox2", "CheckBox11"},
};

// Sets an environment variable for its lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name_, QFile::encodeName(value));
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};
