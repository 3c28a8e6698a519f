#include "listserialports.h"

#include "ecomport.h"
#include "portmap.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <string>
#include <sys/stat.h>

namespace serialports {

bool noSerialPorts(const EComPort& e) {
    return e.ErrorCode() == CError_RegError && e.SystemCode() == ENOENT;
}

bool uartTypeFileShowsHardware(const QString& typeFile) {
    QFile file(typeFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool ok = false;
    const int type = file.readAll().trimmed().toInt(&ok);
    return ok && type != 0;
}

} // namespace serialports

namespace {

constexpr const char* kLegacyUartPrefix = "/dev/ttyS";

// Whether the device of a port is present. A missing device (or a dangling link to
// one) is simply no port; any other failure to examine it makes the list unreadable.
bool devicePresent(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
        throw EComPort(CError_RegError, errno);
    }
    if (!S_ISCHR(st.st_mode))
        return false;
    // /dev/ttySn exists for every UART slot the kernel reserves, with or without
    // hardware behind it; sysfs tells the two apart.
    if (path.rfind(kLegacyUartPrefix, 0) == 0) {
        const QString node = QString::fromStdString(path.substr(sizeof("/dev/") - 1));
        return serialports::uartTypeFileShowsHardware(
            QStringLiteral("/sys/class/tty/%1/type").arg(node));
    }
    return true;
}

} // namespace

void ListSerialPorts(QStringList& ports) {
    QStringList found;
    for (int n = 1; n <= portmap::kMaxComNumber; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        const std::string path = portmap::devicePath(name);
        if (!path.empty() && devicePresent(path))
            found.append(name);
    }
    if (found.isEmpty())
        throw EComPort(CError_RegError, ENOENT);
    std::stable_sort(found.begin(), found.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    ports = std::move(found);
}
