#pragma once
// Sign discovery: probes COM1..COM255 with the read command of panel "0" and
// leaves the port open on the last port whose reply begins "T0".

#include "signlink.h"

#include <functional>

namespace signlink {

// What the discovery shows the operator.
struct DiscoveryView {
    // A modal message box; returns when the operator has closed it.
    std::function<void(const QString& text)> showMessage;
    // The status bar's text.
    std::function<void(const QString& text)> setStatusText;
};

inline const QString kFoundMessage = QStringLiteral("Стела подключена на порт : ");
inline const QString kNotFoundMessage =
    QStringLiteral("Табло не найдено. Проверьте кабель подключения табло");
inline const QString kWorkingOn = QStringLiteral("Работаем на ");

// What one pass over the ports saw.
struct PortSearch {
    // The last port that answered "T0"; empty when none did.
    QString found;
    // The device of the first port that exists but refused to open for lack of rights
    // (EACCES or EPERM on POSIX systems; never on Windows, where every user may open a
    // port), e.g. "/dev/ttyUSB0"; empty when no port was refused so.
    QString refusedDevice;
};

// Probes every port. Ports that cannot be opened are skipped (a refusal for lack of
// rights is only remembered); any later port failure propagates.
PortSearch searchPorts(SignLink& link);
// The same search, for callers that only want the port found (empty when none).
QString probeAllPorts(SignLink& link);

// The hint for an operator who may not open the serial ports: empty when the search
// found a sign or no port was refused for lack of rights; otherwise a text naming the
// refused device and the command that adds this user (by login name) to "dialout"
// (see accesshint.h).
QString serialAccessHint(const PortSearch& search);

// The whole discovery as "Поиск стелы" runs it: probe, tell the result, and on a find
// open the found port and set the status text. When nothing is found and a port was
// refused for lack of rights, serialAccessHint() follows as a message of its own.
void runDiscovery(SignLink& link, const DiscoveryView& view);

} // namespace signlink
