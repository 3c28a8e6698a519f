#include "tcustomcomport.h"

#include "comdevice.h"
#include "portmap.h"
#include "tcomthread.h"

#include <cerrno>
#include <stdexcept>

TCustomComPort::SetupDialogRunner TCustomComPort::setupDialogRunner_ = nullptr;

namespace {
// The error of a failed device step; a device whose driver holds it gives the same
// error whatever the step.
[[noreturn]] void fail(int errorCode, int systemCode) {
    if (systemCode == ComDevice::kDriverHeld)
        throw EComPort(CError_DriverHeld);
    throw EComPort(errorCode, systemCode);
}
} // namespace

TCustomComPort::TCustomComPort(QObject* parent)
    : QObject(parent), parity_(std::make_unique<TComParity>(this)),
      flowControl_(std::make_unique<TComFlowControl>(this)),
      timeouts_(std::make_unique<TComTimeouts>(this)), buffer_(std::make_unique<TComBuffer>(this)),
      device_(std::make_unique<ComDevice>()) {}

TCustomComPort::~TCustomComPort() {
    try {
        Close();
    } catch (...) {
        // Only a driver that keeps the port makes closing fail, and it has been let go
        // of then; a destructor must not throw anyway.
    }
    watcher_.reset();
    device_->close();
}

// --- setters ---------------------------------------------------------------------

void TCustomComPort::SetPort(const QString& port) {
    // Compared exactly: another letter case names the same device but counts as a
    // change, so an open port is opened again.
    if (port == port_)
        return;
    port_ = port;
    // On an open port the component moves to the new device at once.
    if (connected_ && !loading_) {
        Close();
        Open();
    }
}

void TCustomComPort::SetBaudRate(TBaudRate v) {
    if (v == baudRate_)
        return;
    baudRate_ = v;
    PushLineSettings();
}

void TCustomComPort::SetCustomBaudRate(std::uint32_t v) {
    if (v == customBaudRate_)
        return;
    customBaudRate_ = v;
    PushLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits v) {
    if (v == dataBits_)
        return;
    dataBits_ = v;
    PushLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits v) {
    if (v == stopBits_)
        return;
    stopBits_ = v;
    PushLineSettings();
}

void TCustomComPort::SetDiscardNull(bool v) {
    if (v == discardNull_)
        return;
    discardNull_ = v;
    PushLineSettings();
}

void TCustomComPort::SetEventChar(char v) {
    if (v == eventChar_)
        return;
    eventChar_ = v;
    PushLineSettings();
}

void TCustomComPort::SetEvents(TComEvents v) {
    events_ = v;
}

void TCustomComPort::SetSyncMethod(TSyncMethod v) {
    if (v == syncMethod_)
        return;
    if (connected_)
        throw EComPort(CError_ConnChangeProp);
    syncMethod_ = v;
}

// --- push steps ----------------------------------------------------------------

bool TCustomComPort::pushAllowed() const {
    return connected_ && updateCount_ == 0 && !loading_;
}

void TCustomComPort::PushSettings() {
    if (!pushAllowed())
        return;
    PushQueueSizes();
    PushLineSettings();
    PushTimeouts();
}

void TCustomComPort::PushLineSettings() {
    if (!pushAllowed())
        return;
    LineSettings s;
    s.baudRate = BaudRateValue(baudRate_, customBaudRate_);
    s.dataBits = 5 + int(dataBits_);
    s.parity = parity_->Bits();
    s.stopBits = stopBits_;
    s.parityCheck = parity_->Check();
    s.parityReplace = parity_->Check() && parity_->Replace();
    s.parityReplaceChar = s.parityReplace ? parity_->ReplaceChar() : 0;
    s.outCTSFlow = flowControl_->OutCTSFlow();
    s.outDSRFlow = flowControl_->OutDSRFlow();
    s.dtr = flowControl_->ControlDTR();
    s.rts = flowControl_->ControlRTS();
    s.xonXoffOut = flowControl_->XonXoffOut();
    s.xonXoffIn = flowControl_->XonXoffIn();
    s.dsrSensitivity = flowControl_->DSRSensitivity();
    s.txContinueOnXoff = flowControl_->TxContinueOnXoff();
    s.xonChar = flowControl_->XonChar();
    s.xoffChar = flowControl_->XoffChar();
    s.eventChar = eventChar_;
    s.discardNull = discardNull_;
    s.inputQueueSize = buffer_->InputSize();
    if (int e = device_->applyLineSettings(s))
        fail(CError_SetStateFailed, e);
}

void TCustomComPort::PushTimeouts() {
    if (!pushAllowed())
        return;
    if (int e = device_->applyTimeouts(timeouts_->WriteTotalMultiplier(),
                                       timeouts_->WriteTotalConstant()))
        fail(CError_TimeoutsFailed, e);
}

void TCustomComPort::PushQueueSizes() {
    if (!pushAllowed())
        return;
    if (int e = device_->applyQueueSizes(buffer_->InputSize(), buffer_->OutputSize()))
        fail(CError_SetupComFailed, e);
}

void TCustomComPort::SuspendPush() {
    ++updateCount_;
}

void TCustomComPort::ResumePush() {
    if (updateCount_ <= 0)
        return;
    if (--updateCount_ == 0)
        PushSettings();
}

// --- open and close ----------------------------------------------------------------

void TCustomComPort::OpenDevice() {
    if (int e = device_->open(portmap::devicePath(port_)))
        fail(CError_OpenFailed, e);
}

void TCustomComPort::CloseDevice() {
    device_->close();
}

void TCustomComPort::Open() {
    if (connected_)
        return;
    OpenDevice();
    connected_ = true;
    try {
        PushSettings();
    } catch (...) {
        CloseDevice();
        connected_ = false;
        throw;
    }
    if (events_ != 0)
        startWatcher();
    else
        watcherCreated_ = false;
    // The initial state of CTS, DSR and RLSD. Nobody listens here; a failed read
    // leaves the port open.
    for (int i = 0; i < 3; ++i) {
        unsigned lines = 0;
        if (int e = device_->readModemStatus(lines))
            fail(CError_ModemStatFailed, e);
    }
}

void TCustomComPort::Close() {
    if (!connected_)
        return;
    // Transfers complete before their calls return, so there is nothing to abort.
    if (!stopWatcher()) {
        // The driver keeps the watcher's wait: the device stays open, held by this
        // process, and the component goes on as closed.
        device_->abandon();
        connected_ = false;
        throw EComPort(CError_DriverHeld);
    }
    CloseDevice();
    connected_ = false;
}

void TCustomComPort::startWatcher() {
    watcher_ = std::make_unique<TComThread>(*this, device_->makeEventWaiter(events_), syncMethod_);
    watcherCreated_ = true;
}

bool TCustomComPort::stopWatcher() {
    bool released = true;
    if (watcher_) {
        released = watcher_->Stop();
        watcher_.reset();
    }
    watcherCreated_ = false;
    return released;
}

void TCustomComPort::DispatchEvents(TComEvents events) {
    // With no handlers attached only the status reads have effects. A failed read
    // ends the watcher; the port stays open without one.
    try {
        unsigned lines = 0;
        // An error event clears the line-error state and a received-character event
        // reads the input count; one query of the input queue serves both.
        if (events & (comEvent(evError) | comEvent(evRxChar))) {
            int count = 0;
            if (int e = device_->waiting(count))
                fail(CError_ClearComFailed, e);
        }
        if (events & (comEvent(evCTS) | comEvent(evDSR) | comEvent(evRLSD)))
            if (int e = device_->readModemStatus(lines))
                fail(CError_ModemStatFailed, e);
    } catch (const EComPort&) {
        if (watcher_)
            watcher_->RequestEnd();
        return;
    }
    emit LineEvents(events);
}

// --- transfers -----------------------------------------------------------------

int TCustomComPort::WaitingCount() {
    int count = 0;
    if (int e = device_->waiting(count))
        fail(CError_ClearComFailed, e);
    return count;
}

void TCustomComPort::PurgeQueues(bool input, bool output) {
    if (int e = device_->purge(input, output))
        fail(CError_PurgeFailed, e);
}

int TCustomComPort::SendText(const QByteArray& text) {
    if (text.isEmpty())
        return 0;
    int written = 0;
    if (int e = device_->write(text, written))
        fail(CError_WriteFailed, e);
    return written;
}

int TCustomComPort::TakeText(QByteArray& text, int count) {
    if (count <= 0) {
        text.clear();
        return 0;
    }
    if (int e = device_->read(text, count))
        fail(CError_ReadFailed, e);
    int left = 0;
    if (int e = device_->waiting(left))
        fail(CError_ClearComFailed, e);
    return int(text.size());
}

// --- setup dialog ------------------------------------------------------------------

void TCustomComPort::SetSetupDialogRunner(SetupDialogRunner runner) {
    setupDialogRunner_ = runner;
}

void TCustomComPort::RunSetupDialog() {
    if (!setupDialogRunner_)
        throw std::logic_error("the port setup dialog is not installed");
    setupDialogRunner_(*this);
}
