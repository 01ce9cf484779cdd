#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTest>

#include "EditTestView.h"
#include "common/Gbk.h"
#include "common/StringTable.h"
#include "editor/view/EditCommands.h"

namespace {

const std::string kZhong = "\xD6\xD0"; // 中
const std::string kWen = "\xCE\xC4";   // 文

} // namespace

class EditViewTest : public QObject, private EditFixture {
    Q_OBJECT

private:
    void Type(const char* text) { QTest::keyClicks(view.get(), text); }
    QPoint Cell(TextPos pos) {
        return view->TextPosToPoint(pos) + QPoint(1, view->LineHeight() / 2);
    }

private slots:
    void cleanup() {
        view.reset();
        buffer.ReleaseAll();
    }

    void overwriteTypingReplacesOneCharacter() {
        Open({"abc", kZhong + "d"});
        Key(Qt::Key_Insert);
        QVERIFY(view->Overwrite());
        QVERIFY(view->IsCommandChecked(ID_EDIT_SWITCH_OVRMODE));
        QCOMPARE(view->PaneText(ID_INDICATOR_OVERWRITE), QString("改写"));
        Type("x");
        QCOMPARE(Text(), "xbc|" + kZhong + "d");
        Key(Qt::Key_End);
        Type("y");
        QCOMPARE(Text(), "xbcy|" + kZhong + "d");
        // Over a double-byte character both of its bytes go, never half of it.
        PlaceCaretAt(*view, {1, 0});
        Type("z");
        QCOMPARE(Text(), std::string("xbcy|zd"));
        Key(Qt::Key_Insert);
        QVERIFY(!view->Overwrite());
        QVERIFY(view->PaneText(ID_INDICATOR_OVERWRITE).isEmpty());
        Type("q");
        QCOMPARE(Text(), std::string("xbcy|zqd"));
    }

    // Typed Chinese goes in as the document's own bytes, and overwrite and
    // Backspace take a UTF-8 character whole.
    void typingFollowsTheDocumentsEncoding() {
        const std::string zhongUtf8 = "\xE4\xB8\xAD";
        Open({"G1", "G2"});
        buffer.SetEncoding(TextEncoding::Utf8);
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("中"));
        Key(Qt::Key_End);
        QApplication::sendEvent(view.get(), &commit);
        QCOMPARE(Text(), "G1" + zhongUtf8 + "|G2");
        Key(Qt::Key_Left);
        QCOMPARE(view->Cursor(), (TextPos{0, 2}));
        Key(Qt::Key_Insert);
        Type("x"); // overwrites all three bytes
        QCOMPARE(Text(), std::string("G1x|G2"));
        Key(Qt::Key_Insert);
        QApplication::sendEvent(view.get(), &commit);
        Key(Qt::Key_Backspace);
        QCOMPARE(Text(), std::string("G1x|G2"));
        PlaceCaretAt(*view, {1, 0});
        buffer.SetEncoding(TextEncoding::Gbk);
        QApplication::sendEvent(view.get(), &commit);
        QCOMPARE(Text(), "G1x|" + kZhong + "G2");
    }

    void enterInOverwriteModeMovesExceptOnTheLastLine() {
        Open({"abc", "def"});
        Key(Qt::Key_Insert);
        PlaceCaretAt(*view, {0, 1});
        Key(Qt::Key_Return);
        QCOMPARE(Text(), std::string("abc|def"));
        QCOMPARE(view->Cursor(), (TextPos{1, 0}));
        PlaceCaretAt(*view, {1, 1});
        Key(Qt::Key_Return);
        QCOMPARE(Text(), std::string("abc|d|ef"));
        QCOMPARE(view->Cursor(), (TextPos{2, 0}));
    }

    void enterIndentsAndCtrlZUndoesIndentThenBreak() {
        Open({"\t  G1 X5"});
        Key(Qt::Key_End);
        Key(Qt::Key_Return);
        QCOMPARE(Text(), std::string("\t  G1 X5|\t  "));
        QCOMPARE(view->Cursor(), (TextPos{1, 3}));
        QCOMPARE(view->UndoMenuText(), QString("撤消 自动缩进\tCtrl+Z"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("\t  G1 X5|"));
        QCOMPARE(view->Cursor(), (TextPos{1, 0}));
        QCOMPARE(view->UndoMenuText(), QString("撤消 输入\tCtrl+Z"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("\t  G1 X5"));
        QCOMPARE(view->UndoMenuText(), QString("撤消\tCtrl+Z"));
        QVERIFY(!view->IsCommandEnabled(ID_EDIT_UNDO));
        QCOMPARE(view->RedoMenuText(), QString("重复 输入\tCtrl+Y"));
        Key(Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("\t  G1 X5|"));
    }

    void typingGroupsBreakAtSpaces() {
        Open({""});
        Type("ab cd");
        QCOMPARE(Text(), std::string("ab cd"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("ab"));
        Key(Qt::Key_Z, Qt::AltModifier); // a chord, not text
        QCOMPARE(Text(), std::string("ab"));
        Key(Qt::Key_Backspace, Qt::AltModifier);
        QCOMPARE(Text(), std::string(""));
        QVERIFY(!view->HasSelection());
        // Typing after an undo drops the redo history.
        Type("x");
        QVERIFY(!buffer.HasRedo());
    }

    void backspaceAndDeleteNeverSplitACharacter() {
        Open({"ab", "cd", "x" + kZhong + kWen});
        PlaceCaretAt(*view, {1, 0});
        Key(Qt::Key_Backspace);
        QCOMPARE(Text(), "abcd|x" + kZhong + kWen);
        QCOMPARE(view->Cursor(), (TextPos{0, 2}));
        PlaceCaretAt(*view, {0, 0});
        const int entries = buffer.UndoEntryCount();
        Key(Qt::Key_Backspace);
        QCOMPARE(buffer.UndoEntryCount(), entries);
        PlaceCaretAt(*view, {1, 3});
        Key(Qt::Key_Backspace);
        QCOMPARE(Text(), "abcd|x" + kWen);
        PlaceCaretAt(*view, {1, 1});
        Key(Qt::Key_Delete);
        QCOMPARE(Text(), std::string("abcd|x"));
        // Delete at the end of the last line: nothing, not even an undo entry.
        Key(Qt::Key_End);
        const int before = buffer.UndoEntryCount();
        Key(Qt::Key_Delete);
        QCOMPARE(Text(), std::string("abcd|x"));
        QCOMPARE(buffer.UndoEntryCount(), before);
        // Delete at a line end joins the next line; Ctrl+Backspace does nothing.
        PlaceCaretAt(*view, {0, 4});
        Key(Qt::Key_Delete);
        QCOMPARE(Text(), std::string("abcdx"));
        Key(Qt::Key_Backspace, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("abcdx"));
        // Backspace over a selection deletes it and records a delete.
        SelectText(*view, {0, 1}, {0, 3});
        Key(Qt::Key_Backspace);
        QCOMPARE(Text(), std::string("adx"));
        QCOMPARE(view->UndoMenuText(), QString("撤消 删除\tCtrl+Z"));
        QCOMPARE(buffer.UndoEntryAt(buffer.UndoPosition() - 1).action, int(ACTION_DELETE));
    }

    void utf8DocumentTypesAndErasesWholeCharacters() {
        const std::string zhong = "\xe4\xb8\xad", wen = "\xe6\x96\x87", smile = "\xf0\x9f\x98\x80";
        Open({"a" + zhong + smile + "b" + zhong});
        buffer.SetEncoding(TextEncoding::Utf8);
        // Typed and composed text goes in as UTF-8, the document's own bytes.
        PlaceCaretAt(*view, {0, 1});
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString("文"));
        QApplication::sendEvent(view.get(), &press);
        QCOMPARE(Text(), "a" + wen + zhong + smile + "b" + zhong);
        QInputMethodEvent composed;
        composed.setCommitString(QString("文"));
        QApplication::sendEvent(view.get(), &composed);
        QCOMPARE(Text(), "a" + wen + wen + zhong + smile + "b" + zhong);
        QCOMPARE(view->Cursor(), (TextPos{0, 7}));
        // Delete and Backspace take whole characters of three and four bytes.
        Key(Qt::Key_Delete);
        QCOMPARE(Text(), "a" + wen + wen + smile + "b" + zhong);
        Key(Qt::Key_Backspace);
        Key(Qt::Key_Backspace);
        QCOMPARE(Text(), "a" + smile + "b" + zhong);
        Key(Qt::Key_Delete);
        QCOMPARE(Text(), "ab" + zhong);
        // Overwrite replaces the whole character too.
        Key(Qt::Key_Insert);
        PlaceCaretAt(*view, {0, 2});
        Type("x");
        QCOMPARE(Text(), std::string("abx"));
        // Tab in overwrite mode moves on, never into a character.
        FillBuffer(buffer, {"abc" + zhong});
        buffer.SetEncoding(TextEncoding::Utf8);
        if (!view->Overwrite())
            Key(Qt::Key_Insert); // a new text starts in insert mode
        QVERIFY(view->Overwrite());
        PlaceCaretAt(*view, {0, 0});
        Key(Qt::Key_Tab);
        QCOMPARE(view->Cursor(), (TextPos{0, 6}));
        QCOMPARE(Text(), "abc" + zhong);
    }

    void tabIndentsSelectedLinesButNotOneEndingAtByteZero() {
        Open({"l0", "l1", "l2", "l3", "l4"});
        SelectText(*view, {1, 2}, {4, 0});
        Key(Qt::Key_Tab);
        QCOMPARE(Text(), std::string("l0|\tl1|\tl2|\tl3|l4"));
        QCOMPARE(view->SelStart(), (TextPos{1, 0}));
        QCOMPARE(view->SelEnd(), (TextPos{4, 0}));
        QCOMPARE(view->UndoMenuText(), QString("撤消 缩进\tCtrl+Z"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("l0|l1|l2|l3|l4"));
        // Without a multi-line selection Tab types a tab byte.
        PlaceCaretAt(*view, {0, 1});
        Key(Qt::Key_Tab);
        QCOMPARE(Text(), std::string("l\t0|l1|l2|l3|l4"));
        // In overwrite mode it only moves to the next tab stop.
        Key(Qt::Key_Insert);
        PlaceCaretAt(*view, {1, 0});
        Key(Qt::Key_Tab);
        QCOMPARE(view->Cursor(), (TextPos{1, 2}));
        QCOMPARE(Text(), std::string("l\t0|l1|l2|l3|l4"));
    }

    void shiftTabRemovesUpToATabWidthOfIndent() {
        Open({"      a", "  \tb", "c", "\t\td"});
        SelectText(*view, {0, 0}, {3, 0});
        Key(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(Text(), std::string("  a|b|c|\t\td"));
        QCOMPARE(view->SelStart(), (TextPos{0, 0}));
        QCOMPARE(view->SelEnd(), (TextPos{3, 0}));
        SelectText(*view, {2, 0}, {3, 1});
        Key(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(Text(), std::string("  a|b|c|\td"));
        // Without a multi-line selection the text never changes; the cursor
        // goes back to the previous tab stop.
        PlaceCaretAt(*view, {3, 2});
        Key(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(view->Cursor(), (TextPos{3, 1}));
        Key(Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(view->Cursor(), (TextPos{3, 0}));
        QCOMPARE(Text(), std::string("  a|b|c|\td"));
    }

    void writeProtectedDocumentIgnoresEverything() {
        Open({"  abc", "def"});
        QApplication::clipboard()->setText("paste");
        buffer.SetWriteProtected(true);
        QCOMPARE(view->PaneText(ID_INDICATOR_READONLY), QString(" 文档只读 "));
        const int entries = buffer.UndoEntryCount();
        SelectText(*view, {0, 0}, {1, 2});
        Type("x");
        Key(Qt::Key_Return);
        Key(Qt::Key_Tab);
        Key(Qt::Key_Backtab, Qt::ShiftModifier);
        Key(Qt::Key_Delete);
        Key(Qt::Key_Backspace);
        Key(Qt::Key_X, Qt::ControlModifier);
        Key(Qt::Key_V, Qt::ControlModifier);
        Key(Qt::Key_Z, Qt::ControlModifier);
        view->AppendReceivedText("G1\r\n");
        QVERIFY(!view->ReplaceSelectionWith("y"));
        // Text dragged in from another program is refused, too.
        QMimeData dragged;
        dragged.setText("dropped");
        QDragMoveEvent over(Cell({1, 1}), Qt::CopyAction | Qt::MoveAction, &dragged, Qt::LeftButton,
                            Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &over);
        QVERIFY(!over.isAccepted());
        QDropEvent drop(QPointF(Cell({1, 1})), Qt::CopyAction | Qt::MoveAction, &dragged,
                        Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &drop);
        QVERIFY(!drop.isAccepted());
        QCOMPARE(Text(), std::string("  abc|def"));
        QCOMPARE(buffer.UndoEntryCount(), entries);
        QVERIFY(view->messages.empty());
        QCOMPARE(QApplication::clipboard()->text(), QString("paste"));
        buffer.SetWriteProtected(false);
        QVERIFY(view->PaneText(ID_INDICATOR_READONLY).isEmpty());
    }

    void clipboardCarriesUnicodeAndCrLfLines() {
        Open({"ab" + kZhong, "cd"});
        SelectText(*view, {0, 1}, {1, 1});
        Key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString("b中\r\nc"));
        Key(Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("ad"));
        QCOMPARE(view->UndoMenuText(), QString("撤消 剪切\tCtrl+Z"));
        // Text from other programs ends lines with LF alone.
        QApplication::clipboard()->setText("文\nX");
        QVERIFY(view->IsCommandEnabled(ID_EDIT_PASTE));
        Key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Text(), "a" + kWen + "|Xd");
        QCOMPARE(view->Cursor(), (TextPos{1, 1}));
        // Paste over a selection is one undo step named by the erasure.
        SelectText(*view, {0, 0}, {0, 1});
        Key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Text(), kWen + "|X" + kWen + "|Xd");
        QCOMPARE(view->UndoMenuText(), QString("撤消 删除选定部分\tCtrl+Z"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), "a" + kWen + "|Xd");
        // An empty clipboard still erases the selection.
        QApplication::clipboard()->clear();
        SelectText(*view, {1, 0}, {1, 1});
        Key(Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Text(), "a" + kWen + "|d");
    }

    void receivedTextIsAppendedAsOneGroupWithoutIndentation() {
        Open({"  G1 X5"});
        SelectText(*view, {0, 0}, {0, 2});
        view->AppendReceivedText("\r\n");
        view->AppendReceivedText("G2\r\nG3");
        // No automatic indentation: only the bytes the controller sent.
        QCOMPARE(Text(), std::string("  G1 X5|G2|G3"));
        QCOMPARE(view->Cursor(), (TextPos{2, 2}));
        QCOMPARE(view->SelStart(), (TextPos{0, 0}));
        QCOMPARE(view->SelEnd(), (TextPos{0, 2}));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("  G1 X5|"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("  G1 X5"));
    }

    void dragMoveWithinTheViewIsOneUndoStep() {
        Open({"hello world"});
        SelectText(*view, {0, 0}, {0, 5});
        view->dropAt = Cell({0, 11}) + QPoint(view->CharWidth(), 0);
        QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, Cell({0, 2}));
        QTest::mouseMove(view->viewport(), Cell({0, 3}));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, Cell({0, 3}));
        QCOMPARE(Text(), std::string(" worldhello"));
        QCOMPARE(view->SelStart(), (TextPos{0, 6}));
        QCOMPARE(view->SelEnd(), (TextPos{0, 11}));
        QCOMPARE(view->UndoMenuText(), QString("撤消 拖拽\tCtrl+Z"));
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Text(), std::string("hello world"));
        QVERIFY(!buffer.HasUndo());
    }

    void dragCopyAndDropOntoItself() {
        Open({"hello world"});
        // Copy with Ctrl: the source stays.
        SelectText(*view, {0, 6}, {0, 11});
        view->dropAt = Cell({0, 0});
        view->dropModifiers = Qt::ControlModifier;
        QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, Cell({0, 7}));
        QTest::mouseMove(view->viewport(), Cell({0, 8}));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, Cell({0, 8}));
        QCOMPARE(Text(), std::string("worldhello world"));
        // Dropped onto the dragged text: cancelled, nothing changes.
        SelectText(*view, {0, 0}, {0, 5});
        view->dropAt = Cell({0, 2});
        view->dropModifiers = Qt::NoModifier;
        QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, Cell({0, 1}));
        QTest::mouseMove(view->viewport(), Cell({0, 2}));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, Cell({0, 2}));
        QCOMPARE(Text(), std::string("worldhello world"));
        QVERIFY(!view->DropCaretShown());
    }
};

QTEST_MAIN(EditViewTest)
#include "EditViewTest.moc"
