#pragma once
// Brightness and effect commands: one single-wait exchange each, confirmed or
// refused in a message for the operator.

#include "signlink.h"

#include <cstdint>

namespace signlink {

inline const QString kAutoSet = QStringLiteral("Установлена автоматическая яркость.");
inline const QString kManualSet = QStringLiteral("Установлена ручная яркость: ");
inline const QString kBrightnessNotSet = QStringLiteral("Яркость не установлена.");
inline const QString kEffectsOn = QStringLiteral("Эффекты включены");
inline const QString kEffectsOff = QStringLiteral("Эффекты выключены");
inline const QString kEffectsNotOn = QStringLiteral("Эффекты не включены");

// Effect byte: interval digit + 128·Эф.1 + 64·Эф.2 + 32·Эф.3 + 16·Эф.4.
std::uint8_t effectByte(int interval, bool effect1, bool effect2, bool effect3, bool effect4);

// Each returns the message to show; port failures propagate.
QString setAutomaticBrightness(SignLink& link);
QString setManualBrightness(SignLink& link, int level);
QString setEffect(SignLink& link, std::uint8_t effect);

} // namespace signlink
