// Ctrl+G: the Go To dialog takes the caret to a line number or a block number.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "EditTestView.h"
#include "editor/view/CGoToDialog.h"

class GoToLineTest : public QObject, private EditFixture {
    Q_OBJECT

    // N10 .. N3000, one a line; block N1550 is indented.
    static std::vector<std::string> Program() {
        std::vector<std::string> lines{"%", "O1000"};
        for (int n = 10; n <= 3000; n += 10)
            lines.push_back((n == 1550 ? "  N" : "N") + std::to_string(n) + " G01 X" +
                            std::to_string(n) + ". F100");
        lines.push_back("M30");
        return lines;
    }
    // Ctrl+G; each entry is typed in turn and OK clicked, as long as the
    // dialog stays open.
    void GoTo(const QStringList& entries) {
        view->onModal = [&](QDialog& d) {
            auto& dlg = static_cast<CGoToDialog&>(d);
            for (const QString& entry : entries) {
                if (dlg.result() == QDialog::Accepted)
                    break;
                dlg.entryEdit->setText(entry);
                QTest::mouseClick(dlg.okButton, Qt::LeftButton);
            }
        };
        Key(Qt::Key_G, Qt::ControlModifier);
        view->onModal = nullptr;
    }
    bool LineInSight(int line) {
        return line >= view->TopLine() && line < view->TopLine() + view->VisibleLines();
    }
    void ExpectCaretAtStartOf(int line) {
        QCOMPARE(view->Cursor(), TextPos(line, 0));
        QVERIFY(!view->HasSelection());
        QCOMPARE(view->SelStart(), TextPos(line, 0));
        QVERIFY2(LineInSight(line), qPrintable(QString::number(view->TopLine())));
    }

private slots:
    void cleanup() {
        view.reset();
        buffer.ReleaseAll();
    }

    void dialogAsksForALineOrABlockNumber() {
        Open(Program());
        PlaceCaretAt(*view, {4, 3});
        QString caption, label, ok, cancel, entry;
        view->onModal = [&](QDialog& d) {
            auto& dlg = static_cast<CGoToDialog&>(d);
            caption = dlg.windowTitle();
            label = dlg.findChild<QLabel*>()->text();
            ok = dlg.okButton->text();
            cancel = dlg.cancelButton->text();
            entry = dlg.entryEdit->selectedText();
            QTest::mouseClick(dlg.cancelButton, Qt::LeftButton);
        };
        Key(Qt::Key_G, Qt::ControlModifier);
        QCOMPARE(caption, QStringLiteral("转到"));
        QCOMPARE(label, QStringLiteral("行号或程序段号 (如 120 或 N120)："));
        QCOMPARE(ok, QStringLiteral("确定"));
        QCOMPARE(cancel, QStringLiteral("取消"));
        // The caret's line, selected to be typed over.
        QCOMPARE(entry, QStringLiteral("5"));
        // Cancel leaves the caret alone.
        QCOMPARE(view->Cursor(), TextPos(4, 3));
        QVERIFY(view->messages.empty());
    }

    void goesToTheStartOfALineOrBlockAndShowsIt() {
        Open(Program());
        SelectText(*view, {2, 1}, {3, 4});
        // A block far down: the first line carrying N1550, however written,
        // at its very start though it is indented.
        GoTo({"N01550"});
        ExpectCaretAtStartOf(156);
        GoTo({"n20"});
        ExpectCaretAtStartOf(3);
        // Full-width, as a Chinese input method may type it.
        GoTo({QStringLiteral("Ｎ２５００")});
        ExpectCaretAtStartOf(251);

        // Line numbers count from 1; past the end is the last line.
        GoTo({"7"});
        ExpectCaretAtStartOf(6);
        GoTo({" 280 "});
        ExpectCaretAtStartOf(279);
        GoTo({"99999999999"});
        ExpectCaretAtStartOf(view->LineCount() - 1);
        GoTo({"1"});
        ExpectCaretAtStartOf(0);
        QCOMPARE(view->TopLine(), 0);
        QVERIFY(view->messages.empty());

        // Up and Down start from the new place.
        Key(Qt::Key_Down);
        QCOMPARE(view->Cursor(), TextPos(1, 0));
    }

    void aMissOrAnUnreadableEntryIsToldAndTheDialogStaysOpen() {
        Open(Program());
        PlaceCaretAt(*view, {10, 2});
        GoTo({"N15", "", "abc", "0", "N", "G100", "12"});
        QCOMPARE(view->messages, (std::vector<QString>{QStringLiteral("找不到程序段 N15。"),
                                                       QStringLiteral("请输入行号或程序段号。"),
                                                       QStringLiteral("请输入行号或程序段号。"),
                                                       QStringLiteral("请输入行号或程序段号。"),
                                                       QStringLiteral("请输入行号或程序段号。"),
                                                       QStringLiteral("请输入行号或程序段号。")}));
        // The last entry was good.
        ExpectCaretAtStartOf(11);

        // Given up after a miss: the caret stays.
        view->messages.clear();
        PlaceCaretAt(*view, {10, 2});
        GoTo({"N0001"});
        QCOMPARE(view->messages, std::vector<QString>{QStringLiteral("找不到程序段 N1。")});
        QCOMPARE(view->Cursor(), TextPos(10, 2));
    }
};

QTEST_MAIN(GoToLineTest)
#include "GoToLineTest.moc"
