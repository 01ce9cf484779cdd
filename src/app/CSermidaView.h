#pragma once
#include <memory>

#include "editor/view/CEditView.h"
#include "settings/ConnectionSetup.h"
#include "transfer/CTransferEngine.h"
#include "transfer/TransferHost.h"

class CSermidaDoc;
class CMainFrame;

// The editing view of a program, and at the same time the terminal of one
// serial connection: it embeds the transfer engine, hosts its workers and is
// the connection the settings dialog works on.
class CSermidaView : public CEditView, public TransferHost, public ConnectionView {
    Q_OBJECT

public:
    explicit CSermidaView(CSermidaDoc* doc, QWidget* parent = nullptr);
    ~CSermidaView() override;

    CSermidaDoc* GetDocument() const { return doc; }
    CTransferEngine& Engine() { return *engine; }
    const CTransferEngine& Engine() const { return *engine; }
    int State() const { return engine->state; }
    bool Transmitting() const;
    // Starts a transmission by the engine's rules, with the document locked first.
    bool StartTransmit();

    // Command 1021: the settings dialog, refused while transmitting.
    void OnCommSettings();
    bool ExecuteCommand(int id) override;
    bool IsCommandEnabled(int id) const override;

    // Colouring of part programs.
    uint32_t ScanLineColours(uint32_t cookie, int line, ColourBlock* blocks,
                             int& blockCount) override;

    // Blocking seams of the text view go through the program's hooks.
    int RunModal(QDialog& dialog) override;
    void ShowMessage(const QString& text, bool exclamation) override;

    // TransferHost.
    using CEditView::LineChars;
    using CEditView::LineCount;
    using CEditView::LineLength;
    int LineCount() override;
    int LineLength(int line) override;
    const char* LineChars(int line) override;
    bool IsWriteProtected() override;
    void SetWriteProtected(bool on) override;
    void MarkTransferLine(int line) override { CTextView::MarkTransferLine(line); }
    void UnmarkTransferLine(int line) override { CTextView::UnmarkTransferLine(line); }
    void ClearTransferMark() override { CTextView::ClearTransferMark(); }
    void CursorToLine(int line) override { CTextView::CursorToLine(line); }
    void AppendReceivedText(std::string_view text) override { CEditView::AppendReceivedText(text); }
    void PostPortData() override;
    void PostReceiveFlush() override;
    void PostTransmitEnded() override;
    MessageSink& Messages() override;

    // ConnectionView.
    CSerialPort& Port() override { return engine->port; }
    PortOwner* Owner() override { return engine.get(); }
    bool IsConnected() const override { return engine->connected; }
    void SetConnected(bool on) override { engine->connected = on; }
    int TransferStateValue() const override { return engine->state; }
    void SetTransferIdle() override { engine->state = Idle; }

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

    CSermidaDoc* doc;
    // Made last and ended first: its workers call back into this view, so
    // they are joined while the whole view still exists.
    std::unique_ptr<CTransferEngine> engine;
};
