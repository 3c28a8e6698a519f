#include "portmap.h"

#include <cstdlib>

namespace portmap {

int comNumber(const QString& port) {
    // Device names ignore letter case: "com5" and "Com5" name COM5 as well.
    if (!port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) || port.size() < 4 ||
        port.size() > 6)
        return 0;
    const QString digits = port.mid(3);
    if (digits.front() == QLatin1Char('0'))
        return 0;
    int n = 0;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        n = n * 10 + (c.unicode() - '0');
    }
    return n <= kMaxComNumber ? n : 0;
}

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
