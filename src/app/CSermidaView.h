#pragma once
#include <memory>
#include <string>

#include "app/MachineChoice.h"
#include "editor/text/ProgramRestart.h"
#include "editor/view/CEditView.h"
#include "transfer/Connection.h"
#include "transfer/TransferHost.h"
#include "transfer/TransferStatus.h"

class CSermidaDoc;
class CMainFrame;

// The editing view of a program, and at the same time the terminal of one
// serial connection: it holds the connection and is its host, the window
// thread its events come back to.
class CSermidaView : public CEditView, public TransferHost {
    Q_OBJECT

public:
    explicit CSermidaView(CSermidaDoc* doc, QWidget* parent = nullptr);
    ~CSermidaView() override;

    CSermidaDoc* GetDocument() const { return doc; }
    ::Connection& Connection() { return *connection; }
    const ::Connection& Connection() const { return *connection; }
    int State() const { return connection->State(); }
    bool IsConnected() const { return connection->IsConnected(); }
    bool Transmitting() const { return connection->Transmitting(); }
    // Starts a transmission by the view's machine, loaded afresh; refused
    // while another window receives into the same document.
    bool StartTransmit();
    // ranges: the document lines to send, as a restart gives them; empty: all.
    bool StartTransmit(const MachineProfile& machine, LineRanges ranges = {});
    // A restart from the caret's line, the tool change before it or a block
    // number the operator names (command id): the operator sees what goes out
    // and confirms, then the transfer bar sends.
    void OnTransmitFrom(int command);
    // The document beside a stored program the operator picks.
    void OnCompare();
    // The line a restart begins at, by the command; -1 when there is none
    // (the operator has been told why) or the operator cancelled.
    int RestartLine(int command);
    // Starts receiving by the machine's rules.
    bool StartReceive(const MachineProfile& machine);
    // Receiving ends, with everything that came in the document.
    void EndReceive();

    // The machine this view talks to ("classic" unless chosen).
    const std::string& MachineName() const { return machineName; }
    // The machine, read afresh; the operator is told when it cannot be.
    bool LoadMachine(MachineProfile& out) const { return machine_choice::Load(machineName, out); }
    // Another machine for this view: refused, with the reason shown, when its
    // profile cannot be read. A connected idle view's line is opened anew
    // when the machine wants another one.
    bool SelectMachine(const std::string& name);
    // The machine's profile was saved: a connected idle view's line follows
    // its line settings.
    void MachineSaved();
    // The connection's line was opened for this machine on this line (the
    // settings dialog's OK, a take-over).
    void LineOpenedFor(const std::string& machine, const machine_choice::Line& line);
    const std::string& LineMachine() const { return lineMachine; }
    const std::string& LineAddress() const { return lineAddress; }

    // Command 1021: the settings dialog, refused while transmitting.
    void OnCommSettings();
    bool ExecuteCommand(int id) override;
    bool IsCommandEnabled(int id) const override;

    // Colouring of part programs.
    uint32_t ScanLineColours(uint32_t cookie, int line, ColourBlocks* blocks) override;

    // Blocking seams of the text view go through the program's hooks.
    int RunModal(QDialog& dialog) override;
    void ShowMessage(const QString& text, bool exclamation) override;

    // TransferHost.
    void PostTransferEvent(TransferEvent event) override;
    void AppendReceivedText(std::string_view text) override { CEditView::AppendReceivedText(text); }
    void ShowWaitingLine(int line) override { CTextView::ShowWaitingLine(line); }
    void CaretToLine(int line) override { CTextView::CaretToLine(line); }
    MessageSink& Messages() override;

    // On the frame's status clock: the transfer's figures are brought up to
    // date and the line being sent is kept in sight, unless the operator has
    // scrolled away from it.
    void TickTransfer();
    QString TransferStatusText() const { return QString::fromStdString(transferStatus.Text()); }

    // What the transfer bar last rendered for this view.
    bool sendLamp = false;
    bool pauseLamp = false;
    bool pauseEnabled = false;
    bool stopEnabled = false;
    bool continueEnabled = false;

protected:
    CTextBuffer* FindOwnBuffer() override;
    bool event(QEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    CMainFrame* Frame() const;

    void FollowSentLine();
    // A connected, idle view's line opened for another machine is opened
    // anew for this one (with checkSettings, also when its settings changed);
    // false when it would not open.
    bool FitLineTo(const MachineProfile& machine, bool checkSettings = false);
    // The machine's rules go to the connection, unless a transfer runs.
    void ApplyRules(const MachineProfile& machine);

    CSermidaDoc* doc;
    TransferStatus transferStatus;
    int followedLine = -1; // the line last kept in sight; -1 when not following
    std::string machineName = machine_choice::kClassic;
    // Whom the open line was opened for, and the device it was opened on
    // instead of the port map's (empty: the port map's).
    std::string lineMachine = machine_choice::kClassic;
    std::string lineAddress;
    // Made last and ended first: its threads post to this view, so they are
    // ended while the whole view still exists.
    std::unique_ptr<::Connection> connection;
};
