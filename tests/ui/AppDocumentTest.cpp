// Documents, menus, the settings dialog's proposals and the hover button.
#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolBar>

#include "AppTestSupport.h"
#include "app/AppCommands.h"
#include "app/CCompareDlg.h"
#include "app/CHoverButton.h"
#include "common/Gbk.h"
#include "editor/view/ViewCommands.h"

class AppDocumentTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QString Write(const QString& name, const QByteArray& bytes) {
        return WriteTestFile(home, name, bytes);
    }
    // Each menu of the bar: its title, then its items; "-" for a separator
    // and one "<recent files>" for the list of recent files.
    static QList<QStringList> Menus(QMenuBar* bar) {
        QList<QStringList> menus;
        for (QAction* title : bar->actions()) {
            QStringList items{title->text()};
            for (QAction* a : title->menu()->actions()) {
                if (a->isSeparator())
                    items << "-";
                else if (!a->property("recent").toBool())
                    items << a->text();
                else if (items.last() != "<recent files>")
                    items << "<recent files>";
            }
            menus << items;
        }
        return menus;
    }

private slots:
    void initTestCase() { qputenv("SERMIDA_HOME", home.path().toLocal8Bit()); }

    // The document beside a program punched back: only the block that
    // differs is marked, not the line ends, the '%' or the comments; the
    // picture goes to SERMIDA_SHOT_DIR when it is set.
    void compareShowsOnlyTheRunsThatDiffer() {
        AppScript script;
        auto frame = MakeFrame();
        QVERIFY(frame->OpenDocumentFile(
            Write("stored.nc", "%\r\nO1000\r\nG0 X0 ;rapid\r\nG1 X10 F100\r\nG1 Y10\r\n"
                               "G1 X0\r\nM30\r\n%\r\n")));
        CSermidaView* view = frame->ActiveView();
        script.openAnswer = Write("back.nc", "O1000\nG0 X0\nG1 X10 F100\nG1 Y12.5\nG1 X0\nM30\n");
        QString summary;
        QStringList marked;
        script.modal.push_back([&](QDialog& dialog) {
            auto& dlg = static_cast<CCompareDlg&>(dialog);
            summary = dlg.Summary()->text();
            QTableWidget* t = dlg.Table();
            for (int r = 0; r < t->rowCount(); ++r)
                if (t->item(r, 1) && t->item(r, 1)->background() != QBrush())
                    marked << t->item(r, 0)->text() + ":" + t->item(r, 1)->text() + "|" +
                                  t->item(r, 2)->text() + ":" + t->item(r, 3)->text();
            if (const QByteArray dir = qgetenv("SERMIDA_SHOT_DIR"); !dir.isEmpty()) {
                dlg.show();
                QTest::qWait(100);
                dlg.grab().save(QString::fromLocal8Bit(dir) + "/compare.png");
            }
            return int(QDialog::Rejected);
        });
        QVERIFY(view->ExecuteCommand(ID_COMPARE_PROGRAM));
        QVERIFY2(summary.contains(QStringLiteral("有 1 处不同")), qPrintable(summary));
        QCOMPARE(marked, QStringList{"5:G1 Y10|4:G1 Y12.5"});

        script.openAnswer = home.filePath("missing.nc");
        QVERIFY(view->ExecuteCommand(ID_COMPARE_PROGRAM));
        QVERIFY(!script.messages.empty());
        QVERIFY(script.messages.back().startsWith(QStringLiteral("无法读取")));
    }

    void saveFailureIsReportedAndTheDocumentStaysModified() {
        AppScript script;
        auto frame = MakeFrame();
        CSermidaDoc* doc = frame->OnFileNew();
        QVERIFY(doc);
        CSermidaView* view = frame->ActiveView();
        view->TypeCharacter("G");
        QVERIFY(doc->IsModified());
        script.saveAnswer = home.filePath("no-such-folder/x.nc");
        QVERIFY(!frame->SaveDocument(doc, false));
        QCOMPARE(script.messages.size(), size_t(1));
        QVERIFY(script.messages[0].startsWith(QStringLiteral("保存文件失败")));
        QVERIFY(script.messages[0].size() > QStringLiteral("保存文件失败").size() + 10);
        QVERIFY(doc->IsModified());
        QVERIFY(doc->PathName().isEmpty());

        // Closing asks; a save that fails keeps the window open.
        script.saveChoice = 1;
        QVERIFY(!frame->ActiveChild()->close());
        QCOMPARE(frame->MdiArea()->subWindowList().size(), 1);

        // A good save clears the flag and writes the bytes.
        script.saveAnswer = home.filePath("saved.nc");
        QVERIFY(frame->SaveDocument(doc, false));
        QVERIFY(!doc->IsModified());
        QFile saved(script.saveAnswer);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray("G"));
        QVERIFY(frame->RecentFiles().contains(doc->PathName()));
    }

    void openKeepsLineEndsAndNamesNewDocuments() {
        AppScript script;
        auto frame = MakeFrame();
        const QString path = Write("lf.nc", "N1\nN2\n");
        CSermidaDoc* doc = frame->OpenDocumentFile(path);
        QVERIFY(doc);
        QCOMPARE(doc->Buffer().CountLines(), 3);
        QCOMPARE(frame->ActiveChild()->windowTitle(), QStringLiteral("lf.nc"));
        // Opening it again comes back to its window.
        QCOMPARE(frame->OpenDocumentFile(path), doc);
        QCOMPARE(frame->MdiArea()->subWindowList().size(), 1);
        frame->ActiveView()->TypeCharacter("X");
        script.saveAnswer.clear();
        QVERIFY(frame->SaveDocument(doc, false));
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        QCOMPARE(f.readAll(), QByteArray("XN1\nN2\n"));

        // A file that cannot be read makes no window.
        QVERIFY(!frame->OpenDocumentFile(home.filePath("missing.nc")));
        QCOMPARE(script.messages.size(), size_t(1));
        QCOMPARE(frame->MdiArea()->subWindowList().size(), 1);

        CSermidaDoc* fresh = frame->OnFileNew();
        QVERIFY(fresh->Title().startsWith(QStringLiteral("SERMIDA")));
        QVERIFY(fresh->PathName().isEmpty());

        // Transmit with no document shows the Open dialog; cancelling ends it quietly.
        script.saveChoice = 0;
        frame->MdiArea()->closeAllSubWindows();
        QTRY_VERIFY(frame->MdiArea()->subWindowList().isEmpty());
        script.messages.clear();
        frame->TransferBar()->OnTransmit();
        QCOMPARE(script.openDialogs, 1);
        QVERIFY(script.messages.empty());
        QCOMPARE(script.modalRuns, 0);
    }

    void toolBarsComeBackWhereTheOperatorLeftThem() {
        {
            auto frame = MakeFrame();
            auto* bar = frame->findChild<QToolBar*>(QStringLiteral("transfer"));
            QVERIFY(bar);
            frame->addToolBar(Qt::LeftToolBarArea, bar);
            QVERIFY(frame->close());
        }
        auto frame = MakeFrame();
        auto* bar = frame->findChild<QToolBar*>(QStringLiteral("transfer"));
        QVERIFY(bar);
        QCOMPARE(frame->toolBarArea(bar), Qt::LeftToolBarArea);
        frame->addToolBar(Qt::TopToolBarArea, bar); // leave it as it was for the others
        QVERIFY(frame->close());
    }

    void arrangeIconsLinesMinimisedWindowsUpAtTheBottom() {
        auto frame = MakeFrame();
        frame->resize(900, 600);
        frame->show();
        for (int i = 0; i < 3; ++i)
            frame->OnFileNew();
        auto* area = frame->findChild<QMdiArea*>();
        const auto windows = area->subWindowList();
        QCOMPARE(windows.size(), 3);
        windows[0]->showMinimized();
        windows[2]->showMinimized();
        windows[2]->move(200, 100); // dragged somewhere
        QAction* arrange = nullptr;
        for (QAction* a : frame->findChildren<QAction*>())
            if (a->text() == QString::fromUtf8("排列图标(&A)"))
                arrange = a;
        QVERIFY(arrange);
        arrange->trigger();
        const int bottom = area->viewport()->height();
        QCOMPARE(windows[0]->geometry().bottom() + 1, bottom);
        QCOMPARE(windows[2]->geometry().bottom() + 1, bottom);
        QCOMPARE(windows[0]->x(), 0);
        QCOMPARE(windows[2]->x(), windows[0]->width());
        QVERIFY(!windows[1]->isMinimized());
        frame->close();
    }

    void droppedFilesOpen() {
        AppScript script;
        auto frame = MakeFrame();
        QMimeData data;
        data.setUrls(
            {QUrl::fromLocalFile(Write("d1.nc", "A")), QUrl::fromLocalFile(Write("d2.nc", "B"))});
        QWidget* area = frame->MdiArea()->viewport();
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(area, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(area, &drop);
        QVERIFY2(script.messages.empty(),
                 qPrintable(script.messages.empty() ? QString() : script.messages[0]));
        QCOMPARE(frame->MdiArea()->subWindowList().size(), 2);
    }

    void readOnlyToggleAndSecondWindowShareTheDocument() {
        AppScript script;
        auto frame = MakeFrame();
        CSermidaDoc* doc = frame->OnFileNew();
        CSermidaView* first = frame->ActiveView();
        first->ExecuteCommand(ID_EDIT_READ_ONLY);
        QVERIFY(doc->Buffer().IsWriteProtected());
        first->TypeCharacter("Z");
        QCOMPARE(doc->Buffer().LineSize(0), 0);
        first->ExecuteCommand(ID_EDIT_READ_ONLY);
        QVERIFY(!doc->Buffer().IsWriteProtected());

        CChildFrame* second = frame->OnWindowNew();
        QVERIFY(second);
        QCOMPARE(second->View()->GetDocument(), doc);
        QCOMPARE(doc->Views().size(), size_t(2));
        second->View()->TypeCharacter("Q");
        QCOMPARE(std::string(doc->Buffer().LineView(0)), std::string("Q"));
        // Closing one of two windows does not ask about the changes.
        QVERIFY(second->close());
        QCOMPARE(script.messages.size(), size_t(0));
        QTRY_COMPARE(doc->Views().size(), size_t(1));
    }

    void menusFollowWhetherADocumentIsOpen() {
        AppScript script;
        auto frame = MakeFrame();
        // A recent file, so that the list has its place in the File menus.
        QVERIFY(frame->OpenDocumentFile(Write("menus.nc", "N1")));
        const QStringList file = {"新建(&N)\tCtrl+N", "打开(&O)...\tCtrl+O", "从程序库打开(&L)..."};
        const QStringList fileEnd = {"打印设置(&R)...", "-", "<recent files>", "-", "退出(&X)"};
        const QStringList view = QStringList{"工具栏(&T)", "状态栏(&S)", "-", "行号"} +
                                 QStringList{"-", "GBK 编码", "UTF-8 编码"};
        const QStringList help = {"帮助\tF1", "关于 Sermida(&A)..."};
        const QList<QStringList> documentMenus = {
            QStringList{"文件(&F)"} + file +
                QStringList{"关闭(&C)", "保存(&S)\tCtrl+S", "另存为(&A)...", "-",
                            "打印(&P)...\tCtrl+P", "打印预览(&V)"} +
                fileEnd,
            {"编辑(&E)", "复制(&C)\tCtrl+C", "剪切(&T)\tCtrl+X", "粘贴(&P)\tCtrl+V",
             "删除(&D)\tDel", "选定所有(&L)\tCtrl+A", "-",
             // The view's own texts while there is nothing to undo or redo.
             "撤消\tCtrl+Z", "重复\tCtrl+Y", "-", "查找(&F)...\tCtrl+F", "查找下一个(&N)\tF3",
             "查找前一个(&V)\tShift+F3", "替换(&E)...\tCtrl+H", "转到行(&G)...\tCtrl+G", "-",
             "文档只读"},
            {"通信设置(&S)", "设置(&T)", "机床配置(&M)...", "车间机床状态(&W)..."},
            QStringList{"查看(&V)"} + view,
            {"窗口(&W)", "新建窗口(&N)", "层叠(&C)", "平铺(&T)", "排列图标(&A)"},
            QStringList{"帮助(&H)"} + help,
        };
        QCOMPARE(Menus(frame->menuBar()), documentMenus);

        script.saveChoice = 0;
        frame->MdiArea()->closeAllSubWindows();
        QTRY_COMPARE(
            Menus(frame->menuBar()),
            (QList<QStringList>{QStringList{"文件(&F)"} + file + QStringList{"-"} + fileEnd,
                                QStringList{"查看(&V)"} + view, QStringList{"帮助(&H)"} + help}));

        QCOMPARE(frame->Action(ID_FILE_NEW)->toolTip(), QStringLiteral("新建"));
        QCOMPARE(frame->Action(ID_FILE_NEW)->statusTip(), QStringLiteral("建立新文档"));
        // The bookmark buttons say where they jump.
        QCOMPARE(frame->Action(ID_NEXT_PLAIN_MARK)->toolTip(), QStringLiteral("下一书签"));
        QCOMPARE(frame->Action(ID_NEXT_PLAIN_MARK)->statusTip(), QStringLiteral("跳转到下一书签"));
        QCOMPARE(frame->Action(ID_PREV_PLAIN_MARK)->toolTip(), QStringLiteral("上一书签"));
        QCOMPARE(frame->Action(ID_PREV_PLAIN_MARK)->statusTip(), QStringLiteral("跳转到上一书签"));
        QCOMPARE(frame->Action(ID_TOGGLE_PLAIN_MARK)->toolTip(), QStringLiteral("设置书签"));
        QCOMPARE(frame->Action(ID_CLEAR_PLAIN_MARKS)->toolTip(), QStringLiteral("清除所有书签"));
        QVERIFY(QFile::exists(frame->HelpFilePath()));
    }

    // The main window names the active document, as its window does.
    void frameTitleNamesTheActiveDocument() {
        AppScript script;
        auto frame = MakeFrame();
        const QString app = QStringLiteral("泽朗串口通信");
        QCOMPARE(frame->windowTitle(), app);
        CSermidaDoc* fresh = frame->OnFileNew();
        QCOMPARE(frame->windowTitle(), app + " - " + fresh->Title());
        QMdiSubWindow* freshWindow = frame->ActiveChild();
        CSermidaDoc* opened = frame->OpenDocumentFile(Write("title.nc", "N1"));
        QVERIFY(opened);
        QCOMPARE(frame->windowTitle(), app + " - title.nc");
        // The modified mark is the document window's own.
        frame->ActiveView()->TypeCharacter("X");
        QCOMPARE(frame->windowTitle(), app + " - title.nc");

        frame->MdiArea()->setActiveSubWindow(freshWindow);
        QCOMPARE(frame->windowTitle(), app + " - " + fresh->Title());
        // Save As renames the active document, and the title with it...
        script.saveAnswer = home.filePath("renamed.nc");
        QVERIFY(frame->SaveDocument(fresh, true));
        QCOMPARE(frame->windowTitle(), app + " - renamed.nc");
        // ...but not for a document in the background.
        script.saveAnswer = home.filePath("title2.nc");
        QVERIFY(frame->SaveDocument(opened, true));
        QCOMPARE(frame->windowTitle(), app + " - renamed.nc");
        // A maximised window has no title bar: its own title goes in brackets
        // after the program's name, as on Windows.
        freshWindow->showMaximized();
        QCOMPARE(frame->windowTitle(), app + " - [renamed.nc]");
        script.saveAnswer = home.filePath("renamed2.nc");
        QVERIFY(frame->SaveDocument(fresh, true));
        QCOMPARE(frame->windowTitle(), app + " - [renamed2.nc]");
        freshWindow->showNormal();
        QCOMPARE(frame->windowTitle(), app + " - renamed2.nc");

        script.saveChoice = 0;
        QVERIFY(freshWindow->close());
        QTRY_COMPARE(frame->windowTitle(), app + " - title2.nc");
        QVERIFY(frame->ActiveChild()->close());
        QTRY_VERIFY(frame->MdiArea()->subWindowList().isEmpty());
        QTRY_COMPARE(frame->windowTitle(), app);
    }

    void settingsDialogProposesFromViewThenFileThenDefaults() {
        AppScript script;
        auto frame = MakeFrame();
        frame->OnFileNew();
        CSermidaView* view = frame->ActiveView();
        QFile::remove(home.filePath("Sermida.ini"));
        {
            CCommSettingsDlg dlg(view);
            QCOMPARE(dlg.PortBox()->currentIndex(), 0);
            QCOMPARE(dlg.BaudBox()->currentText(), QStringLiteral("38400"));
            QCOMPARE(dlg.DataBitsBox()->currentText(), QStringLiteral("8"));
            QCOMPARE(dlg.StopBitsBox()->currentText(), QStringLiteral("1"));
            QCOMPARE(dlg.ParityBox()->currentText(), QStringLiteral("无"));
            QVERIFY(dlg.DirectRadio()->isChecked());
            QVERIFY(!dlg.PhoneEdit()->isEnabled());
            // Each COM name shows the device it stands for.
            QVERIFY(dlg.PortBox()->itemText(0).startsWith(QStringLiteral("COM1")));
            QVERIFY(dlg.PortBox()->itemText(0).contains(QStringLiteral("/")));
            dlg.ModemRadio()->click();
            QVERIFY(dlg.PhoneEdit()->isEnabled());
        }
        Write("Sermida.ini",
              QByteArray("COM3 8800 7 2 ") + QByteArray::fromStdString(Utf8ToGbk("偶校验")));
        {
            CCommSettingsDlg dlg(view);
            QCOMPARE(dlg.PortBox()->currentIndex(), 2);
            QCOMPARE(dlg.BaudBox()->currentIndex(), -1); // 8800 is not in the list
            QCOMPARE(dlg.DataBitsBox()->currentText(), QStringLiteral("7"));
            QCOMPARE(dlg.StopBitsBox()->currentText(), QStringLiteral("2"));
            QCOMPARE(dlg.ParityBox()->currentText(), QStringLiteral("偶校验"));
        }
        // A view that connected at COM4, 19200 before.
        view->Connection().Port().Configure(PortSettings{4, 19200, 8, 1, 'N'});
        {
            CCommSettingsDlg dlg(view);
            QCOMPARE(dlg.PortBox()->currentIndex(), 3);
            QCOMPARE(dlg.BaudBox()->currentText(), QStringLiteral("19200"));
        }
    }

    void modemDialRefusesAWrongLineSetUpAndLeavesTheDialogOpen() {
        PeerLine peer(5);
        AppScript script;
        auto frame = MakeFrame();
        frame->OnFileNew();
        CSermidaView* view = frame->ActiveView();
        CCommSettingsDlg dlg(view);
        dlg.PortBox()->setCurrentIndex(4);
        dlg.DataBitsBox()->setCurrentIndex(2); // 7 data bits
        dlg.ModemRadio()->click();
        dlg.PhoneEdit()->setText(QStringLiteral("123"));
        dlg.accept();
        QCOMPARE(script.messages.size(), size_t(1));
        QCOMPARE(script.messages[0], QStringLiteral("请确认com端口的工作方式为:810"));
        QVERIFY(!view->IsConnected());
        QVERIFY(view->Connection().Port().IsOpen()); // open until the next OK or Cancel
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        dlg.reject();
        QVERIFY(!view->Connection().Port().IsOpen());
    }

    void modemAnswerWaitCountsAndEscCancels() {
        PeerLine peer(5);
        AppScript script;
        auto frame = MakeFrame();
        frame->OnFileNew();
        CSermidaView* view = frame->ActiveView();
        CCommSettingsDlg dlg(view);
        dlg.show();
        dlg.PortBox()->setCurrentIndex(4);
        dlg.DataBitsBox()->setCurrentText(QStringLiteral("8"));
        dlg.StopBitsBox()->setCurrentText(QStringLiteral("1"));
        dlg.ParityBox()->setCurrentIndex(0);
        dlg.ModemRadio()->click();
        dlg.PhoneEdit()->setText(QStringLiteral("5551234"));
        // The modem answers the reset and echoes the dial command as each
        // arrives, however slowly a loaded machine gets to them.
        bool reset = false, dialled = false;
        QTimer modem;
        QObject::connect(&modem, &QTimer::timeout, [&] {
            peer.Drain();
            if (!reset && peer.received.find("atz\r\n") != std::string::npos) {
                peer.Write("atz\r\nOK\r\n");
                reset = true;
            }
            if (!dialled && peer.received.find("attd5551234\r\n") != std::string::npos) {
                peer.Write("attd5551234\r\n");
                dialled = true;
            }
        });
        modem.start(20);
        dlg.accept();
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.OkButton()->isEnabled(), 8000);
        QVERIFY(dlg.Dialing());
        QTRY_VERIFY_WITH_TIMEOUT(dlg.StatusLine()->text().contains(QStringLiteral("1/120")), 3000);
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(dlg.StatusLine()->text().endsWith(QStringLiteral("[取消连接]")));
        QVERIFY(dlg.OkButton()->isEnabled());
        QVERIFY(dlg.isVisible()); // Esc ended the dial, not the dialog
        QVERIFY(!view->IsConnected());
        peer.Drain();
        QVERIFY(peer.received.find("atz\r\n") == 0);
        QVERIFY(peer.received.find("attd5551234\r\n") != std::string::npos);
        dlg.reject();
    }

    void hoverButtonColoursAndCheckMode() {
        QCOMPARE(CHoverButton::OffsetOf(QColor(240, 240, 240), 30), QColor(255, 255, 255));
        QCOMPARE(CHoverButton::OffsetOf(QColor(240, 240, 240), -30), QColor(210, 210, 210));
        // The hue stays: no component is clipped.
        QCOMPARE(CHoverButton::OffsetOf(QColor(250, 100, 0), 30), QColor(255, 105, 5));
        CHoverButton b;
        QCOMPARE(b.SetColor(6, Qt::red), int(CHoverButton::INVALID_INDEX));
        QCOMPARE(b.OffsetColor(0, 300), int(CHoverButton::BAD_OFFSET));
        QCOMPARE(b.SetPressedStyle(2), int(CHoverButton::BAD_PRESSED_STYLE));
        QCOMPARE(b.OffsetColor(0, 10), int(CHoverButton::OK));
        b.SetCheckBoxMode(true);
        b.click();
        QVERIFY(b.GetCheck());
        b.click();
        QVERIFY(!b.GetCheck());
        // A non-flat button never takes the hovered look.
        b.SetFlat(false);
        b.resize(40, 30);
        b.show();
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(&b, &enter);
        QVERIFY(!b.IsHovered());
    }
};

QTEST_MAIN(AppDocumentTest)
#include "AppDocumentTest.moc"
