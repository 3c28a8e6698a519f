// The Windows side of the console: text through the console's UTF-16 interface when a
// stream is a console and as UTF-8 bytes when it is redirected, the console's output
// code page set to UTF-8 while the program runs, and Ctrl+C, Ctrl+Break and the
// closing of the console stopping an operation with the port closed.
#include "console.h"

#include <atomic>
#include <cstdio>

#include <windows.h>

namespace cli {

namespace {

constexpr int kInterruptSignal = 2; // Ctrl+C, Ctrl+Break: as SIGINT
constexpr int kHangUpSignal = 1;    // console closed, log-off, shut-down: as SIGHUP

// How long closing the console waits for the operation to close the port; the system
// ends the process after about five seconds anyway.
constexpr DWORD kCloseGraceMs = 4000;

std::atomic<int> pendingSignal{0};
// Set when the console object ends, after the operation has closed the port.
HANDLE consoleDone = nullptr;
// The console's output code page before ours, 0 when there is no console.
UINT previousOutputCodePage = 0;

BOOL WINAPI noteControlEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        pendingSignal = kInterruptSignal;
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends as soon as this handler returns: the operation, which
        // notices the request at its next poll, gets the time to close the port.
        pendingSignal = kHangUpSignal;
        if (consoleDone)
            ::WaitForSingleObject(consoleDone, kCloseGraceMs);
        return TRUE;
    default:
        return FALSE;
    }
}

bool isConsole(HANDLE h) {
    DWORD mode = 0;
    return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode);
}

} // namespace

Console::Console() : terminal_(isConsole(::GetStdHandle(STD_ERROR_HANDLE))) {
    consoleDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // A program that reads our redirected output in the same console (more, findstr)
    // shows it by the console's code page: UTF-8 while we run, the user's one after.
    previousOutputCodePage = ::GetConsoleOutputCP();
    if (previousOutputCodePage != 0)
        ::SetConsoleOutputCP(CP_UTF8);
}

Console::~Console() {
    endProgress();
    if (previousOutputCodePage != 0)
        ::SetConsoleOutputCP(previousOutputCodePage);
    // The handle stays open: a control handler may be waiting on it until the process ends.
    if (consoleDone)
        ::SetEvent(consoleDone);
}

void Console::write(Stream stream, const QString& text) {
    const HANDLE h = ::GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (isConsole(h)) {
        // UTF-16 to the console shows every character whatever its code page.
        const auto* p = reinterpret_cast<const wchar_t*>(text.utf16());
        DWORD left = DWORD(text.size());
        while (left > 0) {
            DWORD written = 0;
            if (!::WriteConsoleW(h, p, left, &written, nullptr) || written == 0)
                return;
            p += written;
            left -= written;
        }
        return;
    }
    std::FILE* file = stream == Stream::Out ? stdout : stderr;
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
    std::fflush(file);
}

void installSignalHandlers() {
    ::SetConsoleCtrlHandler(noteControlEvent, TRUE);
}

void throwIfInterrupted() {
    if (const int signal = pendingSignal.load())
        throw Interrupted{signal};
}

} // namespace cli
