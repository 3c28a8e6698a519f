#pragma once
// UUCP lock files: how serial programs on Linux (terminal programs, modem tools, other
// serial libraries) tell each other which device is in use. A program that uses a
// device leaves a file LCK..<name> in the lock folder (/run/lock, and /var/lock where
// that is a folder of its own) holding its process id as ten characters, right-aligned,
// and a newline; a lock whose process has gone is stale and may be replaced. A stale
// lock is renamed aside before it is removed, and put back should it turn out to be
// held, so that a fresh lock another program made meanwhile is never removed.
//
// The name is the device's path below /dev with every "/" replaced by "_", taken after
// symbolic links are resolved: /dev/ttyUSB0 gives LCK..ttyUSB0, /dev/pts/5 gives
// LCK..pts_5, and a link such as /dev/serial/by-id/... or a COMn link meets the lock of
// the device it points to. A device outside /dev uses its whole path without the
// leading "/" (LCK..srv_line_tty0 for /srv/line/tty0).

#include <string>
#include <vector>

namespace uucplock {

// The lock file name of a device, given by its path with links resolved.
std::string lockName(const std::string& devicePath);

// The live process whose lock file holds the device (path with links resolved); 0 when
// no lock names a live process.
int holderOf(const std::string& devicePath);

// This process's lock on one device; the lock files go when it is released or destroyed.
class DeviceLock {
public:
    DeviceLock() = default;
    ~DeviceLock() { release(); }
    DeviceLock(const DeviceLock&) = delete;
    DeviceLock& operator=(const DeviceLock&) = delete;

    // Looks in every lock folder for a lock on the device (path with links resolved)
    // and leaves this process's own lock in each folder it may write to. EBUSY when a
    // live process holds the device (nothing is then left behind), else 0; a folder
    // that is missing or cannot be written is no failure, the device then goes unlocked
    // there.
    int acquire(const std::string& devicePath);
    // The same with the given lock folders in place of the system's.
    int acquire(const std::string& devicePath, const std::vector<std::string>& folders);
    // Removes this process's lock files, each only while it still holds our process
    // id; nothing when there are none.
    void release();
    // Leaves the lock files in place for as long as this process lives (a later
    // search finds them stale once it has ended).
    void keep() { files_.clear(); }

private:
    std::vector<std::string> files_;
};

} // namespace uucplock
