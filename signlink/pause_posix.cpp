#include "signlink.h"

#include <chrono>
#include <thread>

namespace signlink {

// nanosleep keeps to the millisecond here: no timer needs raising.
OperationTiming::OperationTiming() = default;
OperationTiming::~OperationTiming() = default;

void SignLink::pause(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace signlink
