#pragma once
// Port map: how a port name ("COM1".."COM255", or a device path) names a device.
// The "COM" of a name may be in any letter case ("com5" is COM5).
//
// On POSIX systems (portmap_posix.cpp):
//   name beginning with "/"      the device path as it stands
//   COMn with ZEMTA_COM_DIR set  $ZEMTA_COM_DIR/COMn only (tests and the demo decide
//                                exactly which ports exist)
//   COM1  .. COM32               /dev/ttyS0   .. /dev/ttyS31
//   COM33 .. COM64               /dev/ttyUSB0 .. /dev/ttyUSB31
//   COM65 .. COM96               /dev/ttyACM0 .. /dev/ttyACM31
//   anything else                no device
//
// On Windows (portmap_win.cpp), in the device namespace "\\.\", which every COM port
// needs from COM10 on:
//   name beginning with "\\.\"   the device path as it stands
//   COMn in any letter case      \\.\COMn
//   any other name of a device   \\.\ followed by the name (ports that drivers name
//                                otherwise, as the system's port list shows them)
//   a name with "\" or "/"       no device (a path, not a device name)

#include <QString>

#include <string>

namespace portmap {

inline constexpr int kMaxComNumber = 255;

// The number n of a name "COMn" (1..255, "COM" in any letter case, no leading zeros), or 0.
int comNumber(const QString& port);

// Device path for a port name; empty when the name denotes no device.
std::string devicePath(const QString& port);

} // namespace portmap
