// Undo and redo: grouping as the editing commands use it, labels, the history
// limit, the modified state, and exact restoration of any text.
#include <gtest/gtest.h>

#include <random>

#include "TestHelpers.h"

namespace {

class UndoTest : public ::testing::Test {
protected:
    void SetUp() override {
        buf.CreateEmpty(LINE_END_CRLF);
        buf.AttachView(&view);
    }
    // A typed character: continues the most recent group unless it is a space.
    void Type(char c) {
        int el, eb;
        buf.BeginEditGroup(c != ' ');
        ASSERT_TRUE(
            buf.InsertAt(&view, caret.y, caret.x, std::string(1, c), el, eb, ACTION_TYPING));
        buf.EndEditGroup(&view);
        caret = {el, eb};
    }
    std::string UndoMenu() const {
        if (!buf.HasUndo())
            return UndoMenuText(nullptr);
        std::string label;
        buf.UndoLabel(label);
        return UndoMenuText(&label);
    }
    bool Undo() {
        TextPos p;
        return buf.UndoLast(p);
    }

    CTextBuffer buf;
    RecordingView view;
    TextPos caret;
};

TEST_F(UndoTest, TypedCharactersUndoTogether) {
    Type('a');
    Type('b');
    Type('c');
    EXPECT_EQ(UndoMenu(), "撤消 输入\tCtrl+Z");
    TextPos p;
    ASSERT_TRUE(buf.UndoLast(p));
    EXPECT_EQ(Lines(buf), "");
    EXPECT_EQ(p, (TextPos{0, 0}));
    EXPECT_FALSE(buf.HasUndo());
    EXPECT_EQ(UndoMenu(), "撤消\tCtrl+Z");
}

TEST_F(UndoTest, ASpaceStartsANewGroup) {
    for (char c : std::string("ab cd"))
        Type(c);
    ASSERT_TRUE(Undo());
    EXPECT_EQ(Lines(buf), "ab");
    ASSERT_TRUE(Undo());
    EXPECT_EQ(Lines(buf), "");
}

TEST_F(UndoTest, AutoIndentMadeAfterTheEditIsAGroupOfItsOwn) {
    // A view that indents after Enter, as the editor does.
    struct IndentingView : RecordingView {
        CTextBuffer* buf = nullptr;
        TextPos* caret = nullptr;
        void AfterEditAction(int action, std::string_view text) override {
            RecordingView::AfterEditAction(action, text);
            if (action == ACTION_TYPING && text == "\r\n") {
                int el, eb;
                buf->InsertAt(nullptr, caret->y, caret->x, "  ", el, eb, ACTION_AUTOINDENT);
                *caret = {el, eb};
            }
        }
    } indenting;
    indenting.buf = &buf;
    indenting.caret = &caret;
    SetLines(buf, {"  G1"});
    caret = {0, 4};
    int el, eb;
    buf.BeginEditGroup(false);
    // The caret is where the Enter leaves it before AfterEditAction runs.
    caret = {1, 0};
    ASSERT_TRUE(buf.InsertAt(&indenting, 0, 4, "\r\n", el, eb, ACTION_TYPING));
    buf.EndEditGroup(&indenting);
    EXPECT_EQ(Lines(buf), "  G1|  ");
    EXPECT_EQ(UndoMenu(), "撤消 自动缩进\tCtrl+Z");
    ASSERT_TRUE(Undo());
    EXPECT_EQ(Lines(buf), "  G1|");
    ASSERT_TRUE(Undo());
    EXPECT_EQ(Lines(buf), "  G1");
}

TEST_F(UndoTest, NewEditDiscardsRedo) {
    Type('a');
    ASSERT_TRUE(Undo());
    EXPECT_TRUE(buf.HasRedo());
    std::string label;
    buf.RedoLabel(label);
    EXPECT_EQ(RedoMenuText(&label), "重复 输入\tCtrl+Y");
    caret = {0, 0};
    Type('b');
    EXPECT_FALSE(buf.HasRedo());
    EXPECT_EQ(RedoMenuText(nullptr), "重复\tCtrl+Y");
}

TEST_F(UndoTest, PasteOverSelectionIsOneStepNamedByItsFirstAction) {
    SetLines(buf, {"G0 X10 Y20"});
    int el, eb;
    buf.BeginEditGroup(false);
    ASSERT_TRUE(buf.EraseRange(&view, 0, 3, 0, 6, ACTION_DELSEL));
    ASSERT_TRUE(buf.InsertAt(&view, 0, 3, "Z5\r\nM3", el, eb, ACTION_PASTE));
    buf.EndEditGroup(&view);
    EXPECT_EQ(Lines(buf), "G0 Z5|M3 Y20");
    EXPECT_EQ(UndoMenu(), "撤消 删除选定部分\tCtrl+Z");
    TextPos p;
    ASSERT_TRUE(buf.UndoLast(p));
    EXPECT_EQ(Lines(buf), "G0 X10 Y20");
    EXPECT_EQ(p, (TextPos{0, 6})) << "the cursor ends after the restored text";
    ASSERT_TRUE(buf.RedoNext(p));
    EXPECT_EQ(Lines(buf), "G0 Z5|M3 Y20");
    EXPECT_EQ(p, (TextPos{1, 2}));
}

TEST_F(UndoTest, EndEditGroupReportsTheLastActionToTheSourceView) {
    Type('x');
    ASSERT_FALSE(view.actions.empty());
    EXPECT_EQ(view.actions.back(), (std::pair<int, std::string>{ACTION_TYPING, "x"}));
}

TEST_F(UndoTest, UndoOfAppendedTextRemovesExactlyIt) {
    SetLines(buf, {"O1000", "G0"});
    int el, eb;
    ASSERT_TRUE(buf.InsertAt(nullptr, -1, -1, " X1\r\nM30\r\n", el, eb, ACTION_TYPING));
    EXPECT_EQ(Lines(buf), "O1000|G0 X1|M30|");
    EXPECT_EQ(buf.UndoEntryAt(0).start, (TextPos{1, 2}));
    TextPos p;
    ASSERT_TRUE(buf.UndoLast(p));
    EXPECT_EQ(Lines(buf), "O1000|G0");
    EXPECT_EQ(p, (TextPos{1, 2}));
}

// The limit counts undo steps: at the limit a new step drops the oldest one
// whole, never part of a step.
TEST_F(UndoTest, HistoryIsTrimmedGroupByGroup) {
    for (int i = 0; i < 2048; ++i)
        Type(i % 2 ? 'x' : ' '); // 1024 groups of two entries
    EXPECT_EQ(buf.UndoEntryCount(), 2048);
    Type(' ');
    EXPECT_EQ(buf.UndoEntryCount(), 2047);
    EXPECT_EQ(buf.UndoPosition(), 2047);
    EXPECT_TRUE(buf.UndoEntryAt(0).flags & ENTRY_GROUP_START);
    int undone = 0;
    while (Undo())
        ++undone;
    EXPECT_EQ(undone, 1024);
    EXPECT_EQ(buf.LineSize(0), 2) << "the oldest group's text stays: it can no longer be undone";
}

// One step of more changes than the limit (a replace all of many matches) is
// undone and redone whole: the document comes back exactly each way.
TEST_F(UndoTest, OneGroupLongerThanTheLimitIsUndoneAndRedoneWhole) {
    for (int i = 0; i < 5; ++i)
        Type(' '); // a few earlier steps
    const auto before = LineList(buf);
    buf.BeginEditGroup(false);
    int el = 0, eb = 0;
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(
            buf.InsertAt(nullptr, 0, 0, i % 3 ? "G01 " : "\xff\r\n", el, eb, ACTION_REPLACE));
    buf.EndEditGroup(nullptr);
    const auto after = LineList(buf);
    ASSERT_EQ(buf.UndoEntryCount(), 3005);
    EXPECT_TRUE(buf.UndoEntryAt(5).flags & ENTRY_GROUP_START);
    ASSERT_TRUE(Undo());
    EXPECT_EQ(LineList(buf), before);
    TextPos p;
    ASSERT_TRUE(buf.RedoNext(p));
    EXPECT_EQ(LineList(buf), after);
    // The earlier steps are still there behind it.
    int undone = 0;
    while (Undo())
        ++undone;
    EXPECT_EQ(undone, 6);
    EXPECT_EQ(LineList(buf), (std::vector<std::string>{""}));
}

TEST_F(UndoTest, RefusedWhileWriteProtected) {
    Type('a');
    Type(' ');
    buf.SetWriteProtected(true);
    TextPos p{7, 7};
    EXPECT_FALSE(buf.UndoLast(p));
    EXPECT_EQ(buf.UndoPosition(), 2);
    EXPECT_EQ(p, (TextPos{7, 7}));
    buf.SetWriteProtected(false);
    ASSERT_TRUE(buf.UndoLast(p));
    buf.SetWriteProtected(true);
    EXPECT_FALSE(buf.RedoNext(p));
    EXPECT_EQ(buf.UndoPosition(), 1);
    EXPECT_EQ(Lines(buf), "a");
}

TEST_F(UndoTest, ErasedLinesHoldingCrBytesComeBackExactly) {
    // A file with LF breaks may keep CRs inside its lines.
    const std::vector<std::string> original{"G1\rX1", "Y2\r", "\rZ3"};
    CTextBuffer b;
    TempDir dir;
    WriteBytes(dir.File("p.nc"), "G1\rX1\nY2\r\n\rZ3");
    ASSERT_TRUE(b.LoadFromDisk(dir.File("p.nc")));
    ASSERT_EQ(LineList(b), original);
    ASSERT_TRUE(b.EraseRange(nullptr, 0, 1, 2, 2, ACTION_DELETE));
    EXPECT_EQ(Lines(b), "G3");
    TextPos p;
    ASSERT_TRUE(b.UndoLast(p));
    EXPECT_EQ(LineList(b), original);
    ASSERT_TRUE(b.RedoNext(p));
    ASSERT_TRUE(b.UndoLast(p));
    EXPECT_EQ(LineList(b), original);
    // Within one line as well.
    ASSERT_TRUE(b.EraseRange(nullptr, 0, 0, 0, 5, ACTION_DELETE));
    ASSERT_TRUE(b.UndoLast(p));
    EXPECT_EQ(LineList(b), original);
}

TEST_F(UndoTest, CopiedLinesHoldingCrBytesGoBackInExactly) {
    // Copied text joins lines with CR LF; a CR of a line's own, at its end or
    // before a lone LF too, must not break the line when the text goes back in.
    CTextBuffer b;
    TempDir dir;
    WriteBytes(dir.File("p.nc"), "G1\rX1\nY2\r\n\rZ3\nA\r\nB");
    ASSERT_TRUE(b.LoadFromDisk(dir.File("p.nc")));
    const std::vector<std::string> original{"G1\rX1", "Y2\r", "\rZ3", "A\r", "B"};
    ASSERT_EQ(LineList(b), original);
    std::string copied;
    b.CopyText(0, 3, 4, 0, copied);
    int el = 0, eb = 0;
    ASSERT_TRUE(b.InsertCopiedText(nullptr, 4, 1, copied, el, eb, ACTION_PASTE));
    const std::vector<std::string> pasted{"G1\rX1", "Y2\r", "\rZ3", "A\r", "BX1",
                                          "Y2\r",   "\rZ3", "A\r",  ""};
    EXPECT_EQ(LineList(b), pasted);
    EXPECT_EQ((TextPos{el, eb}), (TextPos{8, 0}));
    TextPos p;
    ASSERT_TRUE(b.UndoLast(p));
    EXPECT_EQ(LineList(b), original);
    ASSERT_TRUE(b.RedoNext(p));
    EXPECT_EQ(LineList(b), pasted);
    // A lone LF or CR beside the CR LF stays in its line.
    ASSERT_TRUE(b.InsertCopiedText(nullptr, 8, 0, "\n\r\n\r", el, eb, ACTION_PASTE));
    EXPECT_EQ(b.LineView(8), "\n");
    EXPECT_EQ(b.LineView(9), "\r");
    ASSERT_TRUE(b.UndoLast(p));
    ASSERT_TRUE(b.InsertCopiedText(nullptr, -1, -1, "q\rw", el, eb, ACTION_PASTE));
    EXPECT_EQ(b.LineView(8), "q\rw");
    EXPECT_EQ(b.CountLines(), 9);
    // Text without CR bytes of its own goes in as InsertAt puts it.
    ASSERT_TRUE(b.InsertCopiedText(nullptr, 0, 0, "a\nb\r\nc", el, eb, ACTION_PASTE));
    EXPECT_EQ(b.LineView(0), "a\nb");
    EXPECT_EQ(b.LineView(1), "cG1\rX1");
    b.SetWriteProtected(true);
    EXPECT_FALSE(b.InsertCopiedText(nullptr, 0, 0, "x\ry", el, eb, ACTION_PASTE));
    EXPECT_EQ(b.LineView(0), "a\nb");
}

// The modified state, with the buffer's own flag and with a document that keeps
// its own (and so never counts undo back to the save as clean).
TEST_F(UndoTest, UndoToTheSavedStateClearsTheBuffersOwnFlag) {
    Type('a');
    TempDir dir;
    ASSERT_TRUE(buf.SaveToDisk(dir.File("x.nc")));
    EXPECT_FALSE(buf.IsModified());
    Type(' '); // a group of its own
    EXPECT_TRUE(buf.IsModified());
    ASSERT_TRUE(Undo());
    EXPECT_FALSE(buf.IsModified());
    ASSERT_TRUE(Undo());
    EXPECT_TRUE(buf.IsModified());
}

TEST_F(UndoTest, DocumentStaysModifiedAfterUndoToSavedState) {
    struct DocBuffer : CTextBuffer {
        bool docModified = false;
        void MarkModified(bool on) override { docModified = on; }
    } doc;
    doc.CreateEmpty();
    int el, eb;
    ASSERT_TRUE(doc.InsertAt(nullptr, 0, 0, "a", el, eb, ACTION_TYPING));
    TempDir dir;
    ASSERT_TRUE(doc.SaveToDisk(dir.File("x.nc")));
    EXPECT_FALSE(doc.docModified);
    ASSERT_TRUE(doc.InsertAt(nullptr, 0, 1, "b", el, eb, ACTION_TYPING));
    EXPECT_TRUE(doc.docModified);
    TextPos p;
    ASSERT_TRUE(doc.UndoLast(p));
    EXPECT_TRUE(doc.docModified);
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(UndoTest, SavedStateLostWithTheRedoHistoryStaysModified) {
    Type('a');
    TempDir dir;
    ASSERT_TRUE(buf.SaveToDisk(dir.File("x.nc")));
    ASSERT_TRUE(Undo());
    caret = {0, 0};
    Type('z'); // the saved text "a" can no longer be reached
    ASSERT_TRUE(Undo());
    EXPECT_EQ(Lines(buf), "");
    EXPECT_TRUE(buf.IsModified());
}

TEST(ActionLabelTest, LabelsOfEveryCode) {
    const char* expected[] = {"未知操作", "粘贴", "删除选定部分", "剪切", "输入",    "删除",
                              "缩进",     "拖拽", "替换",         "删除", "自动缩进"};
    CTextBuffer b;
    std::string label;
    for (int code = 0; code <= 10; ++code) {
        ASSERT_TRUE(b.ActionLabel(code, label));
        EXPECT_EQ(label, expected[code]);
    }
    EXPECT_FALSE(b.ActionLabel(11, label));
    EXPECT_EQ(label, "");
    EXPECT_FALSE(b.ActionLabel(-1, label));
    EXPECT_EQ(UndoMenuText(&label), "撤消 \tCtrl+Z");
}

// Random edits of random bytes, grouped at random, then everything undone:
// the text must be the original byte for byte; redoing all gives the end text.
TEST(UndoRandomTest, EditThenUndoAllRestoresTheOriginal) {
    std::mt19937 rng(20261207);
    const std::string alphabet =
        std::string("ab \t;%GXYZ019\r\n", 15) + std::string(1, '\0') + "\xb9\xa4\xd7\xf7";
    for (int round = 0; round < 40; ++round) {
        CTextBuffer b;
        TempDir dir;
        std::string initial;
        for (int i = 0, n = int(rng() % 400); i < n; ++i)
            initial += alphabet[rng() % alphabet.size()];
        WriteBytes(dir.File("in.nc"), initial);
        ASSERT_TRUE(b.LoadFromDisk(dir.File("in.nc")));
        const auto original = LineList(b);

        for (int edit = 0; edit < 300; ++edit) {
            int y1 = int(rng() % unsigned(b.CountLines()));
            int x1 = int(rng() % unsigned(b.LineSize(y1) + 1));
            b.BeginEditGroup(rng() % 3 == 0);
            if (rng() % 2) {
                std::string text;
                for (int i = 0, n = int(rng() % 12); i < n; ++i)
                    text += alphabet[rng() % alphabet.size()];
                int el, eb;
                ASSERT_TRUE(b.InsertAt(nullptr, y1, x1, text, el, eb, int(rng() % 11)));
            } else {
                int y2 = y1 + int(rng() % 3);
                if (y2 >= b.CountLines())
                    y2 = b.CountLines() - 1;
                int x2 = int(rng() % unsigned(b.LineSize(y2) + 1));
                if (y2 == y1 && x2 < x1)
                    std::swap(x1, x2);
                ASSERT_TRUE(b.EraseRange(nullptr, y1, x1, y2, x2, ACTION_DELETE));
            }
            b.EndEditGroup(nullptr);
        }
        ASSERT_LT(b.UndoEntryCount(), b.UndoLimit()) << "the whole history must be kept";
        const auto edited = LineList(b);
        TextPos p;
        while (b.HasUndo())
            ASSERT_TRUE(b.UndoLast(p));
        ASSERT_EQ(LineList(b), original) << "round " << round;
        while (b.HasRedo())
            ASSERT_TRUE(b.RedoNext(p));
        ASSERT_EQ(LineList(b), edited) << "round " << round;
    }
}

} // namespace
