#include "app/CSermidaApp.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <sys/prctl.h>

#include "app/AppArt.h"
#include "app/AppHooks.h"
#include "app/AppPaths.h"
#include "app/CMainFrame.h"
#include "app/CSermidaDoc.h"
#include "app/CSermidaView.h"
#include "app/CTransferBar.h"

namespace {

// The virtual controller's end of the demo's line.
constexpr int kDemoPort = 1;
constexpr int kDemoBaud = 38400;
// It works through the program at a milling controller's pace, far slower
// than the line, so that it holds the sender with DC3 about once a second and
// the operator sees the held line. --demo-rate=N changes the pace.
constexpr int kDemoRate = 400; // characters a second
constexpr int kDemoBuffer = 512;
constexpr int kDemoXoffRoom = 128;

int DemoRate(const QStringList& args) {
    const QString option = QStringLiteral("--demo-rate=");
    for (const QString& arg : args) {
        if (!arg.startsWith(option))
            continue;
        bool ok = false;
        const int rate = arg.mid(option.size()).toInt(&ok);
        if (ok && rate > 0)
            return rate;
    }
    return kDemoRate;
}

} // namespace

CSermidaApp::CSermidaApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromUtf8(app_hooks::kAppTitle));
    setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    setWindowIcon(app_art::AppIcon());
    setDesktopFileName(QStringLiteral("sermida"));
    LoadChineseTranslations();
}

CSermidaApp::~CSermidaApp() {
    frame.reset();
    if (controller) {
        controller->terminate();
        if (!controller->waitForFinished(2000))
            controller->kill();
        controller->waitForFinished(1000);
    }
}

bool CSermidaApp::StartDemoController() {
    demoDir = std::make_unique<QTemporaryDir>();
    if (!demoDir->isValid())
        return false;
    const QString link = demoDir->filePath(QStringLiteral("COM1"));
    controller = new QProcess(this);
    controller->setProcessChannelMode(QProcess::ForwardedChannels);
    // The controller goes with us, however we end.
    controller->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    controller->start(applicationDirPath() + QStringLiteral("/sermida-cli"),
                      {QStringLiteral("vcnc"), QStringLiteral("--link"), link,
                       QStringLiteral("--baud"), QString::number(kDemoBaud),
                       QStringLiteral("--rate"), QString::number(DemoRate(arguments())),
                       QStringLiteral("--buffer"), QString::number(kDemoBuffer),
                       QStringLiteral("--xoff-room"), QString::number(kDemoXoffRoom)});
    if (!controller->waitForStarted(3000))
        return false;
    for (int i = 0; i < 300 && !QFileInfo::exists(link); ++i)
        QThread::msleep(10);
    if (!QFileInfo::exists(link))
        return false;
    qputenv(QStringLiteral("SERMIDA_COM%1").arg(kDemoPort).toLocal8Bit(), link.toLocal8Bit());
    return true;
}

// The sample comes up connected to the controller the way the settings
// dialog's OK connects a view, so that "传送" sends at once. The operator's
// remembered connection is left alone: this COM1 exists for this run only.
void CSermidaApp::ConnectDemoView(CSermidaView& view) {
    PortSettings line;
    line.portNumber = kDemoPort;
    line.baudRate = kDemoBaud;
    line.dataBits = 8;
    line.stopBits = 1;
    line.parity = 'N';
    CMainFrame* mainFrame = frame.get();
    const auto release = [mainFrame](int port) { return mainFrame->ReleasePort(port); };
    // A port that will not open has said why; the operator can still use 设置.
    if (view.Connection().OpenLine(line, release).Opened() && view.Connection().Complete())
        mainFrame->TransferBar()->SetLinkedView(&view);
}

QString CSermidaApp::DemoProgram() const {
    const QString name = QStringLiteral("O1000.nc");
    const QString sample = AppDataFile(QStringLiteral("samples/") + name);
    if (sample.isEmpty())
        return {};
    // A copy, so that trying things out never changes the shipped sample.
    const QString copy = demoDir->filePath(name);
    QFile::copy(sample, copy);
    return copy;
}

bool CSermidaApp::InitInstance() {
    const QStringList args = arguments();
    const bool demo = args.contains(QStringLiteral("--demo"));
    if (demo && !StartDemoController()) {
        app_hooks::ShowMessage(QStringLiteral("不能启动虚拟控制器 (sermida-cli vcnc)。"));
        return false;
    }
    CMainFrame::Options options;
    options.splash = !args.contains(QStringLiteral("--no-splash"));
    frame = std::make_unique<CMainFrame>(options);
    frame->show();
    frame->raise();
    frame->activateWindow();
    // Files named on the command line open as documents; the demo opens its
    // sample.
    for (const QString& arg : args.mid(1))
        if (!arg.startsWith(QStringLiteral("--")))
            frame->OpenDocumentFile(arg);
    if (demo) {
        frame->SetTransientFolder(demoDir->path());
        const QString program = DemoProgram();
        if (CSermidaDoc* doc = program.isEmpty() ? nullptr : frame->OpenDocumentFile(program))
            ConnectDemoView(*doc->Views().front());
    }
    return true;
}
