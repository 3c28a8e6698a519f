// Fuzz target: setting the component's values in a registry export of any content.
// Besides crashes and undefined behaviour it catches a store that the next save would
// change again or refuse.

#include "registryexport.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using settingsstore::StoredValue;
    static const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\ComPort");
    static const std::vector<StoredValue> values = {
        {QStringLiteral("Port"), QStringLiteral("C:\\a\"b")},
        {QStringLiteral("BaudRate"), QStringLiteral("19200")},
        {QStringLiteral("StopBits"), QStringLiteral("1")},
        {QStringLiteral("DataBits"), QStringLiteral("8")},
        {QStringLiteral("Parity"), QStringLiteral("None")},
        {QStringLiteral("FlowControl"), QString::fromUtf8("Н\xC3\xA9")},
    };
    const QByteArray existing(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QByteArray> stored = settingsstore::setValuesInExport(existing, key, values);
    if (!stored)
        return 0;
    const std::optional<QByteArray> again = settingsstore::setValuesInExport(*stored, key, values);
    if (!again || *again != *stored)
        std::abort();
    return 0;
}
