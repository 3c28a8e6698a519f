// UUCP lock files: stale locks replaced without removing anyone's fresh lock, and a
// release that removes only our own lock. Lock folders of the test's own.

#include "uucplock_posix.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <string>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string kDevice = "/dev/ttyS7";

std::string readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

void writeFile(const std::string& path, const std::string& content) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content.data(), qint64(content.size()));
}

std::string lockText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", int(pid));
    return text;
}

// A process id that names no process (beyond any pid_max).
constexpr pid_t kGone = 999999999;

} // namespace

// Several programs hammer one device whose lock keeps going stale: each takes the lock
// when it can, checks for a while that the lock file still names it, and then "dies"
// (its lock is replaced by one of a gone process) without releasing. A program that
// removed the stale lock by name after another had already replaced it would delete
// that fresh lock and take the device a second time: the holder then finds another
// process id in its lock.
TEST(UucpLock, ProcessesRacingOnAStaleLockNeverTakeEachOthersLock) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string lockPath = folder + "/" + uucplock::lockName(kDevice);
    const std::string stalePath = folder + "/stale";
    writeFile(lockPath, lockText(kGone));
    constexpr int kRacers = 6;
    constexpr int kAttempts = 10000;

    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> racers;
    for (int i = 0; i < kRacers; ++i) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(start[1]);
            char c;
            (void)::read(start[0], &c, 1); // all start when the parent closes it
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            const std::string own = lockText(::getpid());
            const std::string mine = stalePath + std::to_string(::getpid());
            int lost = 0, held = 0;
            for (int n = 0; n < kAttempts && std::chrono::steady_clock::now() < until; ++n) {
                uucplock::DeviceLock lock;
                if (lock.acquire(kDevice, {folder}) != 0)
                    continue;
                ++held;
                for (int look = 0; look < 20; ++look) {
                    if (readAll(lockPath) != own)
                        ++lost;
                    ::sched_yield();
                }
                // Die holding the lock: it now names a process that is gone.
                writeFile(mine, lockText(kGone));
                ::rename(mine.c_str(), lockPath.c_str());
                lock.release();
            }
            ::_exit(lost > 0 ? 1 : held > 0 ? 0 : 2);
        }
        racers.push_back(child);
    }
    ::close(start[0]);
    ::close(start[1]);
    for (pid_t racer : racers) {
        int status = 0;
        ASSERT_EQ(::waitpid(racer, &status, 0), racer);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_NE(WEXITSTATUS(status), 1) << "a fresh lock was taken over by another process";
        EXPECT_NE(WEXITSTATUS(status), 2) << "one process never got the lock";
    }
    EXPECT_EQ(readAll(lockPath), lockText(kGone));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QString::fromStdString(
                                                           uucplock::lockName(kDevice))});
}

TEST(UucpLock, ReleaseRemovesOnlyALockHoldingOurProcessId) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string folder = dir.path().toStdString();
    const std::string lockPath = folder + "/" + uucplock::lockName(kDevice);

    uucplock::DeviceLock lock;
    ASSERT_EQ(lock.acquire(kDevice, {folder}), 0);
    EXPECT_EQ(readAll(lockPath), lockText(::getpid()));
    // Another program took the name over (our parent stands in for it: alive).
    writeFile(lockPath, lockText(::getppid()));
    lock.release();
    EXPECT_EQ(readAll(lockPath), lockText(::getppid()));
}
