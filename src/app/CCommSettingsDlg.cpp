#include "app/CCommSettingsDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <chrono>

#include "app/AppArt.h"
#include "app/AppHooks.h"
#include "app/CHoverButton.h"
#include "app/CMainFrame.h"
#include "app/CSermidaView.h"
#include "app/MachineChoice.h"
#include "common/Gbk.h"
#include "machine/ProfileFile.h"
#include "serial/PortMap.h"
#include "settings/PortOptions.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsProposal.h"
#include "transfer/TransferMessages.h"

namespace {

constexpr int kDialPollMs = 10;

DialModem::Millis Now() {
    return std::chrono::duration_cast<DialModem::Millis>(
        std::chrono::steady_clock::now().time_since_epoch());
}

template <size_t N> void Fill(QComboBox* box, const std::array<std::string_view, N>& list) {
    for (auto item : list)
        box->addItem(QString::fromUtf8(item.data(), qsizetype(item.size())));
}

} // namespace

CCommSettingsDlg::CCommSettingsDlg(CSermidaView* v, QWidget* parent)
    : QDialog(parent ? parent : static_cast<QWidget*>(v)), view(v) {
    setWindowTitle(QStringLiteral("通信设置"));
    BuildControls();
    dialTimer.setInterval(kDialPollMs);
    connect(&dialTimer, &QTimer::timeout, this, &CCommSettingsDlg::PollDial);
    if (view && view->MachineName() != machine_choice::kClassic &&
        !LoadMachine(view->MachineName(), machine, machineError))
        statusLine->setText(machine_choice::ErrorText(view->MachineName(), machineError));
    if (view)
        InitialSelections();
    if (view && !Classic() && machineError.empty())
        ProposeMachineLine();
}

bool CCommSettingsDlg::Classic() const {
    return !view || view->MachineName() == machine_choice::kClassic;
}

void CCommSettingsDlg::ProposeMachineLine() {
    setWindowTitle(QStringLiteral("通信设置 - 机床 %1").arg(QString::fromStdString(machine.name)));
    const QString baud = QString::number(machine.line.baudRate);
    if (baudBox->findText(baud, Qt::MatchExactly) < 0)
        baudBox->addItem(baud);
    baudBox->setCurrentIndex(baudBox->findText(baud, Qt::MatchExactly));
    dataBox->setCurrentIndex(machine.line.dataBits - 5);
    stopBox->setCurrentIndex(machine.line.stopBits - 1);
    parityBox->setCurrentIndex(std::max(0, int(std::string_view("NOE").find(machine.line.parity))));
    if (!machine.device.empty()) {
        // The machine names its device: that is the port.
        portBox->addItem(QString::fromStdString(machine.device));
        portBox->setCurrentIndex(portBox->count() - 1);
        portBox->setEnabled(false);
    }
}

CCommSettingsDlg::~CCommSettingsDlg() = default;

void CCommSettingsDlg::BuildControls() {
    auto* grid = new QGridLayout;
    auto addRow = [&](int row, const char* label, QComboBox*& box) {
        box = new QComboBox(this);
        grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
        grid->addWidget(box, row, 1);
    };
    addRow(0, "串  口", portBox);
    addRow(1, "波特率", baudBox);
    addRow(2, "数据位", dataBox);
    addRow(3, "停止位", stopBox);
    addRow(4, "校  验", parityBox);
    // The operator sees which device each COM name stands for on this machine.
    for (int n = 1; n <= 9; ++n)
        portBox->addItem(
            QStringLiteral("COM%1  %2").arg(n).arg(QString::fromStdString(DevicePathOfPort(n))));
    Fill(baudBox, port_options::kBaudList);
    Fill(dataBox, port_options::kDataBitsList);
    Fill(stopBox, port_options::kStopBitsList);
    Fill(parityBox, port_options::kParityList);
    auto* lineGroup = new QGroupBox(this);
    lineGroup->setLayout(grid);

    directRadio = new QRadioButton(QStringLiteral("直接连接"), this);
    modemRadio = new QRadioButton(QStringLiteral("Moderm连接"), this);
    phoneEdit = new QLineEdit(this);
    connect(directRadio, &QRadioButton::clicked, this, [this] { phoneEdit->setEnabled(false); });
    connect(modemRadio, &QRadioButton::clicked, this, [this] { phoneEdit->setEnabled(true); });
    auto* modeBox = new QVBoxLayout;
    modeBox->addWidget(directRadio);
    modeBox->addWidget(modemRadio);
    auto* phoneRow = new QHBoxLayout;
    phoneRow->addWidget(new QLabel(QStringLiteral("电话号码:"), this));
    phoneRow->addWidget(phoneEdit);
    modeBox->addLayout(phoneRow);
    auto* hint = new QLabel(
        QStringLiteral("提示:选择Moderm时请确认     COM端口的工作方式为:       波特率, 8,1,无"),
        this);
    hint->setWordWrap(true);
    modeBox->addWidget(hint);

    auto* statusGroup = new QGroupBox(QStringLiteral("Moderm连接状态"), this);
    statusLine = new QLabel(statusGroup);
    statusLine->setMinimumWidth(300);
    auto* statusLayout = new QVBoxLayout(statusGroup);
    statusLayout->addWidget(statusLine);

    okButton = new CHoverButton(this);
    cancelButton = new CHoverButton(this);
    for (auto [button, icon, tip] : {std::tuple{okButton, app_art::OkIcon(), "确定"},
                                     std::tuple{cancelButton, app_art::CancelIcon(), "取消"}}) {
        button->SetIcon(icon, icon);
        button->OffsetColor(CHoverButton::BK_IN, 30);
        button->SetFlat(false);
        button->SetTooltipText(QString::fromUtf8(tip));
        button->setMinimumSize(64, 36);
    }
    okButton->setObjectName(QStringLiteral("ok"));
    cancelButton->setObjectName(QStringLiteral("cancel"));
    connect(okButton, &QAbstractButton::clicked, this, &CCommSettingsDlg::accept);
    connect(cancelButton, &QAbstractButton::clicked, this, &CCommSettingsDlg::reject);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    buttons->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(lineGroup);
    top->addLayout(modeBox, 1);
    top->addLayout(buttons);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(statusGroup);
}

void CCommSettingsDlg::InitialSelections() {
    SettingsTokens file;
    const bool found = LoadSettingsFile(file);
    const DialogSelection s = SelectionOfProposal(
        ProposeSelections(view->Connection().Settings(), found ? &file : nullptr));
    portBox->setCurrentIndex(s.port);
    baudBox->setCurrentIndex(s.baud);
    dataBox->setCurrentIndex(s.dataBits);
    stopBox->setCurrentIndex(s.stopBits);
    parityBox->setCurrentIndex(s.parity);
    directRadio->setChecked(true);
    modemRadio->setChecked(false);
    phoneEdit->setEnabled(false);
    phoneEdit->clear();
}

void CCommSettingsDlg::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Without a view there is nothing to set up.
    if (!view)
        QMetaObject::invokeMethod(
            this, [this] { QDialog::reject(); }, Qt::QueuedConnection);
}

void CCommSettingsDlg::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape && dial) {
        dial->Cancel();
        PollDial();
        return;
    }
    QDialog::keyPressEvent(e);
}

void CCommSettingsDlg::accept() {
    if (!view || dial)
        return;
    DialogChoice choice;
    choice.portIndex = portBox->currentIndex();
    choice.baudText = baudBox->currentText().toStdString();
    choice.dataBitsIndex = dataBox->currentIndex();
    choice.stopBitsIndex = stopBox->currentIndex();
    choice.parityIndex = parityBox->currentIndex();
    if (!machineError.empty()) {
        app_hooks::ShowMessage(machine_choice::ErrorText(view->MachineName(), machineError));
        return;
    }
    machine_choice::Line line{SettingsOfChoice(choice), {}};
    if (!Classic()) {
        line.settings.rtsCts = machine.Line().rtsCts;
        if (!machine.device.empty()) {
            line.settings.portNumber = machine.line.portNumber;
            line.address = machine.device;
        }
    }

    CMainFrame* frame = CMainFrame::FrameOf(view);
    auto release = [frame](int portNumber) { return frame ? frame->ReleasePort(portNumber) : 0; };
    if (!view->Connection().OpenLine(line.settings, release, line.address).Opened())
        return; // the port said why; the operator may change the values
    view->LineOpenedFor(view->MachineName(), line);

    if (modemRadio->isChecked()) {
        dial = std::make_unique<DialModem>(view->Connection().Port(), *this, AppMessages());
        const QByteArray number = phoneEdit->text().toLocal8Bit();
        const auto result =
            dial->Start(std::string(number.constData(), size_t(number.size())), Now());
        if (result == DialModem::Result::Running) {
            dialTimer.start();
            return;
        }
        const bool connected = result == DialModem::Result::Connected;
        dial.reset();
        if (connected)
            FinishConnection();
        return;
    }
    FinishConnection();
}

void CCommSettingsDlg::PollDial() {
    if (!dial)
        return;
    const auto result =
        dial->State() == DialModem::Result::Running ? dial->Poll(Now()) : dial->State();
    if (result == DialModem::Result::Running)
        return;
    dialTimer.stop();
    dial.reset();
    if (result == DialModem::Result::Connected)
        FinishConnection();
}

void CCommSettingsDlg::FinishConnection() {
    if (!view->Connection().Complete())
        return;
    // The last good connection is what the next dialog proposes; a file that
    // cannot be written changes nothing about the connection. Sermida.ini is
    // the classic line's: another machine's line is its profile's.
    if (Classic())
        SaveSettingsFile(TokensOfSettings(view->Connection().Settings()));
    QDialog::accept();
}

void CCommSettingsDlg::reject() {
    if (dial) {
        // Esc during the dial ends the dial, not the dialog.
        dial->Cancel();
        PollDial();
        return;
    }
    if (!view || closing) {
        QDialog::reject();
        return;
    }
    closing = true;
    const bool disconnected = view->Connection().Disconnect();
    QDialog::reject();
    if (!disconnected) // the dialog goes first, then the word why the line stays
        app_hooks::ShowMessage(kMsgWaitBeforeDisconnect);
    closing = false;
}

void CCommSettingsDlg::ShowStatus(const std::string& text) {
    statusLine->setText(QString::fromStdString(text));
    statusLine->repaint();
}

void CCommSettingsDlg::EnableOkCancel(bool enabled) {
    okButton->setEnabled(enabled);
    cancelButton->setEnabled(enabled);
}
