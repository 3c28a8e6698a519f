#include "portmap.h"

#include <cstdlib>

namespace portmap {

namespace {
// The built-in device of COMn; empty when none.
std::string builtinDevicePath(int n) {
    struct Range {
        int first;
        const char* prefix;
    };
    static constexpr Range ranges[] = {{1, "/dev/ttyS"}, {33, "/dev/ttyUSB"}, {65, "/dev/ttyACM"}};
    for (const Range& r : ranges)
        if (n >= r.first && n < r.first + 32)
            return r.prefix + std::to_string(n - r.first);
    return {};
}
} // namespace

std::string devicePath(const QString& port) {
    if (port.startsWith(QLatin1Char('/')))
        return port.toStdString();
    const int n = comNumber(port);
    if (n == 0)
        return {};
    if (const char* dir = std::getenv("ZEMTA_COM_DIR"); dir && *dir)
        return std::string(dir) + "/COM" + std::to_string(n);
    return builtinDevicePath(n);
}

} // namespace portmap
