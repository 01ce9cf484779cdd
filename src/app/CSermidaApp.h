#pragma once
#include <QApplication>
#include <QTemporaryDir>
#include <memory>

class CMainFrame;
class QProcess;

// The application: builds the main frame; with --demo it first starts a
// virtual controller on a new pseudo-terminal and maps COM1 to it.
class CSermidaApp : public QApplication {
    Q_OBJECT

public:
    CSermidaApp(int& argc, char** argv);
    ~CSermidaApp() override;

    bool InitInstance();
    CMainFrame* MainFrame() const { return frame.get(); }

private:
    bool StartDemoController();
    QString DemoProgram() const;

    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<QTemporaryDir> demoDir;
    QProcess* controller = nullptr;
};
