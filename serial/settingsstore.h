#pragma once
// The registry store of the serial port component's basic settings.
//
// This platform has no registry, so the store is a text file in the form of a
// registry export, $XDG_CONFIG_HOME/zemta/registry.reg (~/.config/zemta/registry.reg
// when XDG_CONFIG_HOME is unset), UTF-8:
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
// registry write does, and keeps every other value and key of the file as it was; the
// file is replaced atomically. The program writes the store and never reads it back.

#include <QString>

namespace settingsstore {
// Path of the registry store file for the current environment.
QString registryFilePath();
} // namespace settingsstore
