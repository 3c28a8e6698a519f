#include "signlink.h"

#include "sessionend.h"

#include <algorithm>

namespace signlink {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Code page 1251, bytes 0x80..0xBF (0xC0..0xFF are the Cyrillic letters U+0410..U+044F
// in order). 0x98 has no character; it shows as the replacement character.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // 0xB8
};

QChar signChar(unsigned char b) {
    if (b < 0x20)
        return QChar(char16_t(0x2400 + b)); // control pictures: ␀ ␁ … ␟
    if (b == 0x7F)
        return QChar(char16_t(0x2421)); // ␡
    if (b < 0x80)
        return QChar(char16_t(b));
    if (b < 0xC0)
        return QChar(kCp1251High[b - 0x80]);
    return QChar(char16_t(0x0410 + (b - 0xC0)));
}

} // namespace

QByteArray checksumChars(const QByteArray& body) {
    unsigned char x = 0;
    for (char b : body)
        x ^= static_cast<unsigned char>(b);
    QByteArray out(2, '0');
    out[0] = kHexDigits[x >> 4];
    out[1] = kHexDigits[x & 0x0F];
    return out;
}

void configureSignPort(TCustomComPort& port) {
    port.BeginLoading();
    port.SetPort(QStringLiteral("COM1"));
    port.SetBaudRate(br19200);
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    port.Parity().SetBits(prNone);
    TComFlowControl& flow = port.FlowControl();
    flow.SetOutCTSFlow(false);
    flow.SetOutDSRFlow(false);
    flow.SetControlDTR(dtrDisable);
    flow.SetControlRTS(rtsDisable);
    flow.SetXonXoffOut(false);
    flow.SetXonXoffIn(false);
    port.SetDiscardNull(true);
    port.EndLoading();
}

QString signText(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (char b : bytes)
        text.append(signChar(static_cast<unsigned char>(b)));
    return text;
}

void SignLink::setReadDelay(int ms) {
    readDelay_ = std::clamp(ms, 1, 999);
}

void SignLink::setSearchDelay(int ms) {
    searchDelay_ = std::clamp(ms, 1, 500);
}

void SignLink::log(const QString& line) const {
    // Both run at every step, between frames: an ending session stops the operation there.
    if (sessionend::ending())
        throw sessionend::Ending{};
    if (log_)
        log_(line);
}

void SignLink::pumpMessages() const {
    if (sessionend::ending())
        throw sessionend::Ending{};
    if (pump_)
        pump_();
}

QByteArray SignLink::singleWait(const QByteArray& command, int pauseMs, int threshold,
                                int readLength, const std::function<void()>& afterSend) {
    port_.PurgeQueues(true, true);
    port_.SendText(command);
    if (afterSend)
        afterSend();
    pause(pauseMs);
    if (port_.WaitingCount() <= threshold)
        return {}; // not fully arrived: the reply buffer keeps what it held
    port_.TakeText(reply_, readLength);
    return reply_;
}

bool SignLink::polled(const PolledExchange& exchange) {
    QByteArray& target = *exchange.target;
    target = exchange.preset;

    int polls = 0;
    while (polls < exchange.maxPolls) {
        ++polls;
        if (exchange.logBeforePause) {
            log(kCountLine + QString::number(port_.WaitingCount()));
            pause(readDelay_);
        } else {
            pause(readDelay_);
            log(kCountLine + QString::number(port_.WaitingCount()));
        }
        if (port_.WaitingCount() >= exchange.threshold)
            break;
    }

    const int shownDelay = exchange.printSearchDelay ? searchDelay_ : readDelay_;
    log(QString::number(polls) + kAttemptsMiddle + QString::number(shownDelay) + kAttemptsEnd);

    // The acknowledgement and the probe judge by the poll count alone, so bytes that
    // first show at the last permitted poll are left for the next clearing; the panel
    // read looks at the queue once more.
    const bool failed = exchange.failWhenPollsExhausted ? polls >= exchange.maxPolls
                                                        : port_.WaitingCount() < exchange.threshold;
    if (failed) {
        for (const QString& line : exchange.failureLines)
            log(line);
    } else {
        port_.TakeText(target, exchange.readLength);
    }
    log(kReceived + signText(target));
    return !failed;
}

bool SignLink::pollWriteAck() {
    PolledExchange ack;
    ack.target = &ack_;
    ack.preset = QByteArray(14, ' ');
    ack.maxPolls = 8;
    ack.threshold = 3;
    ack.failWhenPollsExhausted = true;
    ack.failureLines = {kReadError};
    ack.readLength = 5;
    return polled(ack);
}

bool SignLink::pollPanelRead() {
    PolledExchange read;
    read.target = &reply_;
    read.preset = QByteArray(16, ' ');
    read.maxPolls = 3;
    read.threshold = 14;
    read.failWhenPollsExhausted = false;
    read.failureLines = {kTooFew, kBigError};
    read.readLength = 14;
    return polled(read);
}

bool SignLink::pollDiscoveryProbe() {
    PolledExchange probe;
    probe.target = &reply_;
    probe.preset = QByteArray(11, '=');
    probe.maxPolls = 4;
    probe.logBeforePause = true;
    probe.threshold = 12;
    probe.failWhenPollsExhausted = true;
    probe.failureLines = {kReadError};
    probe.readLength = 10;
    probe.printSearchDelay = true;
    return polled(probe);
}

} // namespace signlink
