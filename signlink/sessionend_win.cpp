#include "sessionend.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>

#include <windows.h>

namespace sessionend {

namespace {

// Messages the program's thread posts to the watch's window.
constexpr UINT kHoldMessage = WM_APP + 1;    // wParam: 1 hold, 0 let go
constexpr UINT kStopMessage = WM_APP + 2;

std::atomic<bool> sessionEnding{false};
std::atomic<int> writesOnLine{0};
std::atomic<HWND> watchWindow{nullptr};
HANDLE releasedEvent = nullptr; // manual reset; stays open until the process ends

struct WatchState {
    std::wstring reason;
    std::function<void()> onEnding;
    bool holding = false;
};

void setHold(HWND window, WatchState& state, bool hold) {
    if (hold == state.holding)
        return;
    // Only the window's own thread may set or drop its reason.
    state.holding = hold ? ::ShutdownBlockReasonCreate(window, state.reason.c_str()) != FALSE
                         : !::ShutdownBlockReasonDestroy(window);
}

LRESULT CALLBACK watchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<WatchState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_QUERYENDSESSION:
        // The user's choice is respected: a write in progress stops at its next frame
        // and the port is closed before the process goes (WM_ENDSESSION below).
        if (state)
            setHold(window, *state, writesOnLine.load() > 0);
        return TRUE;
    case WM_ENDSESSION:
        if (wParam && state && !sessionEnding.exchange(true)) {
            if (state->onEnding)
                state->onEnding();
            ::WaitForSingleObject(releasedEvent, kReleaseWaitMs);
        }
        if (state)
            setHold(window, *state, false);
        return 0;
    case kHoldMessage:
        if (state)
            setHold(window, *state, wParam != 0 && writesOnLine.load() > 0);
        return 0;
    case kStopMessage:
        ::DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

void runWatch(WatchState* state, HANDLE ready) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = watchProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"ZemtaSessionEndWatch";
    ::RegisterClassW(&windowClass);
    // A top-level window, never shown: the system asks top-level windows about the
    // session's end, and a message-only window is not one of them.
    const HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName,
                                          state->reason.c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                                          nullptr, instance, nullptr);
    if (window)
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    watchWindow = window;
    ::SetEvent(ready);
    if (!window)
        return;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

} // namespace

struct Watch::Running {
    WatchState state;
    std::thread thread;
};

Watch::Watch(const wchar_t* reason, std::function<void()> onEnding)
    : running_(std::make_unique<Running>()) {
    if (!releasedEvent)
        releasedEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    running_->state.reason = reason;
    running_->state.onEnding = std::move(onEnding);
    const HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    running_->thread = std::thread(runWatch, &running_->state, ready);
    if (ready) {
        ::WaitForSingleObject(ready, INFINITE);
        ::CloseHandle(ready);
    }
}

Watch::~Watch() {
    // The program is on its way out: an ending session waits no longer.
    released();
    if (const HWND window = watchWindow.exchange(nullptr))
        ::PostMessageW(window, kStopMessage, 0, 0);
    if (running_->thread.joinable())
        running_->thread.join();
}

bool ending() {
    return sessionEnding.load();
}

void released() {
    if (releasedEvent)
        ::SetEvent(releasedEvent);
}

WriteHold::WriteHold() {
    if (writesOnLine++ == 0)
        if (const HWND window = watchWindow.load())
            ::PostMessageW(window, kHoldMessage, 1, 0);
}

WriteHold::~WriteHold() {
    if (--writesOnLine == 0)
        if (const HWND window = watchWindow.load())
            ::PostMessageW(window, kHoldMessage, 0, 0);
}

} // namespace sessionend
