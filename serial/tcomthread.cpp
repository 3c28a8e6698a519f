#include "tcomthread.h"

#include "comdevice.h"
#include "tcustomcomport.h"

#include <QMetaObject>

#include <condition_variable>
#include <mutex>

// One hand-over of events to the component's thread.
struct TComThread::HandOver {
    TComEvents events = 0;
    bool done = false;
    bool cancelled = false;
};

// What the watcher, its queued hand-overs and the stopping side share. A hand-over
// queued on the component's thread may run after the watcher has gone; it then finds
// itself cancelled and does nothing. A watcher let go by Stop() keeps this alive, and
// with it the waiter, for as long as it runs.
struct TComThread::State {
    TCustomComPort* owner;
    std::unique_ptr<ComEventWaiter> waiter;
    TSyncMethod sync;
    std::mutex mutex;
    std::condition_variable cv;
    bool stop = false;
    bool closingSteps = true; // false when a failed dispatch ended the watcher
    bool ended = false;       // the thread has done its last step
    bool letGo = false;       // Stop() gave up waiting for it
    std::shared_ptr<HandOver> pending;
};

TComThread::TComThread(TCustomComPort& owner, std::unique_ptr<ComEventWaiter> waiter,
                       TSyncMethod sync)
    : state_(std::make_shared<State>()) {
    state_->owner = &owner;
    state_->waiter = std::move(waiter);
    state_->sync = sync;
    thread_ = std::thread([state = state_] { run(state); });
}

TComThread::~TComThread() {
    Stop();
}

void TComThread::signalStop(bool closingSteps) {
    {
        std::lock_guard lock(state_->mutex);
        state_->stop = true;
        if (!closingSteps)
            state_->closingSteps = false;
        if (state_->pending)
            state_->pending->cancelled = true;
    }
    state_->cv.notify_all();
    state_->waiter->wake();
}

void TComThread::RequestEnd() {
    signalStop(false);
}

bool TComThread::Stop() {
    if (stopped_)
        return released_;
    stopped_ = true;
    signalStop(true);
    if (!thread_.joinable())
        return released_;
    bool ended;
    {
        std::unique_lock lock(state_->mutex);
        ended = state_->cv.wait_for(lock, kStopLimit, [&] { return state_->ended; });
        if (!ended)
            state_->letGo = true;
    }
    if (!ended) {
        // Stuck in a driver call: it keeps the thread, and the thread its state.
        thread_.detach();
        released_ = false;
        return released_;
    }
    thread_.join();
    released_ = !state_->waiter->held();
    return released_;
}

void TComThread::run(const std::shared_ptr<State>& state) {
    ComEventWaiter& waiter = *state->waiter;
    for (;;) {
        bool hungUp = false;
        const TComEvents events = waiter.wait(hungUp);
        {
            std::lock_guard lock(state->mutex);
            if (state->stop)
                break;
        }
        if (events && !handOver(state, events))
            break;
        // A line that has gone away sends nothing more; the dispatch of its error
        // event has told the component, and waiting on would only spin.
        if (hungUp || !events)
            break;
    }
    bool closing;
    {
        std::lock_guard lock(state->mutex);
        closing = state->closingSteps && !state->letGo;
    }
    // A driver that kept the wait, or a thread let go, asks nothing more of the device.
    if (closing && !waiter.held())
        waiter.finish();
    {
        std::lock_guard lock(state->mutex);
        state->ended = true;
    }
    state->cv.notify_all();
}

// Hands the events over and waits until they have been dispatched; false when the
// watcher was stopped meanwhile.
bool TComThread::handOver(const std::shared_ptr<State>& state, TComEvents events) {
    if (state->sync == smNone) {
        // No hand-over: the events are only announced, from this thread.
        emit state->owner->LineEvents(events);
        return true;
    }
    auto request = std::make_shared<HandOver>();
    request->events = events;
    {
        std::lock_guard lock(state->mutex);
        if (state->stop)
            return false;
        state->pending = request;
    }
    TCustomComPort* owner = state->owner;
    // Queued on the component: when the component is destroyed first, Qt drops it.
    QMetaObject::invokeMethod(
        owner,
        [owner, state, request] {
            // Runs on the component's thread, where Stop() runs too: a request not
            // cancelled now cannot be cancelled while it is dispatched.
            {
                std::lock_guard lock(state->mutex);
                if (request->cancelled)
                    return;
            }
            owner->DispatchEvents(request->events);
            {
                std::lock_guard lock(state->mutex);
                request->done = true;
            }
            state->cv.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(state->mutex);
    state->cv.wait(lock, [&] { return request->done || state->stop; });
    state->pending.reset();
    return !state->stop;
}
