// `sermida --demo` in this process: the virtual controller (sermida-cli vcnc,
// beside this program) on a new pseudo-terminal as COM1, the sample program
// open and connected to it, and one press of "传送" that the controller counts;
// a file named on the command line beside --demo opens as well.
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/AppCommands.h"
#include "app/AppHooks.h"
#include "app/CHoverButton.h"
#include "app/CMainFrame.h"
#include "app/CSermidaApp.h"
#include "app/CSermidaDoc.h"
#include "app/CSermidaView.h"
#include "app/CTransferBar.h"
#include "common/Gbk.h"
#include "transfer/TransferState.h"

namespace {

// What the demo must neither use nor overwrite: the connection the operator
// made last time.
const QByteArray kRemembered =
    QByteArray("COM3 9600 7 2 ") + QByteArray::fromStdString(Utf8ToGbk("偶校验"));

struct DemoRun {
    CSermidaApp* app = nullptr;
    bool started = false;
    QString home;
    QString controllerOutput; // the controller's standard output
    std::vector<QString> messages;
    int modalRuns = 0;
};

DemoRun run;

} // namespace

class AppDemoTest : public QObject {
    Q_OBJECT

    static QByteArray ReadAll(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    void aFileNamedOnTheCommandLineOpens() {
        QVERIFY(run.started);
        const QString named = QDir(run.home).filePath(QStringLiteral("named.nc"));
        CSermidaView* found = nullptr;
        for (CSermidaView* v : run.app->MainFrame()->AllViews())
            if (v->GetDocument()->PathName() == named)
                found = v;
        QVERIFY(found);
        QCOMPARE(found->GetDocument()->Title(), QStringLiteral("named.nc"));
        CTextBuffer& text = found->GetDocument()->Buffer();
        QCOMPARE(text.CountLines(), 2);
        QCOMPARE(text.LineView(1), std::string_view("G0 X1"));
        // Every file named opens, each in its own window, beside the sample.
        const QString other = QDir(run.home).filePath(QStringLiteral("other.ngc"));
        int windows = 0;
        for (CSermidaView* v : run.app->MainFrame()->AllViews())
            windows += v->GetDocument()->PathName() == other;
        QCOMPARE(windows, 1);
        QCOMPARE(int(run.app->MainFrame()->AllViews().size()), 3);
    }

    void theDemosScratchCopyNeverEntersTheRecentFiles() {
        const QString ini = QString::fromUtf8(ReadAll(run.home + "/SermidaProfile.ini"));
        QVERIFY2(!ini.contains(QStringLiteral("O1000.nc")), qPrintable(ini));
        QVERIFY2(ini.contains(QStringLiteral("named.nc")), qPrintable(ini));
    }

    void sampleComesUpConnectedToTheController() {
        QVERIFY(run.started);
        CMainFrame* frame = run.app->MainFrame();
        QVERIFY(frame);
        CSermidaView* view = frame->ActiveView();
        QVERIFY(view);
        QCOMPARE(view->GetDocument()->Title(), QStringLiteral("O1000.nc"));
        QVERIFY(view->IsConnected());
        QVERIFY(view->Connection().Port().IsOpen());
        const PortSettings line = view->Connection().Settings();
        QCOMPARE(line.portNumber, 1);
        QCOMPARE(line.baudRate, 38400);
        QCOMPARE(int(line.dataBits), 8);
        QCOMPARE(int(line.stopBits), 1);
        QCOMPARE(line.parity, 'N');
        CTransferBar* bar = frame->TransferBar();
        QCOMPARE(bar->LinkedView(), view);
        bar->UpdateState();
        QCOMPARE(bar->PortText(), QStringLiteral("COM1"));
        QCOMPARE(bar->BaudText(), QStringLiteral("38400"));
        QCOMPARE(run.modalRuns, 0);
        QCOMPARE(run.messages.size(), size_t(0));
        QCOMPARE(ReadAll(run.home + "/Sermida.ini"), kRemembered);
    }

    void transmitSendsTheSampleToTheController() {
        CMainFrame* frame = run.app->MainFrame();
        CSermidaView* view = frame->ActiveView();
        QVERIFY(view && view->IsConnected());
        // What goes down the line: each line up to its comment, then CR LF.
        CTextBuffer& buffer = view->GetDocument()->Buffer();
        std::string expected;
        for (int i = 0; i < buffer.CountLines(); ++i) {
            const std::string_view text = buffer.LineView(i);
            expected += std::string(text.substr(0, text.find(';'))) + "\r\n";
        }
        QVERIFY(expected.size() > 200);

        frame->TransferBar()->Button(ID_TRANSMIT)->click();
        QCOMPARE(run.modalRuns, 0); // no settings dialog: connected already
        QVERIFY(view->State() != Idle);
        // The controller works slower than the line: it holds the sender, and
        // the operator sees the held line, the bar and the figures move.
        bool held = false, lineShown = false, figuresShown = false;
        QElapsedTimer clock;
        clock.start();
        while (view->State() != Idle && clock.elapsed() < 30000) {
            QTest::qWait(20);
            held = held || view->State() == HeldByPeer;
            lineShown = lineShown || buffer.FindLineWithMark(TRANSFER_LINE) >= 0;
            figuresShown =
                figuresShown || frame->FiguresPane()->text().startsWith(QStringLiteral("已发送 "));
        }
        QCOMPARE(view->State(), int(Idle));
        QVERIFY(held);
        QVERIFY(lineShown);
        QVERIFY(figuresShown);
        QTRY_VERIFY(!view->Connection().TransmitActive());
        QTRY_VERIFY(frame->FiguresPane()->text().startsWith(
            QStringLiteral("发送完成：%1 行，用时 ").arg(buffer.CountLines())));
        QCOMPARE(int(view->Connection().LastTransmit().end), int(Transmitter::End::Completed));
        QCOMPARE(run.messages.size(), size_t(0));

        // The controller counts what arrived in the line it prints as it ends.
        QTest::qWait(500);
        QProcess* controller = run.app->DemoController();
        QVERIFY(controller);
        controller->terminate();
        QVERIFY(controller->waitForFinished(5000));
        const QString summary = QString::fromUtf8(ReadAll(run.controllerOutput));
        QVERIFY2(summary.contains(QStringLiteral("received: %1 bytes, lines: %2,")
                                      .arg(expected.size())
                                      .arg(buffer.CountLines())),
                 qPrintable(summary));
        QCOMPARE(ReadAll(run.home + "/Sermida.ini"), kRemembered);
    }
};

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    run.home = home.path();
    qputenv("SERMIDA_HOME", home.path().toLocal8Bit());
    {
        QFile ini(home.filePath("Sermida.ini"));
        if (!ini.open(QIODevice::WriteOnly) || ini.write(kRemembered) != kRemembered.size())
            return 1;
    }
    app_hooks::showMessage = [](const QString& text, const QString&) {
        run.messages.push_back(text);
    };
    app_hooks::runModal = [](QDialog&) {
        ++run.modalRuns;
        return int(QDialog::Rejected);
    };

    {
        QFile named(home.filePath("named.nc"));
        const QByteArray program("O2000\r\nG0 X1");
        if (!named.open(QIODevice::WriteOnly) || named.write(program) != program.size())
            return 1;
    }
    {
        QFile other(home.filePath("other.ngc"));
        if (!other.open(QIODevice::WriteOnly) || other.write("%\r\nO3000\r\n%\r\n") != 13)
            return 1;
    }
    QByteArray namedPath = QFile::encodeName(home.filePath("named.nc"));
    QByteArray otherPath = QFile::encodeName(home.filePath("other.ngc"));
    char demo[] = "--demo";
    char noSplash[] = "--no-splash";
    // Fast enough for a test, still slower than the line: the controller holds.
    char rate[] = "--demo-rate=1500";
    char* args[] = {argv[0], demo, noSplash, rate, namedPath.data(), otherPath.data(), nullptr};
    int count = 6;
    CSermidaApp app(count, args);
    run.app = &app;

    // The controller inherits our standard output for the summary it prints
    // as it ends: it goes to a file of its own.
    run.controllerOutput = home.filePath("controller.out");
    const int out = ::open(QFile::encodeName(run.controllerOutput).constData(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int saved = ::dup(STDOUT_FILENO);
    if (out < 0 || saved < 0)
        return 1;
    std::fflush(stdout);
    ::dup2(out, STDOUT_FILENO);
    run.started = app.InitInstance();
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::close(out);

    AppDemoTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AppDemoTest.moc"
