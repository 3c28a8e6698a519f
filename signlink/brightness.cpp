#include "brightness.h"

#include <algorithm>

namespace signlink {

namespace {

// Pause after the send and the number of reply bytes each command reads; a reply is
// read only when all of its bytes have arrived within the pause.
constexpr int kAutoPauseMs = 100;
constexpr int kAutoReplyLength = 2;
constexpr int kManualPauseMs = 200;
constexpr int kManualReplyLength = 3;
constexpr int kEffectPauseMs = 200;
constexpr int kEffectReplyLength = 3;

const QByteArray kAutoCommand = QByteArrayLiteral("LA");
const QByteArray kEffectConfirmation = QByteArrayLiteral("FOK");
constexpr char kEffectCommand = 0x71; // "q"

// Reads a reply of `length` bytes when that many wait; the result is what this exchange
// read, never what an earlier one left in the reply buffer.
QByteArray exchange(SignLink& link, const QByteArray& command, int pauseMs, int length,
                    const std::function<void()>& afterSend = {}) {
    return link.singleWait(command, pauseMs, length - 1, length, afterSend);
}

} // namespace

std::uint8_t effectByte(int interval, bool effect1, bool effect2, bool effect3, bool effect4) {
    // The interval digit fills the low four bits; the field only holds 0..9.
    int value = std::clamp(interval, 0, 9);
    if (effect1)
        value += 128;
    if (effect2)
        value += 64;
    if (effect3)
        value += 32;
    if (effect4)
        value += 16;
    return static_cast<std::uint8_t>(value);
}

QString setAutomaticBrightness(SignLink& link) {
    const OperationTiming timing;
    const QByteArray reply = exchange(link, kAutoCommand, kAutoPauseMs, kAutoReplyLength);
    return reply == kAutoCommand ? kAutoSet : kBrightnessNotSet;
}

QString setManualBrightness(SignLink& link, int level) {
    const OperationTiming timing;
    // The level field holds one digit, an empty field counting as 0.
    const char digit = static_cast<char>('0' + std::clamp(level, 0, 9));
    const QByteArray command = QByteArrayLiteral("LM") + digit;
    // The sign confirms by echoing the whole command.
    const QByteArray reply = exchange(link, command, kManualPauseMs, kManualReplyLength);
    return reply == command ? kManualSet + QLatin1Char(digit) : kBrightnessNotSet;
}

QString setEffect(SignLink& link, std::uint8_t effect) {
    const OperationTiming timing;
    QByteArray command;
    command.append(kEffectCommand);
    command.append(static_cast<char>(effect));
    const QByteArray reply = exchange(link, command, kEffectPauseMs, kEffectReplyLength,
                                      [&] { link.log(kSent + QString::number(effect)); });
    if (reply != kEffectConfirmation)
        return kEffectsNotOn;
    return effect == 0 ? kEffectsOff : kEffectsOn;
}

} // namespace signlink
