// The Windows side of the console: text through the console's UTF-16 interface when a
// stream is a console and as UTF-8 bytes when it is redirected, the console's output
// code page set to UTF-8 while the program runs (and given back on every way out the
// program sees), and Ctrl+C, Ctrl+Break and the closing of the console stopping an
// operation with the port closed; a second Ctrl+C or Ctrl+Break ends the program at once.
//
// Log-off and shut-down do not reach the handler here (the user-interface library is
// loaded, so Windows asks the program's windows instead): sessionend.h answers them.
#include "console.h"

#include "sessionend.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>

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
// The console's output code page before ours; 0 when there is none to give back.
std::atomic<UINT> previousOutputCodePage{0};

// Gives the console its code page back, once, whichever way out comes first. The
// console is shared with the shell and the programs run after us.
void restoreCodePage() noexcept {
    if (const UINT page = previousOutputCodePage.exchange(0))
        ::SetConsoleOutputCP(page);
}

BOOL WINAPI noteControlEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // The second request while the first is being honoured: the system's own
        // handler ends the process now (a driver call may be what keeps us).
        if (pendingSignal.exchange(kInterruptSignal) != 0) {
            restoreCodePage();
            return FALSE;
        }
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends as soon as this handler returns: the operation, which
        // notices the request at its next poll, gets the time to close the port.
        pendingSignal = kHangUpSignal;
        if (consoleDone)
            ::WaitForSingleObject(consoleDone, kCloseGraceMs);
        restoreCodePage();
        return TRUE;
    default:
        return FALSE;
    }
}

bool isConsole(HANDLE h) {
    DWORD mode = 0;
    return h != nullptr && h != INVALID_HANDLE_VALUE && ::GetConsoleMode(h, &mode);
}

std::terminate_handler previousTerminate = nullptr;

[[noreturn]] void restoreAndTerminate() {
    restoreCodePage();
    if (previousTerminate)
        previousTerminate();
    std::abort();
}

} // namespace

Console::Console() : terminal_(isConsole(::GetStdHandle(STD_ERROR_HANDLE))) {
    consoleDone = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // A request to stop counts from the start, and its handler is the one that gives
    // the code page back on the ways out that skip the destructor.
    ::SetConsoleCtrlHandler(noteControlEvent, TRUE);
    // A program that reads our redirected output in the same console (more, findstr)
    // shows it by the console's code page: UTF-8 while we run, the user's one after.
    const UINT page = ::GetConsoleOutputCP();
    if (page != 0 && page != CP_UTF8) {
        previousOutputCodePage = page;
        ::SetConsoleOutputCP(CP_UTF8);
        // exit() from anywhere, and a failure that ends the program.
        std::atexit([] { restoreCodePage(); });
        previousTerminate = std::set_terminate(restoreAndTerminate);
    }
}

Console::~Console() {
    endProgress();
    restoreCodePage();
    // The handle stays open: a control handler may be waiting on it until the process ends.
    if (consoleDone)
        ::SetEvent(consoleDone);
    // An ending session waits for this too.
    sessionend::released();
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
    // Installed with the console already; installing it again would only add a call.
}

void throwIfInterrupted() {
    if (const int signal = pendingSignal.load())
        throw Interrupted{signal};
}

} // namespace cli
