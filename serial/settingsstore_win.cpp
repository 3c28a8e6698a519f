// The registry store on Windows: TCustomComPort::StoreToRegistry.

#include "settingsstore.h"

#include "registrykey_win.h"
#include "tcustomcomport.h"

#include <string>

#include <windows.h>

using settingsstore::StoredValue;

namespace {

// Writes the values, in their order, as texts (REG_SZ, with the terminating zero) under
// root\subkey. ERROR_SUCCESS, or the error of the first step that failed; the values
// written before it stay.
LSTATUS writeValues(HKEY root, const std::wstring& subkey, const std::vector<StoredValue>& values) {
    const RegistryKey key = RegistryKey::createForWriting(root, subkey);
    if (!key.get())
        return key.error();
    for (const StoredValue& v : values) {
        const std::wstring name = v.name.toStdWString();
        const std::wstring text = v.text.toStdWString();
        const LSTATUS e =
            ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(text.c_str()),
                             DWORD((text.size() + 1) * sizeof(wchar_t)));
        if (e != ERROR_SUCCESS)
            return e;
    }
    return ERROR_SUCCESS;
}

} // namespace

void TCustomComPort::StoreToRegistry(const QString& location) {
    const std::optional<settingsstore::SettingsKey> where =
        settingsstore::settingsKey(location, objectName());
    if (!where)
        throw EComPort(CError_StoreFailed);
    const std::vector<StoredValue> values = settingsstore::basicValues(*this);
    const std::wstring subkey = where->subkey.toStdWString();
    LSTATUS e =
        writeValues(where->localMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, subkey, values);
    // A standard user may not write below HKEY_LOCAL_MACHINE: the settings then go to
    // the same path in the user's own branch, which is no failure of the store.
    if (e == ERROR_ACCESS_DENIED && where->localMachine)
        e = writeValues(HKEY_CURRENT_USER, subkey, values);
    if (e != ERROR_SUCCESS)
        throw EComPort(CError_StoreFailed);
}
