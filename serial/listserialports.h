#pragma once
// The serial ports this computer has, by their COM names, for the setup dialog's
// port list.

#include <QString>
#include <QStringList>

class EComPort;

// Replaces the entries of ports by the system's serial port names, sorted as text
// without regard to letter case (COM10 before COM2). No port is opened to find out.
// Raises EComPort code 23 with the system's error code when the list cannot be read;
// ports is then left as it was.
//   POSIX: the names COM1..COM255 whose device (through the port map, as Open would
//          use it) exists and is a real serial port; no port at all raises ENOENT.
//   Windows: the data of the values of HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM,
//          each name as the driver wrote it; a computer without serial ports has no
//          such key (ERROR_FILE_NOT_FOUND).
void ListSerialPorts(QStringList& ports);

namespace serialports {
// Whether an error of ListSerialPorts says that the computer has no serial port at all.
bool noSerialPorts(const EComPort& e);

// POSIX: whether a sysfs "type" file of a legacy UART names real hardware: the kernel keeps
// placeholder /dev/ttySn nodes for absent UARTs and reports their type as 0.
bool uartTypeFileShowsHardware(const QString& typeFile);
} // namespace serialports
