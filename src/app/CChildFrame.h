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

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    CSermidaView* view;
};
