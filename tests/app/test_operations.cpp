// The sign operations as the operator runs them from the main window, against simulated
// signs on pseudo-terminal ports: what the display labels, the price entries, the hidden
// attribute sets and the message boxes show, what reaches the sign, and the port setup
// button with its settings store.
#include "windowtesting.h"

#include "discovery.h"
#include "ptyfixture.h"
#include "tcomcombobox.h"
#include "tcomsetupfrm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

char firstHalf(int row) {
    return static_cast<char>('0' + row - 1);
}
char secondHalf(int row) {
    return static_cast<char>('@' + row - 1);
}

// A sign whose 20 panels all differ in price, grade and flags.
signsim::SimOptions distinctPanels() {
    signsim::SimOptions options;
    for (int i = 0; i < 20; ++i)
        options.panels[signsim::kPanelAddresses[i]] = {std::to_string(101 + 43 * i),
                                                       static_cast<char>('1' + i % 5),
                                                       static_cast<std::uint8_t>(i % 4)};
    return options;
}

void expectLabel(TForm1& form, const char* name, const QString& text, const QColor& color) {
    auto* label = control<QLabel>(form, name);
    EXPECT_EQ(label->text(), text) << name;
    EXPECT_EQ(textColor(label), color) << name;
}

// What an attribute set should hold after a good reply from a panel holding `panel`.
void expectSetFrom(TForm1& form, int set, const signsim::PanelContent& panel) {
    const SetControls& names = kSets[set - 1];
    SCOPED_TRACE(names.grade);
    EXPECT_EQ(control<QComboBox>(form, names.grade)->currentIndex(), panel.grade - '1');
    EXPECT_EQ(control<QCheckBox>(form, names.snowflake)->isChecked(), (panel.flags & 1) != 0);
    EXPECT_EQ(control<QCheckBox>(form, names.euro)->isChecked(), (panel.flags & 2) != 0);
}

// Everything a sign operation may change on screen or in the hidden sets, as text.
QStringList displayState(TForm1& form) {
    QStringList state;
    for (const RowControls& row : kRows) {
        for (const char* name : {row.firstLabel, row.secondLabel}) {
            auto* label = control<QLabel>(form, name);
            state << QStringLiteral("%1=%2 %3").arg(name, label->text(), textColor(label).name());
        }
        state << QStringLiteral("%1=%2").arg(row.entry,
                                             control<TMaskEdit>(form, row.entry)->positions());
    }
    for (const SetControls& set : kSets)
        state << QStringLiteral("%1=%2 %3 %4")
                     .arg(set.grade)
                     .arg(control<QComboBox>(form, set.grade)->currentIndex())
                     .arg(control<QCheckBox>(form, set.snowflake)->isChecked())
                     .arg(control<QCheckBox>(form, set.euro)->isChecked());
    return state;
}

QByteArray fileContent(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// --- read-back ------------------------------------------------------------------------------

TEST(ReadBackButton, EveryGoodPanelShowsGreenAndFillsTheEntriesAndTheRowSets) {
    PtyPorts ports;
    const signsim::SimOptions options = distinctPanels();
    ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    messages.shown.clear();

    click(form, "Button7");

    EXPECT_TRUE(messages.shown.empty());
    for (int row = 1; row <= 10; ++row) {
        SCOPED_TRACE(row);
        const QString first = QString::fromStdString(options.panels.at(firstHalf(row)).price);
        const QString second = QString::fromStdString(options.panels.at(secondHalf(row)).price);
        expectLabel(form, kRows[row - 1].firstLabel, first, kPureGreen);
        expectLabel(form, kRows[row - 1].secondLabel, second, kPureGreen);
        EXPECT_EQ(control<TMaskEdit>(form, kRows[row - 1].entry)->text(), first);
    }
    // Row 1's set ends with the second half's row 1, read last; rows 2..5 hold the
    // first half's own rows.
    expectSetFrom(form, 1, options.panels.at('@'));
    for (int set = 2; set <= 5; ++set)
        expectSetFrom(form, set, options.panels.at(firstHalf(set)));
    EXPECT_EQ(control<QProgressBar>(form, "ProgressBar1")->value(), 0);
    EXPECT_TRUE(allSignButtonsEnabled(form));
}

TEST(ReadBackButton, RowOnesSetTakesOnlyItsOwnPanelsAndASilentPanelShowsRedXs) {
    PtyPorts ports;
    signsim::SimOptions options = distinctPanels();
    // Row 1's first-half panel differs from every panel read after it.
    options.panels['0'] = {"777", '4', 3};
    options.faults.panels = {'@'};
    options.faults.silent = true;
    ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);

    click(form, "Button7");

    expectLabel(form, "lbl5", "XX.XX", kPureRed);
    expectLabel(form, "Label9", "777", kPureGreen);
    // Panels "5".."9" and "A".."D" answered after "0" and leave row 1's set alone.
    expectSetFrom(form, 1, options.panels.at('0'));
    EXPECT_TRUE(allSignButtonsEnabled(form));
}

// --- a closed port ----------------------------------------------------------------------------

TEST(ClosedPort, AfterAFruitlessSearchEveryOperationFailsBeforeReachingTheSign) {
    PtyPorts ports;
    const signsim::SimOptions options = distinctPanels();
    ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    click(form, "Button7");
    const QStringList before = displayState(form);

    // The cable is pulled, the search finds nothing and leaves the port closed; the
    // cable goes back in, but nobody searches again.
    ports.remove(3);
    messages.shown.clear();
    click(form, "Button36");
    ASSERT_EQ(messages.results(), std::vector<QString>{signlink::kNotFoundMessage});
    ASSERT_FALSE(form.ComPort->Connected());
    auto& sign = ports.addSign(3, options);
    typeText(control<TMaskEdit>(form, "MaskEdit7"), "5");
    typeText(control<TMaskEdit>(form, "del_effect"), "3");

    for (const char* button : {"Button7", "Button8", "Button5", "Button6", "effect"}) {
        SCOPED_TRACE(button);
        messages.shown.clear();
        click(form, button);
        // The clearing of the queues fails first; ")" is below ".", so no "." is added.
        EXPECT_EQ(messages.errors(),
                  std::vector<QString>{"PurgeComm function failed (win error code: 9)"});
        EXPECT_TRUE(messages.results().empty());
        EXPECT_TRUE(allSignButtonsEnabled(form));
    }
    EXPECT_TRUE(sign.received().empty());
    EXPECT_EQ(displayState(form), before);
}

// --- write ----------------------------------------------------------------------------------

TEST(WriteButton, NewPricesGoOutWithTheReadBackAttributesWhileEveryButtonIsHeld) {
    PtyPorts ports;
    const signsim::SimOptions options = distinctPanels();
    auto& sign = ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    click(form, "Button7"); // fills the attribute sets from the sign

    const QString prices[10] = {"120", "231", "342", "453", "564",
                                "675", "786", "897", "908", "019"};
    for (int row = 1; row <= 10; ++row)
        retype(form, kRows[row - 1].entry, prices[row - 1]);
    control<QCheckBox>(form, kRows[6].notUsed)->setChecked(true); // row 7 carries no price

    int progressSteps = 0;
    bool anyButtonEnabled = false;
    QObject::connect(control<QProgressBar>(form, "ProgressBar1"), &QProgressBar::valueChanged,
                     &form, [&] {
                         ++progressSteps;
                         for (const char* name : kSignButtons)
                             anyButtonEnabled |= control<QPushButton>(form, name)->isEnabled();
                     });
    messages.shown.clear();
    click(form, "Button8");

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_GE(progressSteps, 40); // 20 frames and 20 panels
    EXPECT_FALSE(anyButtonEnabled);
    EXPECT_TRUE(allSignButtonsEnabled(form));

    // Each panel keeps the grade and flags it reported, whatever the other half's.
    auto expectedPanel = [&](int row, char address) -> signsim::PanelContent {
        if (row == 7)
            return {"---", '0', 0};
        const signsim::PanelContent& source = options.panels.at(address);
        const int flagBase = row == 1 ? 0x00 : 0x30;
        return {prices[row - 1].toStdString(), source.grade,
                static_cast<std::uint8_t>(flagBase + source.flags)};
    };
    for (int row = 1; row <= 10; ++row) {
        SCOPED_TRACE(row);
        for (const char address : {firstHalf(row), secondHalf(row)})
            EXPECT_EQ(sign.panel(address), expectedPanel(row, address)) << address;
        const QString shown = row == 7 ? QStringLiteral("---") : prices[row - 1];
        expectLabel(form, kRows[row - 1].firstLabel, shown, kPureGreen);
        expectLabel(form, kRows[row - 1].secondLabel, shown, kPureGreen);
        // The read-back copies what the sign holds, the not-used marker included.
        EXPECT_EQ(control<TMaskEdit>(form, kRows[row - 1].entry)->text(), shown);
    }
}

TEST(WriteButton, ClosingMidWriteWaitsUntilTheWriteAndItsReadBackHaveEnded) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    form.showCentered();
    sign.clearRecords();
    messages.shown.clear();

    bool closeAsked = false;
    bool stayedOpenUntilTheEnd = true;
    QObject::connect(control<QProgressBar>(form, "ProgressBar1"), &QProgressBar::valueChanged,
                     &form, [&](int value) {
                         if (closeAsked)
                             stayedOpenUntilTheEnd &= form.isVisible();
                         else if (value == 10) {
                             closeAsked = true;
                             form.close();
                         }
                     });
    click(form, "Button8");

    ASSERT_TRUE(closeAsked);
    EXPECT_TRUE(stayedOpenUntilTheEnd);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.ComPort->Connected());
    for (char address : signsim::kPanelAddresses) {
        const std::string read{'R', address, 'E'};
        bool written = false;
        for (const signsim::ReceivedCommand& command : sign.received())
            written |= command.bytes.size() == 11 && command.bytes[0] == 'W' &&
                       command.bytes[1] == address;
        EXPECT_TRUE(written) << address;
        EXPECT_GE(sign.countReceived(read), 1) << address;
    }
    EXPECT_TRUE(messages.shown.empty());
}

// --- brightness and effects ---------------------------------------------------------------------

TEST(BrightnessAndEffect, EachCommandSendsItsFrameAndShowsTheSignsConfirmation) {
    struct Case {
        const char* name;
        const char* button;
        const char* digit; // typed into the command's field; "" leaves it empty
        bool boxes[4];     // Эф.1 .. Эф.4
        std::string frame; // what reaches the sign
        QString message;   // the result box
        QString logLine;   // the last line of the log, or empty for none
    };
    const Case cases[] = {
        {"automatic", "Button5", "", {}, "LA", "Установлена автоматическая яркость.", {}},
        {"manual, level left empty", "Button6", "", {}, "LM0", "Установлена ручная яркость: 0", {}},
        {"all four effects, interval 9",
         "effect",
         "9",
         {true, true, true, true},
         std::string("q\xF9", 2),
         "Эффекты включены",
         "Отправлено:249"},
        {"no effect, interval empty",
         "effect",
         "",
         {},
         std::string("q\0", 2),
         "Эффекты выключены",
         "Отправлено:0"},
    };
    constexpr const char* kEffectBoxes[] = {"chk9", "chk6", "chk7", "chk8"};

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPorts ports;
        auto& sign = ports.addSign(3);
        MessageRecorder messages;
        TForm1 form;
        messages.shown.clear();
        const char* field = std::string(c.button) == "effect" ? "del_effect" : "MaskEdit7";
        typeText(control<TMaskEdit>(form, field), QString::fromLatin1(c.digit));
        for (int i = 0; i < 4; ++i)
            control<QCheckBox>(form, kEffectBoxes[i])->setChecked(c.boxes[i]);

        click(form, c.button);

        EXPECT_EQ(sign.countReceived(c.frame), 1);
        EXPECT_EQ(messages.results(), std::vector<QString>{c.message});
        EXPECT_TRUE(messages.errors().empty());
        const QString log = control<QPlainTextEdit>(form, "Memo1")->toPlainText();
        if (c.logLine.isEmpty())
            EXPECT_TRUE(log.isEmpty());
        else
            EXPECT_EQ(log.split('\n').last(), c.logLine);
    }
}

// --- port setup ------------------------------------------------------------------------------

// The window found the sign on COM3; the settings store lives below a fresh directory.
class PortSetup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        ports_.addSign(3);
        InstallComSetupDialog();
        form_ = std::make_unique<TForm1>();
        ASSERT_TRUE(form_->ComPort->Connected());
        messages_.shown.clear();
    }
    void TearDown() override { SetComSetupDialogOperator({}); }

    QString storePath() const { return config_.filePath("zemta/registry.reg"); }

    // Clicks the setup button; the operator runs the dialog. False when it never showed.
    bool runSetup(const std::function<void(TComSetupFrm&)>& op) {
        bool shown = false;
        SetComSetupDialogOperator([&](TComSetupFrm& dialog) {
            shown = true;
            op(dialog);
        });
        click(*form_, "Button2");
        return shown;
    }

    QTemporaryDir config_;
    ScopedEnv configHome_{"XDG_CONFIG_HOME", config_.path()};
    PtyPorts ports_;
    MessageRecorder messages_;
    std::unique_ptr<TForm1> form_;
};

TEST_F(PortSetup, CancelStoresExactlyTheSixValuesAt19200AndReopensTheSamePort) {
    form_->ComPort->SetBaudRate(br9600);

    EXPECT_TRUE(runSetup([](TComSetupFrm& dialog) { dialog.Button2->click(); }));

    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_EQ(form_->ComPort->BaudRate(), br19200);
    EXPECT_EQ(form_->ComPort->Port(), "COM3");
    EXPECT_TRUE(form_->ComPort->Connected());
    const QStringList lines = QString::fromUtf8(fileContent(storePath())).split('\n');
    EXPECT_EQ(lines.filter(QRegularExpression("^\\[")).size(), 1);
    const qsizetype key = lines.indexOf("[HKEY_LOCAL_MACHINE\\Software\\ZEMTA\\ComPort]");
    ASSERT_GE(key, 0);
    EXPECT_EQ(
        lines.mid(key + 1, 7),
        (QStringList{R"("Port"="COM3")", R"("BaudRate"="19200")", R"("StopBits"="1")",
                     R"("DataBits"="8")", R"("Parity"="None")", R"("FlowControl"="None")", ""}));
    // The reopened port talks to the sign.
    click(*form_, "Button5");
    EXPECT_EQ(messages_.results(), std::vector<QString>{"Установлена автоматическая яркость."});
}

// The port opens before the settings are stored: a store that cannot be written is
// reported with the port open on the chosen port; when the port cannot be opened
// either, that failure is the one reported.
TEST_F(PortSetup, AStoreThatCannotBeWrittenIsReportedWithThePortOpenOnTheChosenPort) {
    ports_.addSign(4);
    const auto choose = [](const char* port) {
        return [port](TComSetupFrm& dialog) {
            dialog.Combo1->ChooseEntry(dialog.Combo1->findText(port));
            dialog.Button1->click();
        };
    };
    struct Case {
        const char* name;
        std::function<QString()> prepare; // returns the XDG_CONFIG_HOME to use
    };
    const QByteArray notes = "operator's own notes, not a registry export\n";
    const QString unwritable = config_.filePath("plain/config");
    const Case cases[] = {
        {"config directory below a regular file",
         [&] {
             QFile plain(config_.filePath("plain"));
             EXPECT_TRUE(plain.open(QIODevice::WriteOnly));
             return unwritable;
         }},
        {"store file that is no registry export",
         [&] {
             EXPECT_TRUE(QDir(config_.path()).mkpath("zemta"));
             QFile store(storePath());
             EXPECT_TRUE(store.open(QIODevice::WriteOnly));
             store.write(notes);
             return config_.path();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnv configHome("XDG_CONFIG_HOME", c.prepare());
        messages_.shown.clear();

        EXPECT_TRUE(runSetup(choose("COM4")));

        EXPECT_EQ(messages_.errors(), std::vector<QString>{"Failed to store settings."});
        EXPECT_EQ(form_->ComPort->Port(), "COM4");
        EXPECT_TRUE(form_->ComPort->Connected());
        EXPECT_TRUE(allSignButtonsEnabled(*form_));
    }
    EXPECT_EQ(fileContent(storePath()), notes);

    ScopedEnv configHome("XDG_CONFIG_HOME", unwritable);
    ports_.addSign(5);
    messages_.shown.clear();
    EXPECT_TRUE(runSetup([&](TComSetupFrm& dialog) {
        dialog.Combo1->ChooseEntry(dialog.Combo1->findText("COM5"));
        ports_.remove(5); // gone before OK: the open fails too
        dialog.Button1->click();
    }));
    EXPECT_EQ(messages_.errors(),
              std::vector<QString>{"Unable to open com port (win error code: 2)"});
    EXPECT_FALSE(form_->ComPort->Connected());
}

TEST_F(PortSetup, NoSerialPortsAtAllIsARegistryErrorWithoutTheDialog) {
    ports_.remove(3);

    EXPECT_FALSE(runSetup([](TComSetupFrm& dialog) { dialog.Button1->click(); }));

    EXPECT_EQ(messages_.errors(), std::vector<QString>{"Registry error (win error code: 2)"});
    EXPECT_FALSE(form_->ComPort->Connected());
    EXPECT_FALSE(QFile::exists(storePath()));
}
