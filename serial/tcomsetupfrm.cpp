#include "tcomsetupfrm.h"

#include "catalog.h"
#include "tcomcombobox.h"
#include "tcustomcomport.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <algorithm>

namespace {

QString caption(const char* text) {
    return QString::fromStdString(catalog::cport(text));
}

std::function<void(TComSetupFrm&)>& standInOperator() {
    static std::function<void(TComSetupFrm&)> op;
    return op;
}

// Where the captions stand: left of the lists, whose left edge is at kListLeft; each
// list stands kListDrop above its caption's top, one row every kRowPitch.
constexpr int kCaptionLeft = 8;
constexpr int kListLeft = 80;
constexpr int kCaptionGap = 4;
constexpr int kCaptionWidth = kListLeft - kCaptionGap - kCaptionLeft;
constexpr int kListDrop = 8;
constexpr int kListHeight = 21;
constexpr int kRowPitch = 24;
constexpr int kCaptionTops[] = {24, 48, 72, 96, 120, 144};

QLabel* makeLabel(QWidget* parent, const char* name, const char* text, int top) {
    auto* label = new QLabel(caption(text), parent);
    label->setObjectName(QLatin1String(name));
    label->move(kCaptionLeft, top);
    return label;
}

// Fits one caption into the room left of its list. At the group's font when it fits;
// else at the largest smaller font, down to three quarters of it, that holds it on one
// line or, broken at its blanks, within the list's row. A caption on one line keeps its
// top (a smaller one its baseline); a broken one is centred on its list. Only a caption
// that fits in none of these ways is shortened with an ellipsis, carrying its full text
// as tool tip.
void fitCaption(QLabel* label, int top) {
    const QString text = label->toolTip().isEmpty() ? label->text() : label->toolTip();
    const QFont base = label->parentWidget()->font();
    const int baseAscent = QFontMetrics(base).ascent();
    const int rowCentre = top - kListDrop + kListHeight / 2;
    const int largest = QFontInfo(base).pixelSize();
    const int smallest = std::max(1, largest * 3 / 4);
    const bool breakable = text.trimmed().contains(u' ');
    for (int size = largest; size >= smallest; --size) {
        QFont font = base;
        font.setPixelSize(size);
        const QFontMetrics metrics(font);
        for (const bool wrap : {false, true}) {
            if (wrap && !breakable)
                continue;
            const QRect needed = metrics.boundingRect(QRect(0, 0, kCaptionWidth, 1000),
                                                      wrap ? Qt::TextWordWrap : 0, text);
            if (needed.width() > kCaptionWidth || needed.height() > kRowPitch - 1)
                continue;
            const int y =
                wrap ? rowCentre - needed.height() / 2 : top + baseAscent - metrics.ascent();
            label->setFont(size == largest ? QFont() : font); // QFont(): the group's own
            label->setWordWrap(wrap);
            label->setText(text);
            label->setToolTip({});
            label->setGeometry(kCaptionLeft, y, kCaptionWidth, needed.height());
            return;
        }
    }
    QFont font = base;
    font.setPixelSize(smallest);
    const QFontMetrics metrics(font);
    label->setFont(font);
    label->setWordWrap(false);
    label->setText(metrics.elidedText(text, Qt::ElideRight, kCaptionWidth));
    label->setToolTip(text);
    label->setGeometry(kCaptionLeft, top, kCaptionWidth, metrics.height());
}

TComComboBox* makeList(QWidget* parent, const char* name, TComProperty kind, int top) {
    auto* list = new TComComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setGeometry(kListLeft, top, 129, kListHeight);
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

    Label1 = makeLabel(GroupBox1, "Label1", "Port", kCaptionTops[0]);
    Label2 = makeLabel(GroupBox1, "Label2", "Baud rate", kCaptionTops[1]);
    Label3 = makeLabel(GroupBox1, "Label3", "Data bits", kCaptionTops[2]);
    Label4 = makeLabel(GroupBox1, "Label4", "Stop bits", kCaptionTops[3]);
    Label5 = makeLabel(GroupBox1, "Label5", "Parity", kCaptionTops[4]);
    Label6 = makeLabel(GroupBox1, "Label6", "Flow control", kCaptionTops[5]);
    FitCaptions();

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

void TComSetupFrm::FitCaptions() {
    const std::array<QLabel*, 6> labels = {Label1, Label2, Label3, Label4, Label5, Label6};
    for (std::size_t i = 0; i < labels.size(); ++i)
        fitCaption(labels[i], kCaptionTops[i]);
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
