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

// What the watcher and its queued hand-overs share. A hand-over queued on the
// component's thread may run after the watcher has gone; it then finds itself
// cancelled and does nothing.
struct TComThread::State {
    std::mutex mutex;
    std::condition_variable cv;
    bool stop = false;
    bool closingSteps = true; // false when a failed dispatch ended the watcher
    std::shared_ptr<HandOver> pending;
};

TComThread::TComThread(TCustomComPort& owner, std::unique_ptr<ComEventWaiter> waiter,
                       TSyncMethod sync)
    : owner_(owner), waiter_(std::move(waiter)), sync_(sync), state_(std::make_shared<State>()) {
    thread_ = std::thread([this] { run(); });
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
    waiter_->wake();
}

void TComThread::RequestEnd() {
    signalStop(false);
}

void TComThread::Stop() {
    signalStop(true);
    if (thread_.joinable())
        thread_.join();
}

void TComThread::run() {
    for (;;) {
        bool hungUp = false;
        const TComEvents events = waiter_->wait(hungUp);
        {
            std::lock_guard lock(state_->mutex);
            if (state_->stop)
                break;
        }
        if (events && !handOver(events))
            break;
        // A line that has gone away sends nothing more; the dispatch of its error
        // event has told the component, and waiting on would only spin.
        if (hungUp || !events)
            break;
    }
    bool closing;
    {
        std::lock_guard lock(state_->mutex);
        closing = state_->closingSteps;
    }
    if (closing)
        waiter_->finish();
}

// Hands the events over and waits until they have been dispatched; false when the
// watcher was stopped meanwhile.
bool TComThread::handOver(TComEvents events) {
    if (sync_ == smNone) {
        // No hand-over: the events are only announced, from this thread.
        emit owner_.LineEvents(events);
        return true;
    }
    auto request = std::make_shared<HandOver>();
    request->events = events;
    auto state = state_;
    {
        std::lock_guard lock(state->mutex);
        if (state->stop)
            return false;
        state->pending = request;
    }
    TCustomComPort* owner = &owner_;
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
