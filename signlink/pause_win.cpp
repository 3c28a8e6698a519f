#include "signlink.h"

#include <windows.h>

#include <timeapi.h>

namespace signlink {

namespace {
// Windows wakes a sleeping thread at its timer's ticks, 15.6 ms apart unless a program
// asks for finer ones: a Sleep(50) would then last up to 62.5 ms, and a read-back of
// forty pauses a quarter longer than on Linux. The finer timer is held only while a
// pause lasts, so that an idle program leaves the machine's timer alone.
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
} // namespace

// Sleep itself rather than std::this_thread::sleep_for: the MinGW runtime's nanosleep
// waits on an event and rounds up, which was measured at about a millisecond more per
// pause under Wine.
void SignLink::pause(int ms) {
    if (ms <= 0)
        return;
    FineTimer timer;
    ::Sleep(DWORD(ms));
}

} // namespace signlink
