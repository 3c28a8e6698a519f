#include "portmap.h"

namespace portmap {

namespace {
const QString kDeviceNamespace = QStringLiteral("\\\\.\\");
} // namespace

std::string devicePath(const QString& port) {
    if (port.startsWith(kDeviceNamespace))
        return port.size() > kDeviceNamespace.size() ? port.toStdString() : std::string();
    if (const int n = comNumber(port))
        return "\\\\.\\COM" + std::to_string(n);
    if (port.isEmpty() || port.contains(QLatin1Char('\\')) || port.contains(QLatin1Char('/')))
        return {};
    return (kDeviceNamespace + port).toStdString();
}

} // namespace portmap
