#pragma once
// What the port search tells an operator whom the system does not let open serial
// ports: one file per platform (accesshint_posix.cpp, accesshint_win.cpp).

#include <QString>

namespace accesshint {
// Whether a refused open's system code means this user may not open the device (as
// opposed to a device that is absent or held by another program).
bool lackOfRights(int systemCode);
// The hint for such a refused device (e.g. "/dev/ttyUSB0"); empty where the system has
// nothing an operator could do about it.
QString text(const QString& refusedDevice);
} // namespace accesshint
