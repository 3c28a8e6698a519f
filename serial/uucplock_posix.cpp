#include "uucplock_posix.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace uucplock {
namespace {

// Where lock files live. On most systems /var/lock links to /run/lock; a folder met
// twice is looked at once.
constexpr const char* kLockFolders[] = {"/run/lock", "/var/lock"};

// A lock file that names no process may be one that its program is still writing; it
// counts as held until it is this old.
constexpr std::time_t kUnnamedLockGraceSeconds = 10;

std::vector<std::string> lockFolders() {
    std::vector<std::string> folders;
    std::vector<std::pair<dev_t, ino_t>> seen;
    for (const char* folder : kLockFolders) {
        struct stat st {};
        if (::stat(folder, &st) != 0 || !S_ISDIR(st.st_mode))
            continue;
        const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
        if (std::find(seen.begin(), seen.end(), id) != seen.end())
            continue;
        seen.push_back(id);
        folders.emplace_back(folder);
    }
    return folders;
}

// The process id written in a lock file: decimal text between blanks (the usual
// "%10d\n") or the old binary form of four bytes. 0 when the file names none.
pid_t lockHolder(const char* bytes, ssize_t n) {
    constexpr const char* blanks = " \t\n";
    const std::string_view s(bytes, std::size_t(n));
    const std::size_t first = s.find_first_not_of(blanks);
    if (first != std::string_view::npos) {
        int pid = 0;
        const auto [end, ec] = std::from_chars(s.data() + first, s.data() + s.size(), pid);
        const std::size_t rest = std::size_t(end - s.data());
        if (ec == std::errc() && s.find_first_not_of(blanks, rest) == std::string_view::npos)
            return pid > 0 ? pid_t(pid) : 0;
    }
    if (n == 4) {
        std::int32_t binary = 0;
        std::memcpy(&binary, bytes, sizeof binary);
        return binary > 0 ? pid_t(binary) : 0;
    }
    return 0;
}

// A process that has ended but is not yet reaped by its parent (a zombie) holds no
// device any more; Linux tells it by the state letter "Z" in /proc/<pid>/stat, after
// the command name in parentheses.
bool processEnded(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false; // no /proc: rely on the signal test alone
    char stat[512];
    const ssize_t n = ::read(fd, stat, sizeof stat - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    const std::string_view line(stat, std::size_t(n));
    const std::size_t nameEnd = line.rfind(')');
    return nameEnd != std::string_view::npos && nameEnd + 2 < line.size() &&
           (line[nameEnd + 2] == 'Z' || line[nameEnd + 2] == 'X');
}

bool processAlive(pid_t pid) {
    // EPERM: the process exists but belongs to someone else.
    const bool exists = ::kill(pid, 0) == 0 || errno == EPERM;
    return exists && !processEnded(pid);
}

// Whether the lock file at path keeps the device from us.
bool heldByOther(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno != ENOENT; // a lock we cannot even read is respected
    char bytes[64];
    const ssize_t n = ::read(fd, bytes, sizeof bytes);
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (n < 0)
        return true;
    if (const pid_t pid = lockHolder(bytes, n))
        return processAlive(pid);
    return !statted || std::time(nullptr) - st.st_mtime < kUnnamedLockGraceSeconds;
}

// Leaves our lock in one folder: the process id is written to a temporary file there,
// which is then linked to the lock name, so another program never sees a lock without
// its id, and of two programs only one can win. A stale lock in the way is removed
// and the link tried once more. 0 with made set, 0 without (folder not writable), or
// EBUSY.
int lockInFolder(const std::string& folder, const std::string& name, std::string& made) {
    const std::string path = folder + '/' + name;
    std::string temp = folder + "/LTMP.XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return heldByOther(path) ? EBUSY : 0;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
    // Readable by everyone, so that other programs can check the process id.
    const bool written =
        ::fchmod(fd, 0644) == 0 && ::write(fd, text, size_t(length)) == ssize_t(length);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        ::unlink(temp.c_str());
        return heldByOther(path) ? EBUSY : 0;
    }

    int result = EBUSY;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (::link(temp.c_str(), path.c_str()) == 0) {
            made = path;
            result = 0;
            break;
        }
        if (errno != EEXIST) { // no hard links here: the folder cannot hold our lock
            result = heldByOther(path) ? EBUSY : 0;
            break;
        }
        if (heldByOther(path))
            break;
        ::unlink(path.c_str()); // stale: its process has gone
    }
    ::unlink(temp.c_str());
    return result;
}

} // namespace

std::string lockName(const std::string& devicePath) {
    const std::size_t start =
        devicePath.rfind("/dev/", 0) == 0 ? 5 : devicePath.find_first_not_of('/');
    std::string rest = start == std::string::npos ? std::string() : devicePath.substr(start);
    std::replace(rest.begin(), rest.end(), '/', '_');
    return "LCK.." + rest;
}

int holderOf(const std::string& devicePath) {
    const std::string name = lockName(devicePath);
    for (const std::string& folder : lockFolders()) {
        const int fd = ::open((folder + '/' + name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        char bytes[64];
        const ssize_t n = ::read(fd, bytes, sizeof bytes);
        ::close(fd);
        if (n <= 0)
            continue;
        if (const pid_t pid = lockHolder(bytes, n); pid > 0 && processAlive(pid))
            return int(pid);
    }
    return 0;
}

int DeviceLock::acquire(const std::string& devicePath) {
    release();
    const std::string name = lockName(devicePath);
    for (const std::string& folder : lockFolders()) {
        std::string made;
        if (lockInFolder(folder, name, made) != 0) {
            release();
            return EBUSY;
        }
        if (!made.empty())
            files_.push_back(made);
    }
    return 0;
}

void DeviceLock::release() {
    for (const std::string& file : files_)
        ::unlink(file.c_str());
    files_.clear();
}

} // namespace uucplock
