#include "app/CTransferBar.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QTimerEvent>
#include <QToolButton>
#include <chrono>

#include "app/AppArt.h"
#include "app/AppCommands.h"
#include "app/AppHooks.h"
#include "app/CCommSettingsDlg.h"
#include "app/CHoverButton.h"
#include "app/CMachineCombo.h"
#include "app/CMainFrame.h"
#include "app/CSermidaView.h"
#include "transfer/TransferMessages.h"
#include "transfer/TransferStatus.h"

namespace {

constexpr int kUpdateMs = 50;
const char* const kNotSet = "未设置";

} // namespace

CTransferBar::CTransferBar(CMainFrame& f, QWidget* parent) : QWidget(parent), frame(f) {
    BuildControls();
    SetUpButtons();
    timer.start(kUpdateMs, this);
}

void CTransferBar::BuildControls() {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    auto* logo = new QLabel(this);
    logo->setPixmap(app_art::Logo());
    row->addWidget(logo);
    row->addSpacing(8);

    auto* lampGroup = new QGroupBox(this);
    auto* lampRow = new QHBoxLayout(lampGroup);
    lampRow->setContentsMargins(6, 2, 6, 2);
    const char* lampWords[] = {"接收", "传送", "暂停"};
    for (int i = 0; i < 3; ++i) {
        lamps[i] = new QLabel(lampGroup);
        lamps[i]->setPixmap(app_art::Lamp(false));
        lampRow->addWidget(lamps[i]);
        lampRow->addWidget(new QLabel(QString::fromUtf8(lampWords[i]), lampGroup));
        lampRow->addSpacing(6);
    }
    auto makeButton = [this](int id) {
        auto* b = new CHoverButton(this);
        b->setObjectName(QStringLiteral("button%1").arg(id));
        return b;
    };
    pauseButton = makeButton(ID_PAUSE);
    stopButton = makeButton(ID_STOP);
    continueButton = makeButton(ID_CONTINUE);
    for (auto* b : {pauseButton, stopButton, continueButton}) {
        b->setFixedSize(30, 28);
        lampRow->addWidget(b);
    }
    row->addWidget(lampGroup);
    row->addSpacing(8);

    transmitButton = makeButton(ID_TRANSMIT);
    transmitButton->setText(QStringLiteral("传送"));
    receiveButton = makeButton(ID_RECEIVE);
    receiveButton->setText(QStringLiteral("接收"));
    receiveButton->SetCheckBoxMode(true);
    settingsButton = makeButton(ID_SETTINGS);
    settingsButton->setText(QStringLiteral("设置"));
    for (auto* b : {transmitButton, receiveButton, settingsButton}) {
        b->setMinimumSize(84, 40);
        row->addWidget(b);
    }
    row->addSpacing(8);

    auto* portGroup = new QGroupBox(this);
    auto* grid = new QGridLayout(portGroup);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->addWidget(new QLabel(QStringLiteral("串  口："), portGroup), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("波特率："), portGroup), 1, 0);
    portLabel = new QLabel(QString::fromUtf8(kNotSet), portGroup);
    baudLabel = new QLabel(QString::fromUtf8(kNotSet), portGroup);
    grid->addWidget(portLabel, 0, 1);
    grid->addWidget(baudLabel, 1, 1);
    // The machine beside the line it is on: above its list, the word and the
    // button of the profiles; kept narrow, the bar fits a small screen.
    auto* machineHead = new QHBoxLayout;
    machineHead->addWidget(new QLabel(QStringLiteral("机床"), portGroup));
    machineHead->addStretch();
    machinesButton = new QToolButton(portGroup);
    machinesButton->setObjectName(QStringLiteral("machinesButton"));
    machinesButton->setText(QStringLiteral("…"));
    machinesButton->setToolTip(QStringLiteral("机床配置"));
    machinesButton->setAutoRaise(true);
    machinesButton->setFixedHeight(QFontMetrics(font()).height() + 2);
    machineHead->addWidget(machinesButton);
    grid->addLayout(machineHead, 0, 2);
    machineCombo = new CMachineCombo(portGroup);
    machineCombo->setObjectName(QStringLiteral("machineCombo"));
    grid->addWidget(machineCombo, 1, 2);
    grid->setColumnMinimumWidth(1, 56);
    row->addWidget(portGroup);
    row->addStretch();

    connect(pauseButton, &QAbstractButton::clicked, this, &CTransferBar::OnPause);
    connect(stopButton, &QAbstractButton::clicked, this, &CTransferBar::OnStop);
    connect(continueButton, &QAbstractButton::clicked, this, &CTransferBar::OnContinue);
    connect(transmitButton, &QAbstractButton::clicked, this, &CTransferBar::OnTransmit);
    connect(receiveButton, &QAbstractButton::clicked, this, &CTransferBar::OnReceive);
    connect(settingsButton, &QAbstractButton::clicked, this, &CTransferBar::OnSettings);
    connect(machineCombo, &QComboBox::activated, this,
            [this](int index) { OnMachinePicked(machineCombo->MachineAt(index)); });
    connect(machinesButton, &QAbstractButton::clicked, this, [this] { frame.OnMachines(); });
}

void CTransferBar::SetUpButtons() {
    using app_art::Symbol;
    const struct {
        CHoverButton* button;
        Symbol symbol;
        const char* tip;
    } small[] = {{pauseButton, Symbol::Pause, "暂停"},
                 {stopButton, Symbol::Stop, "停止"},
                 {continueButton, Symbol::Continue, "继续"}};
    for (const auto& s : small) {
        s.button->SetBitmaps(app_art::SymbolPixmap(s.symbol, QColor(0, 160, 0)),
                             app_art::SymbolPixmap(s.symbol, QColor(0, 0, 200)),
                             app_art::SymbolPixmap(s.symbol, QColor(150, 150, 150)));
        s.button->SetPressedStyle(CHoverButton::SHIFT_DOWN);
        s.button->SetColor(CHoverButton::FG_IN, Qt::white);
        s.button->SetColor(CHoverButton::FG_OUT, Qt::black);
        s.button->DrawBorder(true);
        s.button->SetTooltipText(QString::fromUtf8(s.tip));
        s.button->setEnabled(false);
    }
    receiveButton->SetIcon(app_art::ReceiveIcon(), app_art::ReceiveIcon());
    transmitButton->SetIcon(app_art::TransmitIcon(), app_art::TransmitIcon());
    settingsButton->SetIcon(app_art::SettingsIcon(), app_art::SettingsIcon());
    for (auto* b : {receiveButton, transmitButton, settingsButton})
        b->OffsetColor(CHoverButton::BK_IN, 30);
}

CHoverButton* CTransferBar::Button(int id) const {
    switch (id) {
    case ID_PAUSE:
        return pauseButton;
    case ID_STOP:
        return stopButton;
    case ID_CONTINUE:
        return continueButton;
    case ID_TRANSMIT:
        return transmitButton;
    case ID_RECEIVE:
        return receiveButton;
    case ID_SETTINGS:
        return settingsButton;
    default:
        return nullptr;
    }
}

QString CTransferBar::PortText() const {
    return portLabel->text();
}
QString CTransferBar::BaudText() const {
    return baudLabel->text();
}

void CTransferBar::keyPressEvent(QKeyEvent* e) {
    // Enter and Esc never close or trigger anything here.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QWidget::keyPressEvent(e);
}

// --- Commands ----------------------------------------------------------------

int CTransferBar::TakeOverConnection(CSermidaView* view) {
    if (!view)
        return -1;
    if (view->IsConnected())
        return 1; // its own connection; the link stays where it is
    Connection* linked = linkedView ? &linkedView->Connection() : nullptr;
    const TakeOverResult result = view->Connection().TakeOver(linked);
    if (result == TakeOverResult::Connected && linkedView) {
        // The line came with its machine: a view of another machine opens it
        // anew for its own before it transfers.
        view->LineOpenedFor(linkedView->LineMachine(),
                            {view->Connection().Settings(), linkedView->LineAddress()});
        linkedView = view;
    }
    return static_cast<int>(result);
}

void CTransferBar::OnTransmit() {
    OnTransmitLines({});
}

void CTransferBar::OnTransmitLines(const LineRanges& ranges) {
    if (!frame.ActiveView())
        frame.OnFileOpen();
    CSermidaView* view = frame.ActiveView();
    if (!view)
        return;
    if (TakeOverConnection(view) < 0)
        return;
    // A machine that cannot be read stops everything before the dialog.
    MachineProfile machine;
    if (!view->LoadMachine(machine))
        return;
    // The dialog only for a view that could start; the connection says why
    // it cannot.
    if (view->State() == Idle && !view->Connection().TransmitActive() && !view->IsConnected())
        OnSettings();
    view->StartTransmit(machine, ranges);
}

void CTransferBar::OnReceive(bool checked) {
    if (!frame.ActiveView())
        frame.OnFileNew();
    CSermidaView* view = frame.ActiveView();
    if (!view)
        return;
    if (TakeOverConnection(view) < 0)
        return;
    if (!checked) {
        view->EndReceive();
        return;
    }
    MachineProfile machine;
    if (!view->LoadMachine(machine)) {
        receiveButton->SetCheck(false);
        return;
    }
    if (!view->IsConnected())
        OnSettings();
    if (!view->StartReceive(machine))
        receiveButton->SetCheck(false);
}

void CTransferBar::OnPause() {
    if (CSermidaView* view = frame.ActiveView())
        view->Connection().Pause();
}

void CTransferBar::OnStop() {
    if (CSermidaView* view = frame.ActiveView())
        view->Connection().Stop();
}

void CTransferBar::OnContinue() {
    if (CSermidaView* view = frame.ActiveView())
        view->Connection().Continue();
}

void CTransferBar::OnSettings() {
    if (!frame.ActiveView())
        frame.OnFileNew();
    CSermidaView* view = frame.ActiveView();
    if (!view)
        return;
    if (view->Transmitting()) {
        app_hooks::ShowMessage(kMsgWaitForTransfer);
        return;
    }
    {
        CCommSettingsDlg dialog(view);
        app_hooks::RunModal(dialog);
    }
    if (view->IsConnected())
        linkedView = view;
    else if (linkedView == view)
        linkedView = nullptr;
}

void CTransferBar::OnMachinePicked(const std::string& name) {
    CSermidaView* view = frame.ActiveView();
    if (!view || name.empty() || name == view->MachineName())
        return;
    if (view->State() != Idle || view->Connection().TransmitActive())
        app_hooks::ShowMessage(kMsgWaitForTransfer);
    else
        view->SelectMachine(name);
    machineCombo->ShowMachine(view->MachineName());
}

void CTransferBar::RefreshMachines() {
    machineCombo->Reload();
    if (CSermidaView* view = frame.ActiveView())
        machineCombo->ShowMachine(view->MachineName());
}

// --- The 50 ms update ------------------------------------------------------------

void CTransferBar::timerEvent(QTimerEvent* e) {
    if (e->timerId() == timer.timerId())
        UpdateState();
    else
        QWidget::timerEvent(e);
}

void CTransferBar::SetLamp(Lamp lamp, bool on) {
    if (lampOn[lamp] == on)
        return;
    lampOn[lamp] = on;
    lamps[lamp]->setPixmap(app_art::Lamp(on));
    if (on)
        lamps[lamp]->repaint();
}

void CTransferBar::UpdateState() {
    const QString notSet = QString::fromUtf8(kNotSet);
    CSermidaView* view = frame.ActiveView();
    if (!view) {
        if (receiveButton->GetCheck())
            receiveButton->SetCheck(false);
        if (portLabel->text() != notSet)
            portLabel->setText(notSet);
        if (baudLabel->text() != notSet)
            baudLabel->setText(notSet);
        machineCombo->setEnabled(false);
        return;
    }
    const int state = view->State();
    switch (state) {
    case Idle:
    case Receiving:
        view->sendLamp = view->pauseLamp = false;
        view->pauseEnabled = view->continueEnabled = false;
        // Stopped while the line in flight still goes out: a second Stop cuts it.
        view->stopEnabled = view->Connection().TransmitActive();
        break;
    case Sending:
        view->sendLamp = true;
        view->pauseLamp = false;
        view->pauseEnabled = view->stopEnabled = true;
        view->continueEnabled = false;
        break;
    case Paused:
        view->sendLamp = false;
        view->pauseLamp = true;
        view->pauseEnabled = false;
        view->stopEnabled = view->continueEnabled = true;
        break;
    case HeldByPeer:
        view->sendLamp = false;
        view->pauseLamp = true;
        view->pauseEnabled = view->stopEnabled = true;
        view->continueEnabled = false;
        break;
    default:
        app_hooks::ShowMessage(QStringLiteral("System State Error!"));
        return;
    }
    // The receive lamp flashes for one tick per burst of received bytes.
    SetLamp(ReceiveLamp, view->Connection().TakeReceiveActivity());
    SetLamp(SendLamp, view->sendLamp);
    SetLamp(PauseLamp, view->pauseLamp);
    // The same lamp for both holds; its tip says whose it is, and the lamps
    // of a stalled transmission say so too.
    const QString holder = QString::fromStdString(HoldText(state));
    const auto now = std::chrono::steady_clock::now();
    const std::string warning = StallWarning(view->Connection(), now);
    const QString stall = warning.empty() ? QString() : "\n" + QString::fromStdString(warning);
    const QString tips[] = {QStringLiteral("接收"), QStringLiteral("传送") + stall,
                            (holder.isEmpty() ? QStringLiteral("暂停") : holder) + stall};
    for (int lamp : {SendLamp, PauseLamp})
        if (lamps[lamp]->toolTip() != tips[lamp])
            lamps[lamp]->setToolTip(tips[lamp]);
    pauseButton->setEnabled(view->pauseEnabled);
    stopButton->setEnabled(view->stopEnabled);
    continueButton->setEnabled(view->continueEnabled);

    const bool receiving = state == Receiving;
    if (receiving != receivingShown) {
        receiveButton->SetCheck(receiving);
        receivingShown = receiving;
    }

    // A machine is chosen only between transfers.
    machineCombo->setEnabled(state == Idle && !view->Connection().TransmitActive());
    machineCombo->ShowMachine(view->MachineName());

    QString port = notSet, baud = notSet;
    if (view->IsConnected()) {
        const std::string& device = view->LineAddress();
        port = device.empty()
                   ? QStringLiteral("COM%1").arg(view->Connection().Settings().portNumber)
                   : QString::fromStdString(device);
        baud = QString::number(view->Connection().Settings().baudRate);
    }
    if (portLabel->text() != port)
        portLabel->setText(port);
    if (baudLabel->text() != baud)
        baudLabel->setText(baud);
}

QString CTransferBar::LampTip(Lamp lamp) const {
    return lamps[lamp]->toolTip();
}
