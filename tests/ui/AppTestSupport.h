#pragma once
// The program's main window under test: message boxes and modal dialogs are
// scripted, the settings folder is a temporary one, and COM ports are real
// pseudo-terminals whose other ends the tests hold as the controller.
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <pty.h>
#include <string>
#include <unistd.h>

#include "app/AppHooks.h"
#include "app/CChildFrame.h"
#include "app/CCommSettingsDlg.h"
#include "app/CMainFrame.h"
#include "app/CSermidaDoc.h"
#include "app/CSermidaView.h"
#include "app/CTransferBar.h"

// Writes a file of the given bytes in dir and returns its path.
inline QString WriteTestFile(const QTemporaryDir& dir, const QString& name,
                             const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

// The controller's end of a pseudo-terminal mapped to COMn.
class PeerLine {
public:
    explicit PeerLine(int portNumber) {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        path = name;
        ::close(slave); // the program opens it itself
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        qputenv(("SERMIDA_COM" + std::to_string(portNumber)).c_str(), path.c_str());
    }
    ~PeerLine() {
        if (master >= 0)
            ::close(master);
    }
    bool Valid() const { return master >= 0; }

    // Reads what has come until at least `bytes` are there or the time is up;
    // GUI events run meanwhile.
    std::string ReadAtLeast(size_t bytes, int timeoutMs = 10000) {
        QElapsedTimer timer;
        timer.start();
        while (received.size() < bytes && timer.elapsed() < timeoutMs) {
            Drain();
            if (received.size() < bytes)
                QTest::qWait(5);
        }
        return received;
    }
    void Drain() {
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(master, chunk, sizeof chunk);
            if (n <= 0)
                break;
            received.append(chunk, size_t(n));
        }
    }
    void Write(const std::string& bytes) { (void)!::write(master, bytes.data(), bytes.size()); }

    std::string received;
    std::string path;

private:
    int master = -1;
};

// Scripts the program's blocking seams for one test.
class AppScript {
public:
    AppScript() {
        app_hooks::showMessage = [this](const QString& text, const QString&) {
            messages.push_back(text);
        };
        app_hooks::runModal = [this](QDialog& dialog) {
            ++modalRuns;
            if (modal.empty())
                return int(QDialog::Rejected);
            auto next = std::move(modal.front());
            modal.pop_front();
            return next(dialog);
        };
        app_hooks::openFileName = [this](QWidget*, const QString& folder) {
            ++openDialogs;
            openFolder = folder;
            return openAnswer;
        };
        app_hooks::saveFileName = [this](QWidget*, const QString&) { return saveAnswer; };
        app_hooks::askSave = [this](QWidget*, const QString&) { return saveChoice; };
        app_hooks::logWarning = [this](const QString& text) { logged.push_back(text); };
    }
    ~AppScript() {
        app_hooks::logWarning = [](const QString&) {};
    }
    AppScript(const AppScript&) = delete;
    AppScript& operator=(const AppScript&) = delete;

    // The settings dialog connects with these choices (list indices; baud as text).
    void ConnectWith(int portIndex, const QString& baud) {
        modal.push_back([portIndex, baud](QDialog& dialog) {
            auto& dlg = static_cast<CCommSettingsDlg&>(dialog);
            dlg.PortBox()->setCurrentIndex(portIndex);
            dlg.BaudBox()->setCurrentText(baud);
            dlg.accept();
            return dlg.result();
        });
    }
    void CancelDialog() {
        modal.push_back([](QDialog& dialog) {
            dialog.reject();
            return dialog.result();
        });
    }
    int Count(const QString& text) const {
        return int(std::count(messages.begin(), messages.end(), text));
    }

    std::vector<QString> messages;
    std::vector<QString> logged; // the log's warnings
    std::deque<std::function<int(QDialog&)>> modal;
    int modalRuns = 0;
    int openDialogs = 0;
    QString openAnswer;
    QString openFolder; // where the last Open dialog started
    QString saveAnswer;
    int saveChoice = 0;
};

inline const QString kWait = QStringLiteral("请等待数据传送完成。");

inline std::unique_ptr<CMainFrame> MakeFrame() {
    CMainFrame::Options options;
    options.splash = false;
    auto frame = std::make_unique<CMainFrame>(options);
    frame->resize(1000, 700);
    frame->show();
    return frame;
}

// n lines of a part program, each with a comment that is not sent.
inline std::string ProgramText(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += "N" + std::to_string(i * 10) + " G01 X" + std::to_string(i) + ". ;cut\r\n";
    text += "M30";
    return text;
}

inline std::string SentForm(int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i)
        text += "N" + std::to_string(i * 10) + " G01 X" + std::to_string(i) + ". \r\n";
    text += "M30\r\n";
    return text;
}
