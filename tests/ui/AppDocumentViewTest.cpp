// What a document window's view offers around the text: line numbers, the
// encoding its bytes are shown in, how the wheel scrolls it, and Go To from
// the Edit menu.
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWheelEvent>

#include "AppTestSupport.h"
#include "app/AppCommands.h"
#include "common/Gbk.h"
#include "editor/view/CGoToDialog.h"
#include "editor/view/EditorProfile.h"
#include "editor/view/ViewCommands.h"

class AppDocumentViewTest : public QObject {
    Q_OBJECT

    QTemporaryDir home;
    QString Write(const QString& name, const QByteArray& bytes) {
        return WriteTestFile(home, name, bytes);
    }
    // n numbered lines, each far wider than any window.
    static QByteArray WideProgram(int lines) {
        QByteArray text;
        for (int i = 1; i <= lines; ++i)
            text += "N" + QByteArray::number(i) + " " + QByteArray(300, 'X') + "\r\n";
        return text;
    }
    static void Wheel(CSermidaView* view, QPoint angle, Qt::KeyboardModifiers mods = {},
                      QPoint pixels = {}, Qt::ScrollPhase phase = Qt::NoScrollPhase) {
        const QPointF at(60, 40);
        QWheelEvent e(at, view->viewport()->mapToGlobal(at), pixels, angle, Qt::NoButton, mods,
                      phase, false);
        QCoreApplication::sendEvent(view->viewport(), &e);
    }

private slots:
    void initTestCase() { qputenv("SERMIDA_HOME", home.path().toLocal8Bit()); }

    void lineNumbersFollowTheViewMenuInEveryWindowAndAtTheNextStart() {
        AppScript script;
        OpenProfile()->remove(QStringLiteral("Editor/View"));
        const QString a = Write("a.nc", WideProgram(20));
        const QString b = Write("b.nc", WideProgram(5));
        auto frame = MakeFrame();
        QAction* item = frame->Action(ID_VIEW_LINE_NUMBERS);
        const auto shown = [&] {
            QList<bool> on;
            for (CSermidaView* v : frame->AllViews())
                on << v->LineNumbersShown();
            return on;
        };
        // Off at first: the classic look, text right after the mark margin.
        QVERIFY(!item->isChecked());
        QVERIFY(frame->OpenDocumentFile(a));
        QVERIFY(frame->OpenDocumentFile(b));
        QVERIFY(frame->OnWindowNew());
        QCOMPARE(shown(), (QList<bool>{false, false, false}));
        QCOMPARE(frame->ActiveView()->MarginWidth(), CTextView::kIconMarginWidth);

        item->trigger();
        QVERIFY(item->isChecked());
        QCOMPARE(shown(), (QList<bool>{true, true, true}));
        QVERIFY(frame->ActiveView()->MarginWidth() > CTextView::kIconMarginWidth);
        // A window opened later shows them too.
        QVERIFY(frame->OnFileNew());
        QCOMPARE(shown(), (QList<bool>{true, true, true, true}));

        // Remembered for the next start, where it works with no document open.
        script.saveChoice = 0;
        frame.reset();
        frame = MakeFrame();
        item = frame->Action(ID_VIEW_LINE_NUMBERS);
        QVERIFY(item->isChecked());
        QVERIFY(item->isEnabled());
        QVERIFY(frame->OpenDocumentFile(a));
        QCOMPARE(shown(), QList<bool>{true});
        item->trigger();
        QCOMPARE(shown(), QList<bool>{false});
        frame.reset();
        frame = MakeFrame();
        QVERIFY(!frame->Action(ID_VIEW_LINE_NUMBERS)->isChecked());
        QVERIFY(frame->OpenDocumentFile(b));
        QCOMPARE(shown(), QList<bool>{false});
        QVERIFY(script.messages.empty());
    }

    void encodingItemsSwitchTheActiveDocumentAndThePaneNamesIt() {
        AppScript script;
        const QByteArray gbkBytes =
            "N10 (" + QByteArray::fromStdString(Utf8ToGbk("中文注释")) + ")\r\nM30\r\n";
        const QByteArray utf8Bytes = QByteArray("N10 (中文注释)\r\nM30\r\n");
        const QString gbkPath = Write("gbk.nc", gbkBytes);
        auto frame = MakeFrame();
        QAction* gbk = frame->Action(ID_VIEW_ENCODING_GBK);
        QAction* utf8 = frame->Action(ID_VIEW_ENCODING_UTF8);
        QLabel* pane = frame->EncodingPane();
        const auto checked = [&] {
            return QStringList{gbk->isChecked() ? "GBK" : "", utf8->isChecked() ? "UTF-8" : ""};
        };
        // Nothing to switch or to name without a document.
        QVERIFY(!gbk->isEnabled());
        QVERIFY(!utf8->isEnabled());
        frame->UpdateStatus();
        QCOMPARE(pane->text(), QString());

        CSermidaDoc* g = frame->OpenDocumentFile(gbkPath);
        QVERIFY(g);
        QMdiSubWindow* gWindow = frame->ActiveChild();
        CSermidaDoc* u = frame->OpenDocumentFile(Write("utf8.nc", utf8Bytes));
        QVERIFY(u);
        QVERIFY(gbk->isEnabled());
        QVERIFY(utf8->isEnabled());
        QCOMPARE(checked(), (QStringList{"", "UTF-8"}));
        QTRY_COMPARE(pane->text(), QStringLiteral("UTF-8"));
        // The pane and the check follow the active document.
        frame->MdiArea()->setActiveSubWindow(gWindow);
        QCOMPARE(checked(), (QStringList{"GBK", ""}));
        QTRY_COMPARE(pane->text(), QStringLiteral("GBK"));

        // Switching shows the same bytes otherwise, in every window of that
        // document and in no other; nothing is changed, nothing to save.
        CChildFrame* second = frame->OnWindowNew();
        QVERIFY(second);
        const std::string firstLine(g->Buffer().LineView(0));
        utf8->trigger();
        QCOMPARE(g->Buffer().Encoding(), TextEncoding::Utf8);
        for (CSermidaView* v : g->Views())
            QCOMPARE(v->Encoding(), TextEncoding::Utf8);
        QCOMPARE(std::string(g->Buffer().LineView(0)), firstLine);
        QVERIFY(!g->IsModified());
        QCOMPARE(checked(), (QStringList{"", "UTF-8"}));
        QTRY_COMPARE(pane->text(), QStringLiteral("UTF-8"));
        // Saved as it is, the file keeps its bytes.
        QVERIFY(frame->SaveDocument(g, false));
        QFile saved(gbkPath);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), gbkBytes);
        gbk->trigger();
        QCOMPARE(g->Buffer().Encoding(), TextEncoding::Gbk);
        QCOMPARE(checked(), (QStringList{"GBK", ""}));
        QTRY_COMPARE(pane->text(), QStringLiteral("GBK"));
        QCOMPARE(u->Buffer().Encoding(), TextEncoding::Utf8);

        script.saveChoice = 0;
        frame->MdiArea()->closeAllSubWindows();
        QTRY_VERIFY(frame->MdiArea()->subWindowList().isEmpty());
        QTRY_COMPARE(pane->text(), QString());
        QVERIFY(!gbk->isEnabled());
        QVERIFY(script.messages.empty());
    }

    void wheelScrollsByLinesAndSidewaysByColumns() {
        AppScript script;
        auto frame = MakeFrame();
        QVERIFY(frame->OpenDocumentFile(Write("wide.nc", WideProgram(200))));
        CSermidaView* view = frame->ActiveView();
        QVERIFY(view);
        QCOMPARE(view->TopLine(), 0);
        QCOMPARE(view->FirstColumn(), 0);

        // Down and up by one line a message, however far the wheel turned.
        Wheel(view, {0, -120});
        Wheel(view, {0, -360});
        QCOMPARE(view->TopLine(), 2);
        QCOMPARE(view->FirstColumn(), 0);
        Wheel(view, {0, 120});
        QCOMPARE(view->TopLine(), 1);

        // A tilted wheel moves the text sideways, a column a message, and
        // leaves the lines where they are.
        Wheel(view, {-120, 0});
        Wheel(view, {-120, 0});
        QCOMPARE(view->FirstColumn(), 2);
        QCOMPARE(view->TopLine(), 1);
        QCOMPARE(view->horizontalScrollBar()->value(), 2);
        Wheel(view, {120, 0});
        QCOMPARE(view->FirstColumn(), 1);

        // Shift turns the ordinary wheel sideways.
        Wheel(view, {0, -120}, Qt::ShiftModifier);
        QCOMPARE(view->FirstColumn(), 2);
        Wheel(view, {0, 120}, Qt::ShiftModifier);
        Wheel(view, {0, 120}, Qt::ShiftModifier);
        QCOMPARE(view->FirstColumn(), 0);
        QCOMPARE(view->TopLine(), 1);
        // Not past the left edge.
        Wheel(view, {120, 0});
        QCOMPARE(view->FirstColumn(), 0);

        // A touchpad: its gesture starts and ends without rotation, and may
        // report pixels only.
        Wheel(view, {}, {}, {}, Qt::ScrollBegin);
        Wheel(view, {}, {}, {-25, 3}, Qt::ScrollUpdate);
        Wheel(view, {}, {}, {}, Qt::ScrollEnd);
        QCOMPARE(view->FirstColumn(), 1);
        QCOMPARE(view->TopLine(), 1);
        QVERIFY(script.messages.empty());
    }

    void goToFromTheEditMenuUsesTheProgramsDialogs() {
        AppScript script;
        auto frame = MakeFrame();
        QVERIFY(frame->OpenDocumentFile(Write("goto.nc", WideProgram(300))));
        CSermidaView* view = frame->ActiveView();
        QVERIFY(frame->Action(ID_EDIT_GOTO_LINE)->isEnabled());
        const auto enter = [&](const QString& entry) {
            script.modal.push_back([entry](QDialog& dialog) {
                auto& dlg = static_cast<CGoToDialog&>(dialog);
                dlg.entryEdit->setText(entry);
                dlg.okButton->click();
                if (dlg.result() != QDialog::Accepted)
                    dlg.reject();
                return dlg.result();
            });
        };
        enter("N250");
        frame->Action(ID_EDIT_GOTO_LINE)->trigger();
        QCOMPARE(view->Cursor(), TextPos(249, 0));
        QVERIFY(view->TopLine() <= 249 && 249 < view->TopLine() + view->VisibleLines());
        enter("N301");
        frame->Action(ID_EDIT_GOTO_LINE)->trigger();
        QCOMPARE(script.messages, std::vector<QString>{QStringLiteral("找不到程序段 N301。")});
        QCOMPARE(view->Cursor(), TextPos(249, 0));
        QCOMPARE(script.modalRuns, 2);
    }
};

QTEST_MAIN(AppDocumentViewTest)
#include "AppDocumentViewTest.moc"
