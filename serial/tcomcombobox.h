#pragma once
// TComComboBox: a drop-down list of the port setup dialog that shows one setting of
// a serial port component (the port, baud rate, data bits, stop bits, parity or flow
// control) and writes the operator's choice back only when asked to (ApplyChoice).

#include "tcustomcomport.h"

#include <QComboBox>
#include <QPointer>
#include <QStringList>

// Which setting a list shows.
enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// TComSelect: the list's companion without widgets: the kind of setting, the bound
// component and the value chosen so far, which reaches the component only by Apply.
class TComSelect {
public:
    TComProperty ComProperty() const { return kind_; }
    void SetComProperty(TComProperty kind) { kind_ = kind; }
    TCustomComPort* ComPort() const { return port_; }
    void SetComPort(TCustomComPort* port) { port_ = port; }
    // With AutoApply a choice goes to the component at once; the setup dialog leaves it off.
    bool AutoApply() const { return autoApply_; }
    void SetAutoApply(bool on) { autoApply_ = on; }

    // The entries of the kind: the system's serial ports (EComPort code 23 when they
    // cannot be listed) or the text table of the setting, in enumeration order.
    QStringList Entries() const;
    // The bound component's current value as text; empty when unbound or cpNone.
    QString ComponentText() const;
    // Makes the value named by an entry's text the chosen value (case-insensitive
    // for the text tables); false, leaving the value, when the text names none.
    bool Choose(const QString& text);
    // Writes the chosen value into the bound component.
    void Apply() const;

private:
    TComProperty kind_ = cpNone;
    QPointer<TCustomComPort> port_;
    bool autoApply_ = false;

    QString portName_;
    TBaudRate baudRate_ = brCustom;
    TDataBits dataBits_ = dbFive;
    TStopBits stopBits_ = sbOneStopBit;
    TParityBits parity_ = prNone;
    TFlowControl flowControl_ = fcHardware;
};

class TComComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComComboBox(QWidget* parent = nullptr);

    TComProperty ComProperty() const { return select_.ComProperty(); }
    // Refills the entries for the kind, then shows the bound component's value, or
    // selects the first entry when no component is bound. Code 23 for cpPort when
    // the ports cannot be listed; the list then stays as it was.
    void SetComProperty(TComProperty kind);
    TCustomComPort* ComPort() const { return select_.ComPort(); }
    // Binds the list to a component (nullptr unbinds) and shows its value.
    void SetComPort(TCustomComPort* port);
    bool AutoApply() const { return select_.AutoApply(); }
    void SetAutoApply(bool on) { select_.SetAutoApply(on); }

    // Selects the entry matching the component's value (case-insensitively) and takes
    // its value as the choice; with no match nothing is selected and the choice stays.
    void ShowCurrentValue();
    // Writes the choice into the bound component.
    void ApplyChoice();
    // What the operator's pick of an entry does: select it and take its value as the
    // choice (applied at once only with AutoApply).
    void ChooseEntry(int index);

private:
    TComSelect select_;
};
