#pragma once
// TCustomComPort: the serial port component. It owns one serial device, pushes
// the line settings to it, writes byte strings, tells how many received bytes
// wait and hands them out, and raises EComPort on every failure of the device.
//
// Reading never waits: the sign link polls WaitingCount and takes replies with
// TakeText. Received bytes move from the device into the component's own input
// queue (dropping NUL bytes when DiscardNull is set), so the count is exact and
// nothing but TakeText and PurgeQueues ever removes them.
//
// All operations run on the thread that created the component (the user-interface
// thread). While the port is open an event watcher thread (TComThread) waits for
// line events and hands them to that thread; it never touches received data.

#include "comsettings.h"
#include "comtypes.h"
#include "ecomport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class ComDevice;
class TComThread;

// Where SaveSettings stores the basic settings.
enum TStoreType { stRegistry, stIniFile };

class TCustomComPort : public QObject {
    Q_OBJECT
public:
    explicit TCustomComPort(QObject* parent = nullptr);
    ~TCustomComPort() override;

    // --- properties -----------------------------------------------------------------
    const QString& Port() const { return port_; }
    void SetPort(const QString& port);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate v);
    std::uint32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::uint32_t v);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits v);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits v);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool v);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char v);
    // Only stored: an open port's watcher keeps the mask it was started with.
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents v);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    // Raises code 14 when changed while connected.
    void SetSyncMethod(TSyncMethod v);
    bool Connected() const { return connected_; }

    TComParity& Parity() { return *parity_; }
    const TComParity& Parity() const { return *parity_; }
    TComFlowControl& FlowControl() { return *flowControl_; }
    const TComFlowControl& FlowControl() const { return *flowControl_; }
    TComTimeouts& Timeouts() { return *timeouts_; }
    const TComTimeouts& Timeouts() const { return *timeouts_; }
    TComBuffer& Buffer() { return *buffer_; }
    const TComBuffer& Buffer() const { return *buffer_; }

    // While loading (the window applying its initial values) setters only store.
    void BeginLoading() { loading_ = true; }
    void EndLoading() { loading_ = false; }
    bool Loading() const { return loading_; }

    // --- operations ------------------------------------------------------------------
    // Opens the device and pushes all settings; no-op when open. Code 1 on failure.
    void Open();
    // Stops the watcher and closes the device; no-op when closed. When the driver does
    // not let the watcher go within the stop's limit, the port stays held by this
    // process until it ends, the component is closed all the same, and code 24 follows.
    void Close();
    // Number of received bytes waiting (NUL bytes not counted when discarded). Code 10.
    int WaitingCount();
    // Discards waiting input and/or output that has not left yet. Code 5.
    void PurgeQueues(bool input, bool output);
    // Writes all bytes and returns when they have left the output queue, or when the
    // write timeout (WriteTotalConstant + WriteTotalMultiplier per byte) has run out;
    // returns the number of bytes sent. Code 2.
    int SendText(const QByteArray& text);
    // Takes at most count waiting bytes into text without waiting; text then holds
    // exactly the bytes taken. Code 3 (code 10 for the queue query after the read).
    int TakeText(QByteArray& text, int count);

    // Nested suspension of pushes; the ResumePush that brings the counter to 0 pushes
    // all settings once.
    void SuspendPush();
    void ResumePush();

    // Shows the port setup dialog for this component (code 23 when the system's port
    // list cannot be read). The dialog lives in the widget library, which registers it.
    void RunSetupDialog();
    using SetupDialogRunner = void (*)(TCustomComPort&);
    static void SetSetupDialogRunner(SetupDialogRunner runner);

    // Stores Port, BaudRate, StopBits, DataBits, Parity and FlowControl under
    // location + "\" + component name. Code 16 on any failure.
    void SaveSettings(TStoreType kind, const QString& location);

    // --- push steps (do nothing unless open, not suspended and not loading) ----------
    virtual void PushSettings();
    virtual void PushLineSettings();
    virtual void PushTimeouts();
    virtual void PushQueueSizes();

signals:
    // Line events handed over by the watcher, on the component's thread.
    void LineEvents(TComEvents events);

protected:
    virtual void StoreToRegistry(const QString& location);
    virtual void OpenDevice();
    virtual void CloseDevice();

private:
    friend class TComThread;
    bool pushAllowed() const;
    // Runs on the component's thread for a set of events handed over by the watcher.
    void DispatchEvents(TComEvents events);
    void startWatcher();
    // False when the driver keeps the watcher's wait (see TComThread::Stop).
    bool stopWatcher();

    QString port_ = QStringLiteral("COM1");
    TBaudRate baudRate_ = br9600;
    std::uint32_t customBaudRate_ = 9600;
    TDataBits dataBits_ = dbEight;
    TStopBits stopBits_ = sbOneStopBit;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = AllComEvents;
    TSyncMethod syncMethod_ = smThreadSync;
    bool connected_ = false;
    bool loading_ = false;
    std::int32_t updateCount_ = 0;

    std::unique_ptr<TComParity> parity_;
    std::unique_ptr<TComFlowControl> flowControl_;
    std::unique_ptr<TComTimeouts> timeouts_;
    std::unique_ptr<TComBuffer> buffer_;

    std::unique_ptr<ComDevice> device_;
    std::unique_ptr<TComThread> watcher_;
    bool watcherCreated_ = false;

    static SetupDialogRunner setupDialogRunner_;
};
