#pragma once
// The port list read from any registry key laid out as the system's serial port map.

#include <QStringList>

#include <windows.h>

namespace serialports {
// The port names held as the values' data of root\subkey, sorted as text without
// regard to letter case. Raises EComPort code 23 with the registry's error code when the
// key cannot be opened or enumerated.
QStringList listPortsInKey(HKEY root, const wchar_t* subkey);
} // namespace serialports
