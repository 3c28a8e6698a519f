#include "driverrelease.h"

namespace driverrelease {

Outcome end(PendingOperation& op) {
    op.release();
    if (op.waitEnded(kReleaseGrace))
        return Outcome::Released;
    op.cancel();
    if (op.waitEnded(kLimit - kReleaseGrace))
        return Outcome::Cancelled;
    return Outcome::Held;
}

} // namespace driverrelease
