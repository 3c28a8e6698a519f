#pragma once
// TComSetupFrm: the port setup dialog. Six lists show the port and the line settings
// of a serial port component; OK writes the choice into the component, Cancel or the
// close box leave it as it was. Escape closes nothing.
//
//   GroupBox1  " Settings ", holding the labels and lists
//   Label1..6  "Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"
//   Combo1     port          Combo4  stop bits
//   Combo2     baud rate     Combo5  parity
//   Combo3     data bits     Combo6  flow control
//   Button1    OK (default)
//   Button2    Cancel

#include <QDialog>

#include <array>
#include <functional>

class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class TComComboBox;
class TCustomComPort;

class TComSetupFrm : public QDialog {
    Q_OBJECT
public:
    // Builds the controls and fills the lists, unbound. Raises EComPort code 23 when
    // the system's serial ports cannot be listed.
    explicit TComSetupFrm(QWidget* parent = nullptr);

    // The six lists in the order they are bound and applied: port, baud rate, data
    // bits, stop bits, parity, flow control.
    std::array<TComComboBox*, 6> Lists() const;

    // Sizes the six captions to the room left of their lists, with a smaller font or
    // broken onto two lines where a caption would not fit; the constructor does it for
    // the captions it sets. Call it again after changing a caption's text.
    void FitCaptions();

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    TComComboBox* Combo1;
    TComComboBox* Combo2;
    TComComboBox* Combo3;
    TComComboBox* Combo4;
    TComComboBox* Combo5;
    TComComboBox* Combo6;
    QPushButton* Button1;
    QPushButton* Button2;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// Makes the dialog the one TCustomComPort::RunSetupDialog shows: create it (code 23
// and nothing shown when the ports cannot be listed), bind the lists to the
// component, show it modally, and on OK apply the six choices inside one
// SuspendPush/ResumePush. The main window calls this once at start-up.
void InstallComSetupDialog();

// A function that RunSetupDialog calls with the dialog once it is showing, from its
// modal event loop; it stands in for the operator and must close the dialog (OK,
// Cancel or the close box). For running the dialog without a person, as tests do.
// An empty function removes it.
void SetComSetupDialogOperator(std::function<void(TComSetupFrm&)> standIn);
