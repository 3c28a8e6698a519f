#include "tcomcombobox.h"

#include "listserialports.h"

namespace {

QStringList toQStringList(const std::vector<std::string>& table) {
    QStringList list;
    for (const std::string& s : table)
        list.append(QString::fromStdString(s));
    return list;
}

// The value of a text table entry, or -1 when the text is in none.
int indexIn(const std::vector<std::string>& table, const QString& text) {
    return FindTextIndex(table, text.toStdString());
}

} // namespace

QStringList TComSelect::Entries() const {
    switch (kind_) {
    case cpNone:
        return {};
    case cpPort: {
        QStringList ports;
        ListSerialPorts(ports);
        return ports;
    }
    case cpBaudRate:
        return toQStringList(BaudRateTexts());
    case cpDataBits:
        return toQStringList(DataBitsTexts());
    case cpStopBits:
        return toQStringList(StopBitsTexts());
    case cpParity:
        return toQStringList(ParityTexts());
    case cpFlowControl:
        return toQStringList(FlowControlTexts());
    }
    return {};
}

QString TComSelect::ComponentText() const {
    if (!port_)
        return {};
    const TCustomComPort& p = *port_;
    switch (kind_) {
    case cpNone:
        return {};
    case cpPort:
        return p.Port();
    case cpBaudRate:
        return QString::fromStdString(BaudRateToStr(p.BaudRate()));
    case cpDataBits:
        return QString::fromStdString(DataBitsToStr(p.DataBits()));
    case cpStopBits:
        return QString::fromStdString(StopBitsToStr(p.StopBits()));
    case cpParity:
        return QString::fromStdString(ParityToStr(p.Parity().Bits()));
    case cpFlowControl:
        return QString::fromStdString(FlowControlToStr(p.FlowControl().ReadFlowSummary()));
    }
    return {};
}

bool TComSelect::Choose(const QString& text) {
    int i = -1;
    switch (kind_) {
    case cpNone:
        return false;
    case cpPort:
        portName_ = text;
        return true;
    case cpBaudRate:
        if ((i = indexIn(BaudRateTexts(), text)) >= 0)
            baudRate_ = TBaudRate(i);
        break;
    case cpDataBits:
        if ((i = indexIn(DataBitsTexts(), text)) >= 0)
            dataBits_ = TDataBits(i);
        break;
    case cpStopBits:
        if ((i = indexIn(StopBitsTexts(), text)) >= 0)
            stopBits_ = TStopBits(i);
        break;
    case cpParity:
        if ((i = indexIn(ParityTexts(), text)) >= 0)
            parity_ = TParityBits(i);
        break;
    case cpFlowControl:
        if ((i = indexIn(FlowControlTexts(), text)) >= 0)
            flowControl_ = TFlowControl(i);
        break;
    }
    return i >= 0;
}

void TComSelect::Apply() const {
    if (!port_)
        return;
    TCustomComPort& p = *port_;
    switch (kind_) {
    case cpNone:
        break;
    case cpPort:
        // No port chosen: the component's port is not among the system's ports and
        // the operator picked none. An empty name is no device, so keep the port.
        if (!portName_.isEmpty())
            p.SetPort(portName_);
        break;
    case cpBaudRate:
        p.SetBaudRate(baudRate_);
        break;
    case cpDataBits:
        p.SetDataBits(dataBits_);
        break;
    case cpStopBits:
        p.SetStopBits(stopBits_);
        break;
    case cpParity:
        p.Parity().SetBits(parity_);
        break;
    case cpFlowControl:
        p.FlowControl().WriteFlowSummary(flowControl_);
        break;
    }
}

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    connect(this, &QComboBox::activated, this, [this](int index) {
        // Runs from the event loop, which no exception may cross. Only AutoApply can
        // raise here (a port that cannot take the value); the list then shows the
        // component's value again instead of a choice that did not take.
        try {
            ChooseEntry(index);
        } catch (const EComPort&) {
            ShowCurrentValue();
        }
    });
}

void TComComboBox::SetComProperty(TComProperty kind) {
    TComSelect next = select_;
    next.SetComProperty(kind);
    const QStringList entries = next.Entries(); // may raise; the list is untouched then
    select_ = next;
    clear();
    addItems(entries);
    if (ComPort())
        ShowCurrentValue();
    else
        setCurrentIndex(count() > 0 ? 0 : -1);
}

void TComComboBox::SetComPort(TCustomComPort* port) {
    select_.SetComPort(port);
    ShowCurrentValue();
}

void TComComboBox::ShowCurrentValue() {
    if (!ComPort() || ComProperty() == cpNone)
        return;
    const QString text = select_.ComponentText();
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).compare(text, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(i);
            select_.Choose(itemText(i));
            return;
        }
    }
    setCurrentIndex(-1);
}

void TComComboBox::ApplyChoice() {
    select_.Apply();
}

void TComComboBox::ChooseEntry(int index) {
    if (index < 0 || index >= count())
        return;
    setCurrentIndex(index);
    select_.Choose(itemText(index));
    if (AutoApply())
        ApplyChoice();
}
