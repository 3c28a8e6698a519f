#pragma once
// The registry store of the serial port component's basic settings: which key
// SaveSettings writes and the six values it writes there, in this order, all texts
// (REG_SZ): "Port", "BaudRate", "StopBits", "DataBits", "Parity", "FlowControl".
//
// Windows (settingsstore_win.cpp): the registry itself. The key of the location,
// HKEY_LOCAL_MACHINE\Software\ZEMTA\ComPort for the window; where a user may not
// write below HKEY_LOCAL_MACHINE (a standard user, which most operators are), the
// same values go to the same path below HKEY_CURRENT_USER instead, without an error.
//
// POSIX (settingsstore_posix.cpp): this platform has no registry, so the store is a
// text file in the form of a registry export, $XDG_CONFIG_HOME/zemta/registry.reg
// (~/.config/zemta/registry.reg when XDG_CONFIG_HOME is unset), written in UTF-8:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\Software\ZEMTA\ComPort]
//   "Port"="COM3"
//   "BaudRate"="19200"
//   ...
//
// with a blank line after every key and "\" and """ in values escaped by a
// backslash. TCustomComPort::SaveSettings sets its six values in its own key, as a
// registry write does, and keeps every other byte of the file as it was, whatever its
// encoding (registryexport.h). The file is replaced atomically; where registry.reg is
// a symbolic link, the file it points to is replaced.
//
// The program writes the store and never reads it back.

#include <QString>

#include <optional>
#include <vector>

class TCustomComPort;

namespace settingsstore {

// One value the component writes: its name and its text.
struct StoredValue {
    QString name;
    QString text;
};

// The component's six values, in the order written.
std::vector<StoredValue> basicValues(const TCustomComPort& port);

// A settings key: its root (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER) and the path below it.
struct SettingsKey {
    bool localMachine = false;
    QString subkey;
};

// The key of a location and a component name: the root named before the first
// backslash of location ("HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER" in any letter
// case; any other name means the latter), the path after it, then the component's
// name. None when location names no key (no backslash, or an empty part in the path).
std::optional<SettingsKey> settingsKey(const QString& location, const QString& componentName);

// POSIX: path of the registry store file for the current environment.
QString registryFilePath();

} // namespace settingsstore
