// Copy, cut, paste and drag between our own views carry a document's exact
// bytes to the file saved afterwards; text from other programs is converted
// to the document's encoding with CR LF breaks.
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include "EditTestView.h"
#include "editor/view/EditCommands.h"
#include "editor/view/ViewClipboard.h"

// Failures show the bytes.
template <> inline char* QTest::toString(const std::string& s) {
    return QTest::toPrettyCString(s.data(), qsizetype(s.size()));
}

namespace {

// Lines that no encoding shows whole: 0xFF and 0x80, a lone LF inside a line,
// a GBK lead byte at the end of a line, NUL, a UTF-8 comment in a GBK file, a
// lead byte before an ASCII byte, a CR of the line's own; the file ends with a
// break, so the last line is empty.
const std::vector<std::string> kLines{"A\xff\x80"
                                      "B",
                                      "x\ny",
                                      "G1\xb0",
                                      std::string("N\0L", 3),
                                      "; \xe4\xb8\xad\xe6\x96\x87\xe6\xb3\xa8\xe9\x87\x8a OK",
                                      "\x81"
                                      "0 X",
                                      "M\rN",
                                      ""};

std::string Joined(const std::vector<std::string>& lines, size_t first, size_t end) {
    std::string out;
    for (size_t i = first; i < end; ++i)
        out += (i > first ? "\r\n" : "") + lines[i];
    return out;
}

const std::string kFile = Joined(kLines, 0, kLines.size());

const QString kOwnType = QString::fromLatin1(kSelectionBytesType);

QByteArray Bytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

} // namespace

class ClipboardTest : public QObject {
    Q_OBJECT

private:
    struct Doc {
        CTextBuffer buffer;
        std::unique_ptr<TestEditView> view;
    };

    QTemporaryDir dir;
    int files = 0;

    std::string NewPath() { return dir.filePath(QString("p%1.nc").arg(++files)).toStdString(); }

    // Opens bytes as the program opens a file: encoding and line ends detected.
    bool Open(Doc& doc, const std::string& bytes,
              std::optional<TextEncoding> shownAs = std::nullopt) {
        const std::string path = NewPath();
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::WriteOnly) || f.write(Bytes(bytes)) != qint64(bytes.size()))
            return false;
        f.close();
        if (!doc.buffer.LoadFromDisk(path))
            return false;
        if (shownAs)
            doc.buffer.SetEncoding(*shownAs);
        doc.view = OpenEditView(doc.buffer);
        return doc.view != nullptr;
    }

    // The bytes the document saves to a real file.
    std::string Saved(Doc& doc) {
        const std::string path = NewPath();
        if (!doc.buffer.SaveToDisk(path))
            return "<save failed>";
        QFile f(QString::fromStdString(path));
        if (!f.open(QIODevice::ReadOnly))
            return "<read failed>";
        return f.readAll().toStdString();
    }

    static void Key(Doc& doc, Qt::Key key, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
        QTest::keyClick(doc.view.get(), key, mods);
    }

    static QPoint Cell(CTextView& view, TextPos pos) {
        return view.TextPosToPoint(pos) + QPoint(1, view.LineHeight() / 2);
    }

    // A real mouse drag of the selection, from inside it; where it lands is
    // the view's dropAt (and dropInto).
    static void DragSelection(Doc& doc, TextPos inside) {
        TestEditView& v = *doc.view;
        QTest::mousePress(v.viewport(), Qt::LeftButton, Qt::NoModifier, Cell(v, inside));
        QTest::mouseMove(v.viewport(), Cell(v, {inside.y, inside.x + 1}));
        QTest::mouseRelease(v.viewport(), Qt::LeftButton, Qt::NoModifier,
                            Cell(v, {inside.y, inside.x + 1}));
    }

    static std::string OwnBytesOnClipboard() {
        const QMimeData* data = QApplication::clipboard()->mimeData();
        return data != nullptr ? data->data(kOwnType).toStdString() : std::string();
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void cleanup() { QApplication::clipboard()->clear(); }

    void cutCopyAndPasteKeepEveryByte() {
        Doc doc;
        QVERIFY(Open(doc, kFile));
        QCOMPARE(doc.buffer.Encoding(), TextEncoding::Gbk);
        QCOMPARE(doc.buffer.CountLines(), int(kLines.size()));
        QCOMPARE(std::string(doc.buffer.LineView(1)), kLines[1]);

        // Everything cut and pasted back saves the file it was.
        Key(doc, Qt::Key_A);
        Key(doc, Qt::Key_X);
        QCOMPARE(doc.buffer.CountLines(), 1);
        QCOMPARE(OwnBytesOnClipboard(), kFile);
        Key(doc, Qt::Key_V);
        QCOMPARE(Saved(doc), kFile);
        // Undone and redone, too.
        Key(doc, Qt::Key_Z);
        Key(doc, Qt::Key_Z);
        QCOMPARE(Saved(doc), kFile);
        doc.view->Redo();
        doc.view->Redo();
        QCOMPARE(Saved(doc), kFile);

        // A piece from inside lines, copied to the end: only the copy is new.
        SelectText(*doc.view, {1, 1}, {6, 2});
        Key(doc, Qt::Key_C);
        const std::string piece =
            kLines[1].substr(1) + "\r\n" + Joined(kLines, 2, 6) + "\r\n" + kLines[6].substr(0, 2);
        QCOMPARE(OwnBytesOnClipboard(), piece);
        PlaceCaretAt(*doc.view, {7, 0});
        Key(doc, Qt::Key_V);
        QCOMPARE(Saved(doc), kFile + piece);
        QCOMPARE(doc.view->Cursor(), (TextPos{12, 2}));

        // Our bytes alone on the clipboard are enough to paste.
        auto* only = new QMimeData;
        only->setData(kOwnType, Bytes(kLines[3]));
        QApplication::clipboard()->setMimeData(only);
        QVERIFY(doc.view->IsCommandEnabled(ID_EDIT_PASTE));
        PlaceCaretAt(*doc.view, {0, 0});
        Key(doc, Qt::Key_V);
        QCOMPARE(Saved(doc), kLines[3] + kFile + piece);
    }

    void utf8DocumentOffersItsTextAsUtf8() {
        Doc doc;
        QVERIFY(Open(doc, kFile, TextEncoding::Utf8));
        Key(doc, Qt::Key_A);
        Key(doc, Qt::Key_C);
        // Other programs read the bytes as UTF-8, each bad byte a U+FFFD...
        const QString text = QApplication::clipboard()->text();
        QVERIFY(text.startsWith(QString("A\uFFFD\uFFFDB\r\nx\ny\r\nG1\uFFFD\r\nN")));
        QVERIFY(text.contains(QString("\r\n; 中文注释 OK\r\n")));
        QVERIFY(text.contains(QChar(0)));
        // ...while our own views get the bytes.
        QCOMPARE(OwnBytesOnClipboard(), kFile);
        Key(doc, Qt::Key_X);
        Key(doc, Qt::Key_V);
        QCOMPARE(Saved(doc), kFile);
    }

    void foreignTextTakesTheDocumentsEncodingAndCrLfBreaks() {
        // Lines ended by LF, CR LF and CR; the emoji has no GBK code.
        const QString foreign = QString("; 文😀\nX\r\nY\rZ");
        Doc gbk, utf8;
        QVERIFY(Open(gbk, "G0"));
        QVERIFY(Open(utf8, "; \xe6\xb3\xa8\r\nG0"));
        QCOMPARE(utf8.buffer.Encoding(), TextEncoding::Utf8);

        QApplication::clipboard()->setText(foreign);
        QVERIFY(gbk.view->IsCommandEnabled(ID_EDIT_PASTE));
        PlaceCaretAt(*gbk.view, {0, 2});
        Key(gbk, Qt::Key_V);
        QCOMPARE(Saved(gbk), std::string("G0; \xCE\xC4?\r\nX\r\nY\r\nZ"));
        PlaceCaretAt(*utf8.view, {1, 2});
        Key(utf8, Qt::Key_V);
        const std::string asUtf8 = "; \xe6\x96\x87\xf0\x9f\x98\x80\r\nX\r\nY\r\nZ";
        QCOMPARE(Saved(utf8), "; \xe6\xb3\xa8\r\nG0" + asUtf8);

        // Dragged in from another program: the same.
        QMimeData dragged;
        dragged.setText(foreign);
        for (Doc* doc : {&gbk, &utf8}) {
            const QPoint at = Cell(*doc->view, {0, 0});
            QDragEnterEvent enter(at, Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(doc->view->viewport(), &enter);
            QDropEvent drop(QPointF(at), Qt::CopyAction, &dragged, Qt::LeftButton,
                            Qt::ControlModifier);
            QApplication::sendEvent(doc->view->viewport(), &drop);
            QVERIFY(drop.isAccepted());
        }
        QCOMPARE(Saved(gbk), std::string("; \xCE\xC4?\r\nX\r\nY\r\nZG0; \xCE\xC4?\r\nX\r\nY\r\nZ"));
        QCOMPARE(Saved(utf8), asUtf8 + "; \xe6\xb3\xa8\r\nG0" + asUtf8);
    }

    void dragMoveKeepsEveryByte() {
        Doc doc;
        QVERIFY(Open(doc, kFile));
        // Lines 1 to 3 moved down before the last, empty line.
        SelectText(*doc.view, {1, 0}, {4, 0});
        doc.view->dropAt = Cell(*doc.view, {7, 0});
        DragSelection(doc, {2, 1});
        const std::vector<std::string> moved{kLines[0], kLines[4], kLines[5], kLines[6],
                                             kLines[1], kLines[2], kLines[3], ""};
        QCOMPARE(Saved(doc), Joined(moved, 0, moved.size()));
        QCOMPARE(doc.view->UndoMenuText(), QString("撤消 拖拽\tCtrl+Z"));
        Key(doc, Qt::Key_Z);
        QCOMPARE(Saved(doc), kFile);
    }

    void dragMoveBetweenDocumentsKeepsEveryByte() {
        Doc from, to;
        QVERIFY(Open(from, kFile));
        const std::string target = "; \xe6\xb3\xa8\r\nEND";
        QVERIFY(Open(to, target));
        QCOMPARE(to.buffer.Encoding(), TextEncoding::Utf8);
        SelectText(*from.view, {0, 0}, {7, 0});
        from.view->dropInto = to.view.get();
        from.view->dropAt = Cell(*to.view, {1, 0});
        DragSelection(from, {2, 1});
        QCOMPARE(Saved(from), std::string());
        QCOMPARE(Saved(to), "; \xe6\xb3\xa8\r\n" + kFile + "END");
        // Each document undoes its own half.
        Key(to, Qt::Key_Z);
        QCOMPARE(Saved(to), target);
        Key(from, Qt::Key_Z);
        QCOMPARE(Saved(from), kFile);
    }

    void dropOntoTheDraggedTextInAnotherWindowMovesNothing() {
        // Two windows on one document: the text dragged in one is dropped
        // onto itself in the other, at its start and inside it.
        Doc doc;
        QVERIFY(Open(doc, kFile));
        const std::unique_ptr<TestEditView> other = OpenEditView(doc.buffer);
        QVERIFY(other);
        for (TextPos at : {TextPos{1, 0}, TextPos{2, 1}, TextPos{3, 2}}) {
            SelectText(*doc.view, {1, 0}, {3, 3});
            doc.view->dropInto = other.get();
            doc.view->dropAt = Cell(*other, at);
            DragSelection(doc, {2, 1});
            QCOMPARE(Saved(doc), kFile);
            QVERIFY(!doc.buffer.HasUndo());
        }
        // Just after it the text stays where it was, in one undo step.
        SelectText(*doc.view, {1, 0}, {3, 3});
        doc.view->dropAt = Cell(*other, {3, 3});
        DragSelection(doc, {2, 1});
        QCOMPARE(Saved(doc), kFile);
        Key(doc, Qt::Key_Z);
        QCOMPARE(Saved(doc), kFile);
        QVERIFY(!doc.buffer.HasUndo());
    }
};

QTEST_MAIN(ClipboardTest)
#include "ClipboardTest.moc"
