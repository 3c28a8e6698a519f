#pragma once
// The serial ports this computer has, by their COM names, for the setup dialog's
// port list.

#include <QString>
#include <QStringList>

// Replaces the entries of ports by the names COM1..COM255 whose device (through the
// port map, as Open would use it) exists and is a real serial port, sorted as text
// without regard to letter case (COM10 before COM2). No port is opened to find out.
// Raises EComPort code 23 with an errno code when the system has no serial port or
// the devices cannot be examined; ports is then left as it was.
void ListSerialPorts(QStringList& ports);

namespace serialports {
// Whether a sysfs "type" file of a legacy UART names real hardware: the kernel keeps
// placeholder /dev/ttySn nodes for absent UARTs and reports their type as 0.
bool uartTypeFileShowsHardware(const QString& typeFile);
} // namespace serialports
