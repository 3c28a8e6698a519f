#pragma once
// The general error report and the one way message boxes reach the operator.
//
// Every click handler and the start-up run inside runGuarded(): whatever an operation
// throws (EComPort, any std::exception, anything else) ends that operation and is shown
// in one error box; nothing crosses Qt's event loop. Operation results and error boxes
// both go through the message presenter, which tests replace to record them.

#include <QString>

#include <functional>

namespace errorreport {

enum class MessageKind {
    Result, // an operation's result: no icon
    Error,  // the general error report: error icon
};

// Shows a modal message box with one OK button and returns when it is closed.
using MessagePresenter = std::function<void(MessageKind kind, const QString& text)>;

// Replaces the presenter; an empty one restores the default modal QMessageBox, captioned
// with the application title, whose OK button passes through the "default" text domain.
void setMessagePresenter(MessagePresenter presenter);

// An operation's result for the operator.
void showMessage(const QString& text);

// The report's text: the message with "." appended when its last character's code is
// above that of "." (so "...failed" gets one, "...(win error code: 2)" does not).
QString reportText(const QString& message);

// Shows the general error report for a failure's message.
void reportError(const QString& message);

// Runs the operation; a failure is reported and swallowed. Returns true when the
// operation ended normally.
bool runGuarded(const std::function<void()>& operation) noexcept;

} // namespace errorreport
