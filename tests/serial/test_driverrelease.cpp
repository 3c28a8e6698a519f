// Stopping what a serial driver keeps pending: the order of the ways out and the
// bound on the waits (driverrelease), and the event watcher let go when its wait is
// kept (TComThread). Fakes stand for the driver; the system's calls are the same
// few on every platform.

#include "comdevice.h"
#include "driverrelease.h"
#include "tcomthread.h"
#include "tcustomcomport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using driverrelease::milliseconds;
using driverrelease::Outcome;

namespace {

// A pending operation whose driver ends it at a given step (or never); it writes down
// each call and the time each wait was allowed.
class ScriptedOperation : public driverrelease::PendingOperation {
public:
    enum class EndsOn { Release, Cancel, Never, AlreadyDone };
    explicit ScriptedOperation(EndsOn endsOn) : endsOn_(endsOn), ended_(endsOn == EndsOn::AlreadyDone) {}
    void release() override {
        calls.push_back("release");
        ended_ = ended_ || endsOn_ == EndsOn::Release;
    }
    void cancel() override {
        calls.push_back("cancel");
        ended_ = ended_ || endsOn_ == EndsOn::Cancel;
    }
    bool waitEnded(milliseconds atMost) override {
        calls.push_back("wait " + std::to_string(atMost.count()));
        waited += atMost;
        return ended_;
    }
    std::vector<std::string> calls;
    milliseconds waited{0};

private:
    EndsOn endsOn_;
    bool ended_;
};

} // namespace

TEST(DriverRelease, TriesTheSerialWayFirstAndCancelsOnlyWhenItFails) {
    using E = ScriptedOperation::EndsOn;
    struct Row {
        E endsOn;
        Outcome outcome;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {E::AlreadyDone, Outcome::Released, {"release", "wait 500"}},
        {E::Release, Outcome::Released, {"release", "wait 500"}},
        {E::Cancel, Outcome::Cancelled, {"release", "wait 500", "cancel", "wait 1500"}},
        {E::Never, Outcome::Held, {"release", "wait 500", "cancel", "wait 1500"}},
    };
    for (const Row& r : rows) {
        ScriptedOperation op(r.endsOn);
        EXPECT_EQ(driverrelease::end(op), r.outcome);
        EXPECT_EQ(op.calls, r.calls);
        // However the driver behaves, the stop never waits longer than its limit.
        EXPECT_LE(op.waited, driverrelease::kLimit);
    }
}

namespace {

// An event waiter standing for a driver: it waits until woken, and then either lets
// the wait go, reports it held, or (stuck) does not return until the test opens its gate.
class FakeWaiter : public ComEventWaiter {
public:
    enum class OnWake { Return, ReturnHeld, Stuck };
    struct Probe {
        std::atomic<bool> finished{false};
        std::promise<void> gate;      // opens a stuck wait
        std::promise<void> destroyed; // the waiter is gone with the thread's last step
    };
    FakeWaiter(OnWake onWake, std::shared_ptr<Probe> probe)
        : onWake_(onWake), probe_(std::move(probe)) {}
    ~FakeWaiter() override { probe_->destroyed.set_value(); }

    TComEvents wait(bool& hungUp) override {
        hungUp = false;
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [&] { return woken_; });
        lock.unlock();
        if (onWake_ == OnWake::Stuck)
            probe_->gate.get_future().wait();
        return 0;
    }
    void wake() override {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        cv_.notify_all();
    }
    void finish() override { probe_->finished = true; }
    bool held() const override { return onWake_ == OnWake::ReturnHeld; }

private:
    OnWake onWake_;
    std::shared_ptr<Probe> probe_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool woken_ = false;
};

} // namespace

TEST(DriverRelease, AWatcherWhoseWaitIsKeptIsLetGoWithinTheStopLimit) {
    using W = FakeWaiter::OnWake;
    struct Row {
        W onWake;
        bool released;
        bool finished; // the closing steps ran
    };
    const Row rows[] = {
        {W::Return, true, true},
        {W::ReturnHeld, false, false},
        {W::Stuck, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.onWake));
        TCustomComPort owner;
        auto probe = std::make_shared<FakeWaiter::Probe>();
        auto watcher = std::make_unique<TComThread>(
            owner, std::make_unique<FakeWaiter>(r.onWake, probe), smThreadSync);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(watcher->Stop(), r.released);
        EXPECT_LE(std::chrono::steady_clock::now() - start, TComThread::kStopLimit + 1s);
        EXPECT_EQ(probe->finished.load(), r.finished);
        // Stopping again, and destroying, do not wait a second time.
        EXPECT_EQ(watcher->Stop(), r.released);
        watcher.reset();
        if (r.onWake == W::Stuck) {
            // The let-go thread still has its waiter: it returns when the driver does,
            // asks nothing more of it, and takes it along when it ends.
            probe->gate.set_value();
        }
        probe->destroyed.get_future().wait();
        EXPECT_EQ(probe->finished.load(), r.finished) << "after the thread ended";
    }
}
