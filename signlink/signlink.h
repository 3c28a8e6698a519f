#pragma once
// Link basics shared by every sign operation: the reply and acknowledgement
// buffers, the read and search delays, the checksum, the diagnostic log sink,
// the hook that lets pending window messages through, and the two exchange
// shapes (single wait and polled) with the log lines the polled one writes.
// Nothing here depends on widgets.

#include "tcustomcomport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

namespace signlink {

// Appends one line to the diagnostic log.
using LogSink = std::function<void(const QString& line)>;
// Lets pending window messages through.
using MessagePump = std::function<void()>;

// The two checksum characters of a frame body: XOR of its bytes as two upper-case
// hexadecimal digits, high digit first.
QByteArray checksumChars(const QByteArray& body);

// Log text of bytes from or for the sign. Printable ASCII stands as it is; bytes
// below 0x20 and 0x7F appear as the Unicode control pictures (0x00 as "␀"), and
// bytes from 0x80 up are read as code page 1251, as the sign's own character set.
QString signText(const QByteArray& bytes);

// Gives a closed port component the sign's line settings, as the window's layout sets
// them: port "COM1", 19200 baud, 8 data bits, no parity, one stop bit, no hardware or
// software handshake, DTR and RTS held inactive, received NUL bytes discarded. The values
// are only stored (the component is in its loading state meanwhile); the next Open
// pushes them.
void configureSignPort(TCustomComPort& port);

// Holds what the pauses of a sign operation need from the system (on Windows a 1 ms
// timer period) from the operation's start to its end, so that an idle program leaves
// the system's timer alone. Every operation below holds one; they nest, and only the
// outermost asks the system. Pauses outside any operation hold it for themselves.
// Operations run on one thread.
class OperationTiming {
public:
    OperationTiming();
    ~OperationTiming();
    OperationTiming(const OperationTiming&) = delete;
    OperationTiming& operator=(const OperationTiming&) = delete;
};

// Parameters of one polled exchange.
struct PolledExchange {
    QByteArray* target = nullptr;       // buffer that receives the preset and the reply
    QByteArray preset;                  // stored before polling; stays on failure
    int maxPolls = 0;                   // N
    bool logBeforePause = false;        // discovery: count line first, then the pause
    int threshold = 0;                  // T: stop polling when this many bytes wait
    bool failWhenPollsExhausted = true; // else: failed when a fresh count is below T
    QStringList failureLines;           // appended, in order, on failure
    int readLength = 0;                 // L
    bool printSearchDelay = false;      // attempts line shows the search delay
};

// Lines and texts of the link's log.
inline const QString kCountLine = QStringLiteral("Принято символов:");
inline const QString kAttemptsMiddle = QStringLiteral(" попыток чтения прошло. Задержка ");
inline const QString kAttemptsEnd = QStringLiteral("мс");
inline const QString kReadError = QStringLiteral("Ошибка чтения!!! ");
inline const QString kTooFew = QStringLiteral("Мало принял данных ");
inline const QString kBigError = QStringLiteral("-----BigError Loop------ ");
inline const QString kReceived = QStringLiteral("Принял:");
inline const QString kSent = QStringLiteral("Отправлено:");

// One link to the sign over the window's serial port component.
class SignLink {
public:
    explicit SignLink(TCustomComPort& port) : port_(port) {}

    TCustomComPort& port() { return port_; }

    // Process-wide buffers of the link.
    QByteArray& replyBuffer() { return reply_; }
    QByteArray& ackBuffer() { return ack_; }
    // Checksum characters of the last frame body the price write computed.
    QByteArray& lastChecksum() { return checksum_; }

    // Read delay: milliseconds between two polls (1..999, 50 by default).
    int readDelay() const { return readDelay_; }
    void setReadDelay(int ms);
    // Search delay: only printed by the discovery (1..500, 200 by default).
    int searchDelay() const { return searchDelay_; }
    void setSearchDelay(int ms);

    void setLogSink(LogSink sink) { log_ = std::move(sink); }
    void log(const QString& line) const;
    void setMessagePump(MessagePump pump) { pump_ = std::move(pump); }
    void pumpMessages() const;

    // Pauses the calling thread for ms milliseconds, to the millisecond: the pauses
    // are the protocol's timing, and a whole read-back is forty of them.
    static void pause(int ms);

    // Single-wait exchange: clear both queues, send the command, pause pauseMs, and
    // when more than `threshold` bytes wait take readLength bytes into the reply
    // buffer. Returns the bytes this exchange read (empty when it read nothing; the
    // reply buffer then keeps what it held). afterSend, when given, runs right after
    // the send and before the pause (the effect command logs what it sent there).
    QByteArray singleWait(const QByteArray& command, int pauseMs, int threshold, int readLength,
                          const std::function<void()>& afterSend = {});

    // Polled exchange; the caller has cleared the queues and sent its command.
    // Returns true when it read a reply into the target buffer.
    bool polled(const PolledExchange& exchange);

    // The three instances of the polled exchange.
    bool pollWriteAck();       // acknowledgement buffer, 14 spaces, 8 polls, T 3, L 5
    bool pollPanelRead();      // reply buffer, 16 spaces, 3 polls, T 14, L 14
    bool pollDiscoveryProbe(); // reply buffer, 11 "=", 4 polls (log first), T 12, L 10

private:
    TCustomComPort& port_;
    QByteArray reply_;
    QByteArray ack_;
    QByteArray checksum_;
    int readDelay_ = 50;
    int searchDelay_ = 200;
    LogSink log_;
    MessagePump pump_;
};

} // namespace signlink
