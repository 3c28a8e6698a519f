// The port setup dialog as RunSetupDialog shows it: what its lists open on, what
// OK, Cancel, the close box and Escape do to the component, and the lists alone.

#include "tcomcombobox.h"
#include "tcomsetupfrm.h"
#include "tcustomcomport.h"

#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Everything the dialog can change, to compare a component before and after.
struct Settings {
    QString port;
    TBaudRate baud;
    TDataBits data;
    TStopBits stop;
    TParityBits parity;
    TRTSFlowControl rts;
    TDTRFlowControl dtr;
    bool cts, dsr, xonIn, xonOut;
    bool operator==(const Settings&) const = default;
};

Settings settingsOf(const TCustomComPort& p) {
    const TComFlowControl& f = p.FlowControl();
    return {p.Port(),          p.BaudRate(),   p.DataBits(),   p.StopBits(),
            p.Parity().Bits(), f.ControlRTS(), f.ControlDTR(), f.OutCTSFlow(),
            f.OutDSRFlow(),    f.XonXoffIn(),  f.XonXoffOut()};
}

// The operator picks the entry with this text.
void pick(TComComboBox* list, const char* text) {
    const int i = list->findText(QLatin1String(text));
    EXPECT_GE(i, 0) << text;
    list->ChooseEntry(i);
}

void press(QWidget* w, Qt::Key key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

// Ports COM1, COM3 and COM10 (links to a character device), the dialog installed,
// and the component of this system on COM3: 19200 8N1, no flow control.
class SetupDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        if (const char* old = std::getenv("ZEMTA_COM_DIR"))
            previous_ = old;
        ::setenv("ZEMTA_COM_DIR", QFile::encodeName(dir_.path()).constData(), 1);
        for (const char* name : {"COM1", "COM3", "COM10"})
            ASSERT_TRUE(QFile::link("/dev/null", dir_.filePath(name)));
        InstallComSetupDialog();
        port_.setObjectName("ComPort");
        port_.SetPort("COM3");
        port_.SetBaudRate(br19200);
    }
    void TearDown() override {
        SetComSetupDialogOperator({});
        if (previous_)
            ::setenv("ZEMTA_COM_DIR", previous_->c_str(), 1);
        else
            ::unsetenv("ZEMTA_COM_DIR");
    }

    // Runs RunSetupDialog with op as the operator; false when the dialog never showed.
    bool run(const std::function<void(TComSetupFrm&)>& op) {
        bool shown = false;
        SetComSetupDialogOperator([&](TComSetupFrm& dialog) {
            shown = dialog.isVisible();
            op(dialog);
            if (dialog.isVisible()) {
                ADD_FAILURE() << "the operator left the dialog open";
                dialog.reject();
            }
        });
        port_.RunSetupDialog();
        return shown;
    }
    // Changes every list away from the settings of this system.
    static void changeEveryList(TComSetupFrm& d) {
        pick(d.Combo1, "COM10");
        pick(d.Combo2, "9600");
        pick(d.Combo3, "7");
        pick(d.Combo4, "2");
        pick(d.Combo5, "Even");
        pick(d.Combo6, "Hardware");
    }

    QTemporaryDir dir_;
    std::optional<std::string> previous_;
    TCustomComPort port_;
};

} // namespace

TEST_F(SetupDialog, ListsOpenOnTheComponentsSettings) {
    EXPECT_TRUE(run([](TComSetupFrm& d) {
        EXPECT_EQ(d.windowTitle(), "Setup");
        QStringList ports;
        for (int i = 0; i < d.Combo1->count(); ++i)
            ports << d.Combo1->itemText(i);
        EXPECT_EQ(ports, (QStringList{"COM1", "COM10", "COM3"}));
        QStringList shown;
        for (TComComboBox* list : d.Lists())
            shown << list->currentText();
        EXPECT_EQ(shown, (QStringList{"COM3", "19200", "8", "1", "None", "None"}));
        d.Button2->click();
    }));
}

TEST_F(SetupDialog, CancelCloseBoxAndEscapeApplyNothing) {
    const Settings before = settingsOf(port_);
    run([](TComSetupFrm& d) {
        changeEveryList(d);
        d.Button2->click();
    });
    EXPECT_EQ(settingsOf(port_), before) << "Cancel";

    run([](TComSetupFrm& d) {
        changeEveryList(d);
        d.close(); // the close box
    });
    EXPECT_EQ(settingsOf(port_), before) << "close box";

    run([](TComSetupFrm& d) {
        changeEveryList(d);
        press(&d, Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible()) << "Escape closed the dialog";
        d.Button2->click();
    });
    EXPECT_EQ(settingsOf(port_), before) << "Escape";
}

TEST_F(SetupDialog, EnterIsOkAndAppliesEveryList) {
    run([](TComSetupFrm& d) {
        changeEveryList(d);
        press(&d, Qt::Key_Return);
    });
    const Settings expected{"COM10",    br9600, dbSeven, sbTwoStopBits, prEven, rtsHandshake,
                            dtrDisable, true,   false,   false,         false};
    EXPECT_EQ(settingsOf(port_), expected);
}

TEST_F(SetupDialog, UnlistedPortShowsNoSelectionAndOkKeepsThePort) {
    port_.SetPort("COM7");
    run([](TComSetupFrm& d) {
        EXPECT_EQ(d.Combo1->currentIndex(), -1);
        pick(d.Combo5, "Odd");
        d.Button1->click();
    });
    EXPECT_EQ(port_.Port(), "COM7");
    EXPECT_EQ(port_.Parity().Bits(), prOdd) << "the other lists still apply";
}

TEST_F(SetupDialog, PortMatchesWithoutRegardToCaseAndOkTakesTheListedName) {
    port_.SetPort("com3");
    run([](TComSetupFrm& d) {
        EXPECT_EQ(d.Combo1->currentText(), "COM3");
        d.Button1->click();
    });
    EXPECT_EQ(port_.Port(), "COM3");
}

TEST_F(SetupDialog, CustomFlowControlKeepsTheIndividualFlagsOnOk) {
    TComFlowControl& f = port_.FlowControl();
    f.SetControlRTS(rtsToggle);
    f.SetXonXoffIn(true);
    f.SetOutDSRFlow(true);
    f.SetControlDTR(dtrEnable);
    const Settings before = settingsOf(port_);
    run([](TComSetupFrm& d) {
        EXPECT_EQ(d.Combo6->currentText(), "Custom");
        d.Button1->click();
    });
    EXPECT_EQ(settingsOf(port_), before);
}

TEST_F(SetupDialog, NoSerialPortsRaisesRegistryErrorAndShowsNothing) {
    for (const char* name : {"COM1", "COM3", "COM10"})
        QFile::remove(dir_.filePath(name));
    const Settings before = settingsOf(port_);
    bool shown = false;
    try {
        shown = run([](TComSetupFrm& d) { d.Button1->click(); });
        ADD_FAILURE() << "no exception";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 23);
    }
    EXPECT_FALSE(shown);
    EXPECT_EQ(settingsOf(port_), before);
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TComSetupFrm*>(w), nullptr) << "a dialog was left behind";
}

TEST_F(SetupDialog, FormIsFixedWithOkDefaultAndTabbingDownTheListsToTheButtons) {
    TComSetupFrm d;
    EXPECT_EQ(d.minimumSize(), QSize(231, 216));
    EXPECT_EQ(d.maximumSize(), QSize(231, 216));
    EXPECT_TRUE(d.Button1->isDefault());
    EXPECT_FALSE(d.Combo1->isEditable());

    QWidget* const order[] = {d.Combo1, d.Combo2, d.Combo3,  d.Combo4,
                              d.Combo5, d.Combo6, d.Button1, d.Button2};
    QWidget* w = d.Combo1;
    for (QWidget* expected : order) {
        while (w->focusPolicy() == Qt::NoFocus || !(w->focusPolicy() & Qt::TabFocus))
            w = w->nextInFocusChain();
        EXPECT_EQ(w->objectName(), expected->objectName());
        w = w->nextInFocusChain();
    }
}

TEST_F(SetupDialog, EveryCaptionShowsWholeLeftOfItsListAlsoInRussian) {
    TComSetupFrm d;
    QLabel* const labels[] = {d.Label1, d.Label2, d.Label3, d.Label4, d.Label5, d.Label6};
    auto expectEveryCaptionFits = [&] {
        for (int i = 0; i < 6; ++i) {
            const QRect area = labels[i]->geometry();
            const QRect needed =
                QFontMetrics(labels[i]->font())
                    .boundingRect({QPoint(), area.size()},
                                  labels[i]->wordWrap() ? Qt::TextWordWrap : 0, labels[i]->text());
            EXPECT_TRUE(QRect(QPoint(), area.size()).contains(needed)) << i;
            EXPECT_LT(area.right(), d.Lists()[i]->x()) << i;
            EXPECT_TRUE(i == 0 || !area.intersects(labels[i - 1]->geometry())) << i;
            EXPECT_TRUE(labels[i]->toolTip().isEmpty()) << i; // not shortened
        }
    };
    expectEveryCaptionFits();
    EXPECT_EQ(d.Label6->text(), "Flow control");
    EXPECT_EQ(d.Label5->pos(), QPoint(8, 120));

    const char* const russian[] = {"Порт",          "Скорость", "Биты данных",
                                   "Стоповые биты", "Чётность", "Управление потоком"};
    for (int i = 0; i < 6; ++i)
        labels[i]->setText(QString::fromUtf8(russian[i]));
    d.FitCaptions();
    expectEveryCaptionFits();
}

TEST(ComComboBox, UnboundListSelectsTheFirstEntryAndAPickWaitsForApplyChoice) {
    TComComboBox list;
    list.SetComProperty(cpStopBits);
    EXPECT_EQ(list.currentText(), "1");

    TCustomComPort port;
    list.SetComPort(&port);
    press(&list, Qt::Key_Down); // the operator moves to the next entry
    EXPECT_EQ(list.currentText(), "1.5");
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    list.ApplyChoice();
    EXPECT_EQ(port.StopBits(), sbOne5StopBits);
}

TEST_F(SetupDialog, ListKeepsItsLastChoiceWhenTheValueIsNoLongerAmongTheEntries) {
    TComComboBox list;
    list.SetComProperty(cpPort);
    list.SetComPort(&port_); // shows COM3, which becomes the choice
    port_.SetPort("COM7");
    list.ShowCurrentValue();
    EXPECT_EQ(list.currentIndex(), -1);
    list.ApplyChoice();
    EXPECT_EQ(port_.Port(), "COM3");
}
