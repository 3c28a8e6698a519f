#pragma once
// ComDevice: the operating system's serial device behind TCustomComPort. The
// component decides what to do and which error code to raise; the device only
// performs each step and returns the system's error code (0 on success).
//
// Received bytes are moved from the system into the device's own input queue
// whenever the count is asked for or bytes are taken, dropping NUL bytes when the
// line settings say so; this makes the waiting count exact and never consumes
// bytes on anyone's behalf. One backend per platform: comdevice_posix.cpp (termios),
// comdevice_win.cpp (Win32 communications functions).

#include "comtypes.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>

// Line settings as the device applies them.
struct LineSettings {
    std::uint32_t baudRate = 9600;
    int dataBits = 8;
    TParityBits parity = prNone;
    TStopBits stopBits = sbOneStopBit;
    bool parityCheck = false;
    bool parityReplace = false;
    char parityReplaceChar = 0;
    bool outCTSFlow = false;
    bool outDSRFlow = false;
    TDTRFlowControl dtr = dtrDisable;
    TRTSFlowControl rts = rtsDisable;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    bool dsrSensitivity = false;
    bool txContinueOnXoff = false;
    char xonChar = 17;
    char xoffChar = 19;
    char eventChar = 0;
    bool discardNull = false;
    // The input queue size the flow control limits are derived from (a quarter of it).
    std::int32_t inputQueueSize = 1024;
};

// Waits for line events on behalf of the event watcher thread.
class ComEventWaiter {
public:
    virtual ~ComEventWaiter() = default;
    // Blocks until line events or wake(); returns the events seen, 0 after wake().
    // hungUp is set when the line has gone away (nothing more will come).
    virtual TComEvents wait(bool& hungUp) = 0;
    // Makes a waiting or the next wait() return 0; callable from any thread.
    virtual void wake() = 0;
    // Last act of the watcher: stop watching and empty both queues.
    virtual void finish() = 0;
    // True when a wait that wake() ended was kept pending by the driver past the stop's
    // limit: the device must then stay open for the rest of the process's life.
    virtual bool held() const { return false; }
};

class ComDevice {
public:
    ComDevice();
    ~ComDevice();
    ComDevice(const ComDevice&) = delete;
    ComDevice& operator=(const ComDevice&) = delete;

    // Returned instead of a system error code when the driver kept a transfer past the
    // stop's limit; from then on the device refuses everything the same way.
    static constexpr int kDriverHeld = -2;

    // Opens the device for exclusive use and puts it into raw mode.
    int open(const std::string& path);
    // Closes the device; one the driver holds is only let go (see abandon()).
    void close();
    // Lets go of the device without closing it: the driver still owns an operation on
    // it, so the handle stays valid (and the port held) until the process ends. The
    // object can then open another device.
    void abandon();
    bool isOpen() const;

    int applyLineSettings(const LineSettings& settings);
    int applyQueueSizes(std::int32_t input, std::int32_t output);
    // Write deadline in milliseconds for n bytes; negative values mean no limit. Reads
    // never wait, whatever the component's read timeouts say.
    int applyTimeouts(std::int32_t writeMultiplier, std::int32_t writeConstant);

    // Reads the modem lines once (a device without modem lines is not an error).
    int readModemStatus(unsigned& lines);

    // Moves what has arrived into the input queue and reports its length.
    int waiting(int& count);
    // Discards the input queue and output that has not left yet.
    int purge(bool input, bool output);
    // Writes all bytes and waits until they have left the output queue or the write
    // deadline has passed; written is the number of bytes that left.
    int write(const QByteArray& data, int& written);
    // Takes at most count bytes from the input queue without waiting.
    int read(QByteArray& data, int count);

    // A waiter for the event watcher; the device must stay open while it lives.
    std::unique_ptr<ComEventWaiter> makeEventWaiter(TComEvents events);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
