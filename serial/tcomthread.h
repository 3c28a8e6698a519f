#pragma once
// TComThread: the event watcher of an open port. It waits for line events without
// using any CPU while the line is idle, hands each set of events to the component's
// thread and waits until it has been dispatched. It never reads received data.
// Stopping wakes it wherever it waits (also in a hand-over) and joins it.

#include "comtypes.h"

#include <memory>
#include <thread>

class ComEventWaiter;
class TCustomComPort;

class TComThread {
public:
    TComThread(TCustomComPort& owner, std::unique_ptr<ComEventWaiter> waiter, TSyncMethod sync);
    ~TComThread(); // stops and joins

    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // Signals the stop, wakes the thread and waits until it has ended.
    void Stop();
    // Asks the thread to end without waiting (used when a dispatch has failed).
    void RequestEnd();

private:
    struct HandOver;
    struct State;
    void run();
    bool handOver(TComEvents events);
    void signalStop(bool closingSteps);

    TCustomComPort& owner_;
    std::unique_ptr<ComEventWaiter> waiter_;
    TSyncMethod sync_;
    // Shared with queued hand-overs, which may outlive this object.
    std::shared_ptr<State> state_;
    std::thread thread_;
};
