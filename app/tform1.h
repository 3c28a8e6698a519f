#pragma once
// TForm1: the main window. It owns the serial port component and the link to the sign;
// its click handlers read the controls, run one sign operation and show the results.
//
// Controls (objectName = control name), as the window groups them:
//
// "Ввод данных" (GroupBox5)
//   Button7            read the whole sign back ("Прочитать")
//   Button8            write the prices, then read back ("Записать")
//   price rows, 1 (bottom) .. 10 (top):
//     row  entry      not-used  first-half label  second-half label
//      1   MaskEdit6  CheckBox3 Label9            lbl5
//      2   MaskEdit5  CheckBox6 Label12           lbl4
//      3   MaskEdit4  CheckBox4 Label13           lbl3
//      4   MaskEdit3  CheckBox5 Label14           lbl2
//      5   MaskEdit1  CheckBox1 Label10           lbl1
//      6   input6     chk5      Label15           Label2
//      7   input7     chk4      Label16           Label3
//      8   input8     chk3      Label19           Label4
//      9   input9     chk2      Label20           Label8
//     10   input10    chk1      Label21           Label11
//   GroupBox6 / GroupBox7   display columns "Первая половина" / "Вторая половина"
//   attribute sets, hidden beyond the group's right edge, filled by the read-back; the
//   write sends one only for a typed row neither of whose panels has reported its own
//   grade and flags (rows 6..10 use row 5's set):
//     row 1: ComboBox5, CheckBox10 (Снежинка), CheckBox15 (Евро)
//     row 2: ComboBox4, CheckBox9, CheckBox14
//     row 3: ComboBox3, CheckBox8, CheckBox13
//     row 4: ComboBox2, CheckBox7, CheckBox12
//     row 5: ComboBox1, CheckBox2, CheckBox11
//   Button29           hidden: the price write itself, run by Button8
// ProgressBar1         progress of the write and the read-back (0..20)
// "Яркость" (GroupBox4)
//   Button5            automatic brightness
//   Button6            manual brightness at the level in MaskEdit7 (one digit)
//   effect             running-light effects: interval in del_effect (one digit),
//                      effects chk9 (Эф.1), chk6 (Эф.2), chk7 (Эф.3), chk8 (Эф.4)
// "Настройки порта" (GroupBox2)
//   Button36           search the sign on COM1..COM255
//   Button2            port setup dialog, then 19200 baud, store, reopen
//   Button1            close the window
// Outside the visible area (F12 widens the window to show Memo1 and StatusBar1):
//   Memo1              diagnostic log; its context menu saves it to a file
//   JournalButton      "Журнал цен" below the log: the price journal's window (also F11)
//   StatusBar1         "Работаем на COMn" after a find
//   RxSlider1, Label5  read delay (1..999, 50 ms), hidden
//   RxSlider2, Label7  search delay (1..500, 200), hidden, Label7 on hidden Panel1
// ComPort              the serial port component (TComPort)

#include "journal.h"
#include "maskedit.h"
#include "signlink.h"
#include "tcomport.h"
#include "writecheck.h"
#include "writeplan.h"

#include <QLabel>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class JournalWindow;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSlider;
class QStatusBar;

inline const QString kWindowCaption =
    QStringLiteral("ЗЕМТА К450/600 - прошивка m407  www.zemta.ru");

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Builds the window and runs its creation handler (the sign search).
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Shows the window in the middle of the screen.
    void showCentered();
    // The user's session ends: once no operation runs (a running one stops at its next
    // frame), closes the port and lets the session go on (sessionend.h).
    void endSession();

    TComPort* ComPort;
    signlink::SignLink& link() { return link_; }

    // --- handlers ----------------------------------------------------------------------
    // Each does its work and lets failures propagate; the buttons run them through the
    // general error report (runOperation). Button8Click relies on that: a failed write
    // ends it before the read-back.
    void FormCreate();
    void Button7Click();  // read-back
    void Button8Click();  // write button sequence
    void Button29Click(); // price write
    void Button5Click();  // automatic brightness
    void Button6Click();  // manual brightness
    void effectClick();   // effects
    void Button36Click(); // sign search
    void Button2Click();  // port setup
    void Button1Click();  // exit

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // One price row's controls.
    struct PriceRowControls {
        TMaskEdit* entry;
        QCheckBox* notUsed;
        QLabel* firstHalf;
        QLabel* secondHalf;
    };
    // One attribute set.
    struct AttributeSet {
        QComboBox* grade;
        QCheckBox* snowflake;
        QCheckBox* euro;
    };
    class ReadBackDisplay;
    class WriteInputs;
    class ButtonsLock;

    void buildControls();
    void createComPort();
    // Runs a handler's work guarded; a close requested meanwhile happens afterwards.
    void runOperation(const std::function<void()>& operation);
    // A close waits for the running operation: caption note, price rows disabled.
    void showClosePending(bool pending);
    // The price entries and "Не исп." boxes.
    void setRowsEnabled(bool enabled);

    // --- the write's safety -----------------------------------------------------------
    // The read-back into the window, kept as the latest one; with keepTyped (the read
    // before a write), entries the operator has edited keep what was typed and a changed
    // "Не исп." box still counts as changed.
    signlink::SignContents readBack(bool keepTyped = false);
    // The price write from the window's rows, planned from the latest read-back.
    signlink::WriteRecord writePrices();
    // Logs each panel that did not take a write and lists them in one message box,
    // unless the window is waiting to close.
    void tellNotTaken(const std::vector<signlink::PanelMismatch>& mismatches);

    // --- the technician's view of the log ----------------------------------------------
    // F12: widens the window to show the log and the status bar, or narrows it back.
    void toggleTechnicianView();
    void showLogMenu(const QPoint& position);
    // Asks for a file and writes the whole log to it as UTF-8.
    void saveLog();
    // "Журнал цен" (its button in the technician's view, or F11): opens the price
    // journal's window, or brings it up when it is open already.
    void openJournalWindow();

    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button5;
    QPushButton* Button6;
    QPushButton* Button7;
    QPushButton* Button8;
    QPushButton* Button29;
    QPushButton* Button36;
    QPushButton* effect;
    TMaskEdit* MaskEdit7;
    TMaskEdit* del_effect;
    QCheckBox* chk6;
    QCheckBox* chk7;
    QCheckBox* chk8;
    QCheckBox* chk9;
    QGroupBox* GroupBox2;
    QGroupBox* GroupBox4;
    QGroupBox* GroupBox5;
    QGroupBox* GroupBox6;
    QGroupBox* GroupBox7;
    QProgressBar* ProgressBar1;
    QPlainTextEdit* Memo1;
    QPushButton* JournalButton;
    QPointer<JournalWindow> journalWindow_;
    QStatusBar* StatusBar1;
    QSlider* RxSlider1;
    QSlider* RxSlider2;
    QLabel* Label5;
    QFrame* Panel1;
    QLabel* Label7;
    std::array<PriceRowControls, 10> rows_{}; // index row - 1
    std::array<AttributeSet, 5> attributeSets_{};
    // The 20 panel replies of the latest read-back that ran to its end on the port as it
    // is open now; none before the first one. The search, the setup dialog, closing the
    // port and any failure drop it. A write plans every panel from its own reply.
    std::optional<signlink::SignContents> lastRead_;
    // Each row's "Не исп." box as it stood at the end of that read-back: a box that
    // differs now was changed by the operator.
    std::array<bool, 10> notUsedAtRead_{};
    bool technicianView_ = false;

    signlink::SignLink link_;
    // The price journal; a failure to append is shown once per run, after the operation.
    std::unique_ptr<journal::Journal> journal_;
    QString journalProblem_;
    int running_ = 0;           // operations in progress (nested through message pumps)
    bool closePending_ = false; // the window was asked to close while one ran
};
