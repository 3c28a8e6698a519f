// The main window against simulated signs on pseudo-terminal ports: start-up and its
// sign search, the click handlers, the error report on port failures, the deferred
// close, and the window's layout.
#include "windowtesting.h"

#include "discovery.h"
#include "ptyfixture.h"
#include "tcomsetupfrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using errorreport::MessageKind;

namespace {

// The message a closed port gives for the first call of every sign operation.
QString closedPortMessage(TForm1& form) {
    try {
        form.ComPort->PurgeQueues(true, true);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

} // namespace

// --- start-up ---------------------------------------------------------------------------

TEST(StartUp, WithoutPortsTellsNotFoundBeforeTheWindowAndOpensWithEmptyLog) {
    PtyPorts ports;
    MessageRecorder messages;
    TForm1 form;

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].kind, MessageKind::Result);
    EXPECT_EQ(messages.shown[0].text, signlink::kNotFoundMessage);
    EXPECT_FALSE(messages.shown[0].windowVisible);
    EXPECT_TRUE(control<QPlainTextEdit>(form, "Memo1")->toPlainText().isEmpty());
    EXPECT_TRUE(control<QStatusBar>(form, "StatusBar1")->currentMessage().isEmpty());
    EXPECT_EQ(control<QLabel>(form, "Label5")->text(), "50");
    EXPECT_EQ(control<QLabel>(form, "Label7")->text(), "200");
    EXPECT_FALSE(form.ComPort->Connected());
}

TEST(StartUp, FindsTheSignOnCom3AmongSilentPortsAndLeavesThePortOpen) {
    PtyPorts ports;
    ports.addSilent(1);
    auto& sign = ports.addSign(3);
    ports.addSilent(5);
    MessageRecorder messages;
    TForm1 form;

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, signlink::kFoundMessage + "COM3");
    EXPECT_FALSE(messages.shown[0].windowVisible);
    EXPECT_EQ(control<QStatusBar>(form, "StatusBar1")->currentMessage(), "Работаем на COM3");
    EXPECT_TRUE(form.ComPort->Connected());
    EXPECT_EQ(form.ComPort->Port(), "COM3");
    EXPECT_TRUE(control<QPlainTextEdit>(form, "Memo1")->toPlainText().isEmpty());
    EXPECT_EQ(sign.countReceived("R0E"), 1);
    EXPECT_EQ(ports.sign(1).countReceived("R0E"), 1);
    EXPECT_EQ(ports.sign(5).countReceived("R0E"), 1);

    form.showCentered();
    EXPECT_TRUE(form.isVisible());
}

TEST(StartUp, OfTwoAnsweringPortsTheHigherWins) {
    PtyPorts ports;
    ports.addSign(2);
    ports.addSign(7);
    MessageRecorder messages;
    TForm1 form;

    EXPECT_EQ(messages.results(), std::vector<QString>{signlink::kFoundMessage + "COM7"});
    EXPECT_EQ(form.ComPort->Port(), "COM7");
    EXPECT_TRUE(form.ComPort->Connected());
}

TEST(StartUp, AFailedSearchIsReportedAndTheRestOfCreationSkipped) {
    PtyPorts ports;
    ports.addSign(3);
    MessageRecorder messages;
    // The sign goes away while the operator reads the found message, so opening it fails.
    messages.onShow = [&](const QString&) { ports.remove(3); };
    TForm1 form;

    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].text, signlink::kFoundMessage + "COM3");
    EXPECT_EQ(messages.shown[1].kind, MessageKind::Error);
    EXPECT_TRUE(messages.shown[1].text.startsWith("Unable to open com port"));
    // The log is not cleared, the delay labels not set, the status bar untouched.
    EXPECT_FALSE(control<QPlainTextEdit>(form, "Memo1")->toPlainText().isEmpty());
    EXPECT_NE(control<QLabel>(form, "Label5")->text(), "50");
    EXPECT_TRUE(control<QStatusBar>(form, "StatusBar1")->currentMessage().isEmpty());

    form.showCentered();
    EXPECT_TRUE(form.isVisible());
}

// --- operations with the port closed ------------------------------------------------------

TEST(ClosedPort, EverySignButtonButTheSearchEndsInTheErrorReport) {
    PtyPorts ports;
    MessageRecorder messages;
    TForm1 form;
    const QString expected = errorreport::reportText(closedPortMessage(form));
    ASSERT_TRUE(expected.startsWith("PurgeComm function failed"));

    for (const char* name : {"Button7", "Button8", "Button5", "Button6", "effect"}) {
        SCOPED_TRACE(name);
        messages.shown.clear();
        control<QPushButton>(form, name)->click();
        EXPECT_EQ(messages.errors(), std::vector<QString>{expected});
        EXPECT_TRUE(messages.results().empty());
        EXPECT_TRUE(allSignButtonsEnabled(form));
    }
    // Nothing reached a display label.
    EXPECT_EQ(control<QLabel>(form, "Label9")->text(), "---");
    EXPECT_EQ(textColor(control<QLabel>(form, "Label9")), kPureRed);

    messages.shown.clear();
    control<QPushButton>(form, "Button36")->click();
    EXPECT_TRUE(messages.errors().empty());
    EXPECT_EQ(messages.results(), std::vector<QString>{signlink::kNotFoundMessage});
}

// --- operations on a sign -----------------------------------------------------------------

TEST(SignOperations, ReadBackShowsEveryPanelAndFillsEntriesAndAttributeSets) {
    PtyPorts ports;
    signsim::SimOptions options;
    options.panels['0'] = {"459", '5', 2}; // row 1, first half: ДТ, Евро
    options.panels['1'] = {"512", '4', 1}; // row 2: 98, Снежинка
    options.panels['4'] = {"---", '0', 0}; // row 5: not used
    options.panels['@'] = {"458", '3', 3}; // row 1, second half: 95, both flags
    options.faults.panels = {'I'};         // row 10, second half: never answers
    options.faults.silent = true;
    ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 10);

    control<QPushButton>(form, "Button7")->click();

    EXPECT_TRUE(messages.errors().empty());
    auto* label9 = control<QLabel>(form, "Label9");
    EXPECT_EQ(label9->text(), "459");
    EXPECT_EQ(textColor(label9), kPureGreen);
    EXPECT_EQ(control<TMaskEdit>(form, "MaskEdit6")->text(), "459");
    EXPECT_EQ(control<QLabel>(form, "Label12")->text(), "512");
    EXPECT_EQ(control<TMaskEdit>(form, "MaskEdit5")->text(), "512");
    EXPECT_EQ(control<QComboBox>(form, "ComboBox4")->currentIndex(), 3);
    EXPECT_TRUE(control<QCheckBox>(form, "CheckBox9")->isChecked());
    EXPECT_FALSE(control<QCheckBox>(form, "CheckBox14")->isChecked());
    // "---" is shown and copied as the sign holds it; grade "0" selects no grade.
    EXPECT_EQ(control<QLabel>(form, "Label10")->text(), "---");
    EXPECT_EQ(control<TMaskEdit>(form, "MaskEdit1")->text(), "---");
    EXPECT_EQ(control<QComboBox>(form, "ComboBox1")->currentIndex(), -1);
    // Row 1's set ends with the second half's row 1, read last.
    EXPECT_EQ(control<QLabel>(form, "lbl5")->text(), "458");
    EXPECT_EQ(control<QComboBox>(form, "ComboBox5")->currentIndex(), 2);
    EXPECT_TRUE(control<QCheckBox>(form, "CheckBox10")->isChecked());
    EXPECT_TRUE(control<QCheckBox>(form, "CheckBox15")->isChecked());
    // The silent panel.
    auto* label11 = control<QLabel>(form, "Label11");
    EXPECT_EQ(label11->text(), "XX.XX");
    EXPECT_EQ(textColor(label11), kPureRed);

    EXPECT_EQ(control<QProgressBar>(form, "ProgressBar1")->value(), 0);
    EXPECT_TRUE(allSignButtonsEnabled(form));
}

TEST(SignOperations, WriteSendsTheRowsToBothHalvesAndShowsTheReadBack) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 10);

    typeText(control<TMaskEdit>(form, "MaskEdit6"), "123"); // row 1
    auto* row2 = control<TMaskEdit>(form, "MaskEdit5");
    typeText(row2, "4");
    pressKey(row2, Qt::Key_Right);
    typeText(row2, "7");                                // row 2: "4", blank, "7"
    control<QCheckBox>(form, "chk1")->setChecked(true); // row 10 not used
    messages.shown.clear();
    control<QPushButton>(form, "Button8")->click();

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(sign.panel('0').price, "123");
    EXPECT_EQ(sign.panel('@').price, "123");
    EXPECT_EQ(sign.panel('1').price, "407");
    EXPECT_EQ(sign.panel('A').price, "407");
    EXPECT_EQ(sign.panel('9').price, "---");
    EXPECT_EQ(sign.panel('I').price, "---");
    EXPECT_EQ(sign.panel('5').price, "000");

    EXPECT_EQ(control<QLabel>(form, "Label9")->text(), "123");
    EXPECT_EQ(textColor(control<QLabel>(form, "lbl5")), kPureGreen);
    EXPECT_EQ(control<QLabel>(form, "Label21")->text(), "---");
    EXPECT_EQ(control<TMaskEdit>(form, "MaskEdit5")->text(), "407");
    EXPECT_TRUE(allSignButtonsEnabled(form));
}

TEST(SignOperations, AWriteAfterAReadBackLeavesTheSignAsItWas) {
    PtyPorts ports;
    signsim::SimOptions options;
    options.panels['3'] = {"467", '2', 0};
    options.panels['4'] = {"---", '1', 0}; // a row without a price
    auto& sign = ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 10);

    control<QPushButton>(form, "Button7")->click();
    control<QPushButton>(form, "Button8")->click();

    EXPECT_TRUE(messages.errors().empty());
    EXPECT_EQ(sign.panel('3').price, "467");
    EXPECT_EQ(sign.panel('4').price, "---");
    EXPECT_EQ(sign.panel('D').price, "000"); // the other half of that row keeps its own
}

TEST(SignOperations, ButtonsAndEffectAreHeldWhileTheWriteLetsMessagesThrough) {
    PtyPorts ports;
    ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 10);

    bool checked = false;
    bool anyEnabledMeanwhile = false;
    QTimer::singleShot(0, &form, [&] {
        checked = true;
        for (const char* name : kSignButtons)
            anyEnabledMeanwhile |= control<QPushButton>(form, name)->isEnabled();
    });
    control<QPushButton>(form, "Button8")->click();

    EXPECT_TRUE(checked);
    EXPECT_FALSE(anyEnabledMeanwhile);
    EXPECT_TRUE(allSignButtonsEnabled(form));
}

TEST(SignOperations, CloseDuringAWriteWaitsForItsEndShowingSoWithTheRowsFrozenAndNoBox) {
    PtyPorts ports;
    signsim::SimOptions options;
    options.faults.panels = {'B'}; // row 3, second half: never acknowledges
    options.faults.ack = signsim::SimFaults::Ack::None;
    auto& sign = ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 10);
    form.showCentered();
    control<QPushButton>(form, "Button7")->click(); // so that the write does not read first
    sign.clearRecords();
    messages.shown.clear();

    // The close request arrives at the write's first message pump; the next pump looks
    // at the caption and the top row.
    QString caption;
    bool topRowEnabled = true;
    QTimer::singleShot(0, &form, [&] {
        form.close();
        QTimer::singleShot(0, &form, [&] {
            caption = form.windowTitle();
            topRowEnabled = control<QWidget>(form, "input10")->isEnabled() ||
                            control<QWidget>(form, "chk1")->isEnabled();
        });
    });
    control<QPushButton>(form, "Button8")->click();

    EXPECT_EQ(caption, kWindowCaption + " — закроется после окончания обмена со стелой");
    EXPECT_FALSE(topRowEnabled);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.ComPort->Connected());
    // The write and its read-back ran to their end first.
    EXPECT_EQ(sign.countReceived("R@E"), 1);
    EXPECT_EQ(control<QLabel>(form, "lbl5")->text(), "000");
    EXPECT_EQ(textColor(control<QLabel>(form, "lbl5")), kPureGreen);
    // What did not take is only in the log.
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(control<QPlainTextEdit>(form, "Memo1")
                    ->toPlainText()
                    .endsWith("ряд 3, вторая половина: записано 000, на стеле 000, запись не "
                              "подтверждена"));
}

TEST(SignOperations, BrightnessAndEffectShowTheSignsAnswer) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    messages.shown.clear();

    control<QPushButton>(form, "Button5")->click();
    typeText(control<TMaskEdit>(form, "MaskEdit7"), "7");
    control<QPushButton>(form, "Button6")->click();
    EXPECT_EQ(sign.lastBrightnessCommand(), "LM7");

    typeText(control<TMaskEdit>(form, "del_effect"), "5");
    control<QCheckBox>(form, "chk9")->setChecked(true); // Эф.1
    control<QCheckBox>(form, "chk7")->setChecked(true); // Эф.3
    control<QPushButton>(form, "effect")->click();
    EXPECT_EQ(sign.lastEffect(), 165);

    EXPECT_EQ(messages.results(),
              (std::vector<QString>{"Установлена автоматическая яркость.",
                                    "Установлена ручная яркость: 7", "Эффекты включены"}));
}

TEST(SignOperations, PortSetupCancelledStillForces19200StoresAndReopens) {
    QTemporaryDir config;
    const QByteArray previousConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    PtyPorts ports;
    ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    form.ComPort->SetBaudRate(br9600);
    InstallComSetupDialog();
    SetComSetupDialogOperator([](TComSetupFrm& dialog) { dialog.reject(); });

    control<QPushButton>(form, "Button2")->click();
    SetComSetupDialogOperator({});

    EXPECT_TRUE(messages.errors().empty());
    EXPECT_EQ(form.ComPort->BaudRate(), br19200);
    EXPECT_EQ(form.ComPort->Port(), "COM3");
    EXPECT_TRUE(form.ComPort->Connected());
    QFile store(config.filePath("zemta/registry.reg"));
    ASSERT_TRUE(store.open(QIODevice::ReadOnly));
    const QString stored = QString::fromUtf8(store.readAll());
    EXPECT_TRUE(stored.contains("[HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\ComPort]"));
    EXPECT_TRUE(stored.contains("\"BaudRate\"=\"19200\""));
    if (previousConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", previousConfig);
}

TEST(SignOperations, DelayLabelsFollowTheirSettings) {
    PtyPorts ports;
    MessageRecorder messages;
    TForm1 form;

    control<QSlider>(form, "RxSlider1")->setValue(120);
    control<QSlider>(form, "RxSlider2")->setValue(300);
    EXPECT_EQ(control<QLabel>(form, "Label5")->text(), "120");
    EXPECT_EQ(control<QLabel>(form, "Label7")->text(), "300");
    EXPECT_EQ(form.link().readDelay(), 120);
    EXPECT_EQ(form.link().searchDelay(), 300);
}

// --- keyboard and focus ---------------------------------------------------------------------

TEST(KeyboardAndFocus, SpacesDuringAWriteStartedFromTheKeyboardReachNoRow) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 10);
    ASSERT_TRUE(activate(form));
    control<QPushButton>(form, "Button7")->click(); // so that the write does not read first
    retype(form, "input10", "456");                 // row 10, written last
    auto* write = control<QPushButton>(form, "Button8");
    write->setFocus(Qt::TabFocusReason);
    sign.clearRecords();

    // Two more Spaces while it runs: among the first rows' frames, and in the read-back.
    int steps = 0;
    QObject::connect(control<QProgressBar>(form, "ProgressBar1"), &QProgressBar::valueChanged,
                     &form, [&] {
                         if (++steps == 3 || steps == 30)
                             keyToFocus(Qt::Key_Space, " ");
                     });
    keyToFocus(Qt::Key_Space, " ");

    ASSERT_GT(steps, 30);
    for (int row = 1; row <= 10; ++row) {
        EXPECT_EQ(sign.panel(char('0' + row - 1)).price, row == 10 ? "456" : "000") << row;
        EXPECT_FALSE(control<QCheckBox>(form, kRows[row - 1].notUsed)->isChecked()) << row;
    }
    EXPECT_EQ(sign.countReceived("R9E"), 1); // one write and read-back
    EXPECT_EQ(QApplication::focusWidget(), write);
}

TEST(KeyboardAndFocus, EnterClicksAButtonOncePerPressAndTabStaysInSight) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    ASSERT_TRUE(activate(form));
    control<QPushButton>(form, "Button5")->setFocus(Qt::TabFocusReason);
    keyToFocus(Qt::Key_Return, "\r");
    keyToFocus(Qt::Key_Return, "\r", Qt::NoModifier, true); // the key is held
    keyToFocus(Qt::Key_Enter, "\r", Qt::KeypadModifier);
    EXPECT_EQ(sign.countReceived("LA"), 2);
    control<TMaskEdit>(form, "input6")->setFocus(Qt::TabFocusReason);
    keyToFocus(Qt::Key_Return, "\r");     // nothing in an entry
    EXPECT_EQ(messages.shown.size(), 3u); // the search's and two results

    for (int i = 0; i < 40; ++i) { // round the window
        keyToFocus(Qt::Key_Tab);
        QWidget* focus = QApplication::focusWidget();
        EXPECT_TRUE(form.rect().contains({focus->mapTo(&form, QPoint()), focus->size()}))
            << focus->objectName().toStdString();
    }
}

// --- layout ---------------------------------------------------------------------------------

class Layout : public ::testing::Test {
protected:
    PtyPorts ports;
    MessageRecorder messages;
    TForm1 form;

    QRect clientRect(const char* name) {
        QWidget* w = control<QWidget>(form, name);
        return {w->mapTo(&form, QPoint()), w->size()};
    }
};

TEST_F(Layout, WindowIsFixedWithItsCaptionAndOnlyACloseButton) {
    EXPECT_EQ(form.size(), QSize(528, 647));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(form.windowTitle(), "ЗЕМТА К450/600 - прошивка m407  www.zemta.ru");
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
}

TEST_F(Layout, ControlsStandAtTheirClientCoordinates) {
    const std::pair<const char*, QRect> expected[] = {
        {"GroupBox5", {8, 8, 513, 433}},    {"Button7", {32, 48, 89, 25}},
        {"Button8", {32, 168, 89, 25}},     {"input10", {224, 25, 55, 32}},
        {"MaskEdit6", {224, 385, 55, 32}},  {"chk1", {152, 32, 65, 17}},
        {"CheckBox3", {152, 392, 65, 17}},  {"GroupBox6", {288, 16, 105, 417}},
        {"GroupBox7", {408, 16, 105, 417}}, {"Label21", {304, 28, 73, 26}},
        {"lbl5", {424, 388, 73, 26}},       {"ProgressBar1", {8, 448, 513, 17}},
        {"GroupBox4", {8, 464, 513, 113}},  {"Button5", {56, 488, 153, 25}},
        {"MaskEdit7", {408, 485, 25, 24}},  {"effect", {64, 536, 105, 25}},
        {"del_effect", {360, 536, 25, 24}}, {"chk8", {296, 552, 65, 17}},
        {"GroupBox2", {8, 584, 513, 57}},   {"Button36", {48, 600, 97, 25}},
        {"Button2", {192, 600, 137, 25}},   {"Button1", {368, 600, 129, 25}},
        {"Memo1", {528, 16, 505, 625}},     {"StatusBar1", {0, 704, 865, 17}},
    };
    for (const auto& [name, rect] : expected)
        EXPECT_EQ(clientRect(name), rect) << name;
    EXPECT_EQ(clientRect("Label5").topLeft(), QPoint(265, 728));
}

TEST_F(Layout, HintsOnlyWhereGivenAndExactToTheBlank) {
    const QString effectHint = "Для включения эффекта введите значение от 1 - 9  \r\n"
                               "Число от 1 до 9 время в секундах между \"пробеганием\" эффекта\r\n"
                               "0 выключение ээфекта ";
    EXPECT_EQ(control<QWidget>(form, "effect")->toolTip(), effectHint);
    EXPECT_EQ(control<QWidget>(form, "del_effect")->toolTip(), effectHint);
    EXPECT_EQ(control<QWidget>(form, "Button2")->toolTip(), "Настройка порта");
    EXPECT_EQ(control<QWidget>(form, "input6")->toolTip(), "Введите значение цен.");
    EXPECT_EQ(control<QWidget>(form, "chk9")->toolTip(),
              "Поставьте галочку для включения эффекта.");
    EXPECT_TRUE(control<QWidget>(form, "MaskEdit7")->toolTip().isEmpty());
    EXPECT_TRUE(control<QWidget>(form, "Label9")->toolTip().isEmpty());
}

TEST_F(Layout, DisplayLabelsStartAsRedDashesOnBlack) {
    const QList<QLabel*> labels = {control<QGroupBox>(form, "GroupBox6")->findChildren<QLabel*>() +
                                   control<QGroupBox>(form, "GroupBox7")->findChildren<QLabel*>()};
    ASSERT_EQ(labels.size(), 20);
    for (QLabel* label : labels) {
        SCOPED_TRACE(label->objectName().toStdString());
        EXPECT_EQ(label->text(), "---");
        EXPECT_EQ(textColor(label), kPureRed);
        EXPECT_EQ(label->palette().color(QPalette::Window), QColor(Qt::black));
        EXPECT_EQ(label->alignment(), Qt::AlignCenter);
        EXPECT_EQ(label->font().pixelSize(), 21);
    }
}

TEST_F(Layout, HiddenStateIsOutOfTheOperatorsReach) {
    auto* group = control<QGroupBox>(form, "GroupBox5");
    for (const char* name : {"ComboBox1", "ComboBox2", "ComboBox3", "ComboBox4", "ComboBox5"}) {
        auto* grade = control<QComboBox>(form, name);
        EXPECT_FALSE(grade->isEnabled()) << name;
        EXPECT_GE(grade->x(), group->width()) << name;
        EXPECT_EQ(grade->count(), 5);
        EXPECT_EQ(grade->itemText(4), "ДТ");
        EXPECT_EQ(grade->currentIndex(), 0);
    }
    for (const char* name :
         {"CheckBox2", "CheckBox7", "CheckBox8", "CheckBox9", "CheckBox10", "CheckBox11",
          "CheckBox12", "CheckBox13", "CheckBox14", "CheckBox15"}) {
        auto* box = control<QCheckBox>(form, name);
        EXPECT_FALSE(box->isEnabled()) << name;
        EXPECT_GE(box->x(), group->width()) << name;
    }
    auto* write = control<QPushButton>(form, "Button29");
    EXPECT_TRUE(write->isHidden());
    EXPECT_FALSE(write->isEnabled());
    for (const char* name : {"RxSlider1", "RxSlider2"}) {
        EXPECT_TRUE(control<QSlider>(form, name)->isHidden()) << name;
        EXPECT_FALSE(control<QSlider>(form, name)->isEnabled()) << name;
    }
    EXPECT_TRUE(control<QFrame>(form, "Panel1")->isHidden());
    EXPECT_TRUE(control<QPlainTextEdit>(form, "Memo1")->isReadOnly());
}
