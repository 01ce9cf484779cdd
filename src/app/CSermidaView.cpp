#include "app/CSermidaView.h"

#include <algorithm>
#include <chrono>

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QWheelEvent>

#include "app/AppCommands.h"
#include "app/AppEvents.h"
#include "app/AppHooks.h"
#include "app/CCommSettingsDlg.h"
#include "app/CCompareDlg.h"
#include "app/CMainFrame.h"
#include "app/CSermidaDoc.h"
#include "app/CTransferBar.h"
#include "common/Gbk.h"
#include "editor/text/ProgramScanner.h"
#include "editor/text/WheelStep.h"
#include "editor/view/EditCommands.h"
#include "editor/view/PageSetup.h"
#include "editor/view/ViewCommands.h"
#include "editor/view/ViewPrinter.h"
#include "transfer/TransferMessages.h"
#include "transfer/TransferStatus.h"

CSermidaView::CSermidaView(CSermidaDoc* document, QWidget* parent)
    : CEditView(parent), doc(document),
      connection(std::make_unique<::Connection>(*this, document->Lock())) {
    doc->AddView(this);
    BindBuffer(&doc->Buffer());
}

CSermidaView::~CSermidaView() {
    if (CMainFrame* frame = Frame())
        frame->ViewGoing(this);
    // Stops a reception (or, at worst, a transmission), ends its threads and
    // closes the port before anything they use goes away.
    connection.reset();
    UnbindBuffer();
    doc->RemoveView(this);
    // The document lives as long as a window shows it.
    if (doc->Views().empty())
        delete doc;
}

CMainFrame* CSermidaView::Frame() const {
    return CMainFrame::FrameOf(this);
}

bool CSermidaView::StartTransmit() {
    MachineProfile machine;
    return LoadMachine(machine) && StartTransmit(machine);
}

bool CSermidaView::StartTransmit(const MachineProfile& machine, LineRanges ranges) {
    // Text received meanwhile could not go into a locked document.
    if (State() == Idle && IsConnected() && doc->Receiving()) {
        app_hooks::ShowMessage(kMsgWaitForTransfer);
        return false;
    }
    if (!FitLineTo(machine))
        return false;
    ApplyRules(machine);
    return connection->StartTransmit(std::move(ranges));
}

void CSermidaView::OnCompare() {
    const QString path = app_hooks::openFileName(this, QString());
    if (path.isEmpty())
        return;
    CTextBuffer stored;
    FileError error;
    if (!stored.LoadFromDisk(QFile::encodeName(path).toStdString(), LINE_END_DETECT, &error)) {
        app_hooks::ShowMessage(
            QStringLiteral("无法读取 %1：%2").arg(path, QString::fromStdString(error.Describe())));
        return;
    }
    const QString name = QFileInfo(doc->PathName()).fileName();
    CCompareDlg dialog(doc->Buffer(), name.isEmpty() ? QStringLiteral("当前文档") : name, stored,
                       path, this);
    app_hooks::RunModal(dialog);
}

int CSermidaView::RestartLine(int command) {
    const CTextBuffer& text = doc->Buffer();
    const int caret = Cursor().y;
    if (command == ID_TRANSMIT_FROM_TOOL) {
        const int line = ToolChangeBefore(text, caret);
        if (line < 0)
            app_hooks::ShowMessage(
                QStringLiteral("光标之前没有换刀程序段（T 或 M6），无法从换刀处传送。"));
        return line;
    }
    if (command != ID_TRANSMIT_FROM_BLOCK)
        return caret;
    QInputDialog ask(this);
    ask.setWindowTitle(QStringLiteral("从程序段重新传送"));
    ask.setLabelText(QStringLiteral("程序段号（例如 N120）："));
    ask.setTextValue(QString::fromStdString(BlockNumberOf(text, caret)));
    ask.setOkButtonText(QStringLiteral("确定"));
    ask.setCancelButtonText(QStringLiteral("取消"));
    if (app_hooks::RunModal(ask) != QDialog::Accepted)
        return -1;
    const QString block = ask.textValue().trimmed().toUpper();
    const int line = FindBlock(text, block.toStdString());
    if (line < 0)
        app_hooks::ShowMessage(QStringLiteral("程序中没有程序段 %1。").arg(block));
    return line;
}

void CSermidaView::OnTransmitFrom(int command) {
    const CTextBuffer& text = doc->Buffer();
    const int line = RestartLine(command);
    if (line < 0)
        return;
    const LineRanges ranges = RestartRanges(text, line);
    // What goes out, shown before it does: the start and the first lines of each part.
    QString plan;
    for (const auto& range : ranges) {
        plan += QStringLiteral("第 %1–%2 行：\n").arg(range.first + 1).arg(range.second);
        for (const PreviewLine& p : RangePreview(text, range))
            plan += p.number > 0 ? QStringLiteral("%1  %2\n")
                                       .arg(p.number, 7)
                                       .arg(QString::fromStdString(GbkToUtf8(p.text)))
                                 : QStringLiteral("        ……\n");
    }
    QMessageBox box(
        QMessageBox::Question, QStringLiteral("重新传送"),
        ranges.size() > 1 ? QStringLiteral("先发送程序开头（第 1–%1 行），再从第 %2 行发送到最后。")
                                .arg(ranges[0].second)
                                .arg(ranges[1].first + 1)
        : ranges[0].first > 0 ? QStringLiteral("程序的第一段就有运动，没有开头可以先发送；"
                                               "从第 %1 行发送到最后。")
                                    .arg(ranges[0].first + 1)
                              : QStringLiteral("从程序开头发送全部 %1 行。").arg(text.CountLines()),
        QMessageBox::Ok | QMessageBox::Cancel, this);
    box.setInformativeText(plan);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("传送"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    if (app_hooks::RunModal(box) != QMessageBox::Ok)
        return;
    if (CMainFrame* frame = Frame())
        frame->TransferBar()->OnTransmitLines(ranges);
}

bool CSermidaView::StartReceive(const MachineProfile& machine) {
    if (!FitLineTo(machine))
        return false;
    ApplyRules(machine);
    return connection->StartReceive();
}

void CSermidaView::EndReceive() {
    connection->FlushReceived();
    connection->StopReceive();
}

// --- The machine ------------------------------------------------------------------

bool CSermidaView::SelectMachine(const std::string& name) {
    MachineProfile machine;
    if (!machine_choice::Load(name, machine))
        return false;
    machineName = name;
    FitLineTo(machine);
    return true;
}

void CSermidaView::MachineSaved() {
    MachineProfile machine;
    if (machine_choice::Load(machineName, machine))
        FitLineTo(machine, true);
}

void CSermidaView::LineOpenedFor(const std::string& machine, const machine_choice::Line& line) {
    lineMachine = machine;
    lineAddress = line.address;
}

bool CSermidaView::FitLineTo(const MachineProfile& machine, bool checkSettings) {
    if (!IsConnected() || State() != Idle || connection->TransmitActive())
        return true; // a running transfer keeps its line
    const bool same = lineMachine == machine.name;
    if (same && (!checkSettings || machine.name == machine_choice::kClassic))
        return true; // the classic line is whatever its dialog opened
    // A line on a device has no COM port to keep.
    const machine_choice::Line want = machine_choice::LineFor(
        machine, lineAddress.empty() ? connection->Settings().portNumber : -1);
    if (same && machine_choice::SameLine(want, {connection->Settings(), lineAddress}))
        return true;
    CMainFrame* frame = Frame();
    const auto release = [frame](int port) { return frame ? frame->ReleasePort(port) : 0; };
    if (!connection->OpenLine(want.settings, release, want.address).Opened())
        return false; // the port said why
    if (!connection->Complete()) {
        app_hooks::ShowMessage(kMsgNoThread);
        return false;
    }
    LineOpenedFor(machine.name, want);
    if (frame)
        frame->TransferBar()->SetLinkedView(this);
    return true;
}

void CSermidaView::ApplyRules(const MachineProfile& machine) {
    // Rules changed under a running transfer would mix two machines' forms.
    if (State() == Idle && !connection->TransmitActive())
        connection->UseMachine(machine);
}

CTextBuffer* CSermidaView::FindOwnBuffer() {
    return &doc->Buffer();
}

uint32_t CSermidaView::ScanLineColours(uint32_t cookie, int line, ColourBlocks* blocks) {
    return ScanProgramLine(cookie, LineView(line), blocks);
}

int CSermidaView::RunModal(QDialog& dialog) {
    return app_hooks::RunModal(dialog);
}

void CSermidaView::ShowMessage(const QString& text, bool exclamation) {
    app_hooks::ShowMessage(text, exclamation ? QStringLiteral("信息提示") : QString());
}

// --- Transfer host -------------------------------------------------------------

void CSermidaView::PostTransferEvent(TransferEvent event) {
    QCoreApplication::postEvent(this, new app_events::TransferQEvent(event));
}

MessageSink& CSermidaView::Messages() {
    return AppMessages();
}

bool CSermidaView::event(QEvent* e) {
    if (e->type() == app_events::kTransferEvent) {
        const TransferEvent event = static_cast<app_events::TransferQEvent*>(e)->event;
        connection->HandleEvent(event);
        if (event == TransferEvent::TransmitEnded)
            viewport()->update(); // the write protection has been lifted
        return true;
    }
    return CEditView::event(e);
}

// --- Commands ------------------------------------------------------------------

void CSermidaView::OnCommSettings() {
    if (Transmitting()) {
        app_hooks::ShowMessage(kMsgWaitForTransfer);
        return;
    }
    CCommSettingsDlg dialog(this);
    app_hooks::RunModal(dialog);
}

bool CSermidaView::ExecuteCommand(int id) {
    switch (id) {
    case ID_COMM_SETTINGS:
        OnCommSettings();
        return true;
    case ID_TRANSMIT_FROM_LINE:
    case ID_TRANSMIT_FROM_TOOL:
    case ID_TRANSMIT_FROM_BLOCK:
        OnTransmitFrom(id);
        return true;
    case ID_COMPARE_PROGRAM:
        OnCompare();
        return true;
    case ID_EDIT_READ_ONLY:
        // While a window of the document transmits it, the protection is the
        // worker's lock on the lines it reads; while one receives into it,
        // protection would hold the received text back.
        if (doc->Transmitting() || doc->Receiving()) {
            app_hooks::ShowMessage(kMsgWaitForTransfer);
            return true;
        }
        doc->ToggleReadOnly();
        viewport()->update();
        return true;
    case ID_FILE_PAGE_SETUP:
        RunPageSetup(*this);
        return true;
    case ID_FILE_PRINT:
        PrintWithDialog(*this);
        return true;
    case ID_FILE_PRINT_DIRECT:
        PrintDirect(*this);
        return true;
    case ID_FILE_PRINT_PREVIEW:
        PrintPreview(*this);
        return true;
    default:
        return CEditView::ExecuteCommand(id);
    }
}

bool CSermidaView::IsCommandEnabled(int id) const {
    switch (id) {
    case ID_TRANSMIT_FROM_LINE:
    case ID_TRANSMIT_FROM_TOOL:
    case ID_TRANSMIT_FROM_BLOCK:
        return State() == Idle && !connection->TransmitActive();
    case ID_COMPARE_PROGRAM:
    case ID_COMM_SETTINGS:
    case ID_EDIT_READ_ONLY:
    case ID_FILE_PAGE_SETUP:
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_DIRECT:
    case ID_FILE_PRINT_PREVIEW:
        return true;
    default:
        return CEditView::IsCommandEnabled(id);
    }
}

// --- Mouse -----------------------------------------------------------------------

void CSermidaView::wheelEvent(QWheelEvent* e) {
    // One line, or one column for a tilted wheel or Shift, per wheel message,
    // whatever its size. Some touchpads report only pixels.
    const QPoint delta = e->angleDelta().isNull() ? e->pixelDelta() : e->angleDelta();
    switch (WheelStepFor(delta.x(), delta.y(), e->modifiers() & Qt::ShiftModifier)) {
    case WheelStep::LineUp:
        ScrollLineUp();
        break;
    case WheelStep::LineDown:
        ScrollLineDown();
        break;
    case WheelStep::ColumnLeft:
        ScrollColumnLeft();
        break;
    case WheelStep::ColumnRight:
        ScrollColumnRight();
        break;
    case WheelStep::None:
        break;
    }
    e->accept();
}

void CSermidaView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        AllowCaret();
    CEditView::mousePressEvent(e);
}

void CSermidaView::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    menu.setTitle(QStringLiteral("编辑区上下文菜单"));
    auto add = [&](const QString& text, int id) {
        QAction* a = menu.addAction(text);
        a->setData(id);
        a->setEnabled(IsCommandEnabled(id));
        return a;
    };
    add(QStringLiteral("剪切(&T)\tCtrl+X"), ID_EDIT_CUT);
    add(QStringLiteral("复制(&C)\tCtrl+C"), ID_EDIT_COPY);
    add(QStringLiteral("粘贴(&P)\tCtrl+V"), ID_EDIT_PASTE);
    menu.addSeparator();
    add(QStringLiteral("选定所有(&L)\tCtrl+A"), ID_EDIT_SELECT_ALL);
    menu.addSeparator();
    QAction* readOnly = add(QStringLiteral("文档只读"), ID_EDIT_READ_ONLY);
    readOnly->setCheckable(true);
    readOnly->setChecked(doc->Buffer().IsWriteProtected());
    add(QStringLiteral("设置(&T)"), ID_COMM_SETTINGS);
    menu.addSeparator();
    add(QStringLiteral("从光标行重新传送(&R)..."), ID_TRANSMIT_FROM_LINE);
    add(QStringLiteral("从换刀处重新传送(&G)..."), ID_TRANSMIT_FROM_TOOL);
    add(QStringLiteral("从程序段号重新传送(&N)..."), ID_TRANSMIT_FROM_BLOCK);
    add(QStringLiteral("与已存程序比较(&D)..."), ID_COMPARE_PROGRAM);
    if (QAction* chosen = menu.exec(e->globalPos()))
        ExecuteCommand(chosen->data().toInt());
}

void CSermidaView::TickTransfer() {
    // A stall shows in the status line and the lamps' tips (the transfer
    // status says it) and goes to the log once; a machine that says so has
    // its transmission stopped here.
    const auto now = std::chrono::steady_clock::now();
    // Worded before CheckStall, which may stop the transmission.
    const std::string warning = StallWarning(*connection, now);
    if (connection->CheckStall(now))
        app_hooks::logWarning(
            QStringLiteral("%1：%2%3")
                .arg(QFileInfo(doc->PathName()).fileName(), QString::fromStdString(warning),
                     connection->StopsOnStall() ? QStringLiteral("，传送已停止") : QString()));
    // The machine's idle time is over: receiving ends as the operator would end it.
    if (connection->ReceiveIdleLeft() <= std::chrono::milliseconds(0))
        EndReceive();
    transferStatus.Update(*connection, now);
    FollowSentLine();
}

void CSermidaView::FollowSentLine() {
    if (!connection->TransmitActive()) {
        followedLine = -1;
        return;
    }
    const int lines = GetDocument()->Buffer().CountLines();
    // The document's line, not this transmission's count: a restart begins
    // far down the program.
    const int line = std::clamp(connection->ProgramLine(), 0, std::max(0, lines - 1));
    const auto inSight = [this](int l) { return l >= TopLine() && l < TopLine() + VisibleLines(); };
    if (inSight(line)) {
        followedLine = line; // in sight, whoever put it there: followed from here
        return;
    }
    // The operator looks elsewhere: the view stays where they put it.
    if (followedLine >= 0 && !inSight(followedLine))
        return;
    ScrollIntoView(TextPos{line, 0});
    followedLine = line;
}
