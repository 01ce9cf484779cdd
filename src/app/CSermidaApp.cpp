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
#include "app/CMainFrame.h"

CSermidaApp::CSermidaApp(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QString::fromUtf8(app_hooks::kAppTitle));
    setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    setWindowIcon(app_art::AppIcon());
    setDesktopFileName(QStringLiteral("sermida"));
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
                       QStringLiteral("--baud"), QStringLiteral("38400")});
    if (!controller->waitForStarted(3000))
        return false;
    for (int i = 0; i < 300 && !QFileInfo::exists(link); ++i)
        QThread::msleep(10);
    if (!QFileInfo::exists(link))
        return false;
    qputenv("SERMIDA_COM1", link.toLocal8Bit());
    return true;
}

QString CSermidaApp::DemoProgram() const {
    const QString name = QStringLiteral("O1000.nc");
    for (const QString& candidate : {applicationDirPath() + QStringLiteral("/samples/") + name,
                                     QStringLiteral(SERMIDA_SOURCE_DIR "/res/samples/") + name}) {
        if (QFileInfo::exists(candidate)) {
            // A copy, so that trying things out never changes the shipped sample.
            const QString copy = demoDir->filePath(name);
            QFile::copy(candidate, copy);
            return copy;
        }
    }
    return {};
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
    // A file named on the command line is not opened; the demo opens its sample.
    if (demo) {
        const QString program = DemoProgram();
        if (!program.isEmpty())
            frame->OpenDocumentFile(program);
    }
    return true;
}
