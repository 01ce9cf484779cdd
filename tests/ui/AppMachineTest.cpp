// Machines in the program: each view talks to one, picked in the transfer
// bar; its profile decides what goes on the wire and how receiving ends; the
// profiles are made, changed and removed in "机床配置".
#include <QCheckBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include "AppTestSupport.h"
#include "app/CHoverButton.h"
#include "app/CMachineCombo.h"
#include "app/CMachineDlg.h"
#include "app/CMachineForm.h"
#include "common/Gbk.h"
#include "machine/ProfileFile.h"
#include "transfer/TransferState.h"

namespace {

// A document with comments, a blank line and a last line without a break.
const std::string kProgram = "O1000 ;head\r\n\r\nN10 G01 X1. ;cut\r\nM30";

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A saved profile: a preset's rules under a name of its own.
void SaveCopy(const char* preset, const std::string& name,
              const std::function<void(MachineProfile&)>& change = {}) {
    MachineProfile p = *FindPreset(preset);
    p.name = name;
    p.preset = false;
    p.comment = "copy of " + std::string(preset);
    if (change)
        change(p);
    std::string error;
    QVERIFY2(SaveMachine(p, error), error.c_str());
}

bool SameProfile(const MachineProfile& a, const MachineProfile& b) {
    return ProfileText(a) == ProfileText(b);
}

// The modal seam answers a question box with this button.
void Answer(AppScript& script, QMessageBox::StandardButton button) {
    script.modal.push_back([button](QDialog& box) {
        box.done(button);
        return box.result();
    });
}

} // namespace

class AppMachineTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;

    QString WriteProgram(const QString& name, const std::string& text) {
        return WriteTestFile(home, name, QByteArray::fromStdString(text));
    }
    static void Pick(CTransferBar* bar, const std::string& name) {
        CMachineCombo* combo = bar->MachineCombo();
        const int index = combo->findData(QString::fromStdString(name));
        QVERIFY2(index >= 0, name.c_str());
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    // The reconnect waits are for real hardware.
    static void NoWaits(CSermidaView* view) {
        view->Connection().SetSleep([](int) {});
    }

    // Inside "机床配置", opened on the classic machine.
    void CopyChangeAndSave(CMachineDlg& dlg, AppScript& script, const QString& file,
                           QByteArray& savedBytes) {
        CMachineForm* form = dlg.Form();
        QCOMPARE(dlg.Current(), std::string("classic")); // the view's machine

        // A preset: shown, not changed.
        QVERIFY(dlg.Select("fanuc-iso"));
        QVERIFY(dlg.List()->currentItem()->text().endsWith(QStringLiteral("（预设）")));
        QVERIFY(!dlg.SaveButton()->isEnabled());
        QVERIFY(!dlg.DeleteButton()->isEnabled());
        QVERIFY(dlg.Hint()->text().contains(QStringLiteral("新建")));
        QVERIFY(form->findChild<QLineEdit*>("leader")->isReadOnly());
        QCOMPARE(form->findChild<QLineEdit*>("leader")->text(), QStringLiteral("%\\n"));
        QVERIFY(!dlg.OnSave());
        QVERIFY(!QFile::exists(home.filePath("machines/fanuc-iso.ini")));

        // 新建: a bad name and a taken one are refused, then a copy.
        for (const char* name : {"bad name", "haas"}) {
            script.modal.push_back([name](QDialog& ask) {
                static_cast<QInputDialog&>(ask).setTextValue(QString::fromUtf8(name));
                ask.accept();
                return ask.result();
            });
            dlg.OnNew();
        }
        QCOMPARE(script.messages.size(), size_t(2));
        QVERIFY(script.messages[0].contains(QStringLiteral("bad name")));
        QVERIFY(script.messages[1].contains(QStringLiteral("haas")));
        QCOMPARE(dlg.Current(), std::string("fanuc-iso"));
        script.modal.push_back([](QDialog& ask) {
            static_cast<QInputDialog&>(ask).setTextValue(QStringLiteral("mill1"));
            ask.accept();
            return ask.result();
        });
        dlg.OnNew();
        QCOMPARE(dlg.Current(), std::string("mill1"));
        QVERIFY(dlg.SaveButton()->isEnabled());
        QVERIFY(!form->findChild<QLineEdit*>("leader")->isReadOnly());

        // Changed and saved: the file reads back as the form shows it.
        form->findChild<QLineEdit*>("comment")->setText(QStringLiteral("一号铣床"));
        form->findChild<QLineEdit*>("leader")->setText(QStringLiteral("\\0{20}%\\r\\n"));
        form->findChild<QCheckBox*>("strip_paren_comments")->setChecked(true);
        form->findChild<QSpinBox*>("receive_idle_seconds")->setValue(5);
        form->findChild<QComboBox*>("baud")->setCurrentText(QStringLiteral("2400"));
        QVERIFY(dlg.OnSave());
        MachineProfile back;
        std::string error;
        QVERIFY(LoadMachine("mill1", back, error));
        MachineProfile expected = *FindPreset("fanuc-iso");
        expected.name = "mill1";
        expected.preset = false;
        expected.comment = "一号铣床";
        expected.wire.leader = std::string(20, '\0') + "%\r\n";
        expected.wire.stripParenComments = true;
        expected.receive.idleSeconds = 5;
        expected.line.baudRate = 2400;
        QVERIFY2(SameProfile(back, expected), ProfileText(back).c_str());
        MachineProfile shown = back;
        QString why;
        QVERIFY(form->Read(shown, why));
        QVERIFY(SameProfile(shown, back));
        savedBytes = ReadAll(file);

        // Changes are not lost by looking at another machine: asked, Cancel
        // stays with them.
        form->findChild<QLineEdit*>("comment")->setText(QStringLiteral("二号"));
        Answer(script, QMessageBox::Cancel);
        dlg.Select("haas");
        QCOMPARE(dlg.Current(), std::string("mill1"));
        QCOMPARE(dlg.List()->currentItem()->data(Qt::UserRole).toString(), QStringLiteral("mill1"));
        QCOMPARE(form->findChild<QLineEdit*>("comment")->text(), QStringLiteral("二号"));
        form->findChild<QLineEdit*>("comment")->setText(QStringLiteral("一号铣床"));

        // A malformed escape is refused, naming the field; nothing is written.
        form->findChild<QLineEdit*>("trailer")->setText(QStringLiteral("%\\xZZ"));
        script.messages.clear();
        QVERIFY(!dlg.OnSave());
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY2(script.messages[0].contains(QStringLiteral("程序后字符")),
                 qPrintable(script.messages[0]));
        QCOMPARE(ReadAll(file), savedBytes);
        // Closing with that change asks; "no" drops it.
        Answer(script, QMessageBox::No);
        dlg.reject();
    }

private slots:
    void initTestCase() { qputenv("SERMIDA_HOME", home.path().toLocal8Bit()); }
    void init() {
        QFile::remove(home.filePath("Sermida.ini"));
        QDir(home.filePath("machines")).removeRecursively();
    }

    void comboListsTheMachinesAndFollowsTheActiveView() {
        SaveCopy("haas", "mill1");
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        CMachineCombo* combo = bar->MachineCombo();
        QCOMPARE(combo, frame->findChild<CMachineCombo*>(QStringLiteral("machineCombo")));
        bar->UpdateState();
        QVERIFY(!combo->isEnabled()); // no view to give a machine to

        // Classic first, then the other presets, then the saved ones.
        QCOMPARE(combo->itemText(0), QStringLiteral("经典 (Sermida.ini)"));
        QCOMPARE(combo->MachineAt(0), std::string("classic"));
        const auto& presets = Presets();
        for (size_t i = 1; i < presets.size(); ++i)
            QCOMPARE(combo->MachineAt(int(i)), presets[i].name);
        QCOMPARE(combo->MachineAt(int(presets.size())), std::string("mill1"));
        QCOMPARE(combo->itemData(int(presets.size()), Qt::ToolTipRole).toString(),
                 QStringLiteral("copy of haas"));

        QVERIFY(frame->OpenDocumentFile(WriteProgram("a.nc", "A1")));
        CSermidaView* a = frame->ActiveView();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("b.nc", "B1")));
        CSermidaView* b = frame->ActiveView();
        bar->UpdateState();
        QVERIFY(combo->isEnabled());
        QCOMPARE(combo->CurrentMachine(), std::string("classic"));
        Pick(bar, "fanuc-iso");
        QCOMPARE(b->MachineName(), std::string("fanuc-iso"));
        QCOMPARE(a->MachineName(), std::string("classic"));
        QCOMPARE(combo->toolTip(), QString::fromStdString(FindPreset("fanuc-iso")->comment));

        frame->MdiArea()->setActiveSubWindow(frame->MdiArea()->subWindowList().first());
        QTRY_COMPARE(combo->CurrentMachine(), std::string("classic"));
        frame->MdiArea()->setActiveSubWindow(frame->MdiArea()->subWindowList().last());
        QTRY_COMPARE(combo->CurrentMachine(), std::string("fanuc-iso"));

        // A profile that appears meanwhile (made by hand, or by sermida-cli)
        // is offered the next time the list opens.
        SaveCopy("okuma", "lathe2");
        combo->showPopup();
        combo->hidePopup();
        QVERIFY(combo->findData(QStringLiteral("lathe2")) > 0);
        QCOMPARE(combo->CurrentMachine(), std::string("fanuc-iso"));
        QVERIFY(script.messages.empty());
    }

    // The same program, once by the classic rules and once by Fanuc ISO's,
    // byte for byte on the controller's end; the second view takes the
    // first one's line over and opens it anew at the Fanuc's 4800 7E2.
    void eachViewSendsItsMachinesWireForm() {
        PeerLine peer(3);
        QVERIFY(peer.Valid());
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("classic.nc", kProgram)));
        CSermidaView* classic = frame->ActiveView();
        NoWaits(classic);
        script.ConnectWith(2, "9600");
        bar->OnTransmit();
        const std::string crlf = "O1000 \r\n\r\nN10 G01 X1. \r\nM30\r\n";
        QCOMPARE(peer.ReadAtLeast(crlf.size()), crlf);
        // Its end handled: the line is free to move.
        QTRY_VERIFY(!classic->Connection().TransmitActive());

        QVERIFY(frame->OpenDocumentFile(WriteProgram("fanuc.nc", kProgram)));
        CSermidaView* fanuc = frame->ActiveView();
        NoWaits(fanuc);
        Pick(bar, "fanuc-iso");
        peer.received.clear();
        bar->OnTransmit();
        QCOMPARE(script.modalRuns, 1); // the line moved over; no second dialog
        bar->UpdateState();
        QVERIFY(!bar->MachineCombo()->isEnabled()); // not while it transmits
        const std::string iso = "%\nO1000 \nN10 G01 X1. \nM30\n%\n";
        QCOMPARE(peer.ReadAtLeast(iso.size()), iso);
        QTRY_VERIFY(!fanuc->Connection().TransmitActive());
        QTest::qWait(30);
        peer.Drain();
        QCOMPARE(peer.received, iso);

        const PortSettings line = fanuc->Connection().Settings();
        QCOMPARE(line.portNumber, 3);
        QCOMPARE(line.baudRate, 4800);
        QCOMPARE(int(line.dataBits), 7);
        QCOMPARE(line.parity, 'E');
        QCOMPARE(int(line.stopBits), 2);
        bar->UpdateState();
        QVERIFY(bar->MachineCombo()->isEnabled());
        QCOMPARE(bar->PortText(), QStringLiteral("COM3"));
        QCOMPARE(bar->BaudText(), QStringLiteral("4800"));

        // The classic view takes the line back at Sermida.ini's 9600 8N1 and
        // sends CR LF again.
        frame->MdiArea()->setActiveSubWindow(frame->MdiArea()->subWindowList().first());
        QCOMPARE(frame->ActiveView(), classic);
        peer.received.clear();
        bar->OnTransmit();
        QCOMPARE(peer.ReadAtLeast(crlf.size()), crlf);
        QTRY_COMPARE(classic->State(), int(Idle));
        QCOMPARE(classic->Connection().Settings().baudRate, 9600);
        QCOMPARE(int(classic->Connection().Settings().dataBits), 8);
        QVERIFY(script.messages.empty());
    }

    // What the bar shows is what the wire does: picking a machine for a
    // connected view opens its line with the machine's settings.
    void pickingAMachineForAConnectedViewOpensItsLine() {
        PeerLine peer(3);
        PeerLine device(7); // only its path is used, as a profile's device
        AppScript script;
        SaveCopy("mazak", "by-device", [&](MachineProfile& p) {
            p.device = device.path;
            p.line.baudRate = 19200;
        });
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        frame->OnFileNew();
        CSermidaView* view = frame->ActiveView();
        NoWaits(view);
        script.ConnectWith(2, "9600");
        bar->OnSettings();
        QVERIFY(view->IsConnected());

        Pick(bar, "sinumerik-840d");
        QVERIFY(view->IsConnected());
        PortSettings line = view->Connection().Settings();
        QCOMPARE(line.portNumber, 3);
        QCOMPARE(int(line.dataBits), 7);
        QCOMPARE(line.parity, 'E');
        QVERIFY(line.rtsCts);
        QCOMPARE(bar->LinkedView(), view);

        Pick(bar, "by-device");
        QVERIFY(view->IsConnected());
        QCOMPARE(view->Connection().Port().Address(), device.path);
        bar->UpdateState();
        QCOMPARE(bar->PortText(), QString::fromStdString(device.path));
        QCOMPARE(bar->BaudText(), QStringLiteral("19200"));
        QVERIFY(!view->Connection().Settings().rtsCts);

        // Back to classic: Sermida.ini's line on COM3, without the handshake.
        Pick(bar, "classic");
        line = view->Connection().Settings();
        QCOMPARE(view->Connection().Port().Address(), peer.path);
        QCOMPARE(line.baudRate, 9600);
        QCOMPARE(int(line.dataBits), 8);
        QCOMPARE(line.parity, 'N');
        QVERIFY(!line.rtsCts);
        bar->UpdateState();
        QCOMPARE(bar->PortText(), QStringLiteral("COM3"));
        QVERIFY(script.messages.empty());
    }

    void aDamagedProfileIsReportedAndNothingChanges() {
        PeerLine peer(3);
        AppScript script;
        QDir().mkpath(home.filePath("machines"));
        WriteTestFile(home, "machines/broken.ini", "[machine]\nbaud = fast\n");
        SaveCopy("fanuc-iso", "mill1");
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("p.nc", kProgram)));
        CSermidaView* view = frame->ActiveView();
        Pick(bar, "mill1");

        // Picked: refused, the machine before stays.
        Pick(bar, "broken");
        QCOMPARE(view->MachineName(), std::string("mill1"));
        QCOMPARE(bar->MachineCombo()->CurrentMachine(), std::string("mill1"));
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY2(script.messages[0].startsWith(QStringLiteral("机床配置“broken”有误：")),
                 qPrintable(script.messages[0]));
        QVERIFY(script.messages[0].contains(QStringLiteral("line 2")));

        // Damaged after it was picked: no dialog, nothing sent, nothing received.
        WriteTestFile(home, "machines/mill1.ini", "[machine]\nflow = sometimes\n");
        script.messages.clear();
        script.ConnectWith(2, "9600");
        bar->OnTransmit();
        QCOMPARE(script.modalRuns, 0);
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY(script.messages[0].startsWith(QStringLiteral("机床配置“mill1”有误：")));
        QVERIFY(!view->IsConnected());
        bar->Button(1003)->click();
        QCOMPARE(script.modalRuns, 0);
        QCOMPARE(script.messages.size(), size_t(2));
        QCOMPARE(view->State(), int(Idle));
        bar->UpdateState();
        QVERIFY(!bar->Button(1003)->GetCheck());
        QTest::qWait(30);
        peer.Drain();
        QVERIFY(peer.received.empty());
    }

    // Sermida.ini is the classic line's: another machine's dialog proposes
    // that machine's line and leaves the file as it was.
    void settingsDialogForAMachineKeepsSermidaIni() {
        PeerLine peer(3);
        AppScript script;
        const QByteArray classicLine =
            "COM3 9600 8 1 " + QByteArray::fromStdString(Utf8ToGbk("无"));
        WriteTestFile(home, "Sermida.ini", classicLine);
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        frame->OnFileNew();
        CSermidaView* view = frame->ActiveView();
        NoWaits(view);
        Pick(bar, "sinumerik-840d");

        QStringList proposed;
        script.modal.push_back([&](QDialog& dialog) {
            auto& dlg = static_cast<CCommSettingsDlg&>(dialog);
            proposed << dlg.PortBox()->currentText().left(4) << dlg.BaudBox()->currentText()
                     << dlg.DataBitsBox()->currentText() << dlg.StopBitsBox()->currentText()
                     << dlg.ParityBox()->currentText();
            dlg.accept();
            return dlg.result();
        });
        bar->OnSettings();
        QCOMPARE(proposed, (QStringList{"COM3", "9600", "7", "2", QStringLiteral("偶校验")}));
        QVERIFY(view->IsConnected());
        QVERIFY(view->Connection().Settings().rtsCts);
        QCOMPARE(ReadAll(home.filePath("Sermida.ini")), classicLine);

        // The classic view's dialog still proposes from the file and stores.
        Pick(bar, "classic");
        QCOMPARE(view->Connection().Settings().baudRate, 9600);
        script.ConnectWith(2, "19200");
        bar->OnSettings();
        QCOMPARE(ReadAll(home.filePath("Sermida.ini")),
                 "COM3 19200 8 1 " + QByteArray::fromStdString(Utf8ToGbk("无")));
        QVERIFY(script.messages.empty());
    }

    void profileDialogCopiesSavesAndDeletes() {
        AppScript script;
        auto frame = MakeFrame();
        frame->OnFileNew();
        CSermidaView* view = frame->ActiveView();
        const QString file = home.filePath("machines/mill1.ini");
        QByteArray savedBytes;

        script.modal.push_back([&](QDialog& dialog) {
            auto& dlg = static_cast<CMachineDlg&>(dialog);
            CopyChangeAndSave(dlg, script, file, savedBytes);
            return dlg.result();
        });
        frame->OnMachines();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(script.modalRuns, 6);
        QCOMPARE(ReadAll(file), savedBytes);
        // The bar offers the new machine at once.
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(bar->MachineCombo()->findData(QStringLiteral("mill1")) > 0);

        // Deleted while a view uses it: asked first, then the view is classic again.
        Pick(bar, "mill1");
        QCOMPARE(view->MachineName(), std::string("mill1"));
        script.messages.clear();
        bool keptOnNo = false;
        script.modal.push_back([&](QDialog& dialog) {
            auto& dlg = static_cast<CMachineDlg&>(dialog);
            Answer(script, QMessageBox::No);
            dlg.OnDelete();
            keptOnNo = dlg.Current() == "mill1" && QFile::exists(file);
            Answer(script, QMessageBox::Yes);
            dlg.OnDelete();
            return int(QDialog::Rejected);
        });
        frame->OnMachines();
        QVERIFY(keptOnNo);
        QVERIFY(!QFile::exists(file));
        QCOMPARE(view->MachineName(), std::string("classic"));
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY(script.messages[0].contains(QStringLiteral("已删除")));
        QCOMPARE(bar->MachineCombo()->findData(QStringLiteral("mill1")), -1);
    }

    // A controller that holds past the machine's stall limit: the status line
    // and the lamps' tips warn, the log gets one line, and the transmission
    // goes on once the controller lets go (the machine does not stop on a
    // stall), the warning gone.
    void aStallIsWarnedOnTheLampsAndLoggedOnce() {
        PeerLine peer(3);
        AppScript script;
        SaveCopy("classic", "drip1", [](MachineProfile& p) { p.wire.stallLimitSeconds = 1; });
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("drip.nc", ProgramText(300))));
        CSermidaView* view = frame->ActiveView();
        NoWaits(view);
        bar->RefreshMachines();
        Pick(bar, "drip1");
        script.ConnectWith(2, "9600");
        bar->OnTransmit();
        QTRY_VERIFY(!peer.ReadAtLeast(1, 2000).empty());
        peer.Write("\x13");
        QTRY_COMPARE(view->State(), int(HeldByPeer));
        const QString warning = QStringLiteral("警告：控制器暂停已");
        QTRY_COMPARE_WITH_TIMEOUT(script.logged.size(), size_t(1), 4000);
        QVERIFY2(script.logged[0].startsWith(QStringLiteral("drip.nc：") + warning),
                 qPrintable(script.logged[0]));
        bar->UpdateState();
        QVERIFY2(bar->LampTip(CTransferBar::PauseLamp)
                     .startsWith(QStringLiteral("控制器暂停 (XOFF)\n") + warning),
                 qPrintable(bar->LampTip(CTransferBar::PauseLamp)));
        QTRY_VERIFY2(frame->FiguresPane()->text().contains(warning),
                     qPrintable(frame->FiguresPane()->text()));
        QTest::qWait(1200);
        QCOMPARE(script.logged.size(), size_t(1)); // once per stall
        QCOMPARE(view->State(), int(HeldByPeer));

        peer.Write("\x11");
        QTRY_COMPARE(view->State(), int(Sending));
        bar->UpdateState();
        QCOMPARE(bar->LampTip(CTransferBar::SendLamp), QStringLiteral("传送"));
        QTRY_VERIFY(!frame->FiguresPane()->text().contains(warning));
        bar->OnStop();
        QTRY_COMPARE(view->State(), int(Idle));
    }

    // Receiving ends by itself once the controller has been quiet for the
    // machine's idle time, keeping everything that came.
    void receivingEndsAfterTheMachinesIdleTime() {
        PeerLine peer(3);
        AppScript script;
        SaveCopy("classic", "quiet1", [](MachineProfile& p) { p.receive.idleSeconds = 1; });
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        frame->OnFileNew();
        CSermidaView* view = frame->ActiveView();
        NoWaits(view);
        bar->RefreshMachines();
        Pick(bar, "quiet1");
        script.ConnectWith(2, "38400");
        bar->Button(1003)->click();
        QCOMPARE(view->State(), int(Receiving));

        peer.Write("N1 G00 X1.\n");
        CTextBuffer& buffer = view->GetDocument()->Buffer();
        QTRY_COMPARE(buffer.CountLines(), 2);
        QTest::qWait(400);
        QCOMPARE(view->State(), int(Receiving)); // a byte restarts the time
        peer.Write("N2\n");
        QTRY_COMPARE(buffer.CountLines(), 3);
        QTest::qWait(400);
        QCOMPARE(view->State(), int(Receiving));
        QTRY_COMPARE_WITH_TIMEOUT(view->State(), int(Idle), 2000);
        QVERIFY(view->IsConnected());
        QCOMPARE(std::string(buffer.LineView(1)), std::string("N2"));
        QTRY_VERIFY(!bar->Button(1003)->GetCheck());
        QVERIFY(script.messages.empty());
    }
};

QTEST_MAIN(AppMachineTest)
#include "AppMachineTest.moc"
