#pragma once
// The end of the user's session (log-off, shut-down, restart) as both programs meet it.
//
// Windows asks every top-level window whether the session may end, then tells it that
// it ends, and ends the process soon after the answer. A console program that has
// loaded the user-interface library (QtCore does) is asked like a window program and
// no longer through its console handler; and a program whose thread is inside a sign
// operation's pause cannot answer in time. So a hidden window on a thread of its own
// answers for the program:
//   - while a write is on the line the session end is held with a reason the system
//     shows ("holdWhileWriting");
//   - when the session ends, ending() turns true, the program is told (onEnding, on the
//     watch's thread), the running operation stops at its next frame boundary, the
//     program closes its port and calls released(), and the session goes on; it waits
//     for that at most kReleaseWaitMs.
// Elsewhere the watch does nothing: the system's signals stop the tool.

#include <functional>
#include <memory>

namespace sessionend {

// How long the end of the session waits for the port to be closed.
inline constexpr unsigned kReleaseWaitMs = 4000;

class Watch {
public:
    // reason: the text the system shows while a write holds the session end. onEnding
    // runs on the watch's own thread when the session ends (may be empty).
    Watch(const wchar_t* reason, std::function<void()> onEnding);
    ~Watch();
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

private:
    // The watch's thread and window; left to the system when the program exits at once.
    struct Running;
    std::unique_ptr<Running> running_;
};

// True once the session ends (only while a Watch lives).
bool ending();
// The program has stopped and closed its port: the ending session goes on.
void released();

// Holds the session end with the watch's reason while it lives (a write on the line).
class WriteHold {
public:
    WriteHold();
    ~WriteHold();
    WriteHold(const WriteHold&) = delete;
    WriteHold& operator=(const WriteHold&) = delete;
};

// Thrown by the operations' checks when the session ends: the operation stops there,
// and nothing is reported to the operator.
struct Ending {};

} // namespace sessionend
