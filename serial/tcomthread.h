#pragma once
// TComThread: the event watcher of an open port. It waits for line events without
// using any CPU while the line is idle, hands each set of events to the component's
// thread and waits until it has been dispatched. It never reads received data.
// Stopping wakes it wherever it waits (also in a hand-over) and joins it, waiting a
// bounded time: a watcher that a driver keeps past that is let go, with what it uses.

#include "comtypes.h"

#include <chrono>
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

    // Signals the stop, wakes the thread and waits until it has ended, at most
    // kStopLimit. Returns false when the driver holds the watcher's wait: the thread
    // is then detached (it and its waiter live on) and the device must stay open.
    bool Stop();
    static constexpr std::chrono::milliseconds kStopLimit{3000};
    // Asks the thread to end without waiting (used when a dispatch has failed).
    void RequestEnd();

private:
    struct HandOver;
    struct State;
    static void run(const std::shared_ptr<State>& state);
    static bool handOver(const std::shared_ptr<State>& state, TComEvents events);
    void signalStop(bool closingSteps);

    // Shared with the thread and with queued hand-overs, which may outlive this object.
    std::shared_ptr<State> state_;
    std::thread thread_;
    bool stopped_ = false;
    bool released_ = true;
};
