#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QScrollBar>
#include <QTest>
#include <thread>

#include "BufferFill.h"
#include "common/Gbk.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/text/ProgramScanner.h"
#include "editor/view/CTextView.h"
#include "editor/view/ViewCommands.h"
#include "transfer/TransferMarks.h"

namespace {

using MarkOp = TransferMarkQueue::Op;

const std::string kZhong = "\xD6\xD0"; // 中
const std::string kWen = "\xCE\xC4";   // 文
const std::string kZi = "\xD7\xD6";    // 字

// The document view's colouring, as it plugs the scanner into the text view.
class ProgramView : public CTextView {
public:
    uint32_t ScanLineColours(uint32_t cookie, int line, ColourBlocks* blocks) override {
        return ScanProgramLine(cookie, LineView(line), blocks);
    }
};

QColor Pixel(const QImage& image, int x, int y) {
    return QColor(image.pixel(x, y));
}

bool RectHasColour(const QImage& image, const QRect& r, const QColor& colour) {
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (image.pixel(x, y) == colour.rgb())
                return true;
    return false;
}

} // namespace

class TextViewTest : public QObject {
    Q_OBJECT

private:
    CTextBuffer buffer;
    std::unique_ptr<ProgramView> view;

    // Shows transfer marks on the view as a connection shows them.
    struct MarksOnView : TransferLineView {
        CTextView* view = nullptr;
        void ShowWaitingLine(int n) override { view->ShowWaitingLine(n); }
        void CaretToLine(int n) override { view->CaretToLine(n); }
    } marksOnView;
    void ShowMarks(const std::vector<TransferMarkQueue::Request>& requests) {
        marksOnView.view = view.get();
        ApplyTransferMarks(requests, buffer, marksOnView);
    }
    void Mark(MarkOp op, int n) { ShowMarks({{op, n}}); }

    void Open(const std::vector<std::string>& lines, QSize size = QSize(420, 300)) {
        FillBuffer(buffer, lines);
        view = std::make_unique<ProgramView>();
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(18);
        view->ApplyFont(font);
        view->resize(size);
        view->BindBuffer(&buffer);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->activateWindow();
        view->setFocus();
        QTRY_VERIFY(view->hasFocus());
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(view.get(), key, mods);
    }
    // The middle of the left half of the cell where a position is drawn.
    QPoint CellPoint(TextPos pos) {
        return view->TextPosToPoint(pos) + QPoint(1, view->LineHeight() / 2);
    }
    QPoint MarginPoint(int line) {
        return QPoint(5, (line - view->TopLine()) * view->LineHeight() + view->LineHeight() / 2);
    }
    QWidget* Port() { return view->viewport(); }
    QImage Render() {
        QCoreApplication::processEvents();
        return Port()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    void Place(TextPos pos) {
        view->PlaceCursor(pos);
        view->PlaceAnchor(pos);
        view->SelectRange(pos, pos);
    }

private slots:
    void cleanup() {
        view.reset();
        buffer.ReleaseAll();
    }

    // --- keyboard ---------------------------------------------------------

    void idealColumnSurvivesAShortLine() {
        Open({std::string(20, 'a'), "bbbbb", std::string(20, 'c')});
        Key(Qt::Key_End);
        QCOMPARE(view->Cursor(), (TextPos{0, 20}));
        Key(Qt::Key_Down);
        QCOMPARE(view->Cursor(), (TextPos{1, 5}));
        Key(Qt::Key_Down);
        QCOMPARE(view->Cursor(), (TextPos{2, 20}));
        Key(Qt::Key_Up);
        Key(Qt::Key_Up);
        QCOMPARE(view->Cursor(), (TextPos{0, 20}));
        // A horizontal move sets a new ideal column.
        Key(Qt::Key_Down);
        Key(Qt::Key_Left);
        Key(Qt::Key_Down);
        QCOMPARE(view->Cursor(), (TextPos{2, 4}));
        QVERIFY(!view->HasSelection());
        // So does a click: Down then aims at the clicked column.
        Key(Qt::Key_End);
        QTest::mouseClick(Port(), Qt::LeftButton, {}, CellPoint({1, 2}));
        QCOMPARE(view->Cursor(), (TextPos{1, 2}));
        Key(Qt::Key_Down);
        QCOMPARE(view->Cursor(), (TextPos{2, 2}));
    }

    void verticalMoveNeverSplitsADoubleByteCharacter() {
        Open({"abcdef", kZhong + kWen + kZi});
        Place({0, 3});
        Key(Qt::Key_Down);
        QCOMPARE(view->Cursor(), (TextPos{1, 2}));
        Place({0, 1});
        Key(Qt::Key_Down);
        QCOMPARE(view->Cursor(), (TextPos{1, 0}));
        // Left and right step over both bytes.
        Key(Qt::Key_Right);
        QCOMPARE(view->Cursor(), (TextPos{1, 2}));
        Key(Qt::Key_Right);
        Key(Qt::Key_Left);
        QCOMPARE(view->Cursor(), (TextPos{1, 2}));
    }

    void homeTogglesBetweenIndentAndLineStart() {
        Open({"    G1 X5", "   "});
        Place({0, 7});
        Key(Qt::Key_Home);
        QCOMPARE(view->Cursor().x, 4);
        Key(Qt::Key_Home);
        QCOMPARE(view->Cursor().x, 0);
        Key(Qt::Key_Home);
        QCOMPARE(view->Cursor().x, 4);
        // A blank line: always the line start.
        Place({1, 2});
        Key(Qt::Key_Home);
        QCOMPARE(view->Cursor(), (TextPos{1, 0}));
    }

    void wordMovesOnAProgramLine() {
        Open({"G1 X50", "", "N2"});
        Place({0, 5});
        Key(Qt::Key_Left, Qt::ControlModifier);
        QCOMPARE(view->Cursor(), (TextPos{0, 3}));
        Place({0, 0});
        Key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(view->Cursor(), (TextPos{0, 3}));
        Key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(view->Cursor(), (TextPos{0, 6}));
        // From a line's end over an empty line: on to the start of the next.
        Key(Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(view->Cursor(), (TextPos{2, 0}));
        // Word left at the start of the text does nothing, selection included.
        Place({0, 0});
        Key(Qt::Key_Right, Qt::ShiftModifier);
        Key(Qt::Key_Left);
        QCOMPARE(view->Cursor(), (TextPos{0, 0}));
        Key(Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(view->SelEnd(), (TextPos{0, 3}));
    }

    void extendingAndCollapsing() {
        Open({"abcdef", "ghijkl"});
        Place({0, 1});
        Key(Qt::Key_Right, Qt::ShiftModifier);
        Key(Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(view->SelStart(), (TextPos{0, 1}));
        QCOMPARE(view->SelEnd(), (TextPos{0, 3}));
        QCOMPARE(view->Anchor(), (TextPos{0, 1}));
        // Right on a selection only jumps to its end.
        Key(Qt::Key_Right);
        QCOMPARE(view->Cursor(), (TextPos{0, 3}));
        QVERIFY(!view->HasSelection());
        // Left on a selection only jumps to its start.
        Key(Qt::Key_Left, Qt::ShiftModifier);
        Key(Qt::Key_Left, Qt::ShiftModifier);
        Key(Qt::Key_Left);
        QCOMPARE(view->Cursor(), (TextPos{0, 1}));
        // Down on a selection moves from its end.
        Key(Qt::Key_Right, Qt::ShiftModifier);
        Key(Qt::Key_Down);
        QCOMPARE(view->Cursor(), (TextPos{1, 2}));
        // Edges: right at the end of the text stays, still collapsing.
        Key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(view->Cursor(), (TextPos{1, 6}));
        Key(Qt::Key_Right);
        QCOMPARE(view->Cursor(), (TextPos{1, 6}));
        Key(Qt::Key_Home, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(view->SelStart(), (TextPos{1, 6}));
        QCOMPARE(view->SelEnd(), (TextPos{0, 0}));
    }

    void selectAllAndCopy() {
        Open({"G1 " + kZhong, "X5"});
        Key(Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view->SelStart(), (TextPos{0, 0}));
        QCOMPARE(view->SelEnd(), (TextPos{1, 2}));
        QCOMPARE(view->Cursor(), (TextPos{1, 2}));
        QVERIFY(view->IsCommandEnabled(ID_EDIT_COPY));
        Key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("G1 \xE4\xB8\xAD\r\nX5"));
        Place({0, 0});
        QVERIFY(!view->IsCommandEnabled(ID_EDIT_COPY));
    }

    void pageMovesStopAtTheEnds() {
        std::vector<std::string> lines;
        for (int i = 0; i < 100; ++i)
            lines.push_back("N" + std::to_string(i));
        Open(lines);
        const int page = view->VisibleLines() - 1;
        Key(Qt::Key_PageDown);
        QCOMPARE(view->Cursor().y, page);
        QCOMPARE(view->TopLine(), page);
        Key(Qt::Key_End, Qt::ControlModifier);
        Key(Qt::Key_PageDown);
        QCOMPARE(view->Cursor().y, 99);
        Key(Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(view->TopLine(), 0);
        Key(Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(view->TopLine(), 0);
        Key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(view->TopLine(), 1);
        QCOMPARE(view->Cursor(), (TextPos{0, 0}));
    }

    void statusText() {
        Open({""});
        QCOMPARE(view->StatusText(), QString::fromUtf8("行 1  列 1"));
        FillBuffer(buffer, {"\tG1", "x"});
        Key(Qt::Key_Right);
        QCOMPARE(view->StatusText(), QString::fromUtf8("行 1  列 2"));
        Key(Qt::Key_Down);
        // Column 4 on screen, but the second line has one byte: byte column 2.
        QCOMPARE(view->StatusText(), QString::fromUtf8("行 2  列 2"));
    }

    void aReleasedBufferIsShownAsOneEmptyLine() {
        Open({"G1 X5", "G2"});
        Place({1, 2});
        buffer.ReleaseAll(); // a document dropping its text before a reload
        Render();
        QTest::mouseClick(Port(), Qt::LeftButton, {}, CellPoint({0, 1}));
        Key(Qt::Key_Down);
        Key(Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(view->Cursor(), (TextPos{0, 0}));
        FillBuffer(buffer, {"N1"});
        QCOMPARE(view->LineCount(), 1);
        QCOMPARE(view->Cursor(), (TextPos{0, 0}));
    }

    // --- mouse ------------------------------------------------------------

    void clicksLandOnCellsAndLineEnds() {
        Open({"G1 X50", "abc"});
        QTest::mouseClick(Port(), Qt::LeftButton, {}, CellPoint({0, 2}));
        QCOMPARE(view->Cursor(), (TextPos{0, 2}));
        // The right half of a character puts the cursor after it.
        QPoint right =
            view->TextPosToPoint({0, 2}) + QPoint(view->CharWidth() - 2, view->LineHeight() / 2);
        QTest::mouseClick(Port(), Qt::LeftButton, {}, right);
        QCOMPARE(view->Cursor(), (TextPos{0, 3}));
        // Right of the line's end: the line's end.
        QTest::mouseClick(Port(), Qt::LeftButton, {}, CellPoint({1, 0}) + QPoint(300, 0));
        QCOMPARE(view->Cursor(), (TextPos{1, 3}));
        // Below the last line: the last line.
        QTest::mouseClick(Port(), Qt::LeftButton, {}, QPoint(view->MarginWidth() + 2, 250));
        QCOMPARE(view->Cursor().y, 1);
        QVERIFY(!view->MouseSelecting());
        // Shift-click extends from the anchor.
        QTest::mouseClick(Port(), Qt::LeftButton, {}, CellPoint({0, 1}));
        QTest::mouseClick(Port(), Qt::LeftButton, Qt::ShiftModifier, CellPoint({1, 2}));
        QCOMPARE(view->SelStart(), (TextPos{0, 1}));
        QCOMPARE(view->SelEnd(), (TextPos{1, 2}));
        QCOMPARE(view->Cursor(), (TextPos{1, 2}));
    }

    void ctrlClickSelectsWords() {
        Open({"G1 X50 Y7"});
        QTest::mouseClick(Port(), Qt::LeftButton, Qt::ControlModifier, CellPoint({0, 4}));
        QCOMPARE(view->SelStart(), (TextPos{0, 3}));
        QCOMPARE(view->SelEnd(), (TextPos{0, 6}));
    }

    void marginClickAndDragSelectWholeLines() {
        Open({"l0", "l1", "l2", "l3", "l4", "l5"});
        QTest::mousePress(Port(), Qt::LeftButton, {}, MarginPoint(3));
        QCOMPARE(view->SelStart(), (TextPos{4, 0}));
        QCOMPARE(view->SelEnd(), (TextPos{3, 0}));
        QTest::mouseRelease(Port(), Qt::LeftButton, {}, MarginPoint(3));
        QCOMPARE(std::min(view->SelStart(), view->SelEnd()), (TextPos{3, 0}));
        QCOMPARE(std::max(view->SelStart(), view->SelEnd()), (TextPos{4, 0}));

        QTest::mousePress(Port(), Qt::LeftButton, {}, MarginPoint(3));
        QTest::mouseMove(Port(), MarginPoint(2));
        QTest::mouseMove(Port(), MarginPoint(1));
        QVERIFY(view->MouseSelecting());
        QCOMPARE(view->SelStart(), (TextPos{1, 0}));
        QCOMPARE(view->SelEnd(), (TextPos{4, 0}));
        QTest::mouseRelease(Port(), Qt::LeftButton, {}, MarginPoint(1));
        QCOMPARE(view->SelStart(), (TextPos{1, 0}));
        QCOMPARE(view->SelEnd(), (TextPos{4, 0}));
        QCOMPARE(view->Cursor(), (TextPos{1, 0}));
        QVERIFY(!view->MouseSelecting());

        // Down to the last line: to the end of the text.
        QTest::mousePress(Port(), Qt::LeftButton, {}, MarginPoint(4));
        QTest::mouseMove(Port(), MarginPoint(5));
        QTest::mouseRelease(Port(), Qt::LeftButton, {}, MarginPoint(5));
        QCOMPARE(view->SelStart(), (TextPos{4, 0}));
        QCOMPARE(view->SelEnd(), (TextPos{5, 2}));
        // Ctrl on the margin selects everything.
        QTest::mouseClick(Port(), Qt::LeftButton, Qt::ControlModifier, MarginPoint(0));
        QCOMPARE(view->SelStart(), (TextPos{0, 0}));
        QCOMPARE(view->SelEnd(), (TextPos{5, 2}));
    }

    void dragSelectionByCharacters() {
        Open({"abcdefgh", "ijkl"});
        QTest::mousePress(Port(), Qt::LeftButton, {}, CellPoint({0, 2}));
        QTest::mouseMove(Port(), CellPoint({1, 3}));
        QCOMPARE(view->SelStart(), (TextPos{0, 2}));
        QCOMPARE(view->SelEnd(), (TextPos{1, 3}));
        QTest::mouseRelease(Port(), Qt::LeftButton, {}, CellPoint({1, 3}));
        QCOMPARE(view->Cursor(), (TextPos{1, 3}));
        // A click inside the selection, without moving, removes it.
        QTest::mousePress(Port(), Qt::LeftButton, {}, CellPoint({0, 5}));
        QVERIFY(view->HasSelection());
        QTest::mouseRelease(Port(), Qt::LeftButton, {}, CellPoint({0, 5}));
        QVERIFY(!view->HasSelection());
        QCOMPARE(view->Cursor(), (TextPos{0, 5}));
    }

    void doubleClickSelectsARunOfDoubleByteCharacters() {
        Open({"N1 " + kZhong + kWen + kZi + " G1"});
        const QPoint onWen = CellPoint({0, 5});
        QTest::mouseDClick(Port(), Qt::LeftButton, {}, onWen);
        QCOMPARE(view->SelStart(), (TextPos{0, 3}));
        QCOMPARE(view->SelEnd(), (TextPos{0, 9}));
        QCOMPARE(view->Cursor(), (TextPos{0, 9}));
        // Dragging on after the double click extends by words.
        QVERIFY(view->MouseSelecting());
        QTest::mouseMove(Port(), CellPoint({0, 11}));
        QCOMPARE(view->SelEnd(), (TextPos{0, 12}));
        QTest::mouseRelease(Port(), Qt::LeftButton, {}, CellPoint({0, 11}));
        QVERIFY(!view->MouseSelecting());
        // On the second byte of a character the run is the same.
        QTest::mouseDClick(Port(), Qt::LeftButton, {}, CellPoint({0, 6}));
        QCOMPARE(view->SelStart(), (TextPos{0, 3}));
        QCOMPARE(view->SelEnd(), (TextPos{0, 9}));
    }

    void holdingTheButtonBelowTheWindowScrollsByThreeLines() {
        std::vector<std::string> lines;
        for (int i = 0; i < 200; ++i)
            lines.push_back("G1 X" + std::to_string(i));
        Open(lines);
        QTest::mousePress(Port(), Qt::LeftButton, {}, CellPoint({2, 1}));
        const int below = Port()->height() + 2 * view->LineHeight();
        QTest::mouseMove(Port(), QPoint(view->MarginWidth() + 10, below));
        QCOMPARE(view->TopLine(), 0); // moving alone does not scroll
        QElapsedTimer clock;
        clock.start();
        while (view->TopLine() == 0 && clock.elapsed() < 2000)
            QTest::qWait(5);
        QCOMPARE(view->TopLine(), 3);
        QCOMPARE(view->SelStart(), (TextPos{2, 1}));
        QVERIFY(view->SelEnd().y > 3);
        // One row below the bottom edge: one line per tick.
        QTest::mouseMove(Port(), QPoint(view->MarginWidth() + 10, Port()->height() + 1));
        while (view->TopLine() <= 3 && clock.elapsed() < 4000)
            QTest::qWait(5);
        QCOMPARE(view->TopLine(), 4);
        QTest::mouseRelease(Port(), Qt::LeftButton, {},
                            QPoint(view->MarginWidth() + 10, Port()->height() + 1));
        const int top = view->TopLine();
        QTest::qWait(250);
        QCOMPARE(view->TopLine(), top); // released: the timer is gone
    }

    void rightClickOutsideTheSelectionMovesTheCaret() {
        Open({"abcdef"});
        view->SelectRange({0, 1}, {0, 3});
        QTest::mouseClick(Port(), Qt::RightButton, {}, CellPoint({0, 2}));
        QCOMPARE(view->SelStart(), (TextPos{0, 1}));
        QTest::mouseClick(Port(), Qt::RightButton, {}, CellPoint({0, 5}));
        QVERIFY(!view->HasSelection());
        QCOMPARE(view->Cursor(), (TextPos{0, 5}));
    }

    // --- painting ---------------------------------------------------------

    void transferLineIsWhiteOnGreenWithTheArrow() {
        Open({"N10 G1 X5", "N20 G1 X6", "N30 G1 X7"});
        Mark(MarkOp::Mark, 2);
        QVERIFY(buffer.LineMarkBits(1) & TRANSFER_LINE);
        QCOMPARE(view->Cursor(), (TextPos{1, 0}));
        QImage img = Render();
        const int h = view->LineHeight();
        const QColor green(0, 128, 0);
        // Across the whole row, right of the text too.
        QCOMPARE(Pixel(img, img.width() - 3, h + h / 2), green);
        QCOMPARE(Pixel(img, view->MarginWidth() + 9 * view->CharWidth() + 5, h + 1), green);
        // White text on it.
        QVERIFY(
            RectHasColour(img, QRect(view->MarginWidth(), h, 9 * view->CharWidth(), h), Qt::white));
        // The red arrow in the margin; none on the other rows.
        QVERIFY(RectHasColour(img, QRect(2, h, 16, h), QColor(255, 0, 0)));
        QVERIFY(!RectHasColour(img, QRect(2, 0, 16, h), QColor(255, 0, 0)));
        QCOMPARE(Pixel(img, img.width() - 3, h / 2), view->ColourOfIndex(COLOUR_WHITESPACE));

        // Marking another line moves both.
        Mark(MarkOp::Mark, 3);
        img = Render();
        QVERIFY(!(buffer.LineMarkBits(1) & TRANSFER_LINE));
        QCOMPARE(Pixel(img, img.width() - 3, h + h / 2), view->ColourOfIndex(COLOUR_WHITESPACE));
        QCOMPARE(Pixel(img, img.width() - 3, 2 * h + h / 2), green);
        QVERIFY(RectHasColour(img, QRect(2, 2 * h, 16, h), QColor(255, 0, 0)));
        Mark(MarkOp::Unmark, 3);
        QCOMPARE(buffer.FindLineWithMark(TRANSFER_LINE), -1);

        // A failed line's mark moved by an edit is still found and cleared.
        Mark(MarkOp::Mark, 2);
        int endLine = 0, endByte = 0;
        QVERIFY(buffer.InsertAt(nullptr, 0, 0, "X\r\n", endLine, endByte, ACTION_TYPING));
        QCOMPARE(buffer.FindLineWithMark(TRANSFER_LINE), 2);
        Mark(MarkOp::Clear, 0);
        QCOMPARE(buffer.FindLineWithMark(TRANSFER_LINE), -1);
        QCOMPARE(Pixel(Render(), img.width() - 3, 2 * h + h / 2),
                 view->ColourOfIndex(COLOUR_WHITESPACE));
    }

    void aSelectedLineBreakPaintsOneCell() {
        Open({"ab", "", "cd"});
        view->SelectRange({0, 1}, {2, 1});
        const QImage img = Render();
        const int h = view->LineHeight(), w = view->CharWidth(), m = view->MarginWidth();
        const QColor sel(0, 0, 128);
        const QColor space = view->ColourOfIndex(COLOUR_WHITESPACE);
        // Row 0: "a" plain, "b" selected, the break one selected cell, then space.
        QCOMPARE(Pixel(img, m + w - 1, 1), space);
        QCOMPARE(Pixel(img, m + w + 1, 1), sel);
        QCOMPARE(Pixel(img, m + 2 * w + w / 2, h / 2), sel);
        QCOMPARE(Pixel(img, m + 3 * w + 1, h / 2), space);
        // The empty selected line: one cell at the left edge of the text area.
        QCOMPARE(Pixel(img, m + w / 2, h + h / 2), sel);
        QCOMPARE(Pixel(img, m + w + 1, h + h / 2), space);
        // Row 2: the selection ends inside it, so no break cell.
        QCOMPARE(Pixel(img, m + 2 * w + w / 2, 2 * h + h / 2), space);
        // Without focus the selection is not drawn.
        view->clearFocus();
        QTRY_VERIFY(!view->hasFocus());
        const QImage unfocused = Render();
        QCOMPARE(Pixel(unfocused, m + 2 * w + w / 2, h / 2), space);
    }

    void programRunsAreColoured() {
        Open({"N10 G1 X 5 ; rapid"});
        const QImage img = Render();
        const int h = view->LineHeight(), w = view->CharWidth(), m = view->MarginWidth();
        auto cell = [&](int from, int to) { return QRect(m + from * w, 0, (to - from) * w, h); };
        QVERIFY(RectHasColour(img, cell(4, 6), QColor(0, 0, 255)));     // G1
        QVERIFY(RectHasColour(img, cell(7, 8), QColor(0, 0, 255)));     // X
        QVERIFY(RectHasColour(img, cell(9, 10), QColor(160, 0, 0)));    // 5
        QVERIFY(RectHasColour(img, cell(11, 18), QColor(32, 128, 32))); // ; rapid
        const QColor text = view->ColourOfIndex(COLOUR_NORMAL_TEXT);
        QVERIFY(RectHasColour(img, cell(0, 3), text)); // N10
        QVERIFY(!RectHasColour(img, cell(0, 3), QColor(0, 0, 255)));
        QVERIFY(!RectHasColour(img, cell(4, 6), QColor(160, 0, 0)));
    }

    // Scrolled sideways past a line's first runs (as typing along a line does):
    // those runs are skipped, not drawn, and the painting ends (it once never did).
    void paintingALineScrolledPastItsFirstRuns() {
        Open({"N10 G1 X 5 ; rapid", std::string(40, 'x')});
        view->ScrollLeftTo(12);
        const QImage img = Render();
        const int h = view->LineHeight(), w = view->CharWidth(), m = view->MarginWidth();
        QVERIFY(RectHasColour(img, QRect(m, 0, 6 * w, h), QColor(32, 128, 32))); // rapid
        QVERIFY(!RectHasColour(img, QRect(m, 0, 20 * w, h), QColor(0, 0, 255)));
        QVERIFY(!RectHasColour(img, QRect(m, 0, 20 * w, h), QColor(160, 0, 0)));
    }

    void doubleByteCharactersStayOnTheGrid() {
        Open({kZhong + kWen + "AB"});
        const QImage img = Render();
        const int h = view->LineHeight(), w = view->CharWidth(), m = view->MarginWidth();
        const QColor text = view->ColourOfIndex(COLOUR_NORMAL_TEXT);
        // Each character is drawn inside its own two cells...
        QVERIFY(RectHasColour(img, QRect(m, 0, 2 * w, h), text));
        QVERIFY(RectHasColour(img, QRect(m + 2 * w, 0, 2 * w, h), text));
        // ...and A and B sit in cells 4 and 5, as the caret puts them.
        QCOMPARE(view->TextPosToPoint({0, 4}).x(), m + 4 * w);
        QVERIFY(RectHasColour(img, QRect(m + 4 * w, 0, w, h), text));
        QVERIFY(RectHasColour(img, QRect(m + 5 * w, 0, w, h), text));
        QVERIFY(!RectHasColour(img, QRect(m + 6 * w + 1, 0, 3 * w, h), text));
    }

    void caretHiddenLeftOfTheFirstColumn() {
        Open({std::string(200, 'x'), "short"});
        QVERIFY(view->CaretShown() || !view->CaretRect().isNull());
        Key(Qt::Key_End);
        QVERIFY(view->FirstColumn() > 0);
        Place({1, 0});
        QVERIFY(!view->CaretShown());
        view->ScrollLeftTo(0);
        view->PlaceCaret();
        QVERIFY(view->CaretShown());
        QCOMPARE(view->CaretRect().topLeft(), view->TextPosToPoint({1, 0}));
        view->SuppressCaret();
        QVERIFY(!view->CaretShown());
        view->AllowCaret();
        QVERIFY(view->CaretShown());
    }

    // --- scrolling and buffer changes --------------------------------------

    void shortTextCannotScroll() {
        std::vector<std::string> lines(10, "G1");
        Open(lines);
        view->resize(400, 22 * view->LineHeight() + view->horizontalScrollBar()->height());
        QTRY_VERIFY(view->VisibleLines() >= 20);
        view->ScrollTopTo(5);
        QCOMPARE(view->TopLine(), 5);
        view->UpdateVertBar();
        QCOMPARE(view->TopLine(), 0);
        QVERIFY(!view->verticalScrollBar()->isEnabled());
    }

    void editsMoveTheCaretAndKeepCachesRight() {
        Open({"G1 X5", "X 1", "Y 2", "X 7"});
        Render();
        Place({0, 3});
        int endLine = 0, endByte = 0;
        buffer.InsertAt(nullptr, 0, 0, "N1 ", endLine, endByte, 0);
        QCOMPARE(view->Cursor(), (TextPos{0, 6}));
        // Opening a comment on line 0 reaches every later line's colouring.
        buffer.InsertAt(nullptr, 0, 0, "/*", endLine, endByte, 0);
        QCOMPARE(view->CookieBefore(3), uint32_t(COOKIE_BLOCK_COMMENT));
        QCOMPARE(view->CookieBefore(4), uint32_t(COOKIE_BLOCK_COMMENT));
        buffer.EraseRange(nullptr, 0, 0, 0, 2, 0);
        QCOMPARE(view->CookieBefore(3), 0u);
        // A new line above the caret moves it down; the longest line follows.
        buffer.InsertAt(nullptr, 0, 0, std::string(60, 'y') + "\r", endLine, endByte, 0);
        QCOMPARE(view->Cursor(), (TextPos{1, 6}));
        QCOMPARE(view->LongestLineLength(), 60);
        buffer.EraseRange(nullptr, 0, 0, 1, 0, 0);
        QCOMPARE(view->LongestLineLength(), 8);
        QCOMPARE(view->Cursor(), (TextPos{0, 6}));
    }

    void splitterPanesFollowEachOther() {
        std::vector<std::string> lines(300, "G1 X5");
        Open(lines);
        ProgramView other;
        other.resize(view->size());
        other.BindBuffer(&buffer);
        auto group = std::make_shared<PaneGroup>();
        view->JoinPaneGroup(group, 0, 0);
        other.JoinPaneGroup(group, 0, 1);
        Key(Qt::Key_Down, Qt::ControlModifier);
        Key(Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(other.TopLine(), 2);
    }

    // --- the transmit worker's requests ------------------------------------

    void markingFromAWorkerThreadKeepsOrder() {
        std::vector<std::string> lines(5000, "G1 X5");
        Open(lines);
        TransferMarkQueue queue;
        std::thread worker([&queue] {
            for (int n = 1; n <= 5000; ++n) {
                queue.Push(MarkOp::CursorTo, n);
                if (n == 1200)
                    queue.Push(MarkOp::Mark, n);
                if (n == 1300)
                    queue.Push(MarkOp::Unmark, 1200);
                if (n == 4000)
                    queue.Push(MarkOp::Mark, n);
            }
        });
        worker.join();
        ShowMarks(queue.Take());
        QCOMPARE(buffer.FindLineWithMark(TRANSFER_LINE), 3999);
        QCOMPARE(view->Cursor(), (TextPos{4999, 0}));
        // Only the marked line scrolls into view, not the cursor moves.
        QVERIFY(view->TopLine() <= 3999 && 3999 < view->TopLine() + view->VisibleLines());
        // Out-of-range lines are ignored.
        Mark(MarkOp::Mark, 0);
        Mark(MarkOp::Mark, 6000);
        QCOMPARE(buffer.FindLineWithMark(TRANSFER_LINE), 3999);
    }
};

QTEST_MAIN(TextViewTest)
#include "TextViewTest.moc"
