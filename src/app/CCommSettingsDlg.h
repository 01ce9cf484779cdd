#pragma once
#include <QDialog>
#include <QTimer>
#include <memory>

#include "machine/MachineProfile.h"
#include "settings/DialModem.h"

class CHoverButton;
class CSermidaView;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

// "通信设置": the line parameters of one view's port, connected directly or
// through a modem. It ends with OK only once the view is connected; Cancel,
// Esc and the close box disconnect the view (unless it is transmitting).
// For the classic machine it proposes from Sermida.ini and OK stores the line
// there; for another machine it proposes the machine's line, opens it with
// the machine's handshake, and leaves Sermida.ini alone.
class CCommSettingsDlg : public QDialog, public DialHost {
    Q_OBJECT

public:
    explicit CCommSettingsDlg(CSermidaView* view, QWidget* parent = nullptr);
    ~CCommSettingsDlg() override;

    // The controls, by their ids, for the tests and the frame.
    QComboBox* PortBox() const { return portBox; }
    QComboBox* BaudBox() const { return baudBox; }
    QComboBox* DataBitsBox() const { return dataBox; }
    QComboBox* StopBitsBox() const { return stopBox; }
    QComboBox* ParityBox() const { return parityBox; }
    QRadioButton* DirectRadio() const { return directRadio; }
    QRadioButton* ModemRadio() const { return modemRadio; }
    QLineEdit* PhoneEdit() const { return phoneEdit; }
    QLabel* StatusLine() const { return statusLine; }
    CHoverButton* OkButton() const { return okButton; }
    CHoverButton* CancelButton() const { return cancelButton; }
    bool Dialing() const { return dial != nullptr; }

    void accept() override; // OK: connect
    void reject() override; // Cancel, Esc, close box: disconnect

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void BuildControls();
    void InitialSelections();
    // The view's machine, when it is not the classic one.
    void ProposeMachineLine();
    bool Classic() const;
    void PollDial();
    void FinishConnection();
    void ShowStatus(const std::string& text) override;
    void EnableOkCancel(bool enabled) override;

    CSermidaView* view;
    CHoverButton* okButton = nullptr;
    CHoverButton* cancelButton = nullptr;
    QComboBox* portBox = nullptr;
    QComboBox* baudBox = nullptr;
    QComboBox* dataBox = nullptr;
    QComboBox* stopBox = nullptr;
    QComboBox* parityBox = nullptr;
    QRadioButton* directRadio = nullptr;
    QRadioButton* modemRadio = nullptr;
    QLineEdit* phoneEdit = nullptr;
    QLabel* statusLine = nullptr;
    std::unique_ptr<DialModem> dial;
    QTimer dialTimer;
    bool closing = false;
    MachineProfile machine;
    std::string machineError; // the view's machine could not be read
};
