// What "Записать" leaves on the sign when the line or the operator does the unexpected: a
// panel that answers later than its exchange waits, another sign after a search or the
// setup dialog, typing while the rows are sent, a row whose panel did not answer, and
// grade and flag bytes a frame cannot carry. Each panel afterwards holds what the
// operator typed or what it held before, or the box names it.
#include "windowtesting.h"

#include "ptyfixture.h"
#include "signcases.h"
#include "tcomcombobox.h"
#include "tcomsetupfrm.h"

#include <QCheckBox>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

namespace {

using signsim::PanelContent;
using signsim::SimOptions;
using namespace signcases;

// A click in the middle of a control: the focus it gives (a synthetic press gives none by
// itself), then the left button pressed and released.
void mouseClick(QWidget* widget) {
    if (widget->focusPolicy() & Qt::ClickFocus)
        widget->setFocus(Qt::MouseFocusReason);
    const QPointF at = QRectF(widget->rect()).center();
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
}

struct Scene {
    PtyPorts& ports;
    TForm1& form;
};

struct SignCase {
    const char* name;
    std::map<int, SimOptions> signs; // COM number -> sign, there before the window starts
    std::map<int, SimOptions> later; // COM number -> sign that `before` brings
    bool shortReadDelay;
    // What happens before "Записать" is pressed.
    std::function<void(Scene&)> before;
    // COM number -> the panels whose bytes differ afterwards from those the sign started with.
    std::map<int, std::map<char, PanelContent>> changed;
    QString box; // the box after the write; empty: none
};
void PrintTo(const SignCase& c, std::ostream* os) {
    *os << c.name;
}

class SignHoldsWhatWasTyped : public ::testing::TestWithParam<SignCase> {};

TEST_P(SignHoldsWhatWasTyped, EveryPanelHoldsWhatWasTypedOrWhatItHeldOrTheBoxNamesIt) {
    const SignCase& c = GetParam();
    QTemporaryDir config; // the setup dialog stores the port settings here
    ASSERT_TRUE(config.isValid());
    ScopedEnv configHome("XDG_CONFIG_HOME", config.path());
    PtyPorts ports;
    for (const auto& [com, options] : c.signs)
        ports.addSign(com, options);
    InstallComSetupDialog();
    MessageRecorder messages;
    TForm1 form;
    if (c.shortReadDelay)
        useShortReadDelay(form);
    Scene scene{ports, form};
    c.before(scene);
    messages.shown.clear();

    click(form, "Button8");

    SetComSetupDialogOperator({});
    std::map<int, SimOptions> signs = c.signs;
    signs.insert(c.later.begin(), c.later.end());
    for (const auto& [com, options] : signs) {
        const auto changed = c.changed.find(com);
        for (const char address : signsim::kPanelAddresses) {
            PanelContent expected = options.panels.at(address);
            if (changed != c.changed.end() && changed->second.count(address))
                expected = changed->second.at(address);
            EXPECT_EQ(ports.sign(com).panel(address), expected) << "COM" << com << " " << address;
        }
    }
    EXPECT_EQ(messages.results(),
              c.box.isEmpty() ? std::vector<QString>{} : std::vector<QString>{c.box});
    for (const RowControls& row : kRows) {
        EXPECT_TRUE(control<QWidget>(form, row.entry)->isEnabled()) << row.entry;
        EXPECT_TRUE(control<QWidget>(form, row.notUsed)->isEnabled()) << row.notUsed;
    }
}

const QString kNotTaken = QStringLiteral("Стела не приняла цены:\n");

SimOptions rowThreeUnread() {
    SimOptions options = distinctSign(300, 0);
    options.faults.panels = {'2'};
    options.faults.silentReads = true;
    return options;
}

const SimOptions kSignA = distinctSign(300, 0);
const SimOptions kSignB = distinctSign(600, 2);

// clang-format off
INSTANTIATE_TEST_SUITE_P(Table, SignHoldsWhatWasTyped, ::testing::Values(
    // Row 3's replies come after its cycle has ended; the next panel's exchange finds one
    // waiting. Read at the read delay the operator has.
    SignCase{"LateReply", {{3, lateRowThree()}}, {}, false,
             [](Scene& s) { retype(s.form, kRows[6].entry, "555"); },
             {{3, {{'6', priced(kSignA, '6', "555")}, {'F', priced(kSignA, 'F', "555")}}}}, {}},
    // Sign A read back on COM3 falls silent; the search finds sign B on COM5.
    SignCase{"NewSignAfterSearch", {{3, kSignA}}, {{5, kSignB}}, true,
             [](Scene& s) {
                 click(s.form, "Button7");
                 signsim::SimFaults silent;
                 silent.silent = true;
                 s.ports.sign(3).setFaults(silent);
                 s.ports.addSign(5, kSignB);
                 click(s.form, "Button36");
                 retype(s.form, kRows[0].entry, "555");
             },
             {{5, {{'0', priced(kSignB, '0', "555")}, {'@', priced(kSignB, '@', "555")}}}}, {}},
    // Sign B on COM7 read back; the setup dialog moves the window to sign A on COM3.
    SignCase{"NewSignAfterDialog", {{3, kSignA}, {7, kSignB}}, {}, true,
             [](Scene& s) {
                 click(s.form, "Button7");
                 SetComSetupDialogOperator([](TComSetupFrm& dialog) {
                     dialog.Combo1->ChooseEntry(dialog.Combo1->findText("COM3"));
                     dialog.Button1->click();
                 });
                 click(s.form, "Button2");
                 retype(s.form, kRows[0].entry, "555");
             },
             {{3, {{'0', priced(kSignA, '0', "555")}, {'@', priced(kSignA, '@', "555")}}}}, {}},
    // While row 1 goes out: a click into row 9 and "5", a click on row 8's "Не исп.".
    SignCase{"TypingMidWrite", {{3, kSignA}}, {}, true,
             [](Scene& s) {
                 ASSERT_TRUE(activate(s.form));
                 click(s.form, "Button7");
                 retype(s.form, kRows[0].entry, "555");
                 QTimer::singleShot(0, &s.form, [&form = s.form] {
                     mouseClick(control<QWidget>(form, kRows[8].entry));
                     keyToFocus(Qt::Key_5, "5");
                     mouseClick(control<QWidget>(form, kRows[7].notUsed));
                 });
             },
             {{3, {{'0', priced(kSignA, '0', "555")}, {'@', priced(kSignA, '@', "555")}}}}, {}},
    // Row 3 was written while its first half gave no reply; then its second half changes
    // on the sign, and another row is written.
    SignCase{"RowWrittenWhileAPanelDidNotAnswer", {{3, rowThreeUnread()}}, {}, true,
             [](Scene& s) {
                 retype(s.form, kRows[2].entry, "555");
                 click(s.form, "Button8");
                 s.ports.sign(3).setPanel('B', priced(kSignA, 'B', "777"));
                 retype(s.form, kRows[6].entry, "444");
             },
             // Its first half took the second half's grade and flags with the price.
             {{3, {{'2', priced(kSignA, 'B', "555")}, {'B', priced(kSignA, 'B', "777")},
                   {'6', priced(kSignA, '6', "444")}, {'F', priced(kSignA, 'F', "444")}}}},
             kNotTaken + "ряд 3, первая половина: нет ответа при чтении — не записана"},
    // Frames carry grade "0" for "7" and rebuild the flag byte from bits 0-1.
    SignCase{"GradeAndFlagBytes", {{3, oddAttributes()}}, {}, true,
             [](Scene& s) { retype(s.form, kRows[6].entry, "555"); },
             {{3, {{'5', {"355", '0', 0x30}},
                   {'6', priced(oddAttributes(), '6', "555")}, {'F', {"555", '3', 0x33}}}}},
             kNotTaken + "ряд 7, вторая половина: сорт или флаги изменились\n"
                         "ряд 6, первая половина: сорт или флаги изменились"}),
    [](const auto& info) { return std::string(info.param.name); });
// clang-format on

} // namespace
