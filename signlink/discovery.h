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

// Probes every port and returns the last one that answered "T0" (empty when none).
// Ports that cannot be opened are skipped; any later port failure propagates.
QString probeAllPorts(SignLink& link);

// The whole discovery as "Поиск стелы" runs it: probe, tell the result, and on a find
// open the found port and set the status text.
void runDiscovery(SignLink& link, const DiscoveryView& view);

} // namespace signlink
