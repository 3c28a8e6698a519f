#include "tform1.h"

#include "appinfo.h"
#include "brightness.h"
#include "discovery.h"
#include "errorreport.h"
#include "journalfile.h"
#include "journalops.h"
#include "journalwindow.h"
#include "pricewrite.h"
#include "readback.h"
#include "sessionend.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>

#include <algorithm>
#include <exception>
#include <memory>
#include <utility>

namespace {

// Hints (tool tips).
const QString kReadHint =
    QStringLiteral("Прочитать данные из стелы. Прочитанные значения отображены в полях справа.");
const QString kWriteHint = QStringLiteral("Записать данные в стелу.");
const QString kNotUsedHint = QStringLiteral("Поставьте галочку для панелей без цены.");
const QString kPriceHint = QStringLiteral("Введите значение цен.");
const QString kAutoHint = QStringLiteral("Включение автоматической регулировки яркости.");
const QString kManualHint = QStringLiteral(
    "Включение ручной регулировкия яркости. Значения от 0 до 9 введите в поле справа.");
const QString kEffectHint =
    QStringLiteral("Для включения эффекта введите значение от 1 - 9  \r\n"
                   "Число от 1 до 9 время в секундах между \"пробеганием\" эффекта\r\n"
                   "0 выключение ээфекта ");
const QString kEffectBoxHint = QStringLiteral("Поставьте галочку для включения эффекта.");
const QString kSearchHint = QStringLiteral("Автоматический поиск табло и открытие порта.");
const QString kSetupHint = QStringLiteral("Настройка порта");
const QString kExitHint = QStringLiteral("Выйти из программы");

// Added to the caption while a close waits for the end of a write or read-back.
const QString kClosePendingNote = QStringLiteral(" — закроется после окончания обмена со стелой");

// The port setup sequence stores the settings here.
const QString kSettingsLocation = QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\ZEMTA");

// The window's client size, and with the technician view the log (x 528..1033) and the
// status bar (y 704, 17 high) in sight as well.
constexpr QSize kOperatorSize(528, 647);
constexpr QSize kTechnicianSize(1033, 721);

const QString kSaveLogAction = QStringLiteral("Сохранить журнал...");
const QString kSaveLogCaption = QStringLiteral("Сохранить журнал");
const QString kSaveLogFilter = QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*)");
const QString kSaveLogFailed = QStringLiteral("Не удалось сохранить журнал в файл %1: %2");
const QString kJournalFailed =
    QStringLiteral("Не удалось записать журнал цен в файл %1: %2. Цены на стелу записываются, "
                   "но в журнал не попадают");

const QColor kPureRed(255, 0, 0);
const QColor kPureGreen(0, 255, 0);
const QString kBadPanel = QStringLiteral("XX.XX");

// Where each price row stands, in window client coordinates.
struct RowLayout {
    const char* entry;
    const char* notUsed;
    const char* firstLabel;
    const char* secondLabel;
    int entryY;
    int boxY;
};
// Index row - 1: row 1 at the bottom.
constexpr RowLayout kRowLayout[10] = {
    {"MaskEdit6", "CheckBox3", "Label9", "lbl5", 385, 392},
    {"MaskEdit5", "CheckBox6", "Label12", "lbl4", 345, 352},
    {"MaskEdit4", "CheckBox4", "Label13", "lbl3", 305, 312},
    {"MaskEdit3", "CheckBox5", "Label14", "lbl2", 265, 272},
    {"MaskEdit1", "CheckBox1", "Label10", "lbl1", 225, 232},
    {"input6", "chk5", "Label15", "Label2", 185, 192},
    {"input7", "chk4", "Label16", "Label3", 145, 152},
    {"input8", "chk3", "Label19", "Label4", 105, 112},
    {"input9", "chk2", "Label20", "Label8", 65, 72},
    {"input10", "chk1", "Label21", "Label11", 25, 32},
};

// The five attribute sets; index set - 1 (set n belongs to row n).
struct AttributeSetNames {
    const char* grade;
    const char* snowflake;
    const char* euro;
};
constexpr AttributeSetNames kAttributeSetNames[5] = {
    {"ComboBox5", "CheckBox10", "CheckBox15"}, {"ComboBox4", "CheckBox9", "CheckBox14"},
    {"ComboBox3", "CheckBox8", "CheckBox13"},  {"ComboBox2", "CheckBox7", "CheckBox12"},
    {"ComboBox1", "CheckBox2", "CheckBox11"},
};

// A group box drawn with its caption on an etched frame line, as the layout's
// coordinates assume: a display column's top label sits right below its caption.
class FramedGroupBox : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const QRect frame = rect().adjusted(0, metrics.height() / 2, -1, -1);
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        painter.setPen(palette().color(QPalette::Light));
        painter.drawRect(frame.adjusted(1, 1, 0, 0));
        if (title().isEmpty())
            return;
        const QRect caption(8, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
        painter.fillRect(caption, palette().color(QPalette::Window));
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(caption, Qt::AlignCenter, title());
    }
};

// Names a control and puts it at a rectangle given in window client coordinates,
// whichever group box holds it.
template <typename W> W* place(QWidget* window, W* control, const char* name, QRect clientRect) {
    control->setObjectName(QString::fromLatin1(name));
    QWidget* parent = control->parentWidget();
    const QPoint origin = parent == window ? QPoint() : parent->mapTo(window, QPoint());
    control->setGeometry(clientRect.translated(-origin));
    return control;
}

QPushButton* makeButton(QWidget* window, QWidget* parent, const char* name, const QString& caption,
                        QRect rect, const QString& hint = {}) {
    auto* button = place(window, new QPushButton(caption, parent), name, rect);
    button->setToolTip(hint);
    return button;
}

QCheckBox* makeCheckBox(QWidget* window, QWidget* parent, const char* name, const QString& caption,
                        QRect rect, const QString& hint = {}) {
    auto* box = place(window, new QCheckBox(caption, parent), name, rect);
    box->setToolTip(hint);
    return box;
}

// Return and keypad Enter on a focused push button click it, once per press: a held
// key's repeats click nothing, so they cannot start the operation again once it ended.
class EnterClicksButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button != nullptr && button->isEnabled() && !key->isAutoRepeat())
            button->click();
        return true;
    }
};

// While a write or read-back runs, the keyboard focus rests on the window itself, where
// no key changes anything. Left to Qt, it would pass from the disabled button to the
// next control, the top row's "Не исп.", and a second Space or a repeating key meant
// for the button would tick it while the rows are being sent. Tab does not move it on
// either. At the end the focus goes back to the button that started the operation,
// unless the operator has put it elsewhere with the mouse meanwhile.
class FocusParking : public QObject {
public:
    FocusParking(QWidget& window, QWidget* startedBy) : window_(window), startedBy_(startedBy) {
        window_.installEventFilter(this);
        window_.setFocus(Qt::OtherFocusReason);
    }
    ~FocusParking() override {
        window_.removeEventFilter(this);
        const QWidget* focus = window_.focusWidget();
        if ((focus == nullptr || focus == &window_) && startedBy_->isEnabled())
            startedBy_->setFocus(Qt::OtherFocusReason);
    }
    FocusParking(const FocusParking&) = delete;
    FocusParking& operator=(const FocusParking&) = delete;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || window_.focusWidget() != &window_)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        return key == Qt::Key_Tab || key == Qt::Key_Backtab;
    }

private:
    QWidget& window_;
    QWidget* startedBy_;
};

void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

} // namespace

// Disables the buttons that start sign operations (and "Эффект", so that nothing else
// talks to the sign while a write or read-back lets window messages through), and the
// price entries and "Не исп." boxes, and enables them again however the operation ends,
// a port error included. Meanwhile the keyboard focus is parked.
//
// The rows are locked because the write reads each row only when it reaches it, after a
// message pump: a digit typed meanwhile would go to the sign half-typed, and a read-back
// that ends clears every row's edited state, so an edit made during it would be taken
// for a row nobody touched.
class TForm1::ButtonsLock {
public:
    ButtonsLock(TForm1& form, QPushButton* startedBy)
        : form_(form), focus_(form, startedBy),
          buttons_{form.Button5, form.Button7,  form.Button8, form.Button6,
                   form.Button36, form.Button2, form.Button1, form.effect} {
        for (QPushButton* button : buttons_)
            button->setEnabled(false);
        form_.setRowsEnabled(false);
    }
    ~ButtonsLock() {
        // A close waiting for the end keeps the rows disabled until the window goes.
        if (!form_.closePending_)
            form_.setRowsEnabled(true);
        for (QPushButton* button : buttons_)
            button->setEnabled(true);
    }
    ButtonsLock(const ButtonsLock&) = delete;
    ButtonsLock& operator=(const ButtonsLock&) = delete;

private:
    TForm1& form_;
    FocusParking focus_; // parked before anything is disabled, back after enabling
    std::array<QPushButton*, 8> buttons_;
};

// Shows the read-back's results: display labels, first-half entries, attribute sets.
// With keepTyped, an entry the operator has edited keeps what was typed.
class TForm1::ReadBackDisplay : public signlink::ReadBackView {
public:
    ReadBackDisplay(TForm1& form, bool keepTyped) : form_(form), keepTyped_(keepTyped) {}

    void showPanel(const signlink::ReadBackStep& step, const signlink::PanelReply& reply) override {
        const PriceRowControls& row = form_.rows_.at(step.row - 1);
        QLabel* label = step.firstHalf ? row.firstHalf : row.secondHalf;
        if (!reply.good()) {
            setTextColor(label, kPureRed);
            label->setText(kBadPanel);
            return;
        }
        const QString price = signlink::signText(reply.price());
        label->setText(price);
        setTextColor(label, kPureGreen);
        if (step.attributeSet != 0) {
            const AttributeSet& set = form_.attributeSets_.at(step.attributeSet - 1);
            set.grade->setCurrentIndex(reply.gradeIndex());
            set.snowflake->setChecked(reply.snowflake());
            set.euro->setChecked(reply.euro());
        }
        // The entry keeps the bytes as they came, so that they go back unchanged.
        if (step.entry != nullptr && !(keepTyped_ && row.entry->editedByOperator()))
            row.entry->setSignBytes(reply.price(), price);
    }

    void setProgress(int position) override { form_.ProgressBar1->setValue(position); }

private:
    TForm1& form_;
    bool keepTyped_;
};

// What the operator asked of each row: a row counts as asked for when its entry was
// edited or its "Не исп." box changed since the latest read-back. Rows 6 to 10 share row
// 5's attribute set.
class TForm1::WriteInputs : public signlink::RowRequests {
public:
    explicit WriteInputs(TForm1& form) : form_(form) {}

    signlink::RowRequest requestFor(int row) override {
        const PriceRowControls& controls = form_.rows_.at(row - 1);
        const AttributeSet& set = form_.attributeSets_.at(std::min(row, 5) - 1);
        signlink::RowRequest request;
        request.asked = controls.entry->editedByOperator() ||
                        controls.notUsed->isChecked() != form_.notUsedAtRead_.at(row - 1);
        signlink::PriceRow& input = request.typed;
        input.price = controls.entry->positions();
        for (int position = 0; position < 3; ++position)
            input.heldBytes.at(position) = controls.entry->heldByte(position);
        input.notUsed = controls.notUsed->isChecked();
        input.gradeIndex = set.grade->currentIndex();
        input.snowflake = set.snowflake->isChecked();
        input.euro = set.euro->isChecked();
        return request;
    }

    void setProgress(int position) override { form_.ProgressBar1->setValue(position); }

private:
    TForm1& form_;
};

TForm1::TForm1(QWidget* parent) : QWidget(parent), ComPort(new TComPort(this)), link_(*ComPort) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kWindowCaption);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(kOperatorSize);
    setFont(appinfo::font(appinfo::kSansSerif, 11));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    setPalette(palette);
    setAutoFillBackground(true);

    createComPort();
    buildControls();

    link_.setReadDelay(RxSlider1->value());
    link_.setSearchDelay(RxSlider2->value());
    link_.setLogSink([this](const QString& line) { Memo1->appendPlainText(line); });
    link_.setMessagePump([] { QCoreApplication::processEvents(); });
    journal_ = std::make_unique<journal::Journal>(
        journal::defaultPath(),
        journal::currentContext(QStringLiteral("zemta-stela"), QStringLiteral(ZEMTA_PRODUCT_VERSION)));
    journal_->setFailureHandler([this](const QString& path, const QString& error) {
        journalProblem_ = kJournalFailed.arg(QDir::toNativeSeparators(path), error);
    });

    const std::pair<QPushButton*, void (TForm1::*)()> handlers[] = {
        {Button7, &TForm1::Button7Click},   {Button8, &TForm1::Button8Click},
        {Button29, &TForm1::Button29Click}, {Button5, &TForm1::Button5Click},
        {Button6, &TForm1::Button6Click},   {effect, &TForm1::effectClick},
        {Button36, &TForm1::Button36Click}, {Button2, &TForm1::Button2Click},
        {Button1, &TForm1::Button1Click},
    };
    for (const auto& [button, handler] : handlers)
        connect(button, &QPushButton::clicked, this, [this, handler = handler] {
            runOperation([this, handler] { (this->*handler)(); });
        });
    auto* enterClicks = new EnterClicksButton(this);
    for (QPushButton* button : findChildren<QPushButton*>())
        button->installEventFilter(enterClicks);

    auto* technicianView = new QShortcut(QKeySequence(Qt::Key_F12), this);
    connect(technicianView, &QShortcut::activated, this, &TForm1::toggleTechnicianView);
    connect(JournalButton, &QPushButton::clicked, this, &TForm1::openJournalWindow);
    auto* journalKey = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(journalKey, &QShortcut::activated, this, &TForm1::openJournalWindow);
    Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Memo1, &QPlainTextEdit::customContextMenuRequested, this, &TForm1::showLogMenu);

    runOperation([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::createComPort() {
    ComPort->setObjectName(QStringLiteral("ComPort"));
    signlink::configureSignPort(*ComPort);
}

void TForm1::buildControls() {
    QWidget* w = this;

    // "Ввод данных": the price rows and their display columns.
    GroupBox5 = place(w, new FramedGroupBox(QStringLiteral("Ввод данных"), this), "GroupBox5",
                      {8, 8, 513, 433});
    Button7 = makeButton(w, GroupBox5, "Button7", QStringLiteral("Прочитать"), {32, 48, 89, 25},
                         kReadHint);
    Button8 = makeButton(w, GroupBox5, "Button8", QStringLiteral("Записать"), {32, 168, 89, 25},
                         kWriteHint);
    GroupBox6 = place(w, new FramedGroupBox(QStringLiteral("Первая половина"), GroupBox5),
                      "GroupBox6", {288, 16, 105, 417});
    GroupBox7 = place(w, new FramedGroupBox(QStringLiteral("Вторая половина"), GroupBox5),
                      "GroupBox7", {408, 16, 105, 417});

    const QFont priceFont = appinfo::font(appinfo::kSansSerif, 19);
    const QFont displayFont = appinfo::font(appinfo::kArial, 21);
    auto makeDisplay = [&](QGroupBox* column, const char* name, int x, int y) {
        auto* label = place(w, new QLabel(QStringLiteral("---"), column), name, {x, y, 73, 26});
        label->setAlignment(Qt::AlignCenter);
        label->setFont(displayFont);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::black);
        palette.setColor(QPalette::WindowText, kPureRed);
        label->setPalette(palette);
        label->setAutoFillBackground(true);
        return label;
    };
    // Top row first, so that the tab order runs down the window.
    for (int row = 10; row >= 1; --row) {
        const RowLayout& layout = kRowLayout[row - 1];
        PriceRowControls& controls = rows_.at(row - 1);
        controls.notUsed = makeCheckBox(w, GroupBox5, layout.notUsed, QStringLiteral("Не исп."),
                                        {152, layout.boxY, 65, 17}, kNotUsedHint);
        controls.entry =
            place(w, new TMaskEdit(3, GroupBox5), layout.entry, {224, layout.entryY, 55, 32});
        controls.entry->setFont(priceFont);
        controls.entry->setToolTip(kPriceHint);
        controls.firstHalf = makeDisplay(GroupBox6, layout.firstLabel, 304, layout.entryY + 3);
        controls.secondHalf = makeDisplay(GroupBox7, layout.secondLabel, 424, layout.entryY + 3);
    }

    // The attribute sets: disabled, beyond the group's right edge (x 521).
    for (int set = 1; set <= 5; ++set) {
        const AttributeSetNames& names = kAttributeSetNames[set - 1];
        const int y = 24 + (set - 1) * 48;
        AttributeSet& controls = attributeSets_.at(set - 1);
        controls.grade = place(w, new QComboBox(GroupBox5), names.grade, {536, y, 57, 21});
        controls.grade->addItems(signlink::kGradeNames);
        controls.grade->setCurrentIndex(0);
        controls.snowflake = makeCheckBox(w, GroupBox5, names.snowflake, QStringLiteral("Снежинка"),
                                          {536, y + 24, 73, 17});
        controls.euro =
            makeCheckBox(w, GroupBox5, names.euro, QStringLiteral("Евро"), {616, y + 24, 57, 17});
        for (QWidget* control :
             {static_cast<QWidget*>(controls.grade), static_cast<QWidget*>(controls.snowflake),
              static_cast<QWidget*>(controls.euro)})
            control->setEnabled(false);
    }
    Button29 = makeButton(w, GroupBox5, "Button29", QStringLiteral("Записать"), {32, 208, 89, 25});
    Button29->setEnabled(false);
    Button29->hide();

    ProgressBar1 = place(w, new QProgressBar(this), "ProgressBar1", {8, 448, 513, 17});
    ProgressBar1->setRange(0, 20);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    // "Яркость": brightness and effects.
    GroupBox4 = place(w, new FramedGroupBox(QStringLiteral("Яркость"), this), "GroupBox4",
                      {8, 464, 513, 113});
    Button5 = makeButton(w, GroupBox4, "Button5", QStringLiteral("Автоматическая"),
                         {56, 488, 153, 25}, kAutoHint);
    Button6 = makeButton(w, GroupBox4, "Button6", QStringLiteral("Ручная"), {248, 488, 105, 25},
                         kManualHint);
    const QFont digitFont = appinfo::font(appinfo::kSansSerif, 13);
    MaskEdit7 = place(w, new TMaskEdit(1, GroupBox4), "MaskEdit7", {408, 485, 25, 24});
    MaskEdit7->setFont(digitFont);
    effect = makeButton(w, GroupBox4, "effect", QStringLiteral("Эффект"), {64, 536, 105, 25},
                        kEffectHint);
    chk9 = makeCheckBox(w, GroupBox4, "chk9", QStringLiteral("Эф.1"), {224, 528, 65, 17},
                        kEffectBoxHint);
    chk6 = makeCheckBox(w, GroupBox4, "chk6", QStringLiteral("Эф.2"), {224, 552, 65, 17},
                        kEffectBoxHint);
    chk7 = makeCheckBox(w, GroupBox4, "chk7", QStringLiteral("Эф.3"), {296, 528, 65, 17},
                        kEffectBoxHint);
    chk8 = makeCheckBox(w, GroupBox4, "chk8", QStringLiteral("Эф.4"), {296, 552, 65, 17},
                        kEffectBoxHint);
    del_effect = place(w, new TMaskEdit(1, GroupBox4), "del_effect", {360, 536, 25, 24});
    del_effect->setFont(digitFont);
    del_effect->setToolTip(kEffectHint);

    // "Настройки порта".
    GroupBox2 = place(w, new FramedGroupBox(QStringLiteral("Настройки порта"), this), "GroupBox2",
                      {8, 584, 513, 57});
    Button36 = makeButton(w, GroupBox2, "Button36", QStringLiteral("Поиск стелы"),
                          {48, 600, 97, 25}, kSearchHint);
    Button2 = makeButton(w, GroupBox2, "Button2", QStringLiteral("Настроить COM - порт."),
                         {192, 600, 137, 25}, kSetupHint);
    Button1 = makeButton(w, GroupBox2, "Button1", QStringLiteral("Выход из программы"),
                         {368, 600, 129, 25}, kExitHint);

    // Outside the visible area: the log, the status bar and the two delays.
    Memo1 = place(w, new QPlainTextEdit(this), "Memo1", {528, 16, 505, 625});
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setFocusPolicy(Qt::NoFocus); // no Tab stop out of the operator's sight
    JournalButton = makeButton(w, this, "JournalButton", kJournalWindowCaption, {528, 652, 105, 25});
    JournalButton->setFocusPolicy(Qt::NoFocus);
    StatusBar1 = place(w, new QStatusBar(this), "StatusBar1", {0, 704, 865, 17});
    StatusBar1->setSizeGripEnabled(false);

    auto makeDelay = [&](const char* name, int minimum, int maximum, int value, QRect rect) {
        auto* slider = place(w, new QSlider(Qt::Horizontal, this), name, rect);
        slider->setRange(minimum, maximum);
        slider->setValue(value);
        slider->setEnabled(false);
        slider->setFocusPolicy(Qt::NoFocus);
        slider->hide();
        return slider;
    };
    RxSlider1 = makeDelay("RxSlider1", 1, 999, 50, {8, 680, 150, 20});
    RxSlider2 = makeDelay("RxSlider2", 1, 500, 200, {168, 680, 150, 20});
    Label5 = place(w, new QLabel(QStringLiteral("Label5"), this), "Label5", {265, 728, 40, 13});
    Panel1 = place(w, new QFrame(this), "Panel1", {328, 720, 65, 33});
    Panel1->hide();
    Label7 = place(w, new QLabel(QStringLiteral("Label7"), Panel1), "Label7", {336, 728, 40, 13});
    connect(RxSlider1, &QSlider::valueChanged, this, [this](int value) {
        link_.setReadDelay(value);
        Label5->setText(QString::number(value));
    });
    connect(RxSlider2, &QSlider::valueChanged, this, [this](int value) {
        link_.setSearchDelay(value);
        Label7->setText(QString::number(value));
    });
}

void TForm1::showCentered() {
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    show();
}

void TForm1::runOperation(const std::function<void()>& operation) {
    ++running_;
    // After a failure the port may have gone, or another sign may answer on it by the time
    // it works again: the next write reads first.
    if (!errorreport::runGuarded(operation))
        lastRead_.reset();
    --running_;
    if (running_ == 0 && sessionend::ending()) {
        // The session ends: the operation stopped between two frames; the port is
        // closed before the system ends the process.
        endSession();
        return;
    }
    // Told once the operation is over: a box in the middle of a write would let the
    // operator start another exchange with the sign.
    if (running_ == 0 && !journalProblem_.isEmpty())
        errorreport::reportError(std::exchange(journalProblem_, QString()));
    if (running_ == 0 && closePending_) {
        showClosePending(false);
        close();
    }
}

void TForm1::showClosePending(bool pending) {
    closePending_ = pending;
    setWindowTitle(pending ? kWindowCaption + kClosePendingNote : kWindowCaption);
    // Nothing typed into the rows now would reach the sign before the window goes. The
    // focus leaves them first, or Qt would hand it to the next control still enabled.
    if (pending && GroupBox5->isAncestorOf(focusWidget()))
        setFocus(Qt::OtherFocusReason);
    setRowsEnabled(!pending);
}

void TForm1::setRowsEnabled(bool enabled) {
    for (const PriceRowControls& row : rows_) {
        row.entry->setEnabled(enabled);
        row.notUsed->setEnabled(enabled);
    }
}

void TForm1::endSession() {
    // An operation still running stops at its next frame and comes back here.
    if (running_ > 0)
        return;
    try {
        ComPort->Close();
    } catch (...) {
        // A port the driver keeps goes with the process; nobody is left to tell.
    }
    sessionend::released();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The write and the read-back let window messages through; closing then would pull
    // the window out from under them, so the close waits for their end, and the caption
    // says so.
    if (running_ > 0) {
        if (!closePending_)
            showClosePending(true);
        event->ignore();
        return;
    }
    lastRead_.reset();
    errorreport::runGuarded([this] { ComPort->Close(); });
    event->accept();
}

// --- handlers ---------------------------------------------------------------------------

void TForm1::FormCreate() {
    Button36Click();
    Memo1->clear();
    Label5->setText(QString::number(RxSlider1->value()));
    Label7->setText(QString::number(RxSlider2->value()));
}

void TForm1::Button36Click() {
    // Whatever port the search ends on (or none), another sign may answer there.
    lastRead_.reset();
    signlink::runDiscovery(link_, {errorreport::showMessage,
                                   [this](const QString& text) { StatusBar1->showMessage(text); }});
}

void TForm1::Button7Click() {
    ButtonsLock lock(*this, Button7);
    journal::recordRead(journal_.get(), link_, readBack());
}

void TForm1::Button8Click() {
    std::vector<signlink::PanelMismatch> notTaken;
    {
        ButtonsLock lock(*this, Button8);
        // Every panel is planned from its own reply; unless the latest read-back holds
        // one of every panel (after start-up: of none), the sign is read first. A panel
        // that did not answer, in a row the operator did not touch, is left as it is.
        WriteInputs inputs(*this);
        journal::recordedWrite(
            journal_.get(), link_, inputs, lastRead_ ? &*lastRead_ : nullptr,
            [this] { return readBack(true); }, signlink::UnreadPanels::LeaveOut,
            signlink::PlannedFrameSending::All, [&](const signlink::PlannedWrite& write) {
                // Not one panel answered: nothing was written.
                if (!write.sent) {
                    notTaken = signlink::noReplyFromAnyPanel();
                    return signlink::writeOutcome(ComPort->Port(), write, {}, nullptr, notTaken);
                }
                const signlink::SignContents after = readBack();
                notTaken = signlink::checkWrittenSign(*write.sent, write.reported, after);
                return signlink::writeOutcome(ComPort->Port(), write, {}, &after, notTaken);
            });
    }
    tellNotTaken(notTaken);
}

void TForm1::Button29Click() {
    writePrices();
}

void TForm1::Button5Click() {
    errorreport::showMessage(journal::setAutomaticBrightness(journal_.get(), link_));
}

void TForm1::Button6Click() {
    errorreport::showMessage(journal::setManualBrightness(journal_.get(), link_, MaskEdit7->value()));
}

void TForm1::effectClick() {
    const std::uint8_t effectByte =
        signlink::effectByte(del_effect->value(), chk9->isChecked(), chk6->isChecked(),
                             chk7->isChecked(), chk8->isChecked());
    errorreport::showMessage(journal::setEffect(journal_.get(), link_, effectByte));
}

void TForm1::Button2Click() {
    // The dialog may move the window to another port, and another sign.
    lastRead_.reset();
    ComPort->Close();
    ComPort->RunSetupDialog();
    ComPort->SetBaudRate(br19200);
    // The port opens before the settings are stored: they are never read back, so a
    // store that fails must not cost the connection. Both steps run; when both fail,
    // the open failure is the one reported.
    std::exception_ptr openFailure;
    try {
        ComPort->Open();
    } catch (...) {
        openFailure = std::current_exception();
    }
    try {
        ComPort->SaveSettings(stRegistry, kSettingsLocation);
    } catch (...) {
        if (!openFailure)
            throw;
    }
    if (openFailure)
        std::rethrow_exception(openFailure);
}

void TForm1::Button1Click() {
    close();
}

// --- the write's safety -------------------------------------------------------------------

signlink::SignContents TForm1::readBack(bool keepTyped) {
    // A read-back that a port error ends leaves none behind: the next write reads first.
    lastRead_.reset();
    ReadBackDisplay display(*this, keepTyped);
    lastRead_ = signlink::readBackSign(link_, display);
    // The read-back has ended: what the rows show now is what the next write starts from,
    // also where a panel did not answer and its entry still shows what was typed. Such a
    // row is no longer asked for; its label shows "XX.XX" (after a write, the box names
    // the panel too).
    if (!keepTyped)
        for (int row = 1; row <= 10; ++row) {
            notUsedAtRead_.at(row - 1) = rows_.at(row - 1).notUsed->isChecked();
            rows_.at(row - 1).entry->forgetEdits();
        }
    return *lastRead_;
}

signlink::WriteRecord TForm1::writePrices() {
    WriteInputs inputs(*this);
    return signlink::writePlanned(link_, lastRead_.value_or(signlink::SignContents{}), inputs);
}

void TForm1::tellNotTaken(const std::vector<signlink::PanelMismatch>& mismatches) {
    if (mismatches.empty())
        return;
    for (const signlink::PanelMismatch& panel : mismatches)
        link_.log(panel.describe());
    // A close asked for during the write ends the program right after it; the log has it.
    if (closePending_)
        return;
    errorreport::showMessage(signlink::describeMismatches(mismatches));
}

// --- the technician's view of the log -------------------------------------------------------

void TForm1::toggleTechnicianView() {
    technicianView_ = !technicianView_;
    setFixedSize(technicianView_ ? kTechnicianSize : kOperatorSize);
    if (technicianView_ && screen() != nullptr) {
        // Grown to the right and down: moved back as far as it takes to stay on the
        // screen, the top left corner first where the screen is too small for it.
        const QRect available = screen()->availableGeometry();
        const QRect frame = frameGeometry();
        const int x = std::clamp(frame.left(), available.left(),
                                 std::max(available.left(), available.right() - frame.width() + 1));
        const int y =
            std::clamp(frame.top(), available.top(),
                       std::max(available.top(), available.bottom() - frame.height() + 1));
        move(pos() + QPoint(x - frame.left(), y - frame.top()));
    }
    // Out of sight, the log takes no focus, so that Tab never lands on it.
    Memo1->setFocusPolicy(technicianView_ ? Qt::StrongFocus : Qt::NoFocus);
    JournalButton->setFocusPolicy(technicianView_ ? Qt::StrongFocus : Qt::NoFocus);
    if (!technicianView_ && Memo1->hasFocus())
        Memo1->clearFocus();
    if (!technicianView_ && JournalButton->hasFocus())
        JournalButton->clearFocus();
}

void TForm1::openJournalWindow() {
    if (journalWindow_.isNull()) {
        journalWindow_ = new JournalWindow(journal_->path(), this);
        journalWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    journalWindow_->show();
    journalWindow_->raise();
    journalWindow_->activateWindow();
}

void TForm1::showLogMenu(const QPoint& position) {
    std::unique_ptr<QMenu> menu(Memo1->createStandardContextMenu(position));
    menu->addSeparator();
    menu->addAction(kSaveLogAction, this, [this] { saveLog(); });
    menu->exec(Memo1->viewport()->mapToGlobal(position));
}

void TForm1::saveLog() {
    const QString suggested =
        QDateTime::currentDateTime().toString(QStringLiteral("'zemta-log-'yyyyMMdd-HHmmss'.txt'"));
    QFileDialog dialog(this, kSaveLogCaption, QDir::homePath(), kSaveLogFilter);
    dialog.setObjectName(QStringLiteral("SaveLogDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();

    QString text = Memo1->toPlainText();
    if (!text.isEmpty())
        text += QLatin1Char('\n');
    // Written to a temporary file and renamed: a failure leaves what the file held.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit())
        errorreport::reportError(
            kSaveLogFailed.arg(QDir::toNativeSeparators(path), file.errorString()));
}
