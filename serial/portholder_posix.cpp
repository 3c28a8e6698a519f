// Port holder on POSIX systems: the process of the device's UUCP lock file.
#include "portholder.h"

#include "portmap.h"
#include "uucplock_posix.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace portholder {

namespace {

// The executable's file name of a process: the link /proc/PID/exe, or where that may
// not be read (another user's process), the command name the kernel keeps.
QString programOf(pid_t pid) {
    const std::string proc = "/proc/" + std::to_string(pid);
    char target[4096];
    const ssize_t n = ::readlink((proc + "/exe").c_str(), target, sizeof target - 1);
    if (n > 0) {
        QString path = QString::fromLocal8Bit(target, n);
        path.remove(QStringLiteral(" (deleted)")); // replaced by a newer build
        return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    }
    const int fd = ::open((proc + "/comm").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char comm[64];
    const ssize_t m = ::read(fd, comm, sizeof comm);
    ::close(fd);
    return m > 0 ? QString::fromLocal8Bit(comm, m).trimmed() : QString();
}

} // namespace

std::optional<Holder> holderOf(const QString& port) {
    return holderOfDevice(portmap::devicePath(port));
}

std::optional<Holder> holderOfDevice(const std::string& path) {
    if (path.empty())
        return std::nullopt;
    const std::unique_ptr<char, void (*)(void*)> device(::realpath(path.c_str(), nullptr),
                                                        std::free);
    if (!device)
        return std::nullopt;
    const pid_t pid = uucplock::holderOf(device.get());
    if (pid <= 0 || pid == ::getpid())
        return std::nullopt;
    return Holder{programOf(pid), pid};
}

struct HolderRecord::Impl {};

HolderRecord::HolderRecord(const std::string&) {}
HolderRecord::~HolderRecord() = default;

} // namespace portholder
