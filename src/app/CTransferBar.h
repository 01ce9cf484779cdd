#pragma once
#include <QBasicTimer>
#include <QWidget>

#include "editor/text/ProgramRestart.h"
#include <string>

class CHoverButton;
class CMachineCombo;
class CMainFrame;
class CSermidaView;
class QLabel;
class QToolButton;

// The row under the toolbar that drives transfers: pause, stop, continue,
// transmit, receive and settings, three lamps (receive, transmit, pause), the
// port and baud rate of the active view and the machine it talks to. Every
// 50 ms it follows the active view's state.
class CTransferBar : public QWidget {
    Q_OBJECT

public:
    enum Lamp { ReceiveLamp, SendLamp, PauseLamp };

    explicit CTransferBar(CMainFrame& frame, QWidget* parent = nullptr);

    // The commands.
    void OnPause();
    void OnStop();
    void OnContinue();
    void OnTransmit();
    // A transmission of these document lines only (a restart).
    void OnTransmitLines(const LineRanges& ranges);
    void OnReceive(bool checked);
    void OnSettings();
    // The operator picked a machine for the active view.
    void OnMachinePicked(const std::string& name);
    // The saved profiles changed.
    void RefreshMachines();

    // -1 no view, else the connection's TakeOverResult: -2 the linked view
    // transmits, -3 the port would not open, -4 its reader would not start,
    // 0 nothing to take over, 1 connected (the view is then the linked one).
    int TakeOverConnection(CSermidaView* view);

    void SetLinkedView(CSermidaView* view) { linkedView = view; }
    CSermidaView* LinkedView() const { return linkedView; }

    // One pass of the 50 ms update.
    void UpdateState();

    CHoverButton* Button(int id) const;
    bool LampOn(Lamp lamp) const { return lampOn[lamp]; }
    QString LampTip(Lamp lamp) const;
    QString PortText() const;
    QString BaudText() const;
    CMachineCombo* MachineCombo() const { return machineCombo; }

protected:
    void timerEvent(QTimerEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void BuildControls();
    void SetUpButtons();
    void SetLamp(Lamp lamp, bool on);

    CMainFrame& frame;
    CHoverButton* pauseButton = nullptr;
    CHoverButton* stopButton = nullptr;
    CHoverButton* continueButton = nullptr;
    CHoverButton* transmitButton = nullptr;
    CHoverButton* receiveButton = nullptr;
    CHoverButton* settingsButton = nullptr;
    QLabel* lamps[3] = {};
    bool lampOn[3] = {false, false, false};
    QLabel* portLabel = nullptr;
    QLabel* baudLabel = nullptr;
    CMachineCombo* machineCombo = nullptr;
    QToolButton* machinesButton = nullptr;
    CSermidaView* linkedView = nullptr;
    bool receivingShown = false;
    QBasicTimer timer;
};
