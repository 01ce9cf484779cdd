// The program when things break under it: the cable is pulled during a
// transfer (a socat cable killed), the disk fills or the folder is read-only
// during a save, a file is too large to open, the file-size limit is hit.
// Each time the operator is told, nothing is lost, and the program goes on.
#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <climits>
#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

#include "AppTestSupport.h"
#include "common/ErrnoText.h"
#include "SocatLink.h"
#include "TestHelpers.h"
#include "app/CHoverButton.h"
#include "common/MessageSink.h"
#include "editor/view/EditCommands.h"
#include "transfer/TransferMessages.h"
#include "transfer/TransferState.h"

namespace {

// What the operator is told when COM3 on this cable goes away.
QString PortGone(const SocatLink& cable) {
    return QString::fromStdString(Format(kMsgPortGone, ("COM3（" + cable.PcEnd() + "）").c_str()));
}

// Writes past `bytes` fail with EFBIG for the life of the object, as on a
// file system that is full; SIGXFSZ is ignored as the program's main does.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit lower = old;
        lower.rlim_cur = bytes;
        ok = ::setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
    }
    bool ok = false;

private:
    rlimit old{};
    void (*oldHandler)(int) = SIG_DFL;
};

// Root writes into any folder: for the life of the object this process acts
// as an ordinary user (when it is root; otherwise it is one already).
class OrdinaryUser {
public:
    OrdinaryUser() {
        if (::geteuid() != 0)
            return;
        groupDropped = ::setegid(65534) == 0;
        userDropped = groupDropped && ::seteuid(65534) == 0;
    }
    ~OrdinaryUser() {
        if (userDropped)
            (void)!::seteuid(0);
        if (groupDropped)
            (void)!::setegid(0);
    }
    bool Ok() const { return ::geteuid() != 0; }

private:
    bool groupDropped = false;
    bool userDropped = false;
};

QStringList Leftovers(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("CRE*")}, QDir::Files);
}

} // namespace

class AppFaultTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QString Write(const QString& name, const std::string& bytes) {
        const QString path = home.filePath(name);
        WriteBytes(QFile::encodeName(path).toStdString(), bytes);
        return path;
    }
    static std::string Read(const QString& path) {
        return ReadBytes(QFile::encodeName(path).toStdString());
    }

private slots:
    void initTestCase() {
        qputenv("SERMIDA_HOME", home.path().toLocal8Bit());
        // The ordinary user of the read-only folder case must reach its files.
        QFile::setPermissions(home.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                               QFileDevice::ExeOther);
    }
    void init() { QFile::remove(home.filePath("Sermida.ini")); }

    void pulledCableEndsTheTransmissionAndANewOneWorks() {
        if (!SocatLink::Available())
            QSKIP("socat is not installed");
        SocatLink cable;
        QVERIFY(cable.Ready());
        qputenv("SERMIDA_COM3", QByteArray::fromStdString(cable.PcEnd()));
        FarEnd controller(cable.ControllerEnd());
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(frame->OpenDocumentFile(Write("p.nc", ProgramText(300))));
        CSermidaView* view = frame->ActiveView();
        CSermidaDoc* doc = view->GetDocument();
        script.ConnectWith(2, "9600"); // COM3; the program takes about 8 s
        bar->OnTransmit();
        QCOMPARE(view->State(), int(Sending));
        QVERIFY(controller.WaitFor(200, std::chrono::milliseconds(10000)));
        QVERIFY(doc->Buffer().IsWriteProtected());

        QElapsedTimer sincePull;
        sincePull.start();
        cable.Pull();
        QTRY_COMPARE_WITH_TIMEOUT(view->State(), int(Idle), 10000);
        QVERIFY2(sincePull.elapsed() < 3000, qPrintable(QString::number(sincePull.elapsed())));
        QTRY_VERIFY(!view->Connection().TransmitActive());
        const Transmitter::Outcome& o = view->Connection().LastTransmit();
        QCOMPARE(int(o.end), int(Transmitter::End::Failed));
        // One box: which line failed, how many went out whole, which port went.
        QCOMPARE(script.messages.size(), size_t(1));
        QCOMPARE(script.messages[0], QString::fromStdString(Format(
                                         kMsgSendLineFailed, o.linesWhole + 1, o.linesWhole)) +
                                         QStringLiteral("\n") + PortGone(cable));
        QTRY_VERIFY(!doc->Buffer().IsWriteProtected());
        // Closed and idle: the bar says so, and nobody has to restart anything.
        QVERIFY(!view->IsConnected());
        bar->UpdateState();
        QVERIFY(!bar->LampOn(CTransferBar::SendLamp));
        QVERIFY(!bar->Button(1000)->isEnabled());
        QVERIFY(!bar->Button(1001)->isEnabled());
        QCOMPARE(bar->PortText(), QStringLiteral("未设置"));
        const std::string sent = SentForm(300);
        const std::string got = controller.Received();
        QVERIFY(got.size() < sent.size());
        QVERIFY(sent.compare(0, got.size(), got) == 0);

        // The document can be edited again (and the edit undone).
        const std::string before = Lines(doc->Buffer());
        view->TypeCharacter("X");
        QVERIFY(Lines(doc->Buffer()) != before);
        QVERIFY(doc->IsModified());
        view->ExecuteCommand(ID_EDIT_UNDO);
        QCOMPARE(Lines(doc->Buffer()), before);

        // A new cable on COM3: connect again and the whole program goes out.
        SocatLink second;
        QVERIFY(second.Ready());
        qputenv("SERMIDA_COM3", QByteArray::fromStdString(second.PcEnd()));
        FarEnd controller2(second.ControllerEnd());
        script.ConnectWith(2, "38400");
        bar->OnSettings();
        QVERIFY(view->IsConnected());
        const size_t shown = script.messages.size();
        bar->OnTransmit();
        QCOMPARE(view->State(), int(Sending));
        QVERIFY(controller2.WaitFor(sent.size(), std::chrono::milliseconds(30000)));
        QTRY_COMPARE(view->State(), int(Idle));
        QCOMPARE(controller2.Received(), sent);
        QTRY_VERIFY(!view->Connection().TransmitActive());
        QCOMPARE(int(view->Connection().LastTransmit().end), int(Transmitter::End::Completed));
        QCOMPARE(script.messages.size(), shown);
        QTRY_VERIFY(!doc->Buffer().IsWriteProtected());
    }

    void pulledCableKeepsWhatWasReceived() {
        if (!SocatLink::Available())
            QSKIP("socat is not installed");
        SocatLink cable;
        QVERIFY(cable.Ready());
        qputenv("SERMIDA_COM3", QByteArray::fromStdString(cable.PcEnd()));
        FarEnd controller(cable.ControllerEnd());
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        script.ConnectWith(2, "115200");
        bar->Button(1003)->click(); // a new document, connected, receiving
        CSermidaView* view = frame->ActiveView();
        QVERIFY(view);
        QCOMPARE(view->State(), int(Receiving));
        CTextBuffer& buffer = view->GetDocument()->Buffer();

        // The controller punches without pause until the cable goes.
        std::string punched;
        std::atomic<bool> stop{false};
        std::thread punch([&] {
            for (int i = 1; !stop && punched.size() < (20u << 20); ++i) {
                const std::string line =
                    "N" + std::to_string(i) + " G01 X" + std::to_string(i % 977) + ".25 Y-2.5\n";
                if (!controller.Write(line))
                    return;
                punched += line;
            }
        });
        const bool flowing = QTest::qWaitFor([&] { return buffer.CountLines() > 300; }, 10000);
        const std::string atPull = Lines(buffer);
        cable.Pull();
        stop = true;
        punch.join();
        QVERIFY(flowing);

        QTRY_COMPARE(script.Count(PortGone(cable)), 1);
        QCOMPARE(view->Connection().QueuedBytes(), size_t(0));
        // Closed and idle: the receive button is no longer pressed.
        QVERIFY(!view->IsConnected());
        QCOMPARE(view->State(), int(Idle));
        bar->UpdateState();
        QVERIFY(!bar->Button(1003)->GetCheck());
        QCOMPARE(bar->PortText(), QStringLiteral("未设置"));
        const std::string kept = Lines(buffer);
        QVERIFY(kept.compare(0, atPull.size(), atPull) == 0);
        std::replace(punched.begin(), punched.end(), '\n', '|'); // as Lines() joins them
        QVERIFY2(punched.compare(0, kept.size(), kept) == 0, "text lost or out of order");

        // The received text is the operator's to edit and save.
        view->TypeCharacter("%");
        QCOMPARE(Lines(buffer), kept + "%");
        script.saveAnswer = home.filePath("received.nc");
        QVERIFY(frame->SaveDocument(view->GetDocument(), false));
        std::string expected;
        for (char c : kept + "%")
            expected += c == '|' ? std::string("\r\n") : std::string(1, c);
        QVERIFY(Read(script.saveAnswer) == expected);
    }

    void saveOntoAFullDiskKeepsTheOldFileAndTheText() {
        AppScript script;
        auto frame = MakeFrame();
        const std::string old = ProgramText(500);
        const QString path = Write("full.nc", old);
        CSermidaDoc* doc = frame->OpenDocumentFile(path);
        QVERIFY(doc);
        const std::string added = ProgramText(8000) + "\r\n"; // far more than the room left
        int endLine = 0, endByte = 0;
        QVERIFY(doc->Buffer().InsertAt(nullptr, 0, 0, added, endLine, endByte, ACTION_PASTE));
        QVERIFY(doc->IsModified());
        {
            FileSizeLimit full(65536);
            QVERIFY(full.ok);
            QVERIFY(!frame->SaveDocument(doc, false));
        }
        QCOMPARE(script.messages.size(), size_t(1));
        const QString& said = script.messages[0];
        QVERIFY2(said.startsWith(QStringLiteral("保存文件失败")), qPrintable(said));
        QVERIFY2(said.contains(path), qPrintable(said));
        QVERIFY2(said.contains(QString::fromStdString(ErrnoText(EFBIG))), qPrintable(said));
        QVERIFY(Read(path) == old);
        QCOMPARE(Leftovers(home.path()), QStringList());
        QVERIFY(doc->IsModified());

        // With room again the same save writes everything.
        QVERIFY(frame->SaveDocument(doc, false));
        QVERIFY(!doc->IsModified());
        QVERIFY(Read(path) == added + old);
    }

    void saveIntoAReadOnlyFolderKeepsTheOldFileAndTheText() {
        AppScript script;
        auto frame = MakeFrame();
        QVERIFY(QDir(home.path()).mkpath(QStringLiteral("locked")));
        const QString folder = home.filePath("locked");
        const QString path = Write("locked/p.nc", "OLD\r\nM30");
        ::chmod(QFile::encodeName(path).constData(), 0666);
        CSermidaDoc* doc = frame->OpenDocumentFile(path);
        QVERIFY(doc);
        QVERIFY(!doc->Buffer().IsWriteProtected());
        frame->ActiveView()->TypeCharacter("N");
        QVERIFY(doc->IsModified());
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        bool saved = true;
        {
            OrdinaryUser user;
            QVERIFY(user.Ok());
            saved = frame->SaveDocument(doc, false);
        }
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        QVERIFY(!saved);
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY2(script.messages[0].startsWith(QStringLiteral("保存文件失败")),
                 qPrintable(script.messages[0]));
        QVERIFY2(script.messages[0].contains(QString::fromStdString(ErrnoText(EACCES))),
                 qPrintable(script.messages[0]));
        QCOMPARE(Read(path), std::string("OLD\r\nM30"));
        QCOMPARE(Leftovers(folder), QStringList());
        QVERIFY(doc->IsModified());

        // Nothing is lost: Save As puts the text somewhere else.
        script.saveAnswer = home.filePath("elsewhere.nc");
        QVERIFY(frame->SaveDocument(doc, true));
        QCOMPARE(Read(script.saveAnswer), std::string("NOLD\r\nM30"));
        QVERIFY(!doc->IsModified());
    }

    void aFileBeyondTwoGibibytesIsRefused() {
        const QString path = home.filePath("huge.nc");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            if (!f.resize(qint64(INT32_MAX) + 1)) // sparse: no disk, no memory
                QSKIP("this file system cannot hold a sparse file beyond 2 GiB");
        }
        AppScript script;
        auto frame = MakeFrame();
        QVERIFY(!frame->OpenDocumentFile(path));
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY2(script.messages[0].startsWith(QStringLiteral("打开文件失败")),
                 qPrintable(script.messages[0]));
        QVERIFY2(script.messages[0].contains(QStringLiteral("文件太大")),
                 qPrintable(script.messages[0]));
        QVERIFY(frame->MdiArea()->subWindowList().isEmpty());

        // Transmit with no document: the file picked is refused, nothing starts.
        script.openAnswer = path;
        frame->TransferBar()->OnTransmit();
        QCOMPARE(script.openDialogs, 1);
        QCOMPARE(script.messages.size(), size_t(2));
        QVERIFY(frame->MdiArea()->subWindowList().isEmpty());
        QCOMPARE(script.modalRuns, 0);
        QFile::remove(path);
    }

    // The program itself, not this test, must survive the file-size limit: it
    // is run with the signal's default action and a tiny limit.
    void theProgramSurvivesTheFileSizeLimit() {
        const QString program = Write("print.nc", ProgramText(300));
        const QString pdf = Write("print.pdf", "OLD");
        QProcess run;
        run.setChildProcessModifier([] {
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit{4096, 4096};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        run.start(QStringLiteral(SERMIDA_APP), {QStringLiteral("--print"), program, pdf});
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), 1);
        QVERIFY(run.readAllStandardError().contains("cannot write"));
        QCOMPARE(Read(pdf), std::string("OLD")); // a failed print leaves the old file
        QCOMPARE(Leftovers(home.path()), QStringList());

        run.setChildProcessModifier([] {});
        run.start(QStringLiteral(SERMIDA_APP), {QStringLiteral("--print"), program, pdf});
        QVERIFY(run.waitForFinished(60000));
        QCOMPARE(run.exitCode(), 0);
        const std::string written = Read(pdf);
        QVERIFY(written.rfind("%PDF", 0) == 0);
        QVERIFY(written.find("%%EOF", written.size() - 16) != std::string::npos);
    }
};

QTEST_MAIN(AppFaultTest)
#include "AppFaultTest.moc"
