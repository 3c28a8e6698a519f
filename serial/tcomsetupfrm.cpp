#include "tcomsetupfrm.h"

#include "catalog.h"
#include "tcomcombobox.h"
#include "tcustomcomport.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

namespace {

QString caption(const char* text) {
    return QString::fromStdString(catalog::cport(text));
}

std::function<void(TComSetupFrm&)>& standInOperator() {
    static std::function<void(TComSetupFrm&)> op;
    return op;
}

QLabel* makeLabel(QWidget* parent, const char* name, const char* text, int top) {
    auto* label = new QLabel(caption(text), parent);
    label->setObjectName(QLatin1String(name));
    label->move(8, top);
    label->adjustSize();
    return label;
}

TComComboBox* makeList(QWidget* parent, const char* name, TComProperty kind, int top) {
    auto* list = new TComComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setGeometry(80, top, 129, 21);
    list->SetComProperty(kind);
    return list;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* text, int left) {
    auto* button = new QPushButton(caption(text), parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(left, 184, 75, 25);
    return button;
}

void runSetupDialog(TCustomComPort& port) {
    TComSetupFrm dialog(QApplication::activeWindow());
    const auto lists = dialog.Lists();
    for (TComComboBox* list : lists)
        list->SetComPort(&port);
    for (TComComboBox* list : lists)
        list->ShowCurrentValue();

    if (auto op = standInOperator())
        QTimer::singleShot(0, &dialog, [op, &dialog] { op(dialog); });
    if (dialog.exec() != QDialog::Accepted)
        return;

    port.SuspendPush();
    try {
        for (TComComboBox* list : lists)
            list->ApplyChoice();
    } catch (...) {
        // Leave the component unsuspended; the first failure is the one to report.
        try {
            port.ResumePush();
        } catch (...) {
        }
        throw;
    }
    port.ResumePush();
}

} // namespace

TComSetupFrm::TComSetupFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ComSetupFrm"));
    setWindowTitle(caption("Setup"));
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(231, 216);

    GroupBox1 = new QGroupBox(caption(" Settings "), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 8, 217, 169);

    Label1 = makeLabel(GroupBox1, "Label1", "Port", 24);
    Label2 = makeLabel(GroupBox1, "Label2", "Baud rate", 48);
    Label3 = makeLabel(GroupBox1, "Label3", "Data bits", 72);
    Label4 = makeLabel(GroupBox1, "Label4", "Stop bits", 96);
    Label5 = makeLabel(GroupBox1, "Label5", "Parity", 120);
    Label6 = makeLabel(GroupBox1, "Label6", "Flow control", 144);

    // Filling the port list raises code 23 when the ports cannot be listed; the
    // dialog is then abandoned here, before anything is shown.
    Combo1 = makeList(GroupBox1, "Combo1", cpPort, 16);
    Combo2 = makeList(GroupBox1, "Combo2", cpBaudRate, 40);
    Combo3 = makeList(GroupBox1, "Combo3", cpDataBits, 64);
    Combo4 = makeList(GroupBox1, "Combo4", cpStopBits, 88);
    Combo5 = makeList(GroupBox1, "Combo5", cpParity, 112);
    Combo6 = makeList(GroupBox1, "Combo6", cpFlowControl, 136);

    Button1 = makeButton(this, "Button1", "OK", 70);
    Button1->setDefault(true);
    Button2 = makeButton(this, "Button2", "Cancel", 150);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

    // Down the lists, then OK, then Cancel.
    QWidget* order[] = {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6, Button1, Button2};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(),
                                        screen->availableGeometry()));
}

std::array<TComComboBox*, 6> TComSetupFrm::Lists() const {
    return {Combo1, Combo2, Combo3, Combo4, Combo5, Combo6};
}

void TComSetupFrm::keyPressEvent(QKeyEvent* event) {
    // No button of this dialog is its cancel button, so Escape closes nothing. (The
    // close box still closes it, and counts as Cancel.)
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void InstallComSetupDialog() {
    TCustomComPort::SetSetupDialogRunner(&runSetupDialog);
}

void SetComSetupDialogOperator(std::function<void(TComSetupFrm&)> standIn) {
    standInOperator() = std::move(standIn);
}
