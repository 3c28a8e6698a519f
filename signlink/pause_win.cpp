#include "signlink.h"

#include <optional>

#include <windows.h>

#include <timeapi.h>

namespace signlink {

namespace {
// Windows wakes a sleeping thread at its timer's ticks, 15.6 ms apart unless a program
// asks for finer ones: a Sleep(50) would then last up to 62.5 ms, and a read-back of
// forty pauses a quarter longer than on Linux. The finer timer is asked for once per
// sign operation (changing it often costs the whole system), and given back at its
// end, so that an idle program leaves the machine's timer alone.
class FineTimer {
public:
    FineTimer() : raised_(::timeBeginPeriod(1) == TIMERR_NOERROR) {}
    ~FineTimer() {
        if (raised_)
            ::timeEndPeriod(1);
    }
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;

private:
    bool raised_;
};

// Windows 11 may ignore a hidden or covered program's timer request (ours may sit
// behind the till software). The process asks to be heard all the same, once. The
// call is looked up at run time; where the system does not know the request (Windows
// 10) it fails and changes nothing.
void keepTimerRequestsHeard() {
    static const bool done = [] {
        using SetInformation = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
        const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
        const auto set = kernel ? reinterpret_cast<SetInformation>(reinterpret_cast<void*>(
                                      ::GetProcAddress(kernel, "SetProcessInformation")))
                                : nullptr;
        if (set) {
            PROCESS_POWER_THROTTLING_STATE state{};
            state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
            // Controlled and not set: timer resolution requests are always honoured.
            state.ControlMask = PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
            state.StateMask = 0;
            set(::GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
        }
        return true;
    }();
    (void)done;
}

int operationDepth = 0;
std::optional<FineTimer> operationTimer;
} // namespace

OperationTiming::OperationTiming() {
    if (operationDepth++ == 0) {
        keepTimerRequestsHeard();
        operationTimer.emplace();
    }
}

OperationTiming::~OperationTiming() {
    if (--operationDepth == 0) {
        operationTimer.reset();
    }
}

// Sleep itself rather than std::this_thread::sleep_for: the MinGW runtime's nanosleep
// waits on an event and rounds up, which was measured at about a millisecond more per
// pause under Wine.
void SignLink::pause(int ms) {
    if (ms <= 0)
        return;
    if (operationDepth > 0) {
        ::Sleep(DWORD(ms));
        return;
    }
    FineTimer timer;
    ::Sleep(DWORD(ms));
}

} // namespace signlink
