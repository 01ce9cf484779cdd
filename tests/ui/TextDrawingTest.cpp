#include <QFontDatabase>
#include <QTest>
#include <memory>

#include "BufferFill.h"
#include "common/Gbk.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/text/ProgramScanner.h"
#include "editor/view/CTextView.h"
#include "editor/view/ViewPainter.h"

namespace {

const std::string kZhong = "\xD6\xD0"; // 中 in GBK
const std::string kWen = "\xCE\xC4";   // 文 in GBK
const std::string kZhongUtf8 = "\xE4\xB8\xAD";
const std::string kWenUtf8 = "\xE6\x96\x87";

// The document view's colouring, or, for the run-boundary cases, a scanner
// that starts a run at every byte, in turn keyword and number colours: every
// double-byte character is then cut by a run boundary.
class DrawingView : public CTextView {
public:
    bool everyByte = false;
    uint32_t ScanLineColours(uint32_t cookie, int line, ColourBlocks* blocks) override {
        if (!everyByte)
            return ScanProgramLine(cookie, LineView(line), blocks);
        for (int i = 0; blocks != nullptr && i < LineLength(line); ++i)
            blocks->Add(i, i % 2 ? COLOUR_NUMBER : COLOUR_KEYWORD);
        return 0;
    }
};

using Piece = ViewPainter::Piece;

QString Joined(const std::vector<Piece>& pieces) {
    QString s;
    for (const Piece& p : pieces)
        s += p.text;
    return s;
}

} // namespace

class TextDrawingTest : public QObject {
    Q_OBJECT

private:
    CTextBuffer buffer;
    std::unique_ptr<DrawingView> view;

    void Open(const std::vector<std::string>& lines, TextEncoding encoding = TextEncoding::Gbk) {
        FillBuffer(buffer, lines);
        buffer.SetEncoding(encoding);
        view = std::make_unique<DrawingView>();
        QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(18);
        view->ApplyFont(font);
        view->resize(420, 300);
        view->BindBuffer(&buffer);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
        view->setFocus();
    }
    const std::vector<Piece>& Row(int line) {
        return view->Painter().LayoutRow(line, view->VisibleColumns() + 1);
    }
    void Key(Qt::Key key) { QTest::keyClick(view.get(), key); }

private slots:
    void cleanup() {
        view.reset();
        buffer.ReleaseAll();
    }

    // What an operator reads in a GBK program: Chinese inside ( ) as after ;.
    void chineseInsideParenthesesIsDrawnAsItsCharacters() {
        const std::string words = "\xB4\xD6\xBC\xD3\xB9\xA4 \xB2\xE2\xCA\xD4\xB3\xCC\xD0\xF2";
        Open({"O1000 (" + words + ")", "G1 X5 ; " + words});
        const QString expected = QString::fromStdString(GbkToUtf8(words));
        QCOMPARE(Joined(Row(0)), QString("O1000 (") + expected + ")");
        QCOMPARE(Joined(Row(1)), QString("G1 X5 ; ") + expected);
        for (const Piece& p : Row(0))
            QVERIFY(!p.text.contains(QChar(0xFFFD)));
    }

    void aCharacterCutByAColourRunTakesItsFirstBytesColour() {
        Open({kZhong + kWen + "AB" + "\xFF" + "\x81"});
        view->everyByte = true;
        const std::vector<Piece> row = Row(0);
        QCOMPARE(int(row.size()), 6);
        const struct {
            int column, cells;
            QString text;
            int colour;
        } expected[] = {{0, 2, QStringLiteral("中"), COLOUR_KEYWORD},
                        {2, 2, QStringLiteral("文"), COLOUR_KEYWORD},
                        {4, 1, QStringLiteral("A"), COLOUR_KEYWORD},
                        {5, 1, QStringLiteral("B"), COLOUR_NUMBER},
                        // Bytes that start no character: one replacement each.
                        {6, 1, QString(QChar(0xFFFD)), COLOUR_KEYWORD},
                        {7, 1, QString(QChar(0xFFFD)), COLOUR_NUMBER}};
        for (size_t i = 0; i < row.size(); ++i) {
            QCOMPARE(row[i].column, expected[i].column);
            QCOMPARE(row[i].cells, expected[i].cells);
            QCOMPARE(row[i].text, expected[i].text);
            QCOMPARE(row[i].colour, expected[i].colour);
        }
    }

    // Scrolled so that the first column falls on a character's second cell,
    // the character is still drawn whole, reaching into the margin's side.
    void aCharacterCutByTheLeftEdgeIsDrawnWhole() {
        Open({"X" + kZhong + kWen + "Y"});
        view->ScrollLeftTo(2);
        const std::vector<Piece> row = Row(0);
        QVERIFY(!row.empty());
        QCOMPARE(row.front().column, 1);
        QCOMPARE(row.front().text, QStringLiteral("中"));
    }

    void utf8DocumentsDrawTheirCharactersOnTwoCells() {
        Open({"; " + kZhongUtf8 + kWenUtf8 + " OK", "\xEF\xBB\xBFG1"}, TextEncoding::Utf8);
        const std::vector<Piece> row = Row(0);
        QCOMPARE(Joined(row), QStringLiteral("; 中文 OK"));
        QCOMPARE(view->ExpandedLineLength(0), 9);
        // The byte-order mark takes no cell and draws nothing.
        QCOMPARE(Joined(Row(1)), QStringLiteral("G1"));
        // The same document shown as GBK draws its bytes as GBK would.
        buffer.SetEncoding(TextEncoding::Gbk);
        QCOMPARE(view->ExpandedLineLength(0), 11); // a cell per byte
        QVERIFY(Joined(Row(0)) != QStringLiteral("; 中文 OK"));
    }

    // Right, Left, End, Up and clicks step over a UTF-8 character whole.
    void theCaretNeverStopsInsideAUtf8Character() {
        Open({"a" + kZhongUtf8 + kWenUtf8 + "b", "xxxxxxx"}, TextEncoding::Utf8);
        Key(Qt::Key_Right);
        QCOMPARE(view->Cursor(), (TextPos{0, 1}));
        Key(Qt::Key_Right);
        QCOMPARE(view->Cursor(), (TextPos{0, 4}));
        Key(Qt::Key_Right);
        QCOMPARE(view->Cursor(), (TextPos{0, 7}));
        Key(Qt::Key_Left);
        QCOMPARE(view->Cursor(), (TextPos{0, 4}));
        // Down to column 3 and back up lands after 中, which ends there.
        Key(Qt::Key_Down);
        QCOMPARE(view->Cursor(), (TextPos{1, 3}));
        Key(Qt::Key_Right);
        Key(Qt::Key_Up); // column 4 is inside 文: before it
        QCOMPARE(view->Cursor(), (TextPos{0, 4}));
        for (int column = 0; column < 8; ++column) {
            const TextPos hit = view->PointToTextPos(
                QPoint(view->MarginWidth() + column * view->CharWidth() + 1, 1));
            QVERIFY2(!view->SplitsDoubleByteChar(hit), qPrintable(QString::number(column)));
        }
        QCOMPARE(view->StatusText(), QStringLiteral("行 1  列 5"));
    }

    // Switching the encoding never leaves the caret inside a character.
    void switchingTheEncodingPutsTheCaretOnACharacterBoundary() {
        Open({kZhongUtf8 + "x"}, TextEncoding::Gbk);
        view->PlaceCursor({0, 2}); // between two GBK characters, inside 中 as UTF-8
        buffer.SetEncoding(TextEncoding::Utf8);
        QCOMPARE(view->Cursor(), (TextPos{0, 0}));
    }

    // The margin grows for the numbers; the text and the caret move with it.
    void lineNumbersWidenTheMarginAndFollowTheLineCount() {
        std::vector<std::string> lines(998, "G1");
        Open(lines);
        const int plain = view->MarginWidth();
        view->ShowLineNumbers(true);
        const int numbered = view->MarginWidth();
        QCOMPARE(numbered, plain + 4 * view->CharWidth());
        QCOMPARE(view->TextPosToPoint({0, 0}).x(), numbered);
        int el = 0, eb = 0;
        buffer.InsertAt(nullptr, 0, 0, "\r\n\r\n", el, eb, 4); // 1000 lines now
        QCOMPARE(view->MarginWidth(), plain + 5 * view->CharWidth());
        // A click on the numbers selects the line, as on the margin.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(2, 1));
        QCOMPARE(view->SelEnd(), (TextPos{1, 0}));
        view->ShowLineNumbers(false);
        QCOMPARE(view->MarginWidth(), plain);
    }

    // A line of a megabyte lays out only what the window shows.
    void aVeryLongLineLaysOutOnlyWhatShows() {
        std::string line;
        while (line.size() < (1u << 20))
            line += "G1 X10.5 Y-3 ; " + kZhong + " ";
        Open({line});
        view->ScrollLeftTo(500000);
        const std::vector<Piece> row = Row(0);
        QVERIFY(!row.empty());
        QVERIFY(int(row.size()) <= view->VisibleColumns() + 2);
        QVERIFY(row.front().column <= 500000);
        QVERIFY(row.back().column >= 500000 + view->VisibleColumns() - 2);
    }
};

QTEST_MAIN(TextDrawingTest)
#include "TextDrawingTest.moc"
