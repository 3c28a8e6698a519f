#pragma once
// Ending a pending operation of a serial driver within a time limit.
//
// A pending WaitCommEvent or transfer writes into its record and buffers until the
// driver completes it, so they may not go before it has. Drivers need not honour a
// cancellation: the serial way out is tried first (a new event mask ends a pending
// event wait at once; an abort purge ends the transfers), the general cancellation
// after it, and a driver that completes neither within the limit keeps the operation,
// its record, its buffers and the device for the rest of the process's life.
//
// The calls are behind an interface so that the order and the bound are the same
// on every system and can be tried without a driver.

#include <chrono>

namespace driverrelease {

using std::chrono::milliseconds;

// The longest a stop waits for the driver in all.
inline constexpr milliseconds kLimit{2000};
// How long the serial way out is given before the general cancellation follows.
inline constexpr milliseconds kReleaseGrace{500};

// One pending operation of a driver, as the stop sees it.
class PendingOperation {
public:
    virtual ~PendingOperation() = default;
    // The serial way out (SetCommMask(handle, 0) for an event wait; PurgeComm with the
    // abort flags for a transfer).
    virtual void release() = 0;
    // The general cancellation (CancelIoEx of the operation's record).
    virtual void cancel() = 0;
    // Waits at most for the given time; true once the driver has completed the operation.
    virtual bool waitEnded(milliseconds atMost) = 0;
};

enum class Outcome {
    Released,  // ended by the serial way out
    Cancelled, // ended by the cancellation
    Held,      // still pending after the limit: the driver keeps it
};

// Ends op: release, wait up to kReleaseGrace, then cancel and wait for the rest of
// kLimit. The waits together never exceed kLimit.
Outcome end(PendingOperation& op);

} // namespace driverrelease
