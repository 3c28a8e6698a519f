// The write's safety as the operator meets it: the first write after start-up reads the
// sign first and sends every untouched row back as the sign held it; every write ends
// with a box listing the panels that did not take it; bytes the read-back copied go back
// unchanged; and the technician's view of the log with its "Сохранить журнал...".
#include "windowtesting.h"

#include "ptyfixture.h"
#include "writecheck.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>

namespace {

char firstHalf(int row) {
    return static_cast<char>('0' + row - 1);
}
char secondHalf(int row) {
    return static_cast<char>('@' + row - 1);
}

// The write frames for this panel that reached the sign.
std::vector<std::string> framesFor(const signsim::SignSimulator& sign, char address) {
    std::vector<std::string> frames;
    for (const signsim::ReceivedCommand& command : sign.received())
        if (command.bytes.size() == 11 && command.bytes[0] == 'W' && command.bytes[1] == address)
            frames.push_back(command.bytes);
    return frames;
}

int writeFramesReceived(const signsim::SignSimulator& sign) {
    int count = 0;
    for (const char address : signsim::kPanelAddresses)
        count += static_cast<int>(framesFor(sign, address).size());
    return count;
}

// What a panel holds as the window can send it back: price, grade, flag bits.
std::string heldAs(const signsim::PanelContent& panel) {
    return panel.price + ' ' + panel.grade + ' ' + std::to_string(panel.flags & 3);
}

QStringList logLines(TForm1& form) {
    return control<QPlainTextEdit>(form, "Memo1")->toPlainText().split('\n');
}

// Runs `action` on the next modal dialog or popup of type T once it is shown.
template <typename T> void whenShown(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
        T* shown = qobject_cast<T*>(QApplication::activePopupWidget());
        if (shown == nullptr)
            shown = qobject_cast<T*>(QApplication::activeModalWidget());
        if (shown == nullptr)
            return;
        timer->deleteLater();
        timer->stop();
        action(shown);
    });
    timer->start(10);
}

} // namespace

// --- the first write after start-up -----------------------------------------------------------

TEST(FirstWrite, OneTypedPriceGoesOutAndEveryOtherRowGoesBackAsTheSignHeldIt) {
    // Both halves of a row alike, rows 6..10 with row 5's grade and flags: all the window
    // can send back unchanged.
    signsim::SimOptions options;
    for (int row = 1; row <= 10; ++row) {
        const signsim::PanelContent panel{std::to_string(411 + 37 * row),
                                          static_cast<char>('1' + std::min(row, 5) % 5),
                                          static_cast<std::uint8_t>(std::min(row, 5) % 4)};
        options.panels[firstHalf(row)] = options.panels[secondHalf(row)] = panel;
    }
    options.panels['6'].price = options.panels['F'].price = "---"; // row 7 without a price
    PtyPorts ports;
    auto& sign = ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    sign.clearRecords();
    messages.shown.clear();

    retype(form, kRows[3].entry, "469"); // row 4
    click(form, "Button8");

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(sign.countReceived("R0E"), 2); // read first, and after the write
    for (int row = 1; row <= 10; ++row) {
        for (const char address : {firstHalf(row), secondHalf(row)}) {
            signsim::PanelContent expected = options.panels.at(address);
            if (row == 4)
                expected.price = "469";
            EXPECT_EQ(heldAs(sign.panel(address)), heldAs(expected)) << address;
            EXPECT_FALSE(framesFor(sign, address).empty()) << address;
        }
        EXPECT_EQ(control<TMaskEdit>(form, kRows[row - 1].entry)->text().toStdString(),
                  row == 4 ? "469" : options.panels.at(firstHalf(row)).price);
    }
    EXPECT_TRUE(allSignButtonsEnabled(form));

    // The sets are filled now: the next write reads only after itself.
    sign.clearRecords();
    click(form, "Button8");
    EXPECT_EQ(sign.countReceived("R0E"), 1);
}

TEST(FirstWrite, ASilentSignGetsNoFrameAndTheBoxListsEveryPanelAsNoReply) {
    PtyPorts ports;
    auto& sign = ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form, 5);
    retype(form, kRows[0].entry, "123");
    signsim::SimFaults silent;
    silent.silent = true;
    sign.setFaults(silent);
    sign.clearRecords();
    messages.shown.clear();

    click(form, "Button8");

    EXPECT_EQ(writeFramesReceived(sign), 0);
    EXPECT_EQ(sign.countReceived("R@E"), 7); // the read, every panel's seven cycles
    QStringList expected{signlink::kNotTakenHeading};
    for (int row = 10; row >= 1; --row)
        for (const char* half : {"первая", "вторая"})
            expected << QStringLiteral("ряд %1, %2 половина: нет ответа").arg(row).arg(half);
    EXPECT_EQ(messages.results(), std::vector<QString>{expected.join('\n')});
    EXPECT_EQ(logLines(form).mid(logLines(form).size() - 20), expected.mid(1));
    EXPECT_EQ(control<TMaskEdit>(form, kRows[0].entry)->text(), "123");
    EXPECT_TRUE(allSignButtonsEnabled(form));
}

// --- what did not take ---------------------------------------------------------------------

struct NotTakenCase {
    const char* name;
    std::set<char> panels; // the faulty panels
    signsim::SimFaults faults;
    QStringList lines; // the box's lines after its heading; none: no box
};
void PrintTo(const NotTakenCase& c, std::ostream* os) {
    *os << c.name;
}

class NotTaken : public ::testing::TestWithParam<NotTakenCase> {};

TEST_P(NotTaken, TheBoxListsExactlyThePanelsThatDidNotTakeTheWrite) {
    const NotTakenCase& c = GetParam();
    PtyPorts ports;
    signsim::SimOptions options;
    options.faults = c.faults;
    options.faults.panels = c.panels;
    ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    click(form, "Button7");
    retype(form, kRows[2].entry, "469"); // row 3
    retype(form, kRows[6].entry, "512"); // row 7
    messages.shown.clear();

    click(form, "Button8");

    if (c.lines.isEmpty()) {
        EXPECT_TRUE(messages.shown.empty());
    } else {
        EXPECT_EQ(messages.results(),
                  std::vector<QString>{signlink::kNotTakenHeading + '\n' + c.lines.join('\n')});
        const QStringList log = logLines(form);
        EXPECT_EQ(log.mid(log.size() - c.lines.size()), c.lines);
    }
    EXPECT_TRUE(allSignButtonsEnabled(form));
}

signsim::SimFaults fault(const std::function<void(signsim::SimFaults&)>& set) {
    signsim::SimFaults faults;
    set(faults);
    return faults;
}

INSTANTIATE_TEST_SUITE_P(
    Table, NotTaken,
    ::testing::Values(NotTakenCase{"PromptSign", {}, {}, {}},
                      NotTakenCase{"NeverAcknowledged",
                                   {'B'},
                                   fault([](auto& f) { f.ack = signsim::SimFaults::Ack::None; }),
                                   {"ряд 3, вторая половина: записано 469, на стеле 469, запись не "
                                    "подтверждена"}},
                      NotTakenCase{"StoresAnotherPrice",
                                   {'6', '2'},
                                   fault([](auto& f) { f.storedPrice = "999"; }),
                                   {"ряд 7, первая половина: записано 512, на стеле 999",
                                    "ряд 3, первая половина: записано 469, на стеле 999"}},
                      NotTakenCase{"SilentPanel",
                                   {'F'},
                                   fault([](auto& f) { f.silent = true; }),
                                   {"ряд 7, вторая половина: нет ответа"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NotTaken, ACloseAskedForDuringTheWriteShowsNoBoxButTheLogHasTheLines) {
    PtyPorts ports;
    signsim::SimOptions options;
    options.faults.panels = {'B'};
    options.faults.ack = signsim::SimFaults::Ack::None;
    ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    form.showCentered();
    click(form, "Button7");
    messages.shown.clear();

    // The close request arrives at the write's first message pump.
    QTimer::singleShot(0, &form, [&] { form.close(); });
    click(form, "Button8");

    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(logLines(form).last(),
              "ряд 3, вторая половина: записано 000, на стеле 000, запись не подтверждена");
}

// --- bytes the read-back copied ------------------------------------------------------------------

TEST(HeldBytes, AControlByteAndACodePageLetterGoBackAsTheyCameUntilTheirPositionIsTyped) {
    PtyPorts ports;
    signsim::SimOptions options;
    options.panels['2'] = {"\x01\xC0"
                           "9",
                           '3', 1}; // row 3, first half
    auto& sign = ports.addSign(3, options);
    MessageRecorder messages;
    TForm1 form;
    useShortReadDelay(form);
    click(form, "Button7");
    auto* entry = control<TMaskEdit>(form, kRows[2].entry);
    // Shown as the log shows them: a control picture and the letter "А" (0xC0).
    EXPECT_EQ(entry->text(), QString(QChar(0x2401)) + QChar(0x0410) + QLatin1Char('9'));
    sign.clearRecords();

    click(form, "Button8");
    // "W2", the price with its last byte twice, grade "3", "Снежинка" above "0", "E".
    const std::string body = "W2\x01\xC0"
                             "993"
                             "1E";
    ASSERT_FALSE(framesFor(sign, '2').empty());
    EXPECT_EQ(framesFor(sign, '2').front(), body + signsim::checksumChars(body));
    EXPECT_EQ(sign.panel('2').price, "\x01\xC0"
                                     "9");
    EXPECT_EQ(sign.panel('B').price, "\x01\xC0"
                                     "9");

    // The middle position typed over: only it changes.
    pressKey(entry, Qt::Key_Home);
    pressKey(entry, Qt::Key_Right);
    typeText(entry, "5");
    sign.clearRecords();
    click(form, "Button8");
    EXPECT_EQ(sign.panel('2').price, "\x01"
                                     "59");
}

// --- the technician's view -----------------------------------------------------------------------

TEST(TechnicianView, F12ShowsTheLogAndTheStatusBarAndHidesThemAgain) {
    PtyPorts ports;
    ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    form.showCentered();
    form.activateWindow();
    QApplication::processEvents();
    auto* memo = control<QPlainTextEdit>(form, "Memo1");
    auto* status = control<QStatusBar>(form, "StatusBar1");
    auto* entry = control<TMaskEdit>(form, "MaskEdit6");
    entry->setFocus();
    ASSERT_EQ(form.size(), QSize(528, 647));

    pressKey(entry, Qt::Key_F12);
    EXPECT_EQ(form.size(), QSize(1033, 721));
    // Moved back onto the screen as far as it takes (or to its left edge).
    const QRect screen = form.screen()->availableGeometry();
    EXPECT_TRUE(screen.contains(form.frameGeometry()) ||
                form.frameGeometry().left() == screen.left())
        << form.frameGeometry().left() << " " << form.frameGeometry().right();
    EXPECT_TRUE(form.rect().contains(memo->geometry()));
    EXPECT_TRUE(form.rect().contains(status->geometry()));
    EXPECT_EQ(status->currentMessage(), "Работаем на COM3");
    EXPECT_NE(memo->focusPolicy(), Qt::NoFocus);
    memo->setFocus();

    pressKey(memo, Qt::Key_F12);
    EXPECT_EQ(form.size(), QSize(528, 647));
    EXPECT_EQ(memo->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(memo->hasFocus());
    // The operator's controls stood still.
    auto* write = control<QPushButton>(form, "Button8");
    EXPECT_EQ(QRect(write->mapTo(&form, QPoint()), write->size()), QRect(32, 168, 89, 25));
}

class SaveLog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        ports_.addSign(3);
        form_ = std::make_unique<TForm1>();
        useShortReadDelay(*form_);
        click(*form_, "Button7");
        log_ = control<QPlainTextEdit>(*form_, "Memo1");
        messages_.shown.clear();
    }

    // Opens the log's context menu, picks "Сохранить журнал..." and lets `choose` answer
    // the file dialog.
    void saveThroughTheMenu(const std::function<void(QFileDialog*)>& choose) {
        whenShown<QMenu>([this, choose](QMenu* menu) {
            menu->close();
            for (QAction* action : menu->actions())
                if (action->text() == "Сохранить журнал...") {
                    menuHadTheAction_ = true;
                    whenShown<QFileDialog>(choose);
                    action->trigger();
                }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, {20, 20},
                                log_->viewport()->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(log_->viewport(), &event);
        QApplication::processEvents();
    }

    QTemporaryDir home_;
    ScopedEnv homeEnv_{"HOME", home_.path()};
    PtyPorts ports_;
    MessageRecorder messages_;
    std::unique_ptr<TForm1> form_;
    QPlainTextEdit* log_ = nullptr;
    bool menuHadTheAction_ = false;
};

TEST_F(SaveLog, TheWholeLogGoesToTheChosenFileAsUtf8) {
    QString suggested;
    saveThroughTheMenu([&](QFileDialog* dialog) {
        suggested = dialog->selectedFiles().value(0);
        static_cast<QDialog*>(dialog)->accept(); // as its Save button does
    });

    ASSERT_TRUE(menuHadTheAction_);
    EXPECT_TRUE(QRegularExpression("^" + QRegularExpression::escape(home_.path()) +
                                   "/zemta-log-\\d{8}-\\d{6}\\.txt$")
                    .match(suggested)
                    .hasMatch())
        << suggested.toStdString();
    QFile saved(suggested);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), log_->toPlainText() + '\n');
    EXPECT_TRUE(log_->toPlainText().contains("--- Читаю панель@ ---"));
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(SaveLog, AFileThatCannotBeWrittenIsReportedAndTheLogStays) {
    const QString log = log_->toPlainText();
    const QString target = home_.filePath("no-such-folder/log.txt");
    saveThroughTheMenu([&](QFileDialog* dialog) {
        // Typed into the name field, as the operator would.
        control<QLineEdit>(*dialog, "fileNameEdit")->setText(target);
        static_cast<QDialog*>(dialog)->accept(); // as its Save button does
    });

    ASSERT_EQ(messages_.errors().size(), 1u);
    EXPECT_TRUE(messages_.errors().front().startsWith("Не удалось сохранить журнал в файл " +
                                                      target + ": "))
        << messages_.errors().front().toStdString();
    EXPECT_EQ(log_->toPlainText(), log);
    EXPECT_FALSE(QFile::exists(target));
}
