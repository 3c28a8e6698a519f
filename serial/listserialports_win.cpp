#include "listserialports.h"

#include "listserialports_win.h"

#include "ecomport.h"
#include "registrykey_win.h"

#include <algorithm>

namespace {

// Where the serial port drivers list the ports they have made: one value per port,
// its data the port's name (usually COMn).
constexpr const wchar_t* kSerialPortMap = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Room for a value's name and data as the port map holds them.
constexpr DWORD kNameChars = 256;
constexpr DWORD kDataBytes = 256;

} // namespace

namespace serialports {

QStringList listPortsInKey(HKEY root, const wchar_t* subkey) {
    const RegistryKey key = RegistryKey::openForReading(root, subkey);
    if (!key.get())
        throw EComPort(CError_RegError, int(key.error()));
    QStringList ports;
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameChars];
        DWORD nameChars = kNameChars;
        wchar_t data[kDataBytes / sizeof(wchar_t)];
        DWORD dataBytes = kDataBytes;
        DWORD type = 0;
        const LSTATUS e = ::RegEnumValueW(key.get(), index, name, &nameChars, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (e == ERROR_NO_MORE_ITEMS)
            break;
        if (e != ERROR_SUCCESS)
            throw EComPort(CError_RegError, int(e));
        // Only text names a port; the data may or may not end in its terminating zero.
        if (type != REG_SZ)
            continue;
        qsizetype chars = qsizetype(dataBytes / sizeof(wchar_t));
        while (chars > 0 && data[chars - 1] == L'\0')
            --chars;
        if (chars > 0)
            ports.append(QString::fromWCharArray(data, chars));
    }
    std::stable_sort(ports.begin(), ports.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return ports;
}

bool noSerialPorts(const EComPort& e) {
    return e.ErrorCode() == CError_RegError && e.SystemCode() == ERROR_FILE_NOT_FOUND;
}

} // namespace serialports

void ListSerialPorts(QStringList& ports) {
    ports = serialports::listPortsInKey(HKEY_LOCAL_MACHINE, kSerialPortMap);
}
