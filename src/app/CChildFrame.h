#pragma once
#include <QMdiSubWindow>

class CSermidaView;

// A document window. It will not close while its view transmits.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT

public:
    explicit CChildFrame(CSermidaView* view, QWidget* parent = nullptr);
    CSermidaView* View() const { return view; }
    void UpdateTitle();
    // Closed, though perhaps not yet deleted.
    bool IsClosed() const { return closed; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // Whether another window still shows this one's document.
    bool OthersShowTheDocument() const;

    CSermidaView* view;
    bool closed = false;
};
