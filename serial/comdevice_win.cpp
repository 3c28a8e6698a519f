// Win32 backend of the serial device: a communications device opened for overlapped
// transfers and for nobody else, its line set through a device control block, reads
// that never wait (and feed the device's own input queue), writes that the driver
// ends after the write timeouts, and a waiter on an overlapped WaitCommEvent.
//
// Every error returned is the GetLastError() value of the call that failed.

#include "comdevice_win.h"
#include "portholder.h"

#include "driverrelease.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// The most bytes the input queue holds; beyond it arriving bytes are lost, as with
// a full driver queue.
constexpr int kInputQueueLimit = 64 * 1024;

// The longest pause between event waits that the driver completed without an event.
// Such a driver (Wine's is one) is looked at this often while the line is quiet; the
// sign link never waits for these events, as it reads the input count itself.
constexpr DWORD kMaxIdlePauseMs = 250;

DWORD lastError() {
    return ::GetLastError();
}

// An event object, closed when it goes.
class Event {
public:
    Event(bool manualReset, bool signalled)
        : h_(::CreateEventW(nullptr, manualReset, signalled, nullptr)) {}
    ~Event() {
        if (h_)
            ::CloseHandle(h_);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    HANDLE h_;
};

// One overlapped transfer's record, event and bytes. Kept apart from the caller's
// stack: a transfer that the driver keeps past the stop's limit goes on writing into
// them, and they are then never freed.
struct TransferRecord {
    OVERLAPPED ov{};
    Event event{true, true};
    QByteArray bytes;
};

// A pending transfer as the bounded stop sees it: the abort purge is the serial way
// out of a read or write, the cancellation of its record the general one.
class PendingTransfer final : public driverrelease::PendingOperation {
public:
    PendingTransfer(HANDLE h, TransferRecord& r) : h_(h), r_(r) {}
    void release() override { ::PurgeComm(h_, PURGE_TXABORT | PURGE_RXABORT); }
    void cancel() override { ::CancelIoEx(h_, &r_.ov); }
    bool waitEnded(driverrelease::milliseconds atMost) override {
        return ::WaitForSingleObject(r_.event.get(), DWORD(atMost.count())) == WAIT_OBJECT_0;
    }

private:
    HANDLE h_;
    TransferRecord& r_;
};

// One overlapped transfer: starts it, waits for its end and fetches the byte count.
// start is ReadFile or WriteFile given the record. The wait lasts at most waitMs (the
// time the device's timeouts give the transfer, and the stop's limit on top); a
// transfer still pending then is ended as a stopped watcher's wait is, and one the
// driver keeps leaves its record behind and sets held.
template <class Start>
DWORD transfer(HANDLE h, std::unique_ptr<TransferRecord>& r, Start start, DWORD waitMs,
               DWORD& done, bool& held) {
    done = 0;
    if (!r->event)
        return lastError();
    r->ov.hEvent = r->event.get();
    if (!start(&r->ov)) {
        const DWORD e = lastError();
        if (e != ERROR_IO_PENDING)
            return e;
    }
    const DWORD w = ::WaitForSingleObject(r->event.get(), waitMs);
    if (w == WAIT_OBJECT_0)
        return ::GetOverlappedResult(h, &r->ov, &done, FALSE) ? 0 : lastError();
    const DWORD e = w == WAIT_TIMEOUT ? DWORD(ERROR_SEM_TIMEOUT) : lastError();
    PendingTransfer pending(h, *r);
    if (driverrelease::end(pending) == driverrelease::Outcome::Held) {
        held = true;
        (void)r.release();
        return e;
    }
    ::GetOverlappedResult(h, &r->ov, &done, FALSE);
    return e;
}

std::wstring widen(const std::string& utf8) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(std::size_t(std::max(n, 0)), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
    return wide;
}

// The record of one overlapped WaitCommEvent: where the driver writes the mask and
// which event it sets at the end.
struct WaitRecord {
    OVERLAPPED ov{};
    DWORD mask = 0;
    Event completion{true, true};
};

// A pending WaitCommEvent as the bounded stop sees it: a new event mask ends it at
// once on drivers that keep to the documentation, the cancellation of its record is
// the fallback.
class PendingWait final : public driverrelease::PendingOperation {
public:
    PendingWait(HANDLE h, WaitRecord& r) : h_(h), r_(r) {}
    void release() override { ::SetCommMask(h_, 0); }
    void cancel() override { ::CancelIoEx(h_, &r_.ov); }
    bool waitEnded(driverrelease::milliseconds atMost) override {
        return ::WaitForSingleObject(r_.completion.get(), DWORD(atMost.count())) == WAIT_OBJECT_0;
    }

private:
    HANDLE h_;
    WaitRecord& r_;
};

// Waits for line events with an overlapped WaitCommEvent, woken by an event of its own.
//
// Drivers differ in how they keep to WaitCommEvent: some complete a wait without any
// event in its mask (as every driver does when the mask changes), some complete at
// once again and again, some refuse the wait for events they cannot watch (modem
// lines of a port that has none) or abort it after a moment. Any wait that did not go
// pending and then bring an event is answered by looking at the device: one whose
// status cannot be read has gone away (an unplugged adapter), and the watcher ends;
// otherwise new bytes in the input count are a received-character event, and the next
// wait comes only after a pause on the wake event that grows with each such wait in a
// row, so the watcher never spins.
//
// A wake-up ends a pending wait the serial way first, by clearing the event mask, and
// by cancelling it after that (driverrelease.h); a driver that ends neither keeps the
// wait's record, and the waiter reports itself held.
class WinEventWaiter final : public ComEventWaiter {
public:
    WinEventWaiter(HANDLE h, TComEvents events)
        : h_(h), events_(events), wake_(true, false), record_(std::make_unique<WaitRecord>()) {
        // A mask that cannot be set shows itself at the first wait.
        ::SetCommMask(h_, EventsToMask(events_));
    }

    TComEvents wait(bool& hungUp) override {
        hungUp = false;
        if (!wake_ || !record_ || !record_->completion || held_)
            return 0;
        for (;;) {
            const DWORD pause =
                quietInRow_ == 0 ? 0 : std::min<DWORD>(kMaxIdlePauseMs, DWORD(1) << quietInRow_);
            if (::WaitForSingleObject(wake_.get(), pause) != WAIT_TIMEOUT)
                return 0;

            DWORD mask = 0;
            const Outcome outcome = waitCommEvent(mask);
            if (outcome == Outcome::Woken)
                return 0;
            TComEvents seen = outcome == Outcome::Failed ? 0 : MaskToEvents(mask) & events_;
            if (outcome == Outcome::Waited && seen) {
                quietInRow_ = 0;
                return seen;
            }

            quietInRow_ = std::min(quietInRow_ + 1, 8);
            DWORD errors = 0;
            COMSTAT status{};
            if (!::ClearCommError(h_, &errors, &status)) {
                // The device has gone: nothing more will come.
                hungUp = true;
                return comEvent(evError) & events_;
            }
            const bool arrived = status.cbInQue > lastInputCount_;
            lastInputCount_ = status.cbInQue;
            seen |= ((arrived ? comEvent(evRxChar) : 0) | (errors ? comEvent(evError) : 0)) &
                    events_;
            if (seen)
                return seen;
        }
    }

    void wake() override { ::SetEvent(wake_.get()); }

    bool held() const override { return held_; }

    void finish() override {
        // Errors are of no interest here: a device that has gone away has no queues.
        ::SetCommMask(h_, 0);
        // Only output still waiting to leave is discarded, as on every system; a
        // completed write has nothing left in the driver.
        DWORD flags = PURGE_RXCLEAR;
        DWORD errors = 0;
        COMSTAT status{};
        if (::ClearCommError(h_, &errors, &status) && status.cbOutQue > 0)
            flags |= PURGE_TXCLEAR;
        ::PurgeComm(h_, flags);
    }

private:
    // Completed at once, completed after waiting, woken by wake(), or failed.
    enum class Outcome { AtOnce, Waited, Woken, Failed };

    Outcome waitCommEvent(DWORD& mask) {
        WaitRecord& r = *record_;
        ::ResetEvent(r.completion.get());
        r.ov = OVERLAPPED{};
        r.ov.hEvent = r.completion.get();
        r.mask = 0;
        if (::WaitCommEvent(h_, &r.mask, &r.ov)) {
            mask = r.mask;
            return Outcome::AtOnce;
        }
        if (lastError() != ERROR_IO_PENDING)
            return Outcome::Failed;
        const HANDLE handles[] = {wake_.get(), r.completion.get()};
        const DWORD w = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        DWORD ignored = 0;
        if (w == WAIT_OBJECT_0 + 1) {
            mask = r.mask;
            return ::GetOverlappedResult(h_, &r.ov, &ignored, FALSE) ? Outcome::Waited
                                                                      : Outcome::Failed;
        }
        // Woken, or the wait itself failed: the pending wait writes into the record,
        // so it is ended before the record is used again or goes.
        PendingWait pending(h_, r);
        if (driverrelease::end(pending) == driverrelease::Outcome::Held) {
            held_ = true;
            (void)record_.release();
            return Outcome::Woken;
        }
        if (w == WAIT_OBJECT_0)
            return Outcome::Woken;
        // The watcher goes on: the mask cleared to end the wait is set again.
        ::SetCommMask(h_, EventsToMask(events_));
        return Outcome::Failed;
    }

    HANDLE h_;
    TComEvents events_;
    Event wake_;
    std::unique_ptr<WaitRecord> record_;
    bool held_ = false;
    int quietInRow_ = 0; // waits in a row that brought no event after waiting
    DWORD lastInputCount_ = 0;
};

} // namespace

namespace windevice {

DCB makeDcb(const LineSettings& s) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = s.baudRate;
    dcb.ByteSize = BYTE(s.dataBits);
    dcb.Parity = BYTE(s.parity);     // NOPARITY .. SPACEPARITY in the enumeration's order
    dcb.StopBits = BYTE(s.stopBits); // ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS
    dcb.fBinary = 1;
    dcb.fParity = s.parityCheck;
    dcb.fOutxCtsFlow = s.outCTSFlow;
    dcb.fOutxDsrFlow = s.outDSRFlow;
    dcb.fDtrControl = DWORD(s.dtr); // DTR_CONTROL_DISABLE, _ENABLE, _HANDSHAKE
    dcb.fRtsControl = DWORD(s.rts); // RTS_CONTROL_DISABLE, _ENABLE, _HANDSHAKE, _TOGGLE
    dcb.fDsrSensitivity = s.dsrSensitivity;
    dcb.fTXContinueOnXoff = s.txContinueOnXoff;
    dcb.fOutX = s.xonXoffOut;
    dcb.fInX = s.xonXoffIn;
    if (s.parityCheck && s.parityReplace) {
        dcb.fErrorChar = 1;
        dcb.ErrorChar = s.parityReplaceChar;
    }
    dcb.fNull = 0;
    dcb.fAbortOnError = 0;
    dcb.XonLim = WORD(s.inputQueueSize / 4);
    dcb.XoffLim = WORD(s.inputQueueSize / 4);
    dcb.XonChar = s.xonChar;
    dcb.XoffChar = s.xoffChar;
    dcb.EvtChar = s.eventChar;
    return dcb;
}

} // namespace windevice

struct ComDevice::Impl {
    HANDLE h = INVALID_HANDLE_VALUE;
    // Tells a program refused the port that this one holds it, while it is open.
    std::unique_ptr<portholder::HolderRecord> holder;
    QByteArray rx;
    bool discardNull = false;
    // The driver keeps a transfer past the stop's limit: nothing more is asked of it.
    bool held = false;
    std::int32_t writeMultiplier = 100;
    std::int32_t writeConstant = 1000;

    bool open() const { return h != INVALID_HANDLE_VALUE; }
    // 0 when the device can be used, else the error every step gives.
    DWORD usable() const {
        if (held)
            return DWORD(ComDevice::kDriverHeld);
        return open() ? 0 : DWORD(ERROR_INVALID_HANDLE);
    }

    // The time a transfer of n bytes may take: a read none (it returns at once), a
    // write what the write timeouts give it; the stop's limit comes on top.
    DWORD transferWait(std::int64_t writeBytes) const {
        const std::int64_t limit = driverrelease::kLimit.count();
        if (writeBytes == 0)
            return DWORD(limit);
        if (writeMultiplier < 0 || writeConstant < 0)
            return INFINITE;
        return DWORD(std::min<std::int64_t>(writeConstant + writeMultiplier * writeBytes + limit,
                                            INFINITE - 1));
    }

    // Runs one transfer; a transfer the driver keeps makes the device held.
    template <class Start>
    DWORD run(std::unique_ptr<TransferRecord>& r, Start start, std::int64_t writeBytes,
              DWORD& done) {
        bool keeps = false;
        const DWORD e = transfer(h, r, start, transferWait(writeBytes), done, keeps);
        if (keeps) {
            held = true;
            return DWORD(ComDevice::kDriverHeld);
        }
        return e;
    }

    // Moves what the driver holds into rx. 0, or the error.
    DWORD drain() {
        if (const DWORD e = usable())
            return e;
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(h, &errors, &status))
            return lastError();
        if (status.cbInQue == 0)
            return 0;
        auto r = std::make_unique<TransferRecord>();
        r->bytes.resize(qsizetype(status.cbInQue));
        char* buf = r->bytes.data();
        const DWORD size = DWORD(r->bytes.size());
        DWORD n = 0;
        if (const DWORD e = run(
                r, [&](OVERLAPPED* ov) { return ::ReadFile(h, buf, size, nullptr, ov); }, 0, n))
            return e;
        for (DWORD i = 0; i < n; ++i)
            if ((buf[i] != 0 || !discardNull) && rx.size() < kInputQueueLimit)
                rx.append(buf[i]);
        return 0;
    }
};

ComDevice::ComDevice() : d(std::make_unique<Impl>()) {}
ComDevice::~ComDevice() {
    close();
}

bool ComDevice::isOpen() const {
    return d->open();
}

int ComDevice::open(const std::string& path) {
    if (isOpen())
        return 0;
    if (path.empty())
        return ERROR_FILE_NOT_FOUND;
    // A port that another program opened through this component is refused as Windows
    // refuses it, before the system is asked: not every system that runs Windows programs
    // keeps a second program off a serial device (Wine does not).
    if (portholder::holderOfDevice(path))
        return ERROR_ACCESS_DENIED;
    // No sharing: a port that another program holds is refused (ERROR_ACCESS_DENIED).
    const HANDLE h = ::CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return int(lastError());
    // Only a communications device has a control block: anything else opened by its
    // name is refused here, before settings are pushed to it.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) {
        const DWORD e = lastError();
        ::CloseHandle(h);
        return int(e);
    }
    d->h = h;
    d->rx.clear();
    d->holder = std::make_unique<portholder::HolderRecord>(path);
    return 0;
}

void ComDevice::close() {
    if (!d->open())
        return;
    if (d->held) {
        // The port stays this process's until it ends, and so does its holder record.
        abandon();
        return;
    }
    d->holder.reset();
    ::CloseHandle(d->h);
    d->h = INVALID_HANDLE_VALUE;
    d->rx.clear();
}

void ComDevice::abandon() {
    // The handle stays open: the driver still owns an operation on it.
    d->h = INVALID_HANDLE_VALUE;
    d->held = false;
    d->rx.clear();
}

int ComDevice::applyLineSettings(const LineSettings& s) {
    if (const DWORD e = d->usable())
        return int(e);
    DCB dcb = windevice::makeDcb(s);
    if (!::SetCommState(d->h, &dcb))
        return int(lastError());
    d->discardNull = s.discardNull;
    return 0;
}

int ComDevice::applyQueueSizes(std::int32_t input, std::int32_t output) {
    if (const DWORD e = d->usable())
        return int(e);
    if (input < 0 || output < 0)
        return ERROR_INVALID_PARAMETER;
    return ::SetupComm(d->h, DWORD(input), DWORD(output)) ? 0 : int(lastError());
}

int ComDevice::applyTimeouts(std::int32_t writeMultiplier, std::int32_t writeConstant) {
    if (const DWORD e = d->usable())
        return int(e);
    COMMTIMEOUTS t{};
    // Interval at its maximum, both totals 0: a read returns at once with what the
    // driver holds, even nothing.
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    // A negative value stands for the largest one (-1 is MAXDWORD).
    t.WriteTotalTimeoutMultiplier = DWORD(writeMultiplier);
    t.WriteTotalTimeoutConstant = DWORD(writeConstant);
    if (!::SetCommTimeouts(d->h, &t))
        return int(lastError());
    d->writeMultiplier = writeMultiplier;
    d->writeConstant = writeConstant;
    return 0;
}

int ComDevice::readModemStatus(unsigned& lines) {
    if (const DWORD e = d->usable())
        return int(e);
    DWORD status = 0;
    if (!::GetCommModemStatus(d->h, &status)) {
        const DWORD e = lastError();
        // A port without modem lines to report (a virtual port; Wine's pseudo-terminals
        // fail without naming an error) reads as all lines off, as on other systems.
        if (e != 0 && e != ERROR_NOT_SUPPORTED && e != ERROR_INVALID_FUNCTION)
            return int(e);
        status = 0;
    }
    lines = unsigned(status);
    return 0;
}

int ComDevice::waiting(int& count) {
    const DWORD e = d->drain();
    count = int(d->rx.size());
    return int(e);
}

int ComDevice::purge(bool input, bool output) {
    if (const DWORD e = d->usable())
        return int(e);
    DWORD flags = input ? PURGE_RXCLEAR : 0;
    if (output) {
        // Only bytes still waiting to leave are discarded (a frame SendText has sent
        // must never be): the output purge runs only while the driver holds some.
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(d->h, &errors, &status))
            return int(lastError());
        if (status.cbOutQue > 0)
            flags |= PURGE_TXCLEAR;
    }
    if (flags != 0 && !::PurgeComm(d->h, flags))
        return int(lastError());
    if (input)
        d->rx.clear();
    return 0;
}

int ComDevice::write(const QByteArray& data, int& written) {
    written = 0;
    if (const DWORD e = d->usable())
        return int(e);
    if (data.isEmpty())
        return 0;
    // The driver ends the write when the bytes have left or when the write timeouts
    // have run out; the count then tells how many left.
    DWORD n = 0;
    const HANDLE h = d->h;
    auto r = std::make_unique<TransferRecord>();
    r->bytes = data;
    const char* bytes = r->bytes.constData();
    const DWORD size = DWORD(r->bytes.size());
    const DWORD e = d->run(
        r, [&](OVERLAPPED* ov) { return ::WriteFile(h, bytes, size, nullptr, ov); }, size, n);
    written = int(n);
    return int(e);
}

int ComDevice::read(QByteArray& data, int count) {
    data.clear();
    if (const DWORD e = d->drain())
        return int(e);
    const int n = std::min<int>(count, int(d->rx.size()));
    data = d->rx.left(n);
    d->rx.remove(0, n);
    return 0;
}

std::unique_ptr<ComEventWaiter> ComDevice::makeEventWaiter(TComEvents events) {
    return std::make_unique<WinEventWaiter>(d->h, events);
}
