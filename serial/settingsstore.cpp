// TCustomComPort::SaveSettings, and what every platform's store writes and where.

#include "settingsstore.h"

#include "tcustomcomport.h"

#include <QStringList>

namespace settingsstore {

std::vector<StoredValue> basicValues(const TCustomComPort& port) {
    return {
        {QStringLiteral("Port"), port.Port()},
        {QStringLiteral("BaudRate"), QString::fromStdString(BaudRateToStr(port.BaudRate()))},
        {QStringLiteral("StopBits"), QString::fromStdString(StopBitsToStr(port.StopBits()))},
        {QStringLiteral("DataBits"), QString::fromStdString(DataBitsToStr(port.DataBits()))},
        {QStringLiteral("Parity"), QString::fromStdString(ParityToStr(port.Parity().Bits()))},
        {QStringLiteral("FlowControl"),
         QString::fromStdString(FlowControlToStr(port.FlowControl().ReadFlowSummary()))},
    };
}

std::optional<SettingsKey> settingsKey(const QString& location, const QString& componentName) {
    const qsizetype slash = location.indexOf(QLatin1Char('\\'));
    if (slash < 0)
        return std::nullopt;
    SettingsKey key;
    key.localMachine =
        location.left(slash).compare(QLatin1String("HKEY_LOCAL_MACHINE"), Qt::CaseInsensitive) == 0;
    QString subkey = location.mid(slash + 1);
    if (!subkey.endsWith(QLatin1Char('\\')))
        subkey += QLatin1Char('\\');
    subkey += componentName;
    if (subkey.endsWith(QLatin1Char('\\'))) // no component name: the key of location itself
        subkey.chop(1);
    for (const QString& part : subkey.split(QLatin1Char('\\')))
        if (part.isEmpty())
            return std::nullopt;
    key.subkey = subkey;
    return key;
}

} // namespace settingsstore

void TCustomComPort::SaveSettings(TStoreType kind, const QString& location) {
    try {
        // This build keeps the settings only in the registry store; asking for an
        // ini file fails like any other store that cannot be written.
        if (kind != stRegistry)
            throw EComPort(CError_StoreFailed);
        StoreToRegistry(location);
    } catch (const EComPort& e) {
        if (e.ErrorCode() == CError_StoreFailed)
            throw;
        throw EComPort(CError_StoreFailed);
    } catch (const std::exception&) {
        throw EComPort(CError_StoreFailed);
    }
}
