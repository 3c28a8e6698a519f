#pragma once
// Port holder: which program holds a serial port that could not be opened, so that the
// refusal can name it. POSIX (portholder_posix.cpp): the live process of the device's
// UUCP lock file, and the name of its executable. Windows (portholder_win.cpp): every
// program that opens a port through the serial port component publishes its process id
// in a small named record per port while it holds the port (HolderRecord), since
// Windows itself does not say who holds a device.

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace portholder {

struct Holder {
    QString program;      // the executable's file name without ".exe", e.g. "zemta-stela"
    std::int64_t pid = 0; // its process id
};

// The program holding the port (a port name or device path, as portmap takes it); none
// when no program is known to hold it, or it cannot be told.
std::optional<Holder> holderOf(const QString& port);
// The same for a device path, as portmap gives it.
std::optional<Holder> holderOfDevice(const std::string& devicePath);

// This process's record as the holder of one device, for as long as it lives. On POSIX
// systems it does nothing: the lock file already names the process.
class HolderRecord {
public:
    explicit HolderRecord(const std::string& devicePath);
    ~HolderRecord();
    HolderRecord(const HolderRecord&) = delete;
    HolderRecord& operator=(const HolderRecord&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace portholder
