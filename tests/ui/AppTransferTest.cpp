// The program end to end: the settings dialog connects a view to a
// pseudo-terminal, the transfer bar transmits and receives, and the guards
// keep a running transmission from being disturbed.
#include <QElapsedTimer>
#include <QFile>
#include <QInputDialog>
#include <QMdiArea>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <ctime>

#include "AppTestSupport.h"
#include "app/AppCommands.h"
#include "app/CHoverButton.h"
#include "app/CProgressBar.h"
#include "common/Gbk.h"
#include "common/MessageSink.h"
#include "transfer/TransferMessages.h"
#include "transfer/TransferState.h"

class AppTransferTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QString WriteProgram(const QString& name, const std::string& text) {
        const QString path = home.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text.data(), qint64(text.size()));
        return path;
    }

private slots:
    void initTestCase() {
        qputenv("SERMIDA_HOME", home.path().toLocal8Bit());
        QFile::remove(home.filePath("Sermida.ini"));
    }
    void init() { QFile::remove(home.filePath("Sermida.ini")); }

    void connectsThroughDialogAndTransmitsExactBytes() {
        PeerLine peer(3);
        QVERIFY(peer.Valid());
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();

        bar->UpdateState();
        QCOMPARE(bar->PortText(), QStringLiteral("未设置"));
        QCOMPARE(bar->BaudText(), QStringLiteral("未设置"));

        QVERIFY(frame->OpenDocumentFile(WriteProgram("a.nc", ProgramText(3))));
        CSermidaView* view = frame->ActiveView();
        QVERIFY(view);
        script.ConnectWith(2, "9600"); // COM3
        bar->OnSettings();
        QVERIFY(view->IsConnected());
        QCOMPARE(bar->LinkedView(), view);
        bar->UpdateState();
        QCOMPARE(bar->PortText(), QStringLiteral("COM3"));
        QCOMPARE(bar->BaudText(), QStringLiteral("9600"));

        // The last good connection is kept, one blank apart, parity in GBK.
        QFile ini(home.filePath("Sermida.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll().toStdString(), "COM3 9600 8 1 " + Utf8ToGbk("无"));

        bar->OnTransmit();
        const std::string expected = SentForm(3);
        QCOMPARE(peer.ReadAtLeast(expected.size()), expected);
        QTRY_COMPARE(view->State(), int(Idle));
        QTest::qWait(50);
        peer.Drain();
        QCOMPARE(peer.received, expected); // nothing more than the program
        QVERIFY(!view->GetDocument()->Buffer().IsWriteProtected());
        QVERIFY(script.messages.empty());

        // Cancel in the dialog disconnects; the labels say so again.
        script.CancelDialog();
        bar->OnSettings();
        QVERIFY(!view->IsConnected());
        QVERIFY(!bar->LinkedView());
        bar->UpdateState();
        QCOMPARE(bar->PortText(), QStringLiteral("未设置"));
    }

    void peerHoldLightsPauseLampAndPauseContinueStopFollowTheState() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("long.nc", ProgramText(400))));
        CSermidaView* view = frame->ActiveView();
        script.ConnectWith(2, "9600");
        bar->OnTransmit(); // not connected yet: the dialog comes first
        QCOMPARE(script.modalRuns, 1);
        QTRY_VERIFY(peer.ReadAtLeast(1, 2000).size() > 0);
        QCOMPARE(view->State(), int(Sending));
        bar->UpdateState();
        QVERIFY(bar->LampOn(CTransferBar::SendLamp));
        QVERIFY(!bar->LampOn(CTransferBar::PauseLamp));
        QVERIFY(bar->Button(1000)->isEnabled());
        QVERIFY(bar->Button(1001)->isEnabled());
        QVERIFY(!bar->Button(1002)->isEnabled());

        peer.Write("\x13"); // DC3
        QTRY_COMPARE(view->State(), int(HeldByPeer));
        bar->UpdateState();
        QVERIFY(bar->LampOn(CTransferBar::PauseLamp));
        QVERIFY(!bar->LampOn(CTransferBar::SendLamp));
        QVERIFY(bar->Button(1000)->isEnabled());
        QVERIFY(bar->Button(1001)->isEnabled());
        QVERIFY(!bar->Button(1002)->isEnabled());
        // Whose hold it is, in the status line and on the lamp.
        const QString byController = QStringLiteral("控制器暂停 (XOFF)");
        QCOMPARE(bar->LampTip(CTransferBar::PauseLamp), byController);
        QTRY_VERIFY2(frame->FiguresPane()->text().endsWith(byController),
                     qPrintable(frame->FiguresPane()->text()));
        QVERIFY(frame->FiguresPane()->text().startsWith(QStringLiteral("已发送 ")));
        QVERIFY2(frame->FiguresPane()->text().contains(
                     QStringLiteral("/401 行 ")) /* the empty line after the last break counts */,
                 qPrintable(frame->FiguresPane()->text()));
        // The line that waits is marked (shown green).
        QTRY_VERIFY(view->GetDocument()->Buffer().FindLineWithMark(TRANSFER_LINE) >= 0);
        // Held: nothing more goes out.
        QTest::qWait(100);
        peer.Drain();
        const size_t heldAt = peer.received.size();
        QTest::qWait(150);
        peer.Drain();
        QCOMPARE(peer.received.size(), heldAt);

        bar->OnPause();
        QCOMPARE(view->State(), int(Paused));
        bar->UpdateState();
        QCOMPARE(bar->LampTip(CTransferBar::PauseLamp), QStringLiteral("操作员暂停"));
        QTRY_VERIFY(frame->FiguresPane()->text().endsWith(QStringLiteral("操作员暂停")));
        // SERMIDA_SCREENSHOT=FILE keeps a picture of this moment (the README's).
        if (const QString shot = qEnvironmentVariable("SERMIDA_SCREENSHOT"); !shot.isEmpty()) {
            frame->resize(1000, 640);
            frame->show();
            QTest::qWait(400);
            QVERIFY(frame->grab().save(shot));
        }
        QVERIFY(!bar->Button(1000)->isEnabled());
        QVERIFY(bar->Button(1001)->isEnabled());
        QVERIFY(bar->Button(1002)->isEnabled());
        // Continue while the controller still holds goes back to the hold.
        bar->OnContinue();
        QCOMPARE(view->State(), int(HeldByPeer));

        peer.Write("\x11"); // DC1
        QTRY_COMPARE(view->State(), int(Sending));
        peer.ReadAtLeast(heldAt + 20, 3000);
        QVERIFY(peer.received.size() > heldAt);

        bar->OnStop();
        QTRY_COMPARE(view->State(), int(Idle));
        QTRY_VERIFY(!view->GetDocument()->Buffer().IsWriteProtected());
        bar->UpdateState();
        QVERIFY(!bar->Button(1000)->isEnabled());
        QVERIFY(!bar->Button(1001)->isEnabled());
        QVERIFY(!bar->LampOn(CTransferBar::SendLamp));
        // What went out is the beginning of the program, whole lines, exact.
        QTest::qWait(50);
        peer.Drain();
        const std::string all = SentForm(400);
        QVERIFY(peer.received.size() < all.size());
        QCOMPARE(peer.received, all.substr(0, peer.received.size()));
        // The status line says it stopped and how far it got.
        const int whole = view->Connection().LastTransmit().linesWhole;
        QTRY_VERIFY2(frame->FiguresPane()->text().startsWith(
                         QStringLiteral("发送已停止：%1/401 行已完整发送，用时 00:00:").arg(whole)),
                     qPrintable(frame->FiguresPane()->text()));
    }

    void receiveWithNoDocumentCreatesOneAndAppendsTheText() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(!frame->ActiveView());
        script.ConnectWith(2, "19200");
        bar->Button(1003)->click(); // checks the button, then receives
        CSermidaView* view = frame->ActiveView();
        QVERIFY(view);
        QCOMPARE(view->GetDocument()->Title().left(7), QStringLiteral("SERMIDA"));
        QVERIFY(view->IsConnected());
        QCOMPARE(view->State(), int(Receiving));
        bar->UpdateState();
        QVERIFY(bar->Button(1003)->GetCheck());

        peer.Write("\x12O2000\nN10 G00 X5.\nM30\n\x14");
        CTextBuffer& buffer = view->GetDocument()->Buffer();
        QTRY_COMPARE(buffer.CountLines(), 4);
        QCOMPARE(std::string(buffer.LineView(0)), std::string("O2000"));
        QCOMPARE(std::string(buffer.LineView(1)), std::string("N10 G00 X5."));
        QCOMPARE(std::string(buffer.LineView(2)), std::string("M30"));
        // The status line counts what came: every byte on the line, and the
        // lines it ended.
        QTRY_COMPARE(frame->FiguresPane()->text(), QStringLiteral("已接收 24 字节, 3 行"));

        bar->Button(1003)->click(); // unchecks: receiving ends
        QCOMPARE(view->State(), int(Idle));
        QVERIFY(view->IsConnected());
        QTRY_VERIFY2(frame->FiguresPane()->text().startsWith(
                         QStringLiteral("接收完成：24 字节, 3 行，用时 00:00:")),
                     qPrintable(frame->FiguresPane()->text()));

        // Transmitting needs Idle: while receiving it is refused.
        bar->Button(1003)->click();
        QCOMPARE(view->State(), int(Receiving));
        bar->OnTransmit();
        QCOMPARE(script.Count(QStringLiteral("当前不能开始发送数据的操作。")), 1);
        QCOMPARE(view->State(), int(Receiving));
    }

    void receivingViewCanBeClosed() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        script.ConnectWith(2, "38400");
        bar->OnReceive(true);
        CSermidaView* view = frame->ActiveView();
        QVERIFY(view);
        QCOMPARE(view->State(), int(Receiving));
        peer.Write("N1\nN2\n");
        QTRY_VERIFY(view->GetDocument()->Buffer().CountLines() >= 3);
        // Keep bytes coming while the window closes.
        peer.Write(std::string(2000, 'X') + "\n");
        script.saveChoice = 0; // discard the received text
        QVERIFY(frame->ActiveChild()->close());
        QTRY_VERIFY(frame->MdiArea()->subWindowList().isEmpty());
        QVERIFY(!bar->LinkedView());
        peer.Write("more\n");
        QTest::qWait(100);
        bar->UpdateState();
        QCOMPARE(bar->PortText(), QStringLiteral("未设置"));
        // The port was released: another view can open it again.
        script.ConnectWith(2, "38400");
        bar->OnReceive(true);
        QVERIFY(frame->ActiveView()->IsConnected());
    }

    // The receive lamp is green for one tick per burst of received bytes; the
    // receive button shows pressed only while the active view receives.
    void receiveLampFlashesAndReceiveButtonFollowsTheActiveView() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        script.ConnectWith(2, "9600");
        bar->Button(1003)->click(); // a new document receives
        CSermidaView* receiving = frame->ActiveView();
        QVERIFY(receiving);
        QCOMPARE(receiving->State(), int(Receiving));
        bar->UpdateState();
        QVERIFY(bar->Button(1003)->GetCheck());
        QVERIFY(!bar->LampOn(CTransferBar::ReceiveLamp));

        // Bytes arriving light the lamp on the bar's own timer, then it goes out.
        bool seenOn = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this,
                [&] { seenOn = seenOn || bar->LampOn(CTransferBar::ReceiveLamp); });
        watch.start(1);
        peer.Write("O3000\nN10 G00 X1.\n");
        CTextBuffer& buffer = receiving->GetDocument()->Buffer();
        QTRY_VERIFY(buffer.CountLines() >= 3);
        QTRY_VERIFY(seenOn);
        QTRY_VERIFY(!bar->LampOn(CTransferBar::ReceiveLamp));
        watch.stop();
        // One tick per burst: the tick that shows it takes it. (Watched
        // between the bar's ticks: the lamp is on for one tick only.)
        seenOn = false;
        watch.start(1);
        peer.Write("N15\n");
        QTRY_VERIFY(seenOn);
        watch.stop();
        QVERIFY(!receiving->Connection().TakeReceiveActivity());
        bar->UpdateState();
        QVERIFY(!bar->LampOn(CTransferBar::ReceiveLamp));
        QTRY_COMPARE(buffer.CountLines(), 4);

        // An idle view coming to the front releases the button; back, it is pressed.
        CChildFrame* receivingWindow = frame->ActiveChild();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("idle.nc", "N1\r\nN2")));
        QVERIFY(frame->ActiveView() != receiving);
        QTRY_VERIFY(!bar->Button(1003)->GetCheck());  // within the bar's own ticks
        QCOMPARE(receiving->State(), int(Receiving)); // the other view goes on
        peer.Write("N20\n");
        QTRY_COMPARE(buffer.CountLines(), 5);
        frame->MdiArea()->setActiveSubWindow(receivingWindow);
        QTRY_VERIFY(bar->Button(1003)->GetCheck());

        // With no window left the button is released.
        script.saveChoice = 0;
        for (QMdiSubWindow* w : frame->MdiArea()->subWindowList())
            QVERIFY(w->close());
        QTRY_VERIFY(frame->MdiArea()->subWindowList().isEmpty());
        bar->UpdateState();
        QVERIFY(!bar->Button(1003)->GetCheck());
    }

    void transmitInAnotherViewTakesTheConnectionOver() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("a1.nc", "A1\r\nA2")));
        CSermidaView* a = frame->ActiveView();
        script.ConnectWith(2, "9600");
        bar->OnSettings();
        QVERIFY(a->IsConnected());

        QVERIFY(frame->OpenDocumentFile(WriteProgram("b1.nc", "B1\r\nB2")));
        CSermidaView* b = frame->ActiveView();
        QVERIFY(b != a);
        bar->OnTransmit();
        QCOMPARE(script.modalRuns, 1); // no second dialog: the settings moved over
        QVERIFY(!a->IsConnected());
        QCOMPARE(a->State(), int(Idle));
        QVERIFY(b->IsConnected());
        QCOMPARE(bar->LinkedView(), b);
        QCOMPARE(b->Connection().Settings().baudRate, 9600);
        QCOMPARE(peer.ReadAtLeast(8), std::string("B1\r\nB2\r\n"));
        QTRY_COMPARE(b->State(), int(Idle));

        // Labels follow the active view: the unconnected one says "未设置".
        frame->MdiArea()->setActiveSubWindow(frame->MdiArea()->subWindowList().first());
        QCOMPARE(frame->ActiveView(), a);
        bar->UpdateState();
        QCOMPARE(bar->PortText(), QStringLiteral("未设置"));
    }

    void guardsRefuseWhileTransmitting() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("g.nc", ProgramText(300))));
        CSermidaView* a = frame->ActiveView();
        script.ConnectWith(2, "9600");
        bar->OnTransmit();
        peer.ReadAtLeast(1);
        peer.Write("\x13"); // the controller holds: the transmission stays running
        QTRY_COMPARE(a->State(), int(HeldByPeer));

        bar->OnSettings();
        QCOMPARE(script.Count(kWait), 1);
        QCOMPARE(script.modalRuns, 1);

        a->ExecuteCommand(1021);
        QCOMPARE(script.Count(kWait), 2);

        QVERIFY(!frame->ActiveChild()->close());
        QCOMPARE(script.Count(kWait), 3);

        QVERIFY(!frame->OpenDocumentFile(WriteProgram("other.nc", "X")));
        QCOMPARE(script.Count(kWait), 4);
        QCOMPARE(frame->MdiArea()->subWindowList().size(), 1);

        // A second view transmitting: the hand-over is refused.
        frame->OnFileNew();
        CSermidaView* b = frame->ActiveView();
        QVERIFY(b != a);
        QCOMPARE(bar->TakeOverConnection(b), -2);
        QCOMPARE(script.Count(kWait), 5);
        QVERIFY(a->IsConnected());

        // Quitting while a background view transmits is refused too.
        QVERIFY(!frame->close());
        QCOMPARE(script.Count(kWait), 6);
        QCOMPARE(frame->MdiArea()->subWindowList().size(), 2);

        // The settings dialog's OK on the same port leaves the transmitting view alone.
        QCOMPARE(frame->ReleasePort(3), 1);
        QVERIFY(a->IsConnected());

        frame->MdiArea()->setActiveSubWindow(frame->MdiArea()->subWindowList().first());
        QCOMPARE(frame->ActiveView(), a);
        bar->OnStop();
        QTRY_COMPARE(a->State(), int(Idle));
        // Stopped is done once the transmission's end has been handled.
        QTRY_VERIFY(!a->Connection().TransmitActive());
        QVERIFY(frame->OpenDocumentFile(home.filePath("other.nc")));
        QCOMPARE(frame->ReleasePort(3), 1);
        QVERIFY(!a->IsConnected());
    }

    // A view whose port is not set gets the settings dialog first; when that
    // is cancelled, transmit and receive refuse and say why. Receiving is
    // refused, too, while the view transmits, however the button is pressed.
    void unsetPortAndRunningTransmissionRefuseWithTheirMessages() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        CHoverButton* receive = bar->Button(ID_RECEIVE);
        QVERIFY(frame->OpenDocumentFile(WriteProgram("unset.nc", ProgramText(300))));
        CSermidaView* view = frame->ActiveView();
        const QString setUpFirst = QStringLiteral("请首先设置串口。");
        const QString cannotReceive = QStringLiteral("当前不能进行接收数据的操作。");

        script.CancelDialog();
        bar->OnTransmit();
        QCOMPARE(script.modalRuns, 1);
        QCOMPARE(script.messages, std::vector<QString>{setUpFirst});
        QVERIFY(!view->IsConnected());
        QCOMPARE(view->State(), int(Idle));
        QVERIFY(!view->GetDocument()->Buffer().IsWriteProtected());

        script.CancelDialog();
        receive->click(); // the click checks the button
        QCOMPARE(script.modalRuns, 2);
        QCOMPARE(script.Count(setUpFirst), 2);
        QVERIFY(!receive->GetCheck());
        QCOMPARE(view->State(), int(Idle));
        QTest::qWait(50);
        peer.Drain();
        QVERIFY(peer.received.empty());

        script.ConnectWith(2, "9600");
        bar->OnTransmit();
        peer.ReadAtLeast(1);
        peer.Write("\x13"); // held: the transmission stays running
        QTRY_COMPARE(view->State(), int(HeldByPeer));
        receive->click();
        QCOMPARE(script.Count(cannotReceive), 1);
        QVERIFY(!receive->GetCheck());
        QCOMPARE(view->State(), int(HeldByPeer));
        bar->OnPause();
        receive->click();
        QCOMPARE(script.Count(cannotReceive), 2);
        QVERIFY(!receive->GetCheck());
        QCOMPARE(view->State(), int(Paused));
        QCOMPARE(script.messages.size(), size_t(4));
        QCOMPARE(script.modalRuns, 3);

        bar->OnStop();
        QTRY_COMPARE(view->State(), int(Idle));
        QTRY_VERIFY(!view->Connection().TransmitActive());
        // Once idle, the same click receives.
        receive->click();
        QCOMPARE(view->State(), int(Receiving));
        QVERIFY(receive->GetCheck());
        QCOMPARE(script.messages.size(), size_t(4));
    }

    // The operator watches the line going out, unless they look elsewhere.
    void theViewFollowsTheLineBeingSentUntilTheOperatorScrollsAway() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("follow.nc", ProgramText(400))));
        CSermidaView* view = frame->ActiveView();
        script.ConnectWith(2, "9600"); // paced: about 70 lines a second
        frame->TransferBar()->OnTransmit();
        const int page = view->VisibleLines();
        QVERIFY(page > 5 && page < 100);
        const auto sent = [view] { return view->Connection().SentLines(); };
        const auto inSight = [view](int line) {
            return line >= view->TopLine() && line < view->TopLine() + view->VisibleLines();
        };
        QElapsedTimer clock;
        clock.start();
        while (sent() < page * 2 && clock.elapsed() < 10000)
            peer.ReadAtLeast(peer.received.size() + 40, 200);
        QTRY_VERIFY(view->TopLine() > 0);
        QVERIFY2(inSight(view->Connection().SentLines() - 1) || inSight(sent()),
                 qPrintable(QStringLiteral("top %1, sent %2").arg(view->TopLine()).arg(sent())));

        peer.Write("\x13"); // held while the operator scrolls back to the top
        QTRY_COMPARE(view->State(), int(HeldByPeer));
        // The held line is shown first (that scrolls to it), then the operator looks away.
        QTRY_VERIFY(view->GetDocument()->Buffer().FindLineWithMark(TRANSFER_LINE) >= 0);
        QTest::qWait(50);
        view->ScrollTopTo(0);
        QTest::qWait(50);
        peer.Write("\x11");
        const int from = sent();
        while (sent() < from + page && clock.elapsed() < 20000)
            peer.ReadAtLeast(peer.received.size() + 40, 200);
        QVERIFY(sent() >= from + page);
        QTest::qWait(50);
        QCOMPARE(view->TopLine(), 0); // left where the operator put it
        frame->TransferBar()->OnStop();
        while (view->State() != Idle && clock.elapsed() < 30000)
            peer.ReadAtLeast(peer.received.size() + 4000, 100);
        QTRY_COMPARE(view->State(), int(Idle));
    }

    // The worker reads the document's lines while it transmits: nothing may
    // change them from the moment the command has run until the end.
    void documentStaysLockedForTheWholeTransmission() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("lock.nc", ProgramText(60))));
        CSermidaView* view = frame->ActiveView();
        CTextBuffer& buffer = view->GetDocument()->Buffer();
        script.ConnectWith(2, "9600");
        frame->TransferBar()->OnTransmit();
        // Locked before the worker runs: a key handled at once changes nothing.
        QVERIFY(buffer.IsWriteProtected());
        view->TypeCharacter("X");
        QCOMPARE(std::string(buffer.LineView(0)), std::string("N10 G01 X1. ;cut"));

        peer.ReadAtLeast(1);
        peer.Write("\x13"); // held: the transmission stays running
        QTRY_COMPARE(view->State(), int(HeldByPeer));
        // Neither this window nor a second one of the document lifts the lock.
        view->ExecuteCommand(ID_EDIT_READ_ONLY);
        CChildFrame* second = frame->OnWindowNew();
        QVERIFY(second);
        second->View()->ExecuteCommand(ID_EDIT_READ_ONLY);
        QCOMPARE(script.Count(kWait), 2);
        QVERIFY(buffer.IsWriteProtected());
        second->View()->TypeCharacter("Y");
        QCOMPARE(std::string(buffer.LineView(0)), std::string("N10 G01 X1. ;cut"));

        peer.Write("\x11");
        const std::string expected = SentForm(60);
        QCOMPARE(peer.ReadAtLeast(expected.size()), expected);
        QTRY_COMPARE(view->State(), int(Idle));
        QTRY_VERIFY(!buffer.IsWriteProtected());
        // Afterwards the command works again.
        second->View()->ExecuteCommand(ID_EDIT_READ_ONLY);
        QVERIFY(buffer.IsWriteProtected());
        QCOMPARE(script.Count(kWait), 2);
    }

    // Two windows of one document send it on two ports: the first to finish
    // leaves the document locked for the other.
    void documentStaysLockedUntilItsLastTransmissionEnds() {
        PeerLine first(3);
        PeerLine second(4);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("twice.nc", ProgramText(40))));
        CSermidaView* a = frame->ActiveView();
        CTextBuffer& buffer = a->GetDocument()->Buffer();
        script.ConnectWith(2, "9600"); // COM3
        bar->OnTransmit();
        first.ReadAtLeast(1);
        first.Write("\x13");
        QTRY_COMPARE(a->State(), int(HeldByPeer));

        CChildFrame* child = frame->OnWindowNew();
        QVERIFY(child);
        CSermidaView* b = child->View();
        script.ConnectWith(3, "9600"); // COM4
        bar->OnSettings();
        QVERIFY(b->IsConnected());
        QVERIFY(a->IsConnected());
        bar->OnTransmit();
        second.ReadAtLeast(1);
        second.Write("\x13");
        QTRY_COMPARE(b->State(), int(HeldByPeer));
        QVERIFY(a->Transmitting());

        first.Write("\x11");
        const std::string expected = SentForm(40);
        QCOMPARE(first.ReadAtLeast(expected.size()), expected);
        QTRY_COMPARE(a->State(), int(Idle));
        QTest::qWait(50);
        QVERIFY(buffer.IsWriteProtected());
        b->TypeCharacter("X");
        a->ExecuteCommand(ID_EDIT_READ_ONLY);
        QCOMPARE(script.Count(kWait), 1);
        QCOMPARE(std::string(buffer.LineView(0)), std::string("N10 G01 X1. ;cut"));

        second.Write("\x11");
        QCOMPARE(second.ReadAtLeast(expected.size()), expected);
        QTRY_COMPARE(b->State(), int(Idle));
        QTRY_VERIFY(!buffer.IsWriteProtected());
    }

    // Stop lets the line in flight finish; the Stop button stays for a
    // second press, which cuts the line at once and says so.
    void aSecondStopCutsTheLineInFlight() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        const std::string longLine = "N1 G01 " + std::string(1000, 'X') + "\r\nN2\r\n";
        QVERIFY(frame->OpenDocumentFile(WriteProgram("slow.nc", longLine)));
        CSermidaView* view = frame->ActiveView();
        script.ConnectWith(2, "2400"); // the first line takes over 4 s
        bar->OnTransmit();
        QVERIFY(peer.ReadAtLeast(5).size() >= 5);
        bar->OnStop();
        QCOMPARE(view->State(), int(Idle));
        bar->UpdateState();
        QVERIFY(bar->Button(ID_STOP)->isEnabled());
        QVERIFY(view->GetDocument()->Buffer().IsWriteProtected());
        bar->OnStop();
        QTRY_VERIFY(!view->Connection().TransmitActive());
        QCOMPARE(script.Count(QString::fromStdString(Format(kMsgSendLineCut, 1, 0))), 1);
        QCOMPARE(view->GetDocument()->Buffer().FindLineWithMark(TRANSFER_LINE), 0);
        bar->UpdateState();
        QVERIFY(!bar->Button(ID_STOP)->isEnabled());
        QVERIFY(!view->GetDocument()->Buffer().IsWriteProtected());
        QTest::qWait(100);
        peer.Drain();
        QVERIFY(peer.received.size() < 1000);
    }

    // A read-only document cannot take a program: receiving is refused at
    // once, instead of every line being dropped. While a window receives,
    // neither 文档只读 nor a transmission of the document from a second
    // window may hold the received text back.
    void receivingNeedsAWritableDocumentAndKeepsIt() {
        PeerLine com3(3);
        PeerLine com4(4);
        AppScript script;
        auto frame = MakeFrame();
        CTransferBar* bar = frame->TransferBar();
        CHoverButton* receive = bar->Button(ID_RECEIVE);
        QVERIFY(frame->OpenDocumentFile(WriteProgram("ro.nc", "O1\r\n")));
        CSermidaView* view = frame->ActiveView();
        CTextBuffer& buffer = view->GetDocument()->Buffer();
        view->ExecuteCommand(ID_EDIT_READ_ONLY);
        QVERIFY(buffer.IsWriteProtected());
        script.ConnectWith(2, "9600");
        receive->click();
        QCOMPARE(script.Count(QString::fromUtf8(kMsgReadOnlyNoReceive)), 1);
        QVERIFY(!receive->GetCheck());
        QCOMPARE(view->State(), int(Idle));

        view->ExecuteCommand(ID_EDIT_READ_ONLY); // writable again
        receive->click();
        QCOMPARE(view->State(), int(Receiving));
        view->ExecuteCommand(ID_EDIT_READ_ONLY);
        QCOMPARE(script.Count(kWait), 1);
        QVERIFY(!buffer.IsWriteProtected());

        CChildFrame* second = frame->OnWindowNew();
        QVERIFY(second);
        script.ConnectWith(3, "9600"); // COM4
        bar->OnSettings();
        QVERIFY(second->View()->IsConnected());
        bar->OnTransmit();
        QCOMPARE(script.Count(kWait), 2);
        QCOMPARE(second->View()->State(), int(Idle));
        QVERIFY(!buffer.IsWriteProtected());

        com3.Write("N2\n");
        QTRY_COMPARE(buffer.CountLines(), 3);
        QCOMPARE(std::string(buffer.LineView(1)), std::string("N2"));
    }

    // A restart from the caret's tool change: the operator sees the plan and
    // confirms; the controller gets the program's start, then from the T on.
    void restartFromTheToolChangeSendsTheStartThenTheRest() {
        PeerLine peer(3);
        QVERIFY(peer.Valid());
        AppScript script;
        auto frame = MakeFrame();
        QVERIFY(frame->OpenDocumentFile(WriteProgram(
            "r.nc", "%\r\nG21 G90\r\nT1 M6\r\nG0 X0\r\nG1 X5\r\nT2\r\nM6\r\nG1 X9\r\nM30")));
        CSermidaView* view = frame->ActiveView();
        script.ConnectWith(2, "38400");
        frame->TransferBar()->OnSettings();
        QVERIFY(view->IsConnected());
        view->CaretToLine(7); // "G1 X9", after the M6
        QString plan;
        script.modal.push_back([&plan](QDialog& dialog) {
            auto& box = static_cast<QMessageBox&>(dialog);
            plan = box.text() + "\n" + box.informativeText();
            return int(QMessageBox::Ok);
        });
        QVERIFY(view->ExecuteCommand(ID_TRANSMIT_FROM_TOOL));
        QVERIFY2(plan.contains(QStringLiteral("先发送程序开头（第 1–3 行），再从第 6 行")),
                 qPrintable(plan));
        const std::string expected = "%\r\nG21 G90\r\nT1 M6\r\nT2\r\nM6\r\nG1 X9\r\nM30\r\n";
        QCOMPARE(peer.ReadAtLeast(expected.size()), expected);
        QTRY_COMPARE(view->State(), int(Idle));

        // Cancelled, nothing goes out.
        script.CancelDialog();
        QVERIFY(view->ExecuteCommand(ID_TRANSMIT_FROM_LINE));
        QTest::qWait(200);
        peer.Drain();
        QCOMPARE(peer.received, expected);
    }

    // A restart from a block number the operator types (the caret's block is
    // proposed): the status line says which line of the program the
    // controller reads, and the view follows it there. A number the program
    // lacks is refused, and nothing goes out.
    void restartFromABlockNumberFollowsTheProgramsLine() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        QVERIFY(frame->OpenDocumentFile(WriteProgram("n.nc", ProgramText(400))));
        CSermidaView* view = frame->ActiveView();
        script.ConnectWith(2, "9600");
        frame->TransferBar()->OnSettings();
        QVERIFY(view->IsConnected());
        view->CaretToLine(200); // N2000
        script.modal.push_back([](QDialog& dialog) {
            auto& ask = static_cast<QInputDialog&>(dialog);
            ask.setTextValue(ask.textValue() == "N2000" ? "n9990" : "proposal wrong");
            return int(QDialog::Accepted);
        });
        QVERIFY(view->ExecuteCommand(ID_TRANSMIT_FROM_BLOCK));
        QCOMPARE(script.messages, std::vector<QString>{QStringLiteral("程序中没有程序段 N9990。")});
        QCOMPARE(script.modalRuns, 2); // the settings and the question; no plan

        script.modal.push_back([](QDialog& dialog) {
            static_cast<QInputDialog&>(dialog).setTextValue(" n3000 ");
            return int(QDialog::Accepted);
        });
        QString plan;
        script.modal.push_back([&plan](QDialog& dialog) {
            plan = static_cast<QMessageBox&>(dialog).text();
            return int(QMessageBox::Ok);
        });
        QVERIFY(view->ExecuteCommand(ID_TRANSMIT_FROM_BLOCK));
        // Its first block moves: there is no start to send again.
        QVERIFY2(plan.contains(QStringLiteral("从第 300 行发送到最后")), qPrintable(plan));
        const std::string first = "N3000 G01 X300. \r\n";
        QCOMPARE(peer.ReadAtLeast(first.size()).substr(0, first.size()), first);
        peer.Write("\x13"); // held, so the figures can be read
        QTRY_COMPARE(view->State(), int(HeldByPeer));
        // The line in flight when the DC3 came still goes out whole, so the
        // line read is the one the figures settle on.
        const auto showsLineRead = [&] {
            return frame->FiguresPane()->text().contains(
                QStringLiteral("程序第 %1 行").arg(view->Connection().ProgramLine()));
        };
        QTRY_VERIFY2(showsLineRead(), qPrintable(frame->FiguresPane()->text()));
        const int at = view->Connection().ProgramLine();
        QVERIFY2(at >= 300 && at < 400, qPrintable(QString::number(at)));
        QVERIFY(frame->FiguresPane()->text().contains(QStringLiteral("/102 行")));
        QTRY_VERIFY(view->TopLine() > 250); // followed down the program
        peer.Write("\x11");
        QTRY_COMPARE(view->State(), int(Idle));
        peer.ReadAtLeast(std::string::npos, 300);
        QVERIFY(peer.received.starts_with(first));
        QVERIFY(peer.received.ends_with("N4000 G01 X400. \r\nM30\r\n"));
    }

    void statusBarShowsProgressAndOperationTime() {
        PeerLine peer(3);
        AppScript script;
        auto frame = MakeFrame();
        frame->UpdateStatus();
        QCOMPARE(frame->TimePane()->text(), QStringLiteral("操作时间 00:00:00"));
        QVERIFY(frame->OpenDocumentFile(WriteProgram("p.nc", ProgramText(150))));
        CSermidaView* view = frame->ActiveView();
        frame->UpdateStatus();
        QCOMPARE(frame->TimePane()->text(), QStringLiteral("操作时间 00:00:00"));
        QCOMPARE(frame->Progress()->maximum(), 100);
        script.ConnectWith(2, "9600");
        frame->TransferBar()->OnTransmit();
        QTRY_VERIFY(view->Connection().SentLines() > 5);
        frame->UpdateStatus();
        QCOMPARE(frame->Progress()->maximum(), 151);
        QVERIFY(frame->Progress()->value() > 0);
        QCOMPARE(frame->Progress()->BarColour(), QColor(255, 0, 0));
        // The running time is counted from the start of the transmission.
        QTRY_VERIFY(view->Connection().OperationSeconds() >= 1);
        frame->UpdateStatus();
        const int64_t seconds = view->Connection().OperationSeconds();
        // The clock may tick over a second between showing and asking.
        const QString shown = frame->TimePane()->text();
        QVERIFY2(shown == CMainFrame::OperationTimeText(seconds) ||
                     shown == CMainFrame::OperationTimeText(seconds - 1),
                 qPrintable(shown));
        QVERIFY(shown != QStringLiteral("操作时间 00:00:00"));
        frame->TransferBar()->OnStop();
        QTRY_COMPARE(view->State(), int(Idle));
        QTRY_VERIFY(!view->Connection().OperationRunning());
        // The last transmission's time stays.
        frame->UpdateStatus();
        QCOMPARE(frame->TimePane()->text(),
                 CMainFrame::OperationTimeText(view->Connection().OperationSeconds()));
        QCOMPARE(CMainFrame::OperationTimeText(3600 + 2 * 60 + 3),
                 QStringLiteral("操作时间 01:02:03"));
        // A duration of 25 hours shows as 01:00:00.
        QCOMPARE(CMainFrame::OperationTimeText(25 * 3600), QStringLiteral("操作时间 01:00:00"));
    }
};

QTEST_MAIN(AppTransferTest)
#include "AppTransferTest.moc"
