#pragma once
#include <QApplication>
#include <QTemporaryDir>
#include <memory>

class CMainFrame;
class CSermidaView;
class QProcess;

// The application: builds the main frame; with --demo it first starts a
// virtual controller on a new pseudo-terminal, maps COM1 to it and opens a
// sample program connected to it.
class CSermidaApp : public QApplication {
    Q_OBJECT

public:
    CSermidaApp(int& argc, char** argv);
    ~CSermidaApp() override;

    bool InitInstance();
    CMainFrame* MainFrame() const { return frame.get(); }
    // The demo's virtual controller, while it runs (null without --demo).
    QProcess* DemoController() const { return controller; }

private:
    bool StartDemoController();
    QString DemoProgram() const;
    void ConnectDemoView(CSermidaView& view);

    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<QTemporaryDir> demoDir;
    QProcess* controller = nullptr;
};
