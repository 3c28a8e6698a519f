// The write's safety as the operator meets it: the first write after start-up reads the
// sign first and sends every untouched row back as the sign held it, byte for byte; every
// panel keeps what it holds unless its row was asked for, in the window as in zemta-sign;
// a sign that does not answer gets nothing; and the technician's view of the log with
// its "Сохранить журнал...". (What a write that did not take shows: the fault suite's
// write table.)
#include "windowtesting.h"

#include "ptyfixture.h"
#include "rowchange.h"
#include "writecheck.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// The write frames for this panel that reached the sign.
std::vector<std::string> framesFor(const signsim::SignSimulator& sign, char address) {
    std::vector<std::string> frames;
    for (const signsim::ReceivedCommand& command : sign.received())
        if (command.bytes.size() == 11 && command.bytes[0] == 'W' && command.bytes[1] == address)
            frames.push_back(command.bytes);
    return frames;
}

// What a panel holds as the window can send it back: price, grade, flag bits.
std::string heldAs(const signsim::PanelContent& panel) {
    return panel.price + ' ' + panel.grade + ' ' + std::to_string(panel.flags & 3);
}

// Runs `action` on the next popup or modal dialog of type T once it is shown.
template <typename T> void whenShown(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, action] {
        T* shown = qobject_cast<T*>(QApplication::activePopupWidget());
        if (shown == nullptr)
            shown = qobject_cast<T*>(QApplication::activeModalWidget());
        if (shown == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        action(shown);
    });
    timer->start(10);
}

} // namespace

TEST(FirstWrite, OneTypedPriceGoesOutAndEveryOtherRowGoesBackAsTheSignHeldIt) {
    // Both halves of a row alike, rows 6..10 with row 5's grade and flags (all the window
    // can send back unchanged); row 3 holds a control byte and a code page 1251 letter.
    signsim::SimOptions options;
    for (int row = 1; row <= 10; ++row)
        for (const char half : {'0', '@'})
            options.panels[static_cast<char>(half + row - 1)] = {
                std::to_string(411 + 37 * row), static_cast<char>('1' + std::min(row, 5) % 5),
                static_cast<std::uint8_t>(std::min(row, 5) % 4)};
    options.panels['2'].price = options.panels['B'].price = "\x01\xC0"
                                                            "9";
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
    for (const auto& [address, panel] : options.panels) {
        signsim::PanelContent expected = panel;
        if (address == '3' || address == 'C')
            expected.price = "469";
        EXPECT_EQ(heldAs(sign.panel(address)), heldAs(expected)) << address;
    }
    // "W2", the price as it came with its last byte twice, grade "4", flags "3", "E".
    const std::string body = "W2\x01\xC0"
                             "9943E";
    ASSERT_FALSE(framesFor(sign, '2').empty());
    EXPECT_EQ(framesFor(sign, '2').front(), body + signsim::checksumChars(body));
    // Shown as the log shows them: a control picture and the letter "А".
    EXPECT_EQ(control<TMaskEdit>(form, kRows[2].entry)->text(),
              QString(QChar(0x2401)) + QChar(0x0410) + QLatin1Char('9'));

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

    for (const char address : signsim::kPanelAddresses)
        EXPECT_TRUE(framesFor(sign, address).empty()) << address;
    QStringList expected{signlink::kNotTakenHeading};
    for (int row = 10; row >= 1; --row)
        for (const char* half : {"первая", "вторая"})
            expected << QStringLiteral("ряд %1, %2 половина: нет ответа").arg(row).arg(half);
    EXPECT_EQ(messages.results(), std::vector<QString>{expected.join('\n')});
    const QStringList log = control<QPlainTextEdit>(form, "Memo1")->toPlainText().split('\n');
    EXPECT_EQ(log.mid(log.size() - 20), expected.mid(1));
    EXPECT_EQ(control<TMaskEdit>(form, kRows[0].entry)->text(), "123");
}

// --- every panel keeps what it holds ----------------------------------------------------

// A sign whose two faces differ: first half "Евро", second half "Снежинка", other prices;
// rows 6..10 carry none of row 5's grade. Flag bytes as a write sends them (row 1 the bits
// alone, rows 2..10 above "0"), so a panel written back unchanged holds the same bytes.
signsim::SimOptions facesThatDiffer() {
    const char grades[10] = {'1', '2', '3', '4', '5', '2', '3', '4', '1', '3'};
    signsim::SimOptions options;
    for (int row = 1; row <= 10; ++row) {
        const int base = row == 1 ? 0x00 : 0x30;
        options.panels[char('0' + row - 1)] = {std::to_string(409 + 10 * row), grades[row - 1],
                                               std::uint8_t(base + 2)};
        options.panels[char('@' + row - 1)] = {std::to_string(441 + 10 * row), grades[row - 1],
                                               std::uint8_t(base + 1)};
    }
    return options;
}

struct KeepCase {
    const char* name;
    std::set<char> unread;        // panels that answer no read but take writes
    std::map<int, QString> asked; // row -> price typed, or "---": "Не исп." ticked
    std::map<char, signsim::PanelContent> changed; // what a window write changes
    QString box;                                   // the window's box afterwards, or none
};
void PrintTo(const KeepCase& c, std::ostream* os) {
    *os << c.name;
}

class KeepWhatItHolds : public ::testing::TestWithParam<KeepCase> {};

// The window writes the rows asked for and leaves every other panel as it reported itself;
// zemta-sign does the same, but refuses the whole write when any panel cannot be read.
TEST_P(KeepWhatItHolds, WindowAndCommandLineChangeOnlyTheRowsAskedFor) {
    const KeepCase& c = GetParam();
    signsim::SimOptions options = facesThatDiffer();
    options.faults.panels = c.unread;
    options.faults.silentReads = !c.unread.empty();
    // Each panel afterwards; an unread panel nobody asked for gets no frame at all.
    auto expectPanels = [&](const signsim::SignSimulator& sign, bool written) {
        for (const char address : signsim::kPanelAddresses) {
            const auto change = c.changed.find(address);
            EXPECT_EQ(sign.panel(address), written && change != c.changed.end()
                                               ? change->second
                                               : options.panels.at(address))
                << address;
            if (!written || (c.unread.count(address) && !c.asked.count((address & 0x0F) + 1))) {
                EXPECT_TRUE(framesFor(sign, address).empty()) << address;
            }
        }
    };
    PtyPorts ports;
    QStringList args{"write", "--port", "COM3"};
    {
        auto& sign = ports.addSign(3, options);
        MessageRecorder messages;
        TForm1 form;
        useShortReadDelay(form);
        for (const auto& [row, price] : c.asked) {
            if (price == "---") {
                control<QCheckBox>(form, kRows[row - 1].notUsed)->setChecked(true);
                args << "--unused" << QString::number(row);
            } else {
                retype(form, kRows[row - 1].entry, price);
                args << QStringLiteral("%1=%2").arg(row).arg(price);
            }
        }
        messages.shown.clear();
        click(form, "Button8");
        SCOPED_TRACE("window");
        expectPanels(sign, true);
        EXPECT_EQ(messages.results(),
                  c.box.isEmpty() ? std::vector<QString>{} : std::vector<QString>{c.box});
    }
    auto& sign = ports.addSign(3, options);
    QProcess tool;
    tool.start(ZEMTA_SIGN_EXE, args);
    ASSERT_TRUE(tool.waitForFinished(60000));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    SCOPED_TRACE("zemta-sign");
    expectPanels(sign, c.unread.empty());
    EXPECT_EQ(tool.exitCode(), c.unread.empty() ? 0 : 1) << err.toStdString();
    EXPECT_TRUE(c.unread.empty() ? err.isEmpty() : err.startsWith(signlink::kNotAllRead));
}

const QString kNotTaken = QStringLiteral("Стела не приняла цены:\n");

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, KeepWhatItHolds, ::testing::Values(
    // Row 1's halves keep their own flags; rows 6..10 their own grades.
    KeepCase{"HalvesThatDiffer", {}, {{1, "555"}},
             {{'0', {"555", '1', 0x02}}, {'@', {"555", '1', 0x01}}}, {}},
    // Row 3's first half is not written; its second half goes back as it reported.
    KeepCase{"UnreadPanelInAnUntouchedRow", {'2'}, {{1, "555"}},
             {{'0', {"555", '1', 0x02}}, {'@', {"555", '1', 0x01}}},
             kNotTaken + "ряд 3, первая половина: нет ответа при чтении — не записана"},
    // The unread half takes the price and its partner's grade and flags.
    KeepCase{"UnreadPanelInARowAskedFor", {'2'}, {{3, "555"}},
             {{'2', {"555", '3', 0x31}}, {'B', {"555", '3', 0x31}}},
             kNotTaken + "ряд 3, первая половина: нет ответа"},
    KeepCase{"NotUsedRow", {}, {{7, "---"}},
             {{'6', {"---", '0', 0x00}}, {'F', {"---", '0', 0x00}}}, {}}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

TEST(TechnicianView, F12ShowsTheLogWhoseMenuSavesItAndHidesItAgain) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    ScopedEnv homeEnv("HOME", home.path());
    PtyPorts ports;
    ports.addSign(3);
    MessageRecorder messages;
    TForm1 form;
    form.showCentered();
    form.activateWindow();
    useShortReadDelay(form);
    click(form, "Button7");
    messages.shown.clear();
    auto* log = control<QPlainTextEdit>(form, "Memo1");
    auto* entry = control<TMaskEdit>(form, "MaskEdit6");
    entry->setFocus();

    pressKey(entry, Qt::Key_F12);
    EXPECT_EQ(form.size(), QSize(1033, 721));
    EXPECT_TRUE(form.rect().contains(log->geometry()));
    EXPECT_TRUE(form.rect().contains(control<QWidget>(form, "StatusBar1")->geometry()));
    EXPECT_NE(log->focusPolicy(), Qt::NoFocus);
    const QRect screen = form.screen()->availableGeometry(); // moved back onto it
    EXPECT_TRUE(screen.contains(form.frameGeometry()) || form.x() == screen.left());

    // "Сохранить журнал..." from the log's context menu; the dialog answered by `name`.
    auto save = [&](const std::function<QString(QFileDialog*)>& name) {
        whenShown<QMenu>([&](QMenu* menu) {
            menu->close();
            for (QAction* action : menu->actions())
                if (action->text() == "Сохранить журнал...") {
                    whenShown<QFileDialog>([&](QFileDialog* dialog) {
                        control<QLineEdit>(*dialog, "fileNameEdit")->setText(name(dialog));
                        static_cast<QDialog*>(dialog)->accept(); // as its Save button does
                    });
                    action->trigger();
                }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, {20, 20},
                                log->viewport()->mapToGlobal(QPoint(20, 20)));
        QApplication::sendEvent(log->viewport(), &event);
    };
    const QString before = log->toPlainText();
    const QString nowhere = home.filePath("no-such-folder/log.txt");
    save([&](QFileDialog*) { return nowhere; });
    ASSERT_EQ(messages.errors().size(), 1u);
    EXPECT_TRUE(messages.errors().front().startsWith("Не удалось сохранить журнал в файл " +
                                                     nowhere + ": "));
    EXPECT_EQ(log->toPlainText(), before);
    messages.shown.clear();

    QString suggested;
    save([&](QFileDialog* dialog) { return suggested = dialog->selectedFiles().value(0); });
    EXPECT_TRUE(QRegularExpression("^" + QRegularExpression::escape(home.path()) +
                                   "/zemta-log-\\d{8}-\\d{6}\\.txt$")
                    .match(suggested)
                    .hasMatch())
        << suggested.toStdString();
    QFile saved(suggested);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(saved.readAll()), log->toPlainText() + '\n');
    EXPECT_TRUE(log->toPlainText().contains("--- Читаю панель@ ---"));
    EXPECT_TRUE(messages.shown.empty());

    form.activateWindow(); // as the desktop does once the dialog is gone
    QApplication::processEvents();
    log->setFocus();
    pressKey(log, Qt::Key_F12);
    EXPECT_EQ(form.size(), QSize(528, 647));
    EXPECT_EQ(log->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(log->hasFocus());
}
