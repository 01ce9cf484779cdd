#include <QPainter>
#include <QTest>

#include "EditTestView.h"
#include "editor/view/MarginIcons.h"
#include "editor/view/ViewCommands.h"

class BookmarkTest : public QObject {
    Q_OBJECT

private:
    CTextBuffer buffer;
    std::unique_ptr<TestEditView> view;

    void Open(int lineCount) {
        std::vector<std::string> lines;
        for (int i = 0; i < lineCount; ++i)
            lines.push_back("N" + std::to_string(i) + " G1 X" + std::to_string(i));
        FillBuffer(buffer, lines);
        view = OpenEditView(buffer);
        QVERIFY(view);
        QTRY_VERIFY(view->hasFocus());
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(view.get(), key, mods);
    }
    // The margin icon cell drawn for a line, read back from the pixels.
    QImage MarginOf(int line) {
        view->ScrollIntoView({line, 0});
        QCoreApplication::processEvents();
        const QImage image =
            view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const int top = (line - view->TopLine()) * view->LineHeight();
        return image.copy(2, top + (view->LineHeight() - 16) / 2, 16, 16);
    }
    QImage IconCell(int cell) {
        // The icon drawn over the margin colour, as the painter does.
        QImage out(16, 16, QImage::Format_RGB32);
        out.fill(view->ColourOfIndex(COLOUR_MARGIN));
        if (cell < 0)
            return out;
        QPainter p(&out);
        MarginIcons icons;
        p.drawImage(0, 0, icons.Cell(cell));
        p.end();
        return out;
    }

private slots:
    void cleanup() {
        view.reset();
        buffer.ReleaseAll();
    }

    void numberedBookmarkMovesAndToggles() {
        Open(40);
        PlaceCaretAt(*view, {10, 2});
        Key(Qt::Key_3, Qt::ControlModifier);
        PlaceCaretAt(*view, {20, 1});
        Key(Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(buffer.LineMarkBits(10) & 0x8u, 0u);
        QCOMPARE(buffer.LineMarkBits(20) & 0x8u, 0x8u);
        SelectText(*view, {0, 0}, {1, 2});
        Key(Qt::Key_3, Qt::AltModifier);
        QCOMPARE(view->Cursor(), (TextPos{20, 0}));
        QVERIFY(!view->HasSelection());
        // Ctrl+3 on its line again removes it; Alt+3 then does nothing.
        Key(Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(buffer.FindLineWithMark(0x8), -1);
        PlaceCaretAt(*view, {5, 4});
        Key(Qt::Key_3, Qt::AltModifier);
        QCOMPARE(view->Cursor(), (TextPos{5, 4}));
    }

    void plainBookmarksWrapBothWays() {
        Open(40);
        QVERIFY(!view->IsCommandEnabled(ID_NEXT_PLAIN_MARK));
        PlaceCaretAt(*view, {5, 0});
        Key(Qt::Key_F2, Qt::ControlModifier);
        QVERIFY(view->IsCommandEnabled(ID_NEXT_PLAIN_MARK));
        // Alone on the cursor's line: found again after the wrap.
        Key(Qt::Key_F2);
        QCOMPARE(view->Cursor(), (TextPos{5, 0}));
        PlaceCaretAt(*view, {30, 3});
        Key(Qt::Key_F2, Qt::ControlModifier);
        Key(Qt::Key_F2);
        QCOMPARE(view->Cursor(), (TextPos{5, 0}));
        Key(Qt::Key_F2, Qt::ShiftModifier);
        QCOMPARE(view->Cursor(), (TextPos{30, 0}));
        Key(Qt::Key_F2, Qt::ShiftModifier);
        QCOMPARE(view->Cursor(), (TextPos{5, 0}));
        Key(Qt::Key_F2, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(buffer.FindLineWithMark(PLAIN_MARK), -1);
        QVERIFY(!view->IsCommandEnabled(ID_PREV_PLAIN_MARK));
        PlaceCaretAt(*view, {7, 2});
        Key(Qt::Key_F2);
        QCOMPARE(view->Cursor(), (TextPos{7, 2}));
    }

    void marginShowsTheDigitUntilNumberedMarksAreCleared() {
        Open(10);
        PlaceCaretAt(*view, {2, 0});
        Key(Qt::Key_0, Qt::ControlModifier);
        Key(Qt::Key_F2, Qt::ControlModifier);
        QCOMPARE(MarginIcons::CellForMarks(buffer.LineMarkBits(2)), 12);
        QCOMPARE(MarginOf(2), IconCell(12));
        view->ExecuteCommand(ID_CLEAR_BOOKMARKS);
        QCOMPARE(buffer.LineMarkBits(2), uint32_t(PLAIN_MARK));
        QCOMPARE(MarginOf(2), IconCell(13));
        Key(Qt::Key_F2, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(MarginOf(2), IconCell(-1));
    }

    void bookmarksMoveWithTheirLines() {
        Open(20);
        PlaceCaretAt(*view, {12, 0});
        Key(Qt::Key_5, Qt::ControlModifier);
        Key(Qt::Key_F2, Qt::ControlModifier);
        // Delete lines 3 to 5 (three line breaks) above the bookmarked line.
        SelectText(*view, {3, 0}, {6, 0});
        Key(Qt::Key_Delete);
        QCOMPARE(buffer.FindLineWithMark(MARK_0 << 5), 9);
        QCOMPARE(buffer.FindLineWithMark(PLAIN_MARK), 9);
        QCOMPARE(std::string(buffer.LineView(9)), std::string("N12 G1 X12"));
        PlaceCaretAt(*view, {0, 0});
        Key(Qt::Key_5, Qt::AltModifier);
        QCOMPARE(view->Cursor(), (TextPos{9, 0}));
        // Undo brings the lines back and the bookmark moves down with its line.
        Key(Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(buffer.FindLineWithMark(MARK_0 << 5), 12);
    }
};

QTEST_MAIN(BookmarkTest)
#include "BookmarkTest.moc"
