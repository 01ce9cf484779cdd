// The line store: insertion and erasure primitives, marks, copying, views.
#include <gtest/gtest.h>

#include "TestHelpers.h"

namespace {

class TextBufferTest : public ::testing::Test {
protected:
    void SetUp() override {
        buf.CreateEmpty(LINE_END_CRLF);
        buf.AttachView(&view);
    }
    bool Insert(int line, int byte, std::string_view text) {
        return buf.RawInsert(&view, line, byte, text, endLine, endByte);
    }

    CTextBuffer buf;
    RecordingView view;
    int endLine = -9, endByte = -9;
};

TEST_F(TextBufferTest, NewTextHasOneEmptyLine) {
    EXPECT_EQ(buf.CountLines(), 1);
    EXPECT_EQ(buf.LineSize(0), 0);
    EXPECT_FALSE(buf.IsModified());
    EXPECT_FALSE(buf.IsWriteProtected());
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_CRLF);
}

TEST_F(TextBufferTest, CreateEmptyNotifiesReset) {
    RecordingView other;
    buf.AttachView(&other);
    buf.CreateEmpty(LINE_END_LF);
    ASSERT_EQ(other.notes.size(), 1u);
    EXPECT_EQ(other.notes[0].bits, CHANGE_RESET);
    EXPECT_EQ(other.notes[0].line, -1);
    EXPECT_FALSE(other.notes[0].hasAdjuster);
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_LF);
}

TEST_F(TextBufferTest, InsertWithinOneLine) {
    SetLines(buf, {"xy"});
    view.notes.clear();
    ASSERT_TRUE(Insert(0, 1, "AB"));
    EXPECT_EQ(Lines(buf), "xABy");
    EXPECT_EQ(endLine, 0);
    EXPECT_EQ(endByte, 3);
    ASSERT_EQ(view.notes.size(), 1u);
    EXPECT_EQ(view.notes[0].bits, 0x0101u);
    EXPECT_EQ(view.notes[0].line, 0);
    EXPECT_EQ(view.notes[0].source, &view);
    EXPECT_EQ(view.notes[0].start, (TextPos{0, 1}));
    EXPECT_EQ(view.notes[0].end, (TextPos{0, 3}));
    EXPECT_TRUE(buf.IsModified());
}

TEST_F(TextBufferTest, InsertBreaksAtCrAndCrLfButNotLoneLf) {
    SetLines(buf, {"xy"});
    view.notes.clear();
    ASSERT_TRUE(Insert(0, 1, "1\r\n2\r3"));
    EXPECT_EQ(Lines(buf), "x1|2|3y");
    EXPECT_EQ(endLine, 2);
    EXPECT_EQ(endByte, 1);
    EXPECT_EQ(view.notes.back().bits, 0x0003u);

    ASSERT_TRUE(Insert(0, 0, "a\nb"));
    EXPECT_EQ(buf.CountLines(), 3);
    EXPECT_EQ(buf.LineView(0), "a\nbx1");
}

TEST_F(TextBufferTest, InsertKeepsNulAndEveryByte) {
    std::string bytes;
    for (int c = 0; c < 256; ++c)
        if (c != '\r')
            bytes += char(c);
    ASSERT_TRUE(Insert(0, 0, bytes));
    EXPECT_EQ(buf.CountLines(), 1);
    EXPECT_EQ(buf.LineView(0), bytes);
    EXPECT_EQ(endByte, int(bytes.size()));
}

TEST_F(TextBufferTest, InsertAtEndOfText) {
    SetLines(buf, {"ab", "cd"});
    ASSERT_TRUE(Insert(-1, -1, "ef\r\ng"));
    EXPECT_EQ(Lines(buf), "ab|cdef|g");
    EXPECT_EQ(endLine, 2);
    EXPECT_EQ(endByte, 1);
}

TEST_F(TextBufferTest, InsertedTextEndingInBreakAddsEmptyLine) {
    SetLines(buf, {"ab"});
    ASSERT_TRUE(Insert(0, 2, "\r\n"));
    EXPECT_EQ(Lines(buf), "ab|");
    EXPECT_EQ(endLine, 1);
    EXPECT_EQ(endByte, 0);
}

TEST_F(TextBufferTest, LongLinesGrowAcrossBlockBoundaries) {
    std::string expect;
    for (int i = 0; i < 300; ++i) {
        std::string piece(size_t(i % 17), char('a' + i % 26));
        ASSERT_TRUE(Insert(0, buf.LineSize(0) / 2, piece));
        expect.insert(expect.size() / 2, piece);
    }
    EXPECT_EQ(buf.LineView(0), expect);
}

// Many lines at once (received text, a big paste) share their storage; each
// must still grow, shrink, join and vanish on its own without touching the
// bytes of its neighbours.
TEST_F(TextBufferTest, LinesInsertedManyAtATimeEditLikeAnyOther) {
    std::vector<std::string> model;
    std::string text;
    for (int i = 0; i < 40; ++i) {
        model.push_back("N" + std::to_string(i) + " G1 X" + std::string(size_t(i % 7), '9'));
        text += model.back() + (i + 1 < 40 ? "\r\n" : "");
    }
    ASSERT_TRUE(Insert(0, 0, text));
    auto Expect = [&] {
        std::string all;
        for (size_t i = 0; i < model.size(); ++i)
            all += model[i] + (i + 1 < model.size() ? "|" : "");
        return all;
    };
    ASSERT_EQ(Lines(buf), Expect());

    ASSERT_TRUE(Insert(5, 2, std::string(100, 'T'))); // grows past its neighbour's bytes
    model[5].insert(2, std::string(100, 'T'));
    ASSERT_TRUE(buf.RawErase(&view, 6, 1, 6, 3));
    model[6].erase(1, 2);
    ASSERT_TRUE(buf.RawErase(&view, 7, 2, 9, 1)); // joins 7 with the rest of 9
    model[7] = model[7].substr(0, 2) + model[9].substr(1);
    model.erase(model.begin() + 8, model.begin() + 10);
    EXPECT_EQ(Lines(buf), Expect());

    buf.CreateEmpty(LINE_END_CRLF); // releases the shared storage
    ASSERT_TRUE(Insert(0, 0, text));
    EXPECT_EQ(buf.CountLines(), 40);
    EXPECT_EQ(buf.LineView(39), "N39 G1 X9999");
}

TEST_F(TextBufferTest, AFastPunchOfManyMegabytesLandsWhole) {
    // Appended in flush-sized pieces, like received text: it fills several
    // storage blocks and grows the line table many times.
    const std::string line = "N10 G1 X12.345 Y67.890 Z-1.000 F800";
    std::string chunk;
    while (chunk.size() < 4096)
        chunk += line + "\r\n";
    const int chunks = 3000; // about 12 MB, 340 000 lines
    for (int i = 0; i < chunks; ++i)
        ASSERT_TRUE(Insert(-1, -1, chunk));
    const int lines = buf.CountLines();
    ASSERT_EQ(lines, chunks * int(chunk.size() / (line.size() + 2)) + 1);
    for (int i = 0; i < lines - 1; i += 997)
        ASSERT_EQ(buf.LineView(i), line) << "line " << i;
    EXPECT_EQ(buf.LineView(lines - 2), line);
    EXPECT_EQ(buf.LineSize(lines - 1), 0);
}

TEST_F(TextBufferTest, EraseAcrossLinesJoinsThem) {
    SetLines(buf, {"x1", "2", "3y"});
    view.notes.clear();
    ASSERT_TRUE(buf.RawErase(&view, 0, 1, 2, 1));
    EXPECT_EQ(Lines(buf), "xy");
    ASSERT_EQ(view.notes.size(), 1u);
    EXPECT_EQ(view.notes[0].bits, 0x0003u);
    EXPECT_EQ(view.notes[0].line, 0);
}

TEST_F(TextBufferTest, EraseWithinLine) {
    SetLines(buf, {"abcdef", "z"});
    view.notes.clear();
    ASSERT_TRUE(buf.RawErase(&view, 0, 1, 0, 4));
    EXPECT_EQ(Lines(buf), "aef|z");
    EXPECT_EQ(view.notes[0].bits, 0x0101u);
}

TEST_F(TextBufferTest, EmptyEraseStillNotifiesAndModifies) {
    SetLines(buf, {"ab"});
    buf.MarkModified(false);
    view.notes.clear();
    ASSERT_TRUE(buf.RawErase(&view, 0, 1, 0, 1));
    EXPECT_EQ(view.notes.size(), 1u);
    EXPECT_TRUE(buf.IsModified());
    // The only line of a new text has no bytes at all yet (the sanitizer build
    // catches a copy from nowhere).
    buf.CreateEmpty();
    ASSERT_TRUE(buf.EraseRange(&view, 0, 0, 0, 0, ACTION_DELETE));
    EXPECT_EQ(Lines(buf), "");
}

TEST_F(TextBufferTest, BadPositionsAreRefusedNotFatal) {
    SetLines(buf, {"ab"});
    view.notes.clear();
    EXPECT_FALSE(Insert(1, 0, "x"));
    EXPECT_FALSE(Insert(0, 3, "x"));
    EXPECT_FALSE(Insert(-1, 0, "x"));
    EXPECT_FALSE(buf.RawErase(&view, 0, 2, 0, 1)); // end before start
    EXPECT_FALSE(buf.RawErase(&view, 0, 0, 4, 0));
    EXPECT_TRUE(view.notes.empty());
    EXPECT_EQ(buf.LineSize(7), 0);
    EXPECT_EQ(buf.LineSize(-1), 0);
    EXPECT_EQ(buf.LineMarkBits(99), 0u);
    EXPECT_STREQ(buf.LineText(99), "");
}

TEST_F(TextBufferTest, WriteProtectedRefusesEverything) {
    SetLines(buf, {"ab", "cd"});
    buf.MarkModified(false);
    buf.SetWriteProtected(true);
    view.notes.clear();
    int el, eb;
    EXPECT_FALSE(Insert(0, 0, "x"));
    EXPECT_FALSE(buf.RawErase(&view, 0, 0, 1, 1));
    EXPECT_FALSE(buf.InsertAt(&view, 0, 0, "x", el, eb, ACTION_TYPING));
    EXPECT_FALSE(buf.EraseRange(&view, 0, 0, 1, 1, ACTION_DELETE));
    EXPECT_EQ(Lines(buf), "ab|cd");
    EXPECT_TRUE(view.notes.empty());
    EXPECT_EQ(buf.UndoEntryCount(), 0);
    EXPECT_FALSE(buf.IsModified());
}

TEST_F(TextBufferTest, CopyTextJoinsWithCrLfWhateverTheMode) {
    SetLines(buf, {"abc", "def", "ghi"});
    buf.SetLineEndMode(LINE_END_LF);
    std::string out;
    buf.CopyText(0, 1, 2, 2, out);
    EXPECT_EQ(out, "bc\r\ndef\r\ngh");
    buf.CopyText(1, 1, 1, 3, out);
    EXPECT_EQ(out, "ef");
    buf.CopyText(0, 0, 2, 3, out, "\n");
    EXPECT_EQ(out, "abc\ndef\nghi");
    buf.CopyText(0, 3, 1, 0, out);
    EXPECT_EQ(out, "\r\n");
    buf.CopyText(2, 0, 0, 0, out);
    EXPECT_EQ(out, "") << "a range that ends before it starts copies nothing";
}

// --- Marks -----------------------------------------------------------------

TEST_F(TextBufferTest, MarksNeedExactlyOneBit) {
    SetLines(buf, {"a", "b"});
    view.notes.clear();
    buf.SetLineMark(0, MARK_0 | PLAIN_MARK, true);
    EXPECT_EQ(buf.LineMarkBits(0), 0u);
    EXPECT_TRUE(view.notes.empty());
    buf.SetLineMark(1, PLAIN_MARK, true);
    EXPECT_EQ(buf.FindLineWithMark(PLAIN_MARK | MARK_0), -1);
    EXPECT_EQ(buf.FindLineWithMark(PLAIN_MARK), 1);
    EXPECT_EQ(view.notes.back().bits, 0x0300u);
    EXPECT_EQ(view.notes.back().line, 1);
}

TEST_F(TextBufferTest, ExclusiveMarkMovesAndNotifiesBothLines) {
    SetLines(buf, {"a", "b", "c"});
    buf.SetLineMark(0, TRANSFER_LINE, true, true);
    view.notes.clear();
    buf.SetLineMark(2, TRANSFER_LINE, true, true);
    EXPECT_EQ(buf.LineMarkBits(0), 0u);
    EXPECT_EQ(buf.LineMarkBits(2), TRANSFER_LINE);
    ASSERT_EQ(view.notes.size(), 2u);
    EXPECT_EQ(view.notes[0].line, 0);
    EXPECT_EQ(view.notes[1].line, 2);
    // Setting it again where it is changes nothing and says nothing.
    view.notes.clear();
    buf.SetLineMark(2, TRANSFER_LINE, true, true);
    EXPECT_TRUE(view.notes.empty());
}

TEST_F(TextBufferTest, MarkOnLineMinusOneMeansTheLineThatCarriesIt) {
    SetLines(buf, {"a", "b", "c"});
    buf.SetLineMark(-1, MARK_0 << 3, false); // nobody carries it: nothing
    buf.SetLineMark(1, MARK_0 << 3, true);
    buf.SetLineMark(-1, MARK_0 << 3, false);
    EXPECT_EQ(buf.FindLineWithMark(MARK_0 << 3), -1);
}

TEST_F(TextBufferTest, FindLineWithMarkFollowsLinesThatMove) {
    SetLines(buf, {"a", "b", "c", "d"});
    buf.SetLineMark(2, MARK_0, true);
    buf.SetLineMark(3, MARK_0, true);
    EXPECT_EQ(buf.FindLineWithMark(MARK_0), 2);
    ASSERT_TRUE(Insert(0, 0, "x\r\ny\r\n"));
    EXPECT_EQ(buf.FindLineWithMark(MARK_0), 4);
    ASSERT_TRUE(buf.RawErase(&view, 0, 0, 4, 0)); // the marked line's record goes
    EXPECT_EQ(buf.FindLineWithMark(MARK_0), 1);
    EXPECT_EQ(Lines(buf), "c|d");
    ASSERT_TRUE(buf.RawErase(&view, 0, 1, 1, 1));
    EXPECT_EQ(buf.FindLineWithMark(MARK_0), -1);
}

TEST_F(TextBufferTest, NextAndPrevMarkedLineWrapOnce) {
    SetLines(buf, {"0", "1", "2", "3", "4"});
    EXPECT_EQ(buf.NextMarkedLine(0), -1);
    EXPECT_EQ(buf.PrevMarkedLine(0), -1);
    buf.SetLineMark(3, PLAIN_MARK, true);
    EXPECT_EQ(buf.NextMarkedLine(3), 3) << "the only marked line is found last";
    EXPECT_EQ(buf.PrevMarkedLine(3), 3);
    buf.SetLineMark(1, PLAIN_MARK, true);
    EXPECT_EQ(buf.NextMarkedLine(1), 3);
    EXPECT_EQ(buf.NextMarkedLine(3), 1);
    EXPECT_EQ(buf.NextMarkedLine(4), 1);
    EXPECT_EQ(buf.PrevMarkedLine(1), 3);
    EXPECT_EQ(buf.PrevMarkedLine(0), 3);
    EXPECT_EQ(buf.PrevMarkedLine(2), 1);
}

// --- Views -----------------------------------------------------------------

TEST_F(TextBufferTest, ViewsAreToldInRegistrationOrderUntilDetached) {
    struct OrderView : BufferView {
        std::vector<int>* log;
        int id;
        void OnBufferChanged(BufferView*, const PositionAdjuster*, uint32_t, int) override {
            log->push_back(id);
        }
    };
    std::vector<int> log;
    OrderView a, b;
    a.log = b.log = &log;
    a.id = 1;
    b.id = 2;
    buf.AttachView(&a);
    buf.AttachView(&b);
    Insert(0, 0, "x");
    EXPECT_EQ(log, (std::vector<int>{1, 2}));
    buf.DetachView(&a);
    buf.DetachView(&a); // not there any more: harmless
    log.clear();
    Insert(0, 0, "x");
    EXPECT_EQ(log, (std::vector<int>{2}));
}

TEST_F(TextBufferTest, CaretMovesWithEdits) {
    SetLines(buf, {"hello", "world"});
    view.caret = {1, 2};
    Insert(0, 0, "X\r\n");
    EXPECT_EQ(view.caret, (TextPos{2, 2}));
    Insert(2, 2, "abc");
    EXPECT_EQ(view.caret, (TextPos{2, 2})) << "a caret at the insertion point stays before it";
    buf.RawErase(&view, 0, 1, 2, 4);
    EXPECT_EQ(view.caret, (TextPos{0, 1})) << "a caret inside the erased range goes to its start";
}

} // namespace

// A line's block grows in steps of 16 bytes and always has room for one more
// byte than the line holds; typing up to the block's size never moves it, and
// erasing never shrinks it. Loaded lines borrow the file's bytes until they grow.
TEST_F(TextBufferTest, LineBlocksGrowBySixteenAndNeverShrink) {
    SetLines(buf, {""});
    ASSERT_TRUE(Insert(0, 0, std::string(15, 'a')));
    EXPECT_EQ(buf.LineCapacity(0), 16);
    ASSERT_TRUE(Insert(0, 15, "b"));
    EXPECT_EQ(buf.LineCapacity(0), 16) << "a length equal to the block keeps it";
    ASSERT_TRUE(Insert(0, 16, "c"));
    EXPECT_EQ(buf.LineCapacity(0), 32);
    ASSERT_TRUE(Insert(0, 0, "x\r\n"));
    // The break keeps "x" in the old block; the tail moves to a new line.
    EXPECT_EQ(buf.LineCapacity(0), 32);
    EXPECT_EQ(buf.LineCapacity(1), 32);
    ASSERT_TRUE(Insert(1, 17, "\r\nN"));
    EXPECT_EQ(buf.LineCapacity(2), 16) << "a new line of 1 byte";
    ASSERT_TRUE(buf.RawErase(nullptr, 1, 0, 1, 17));
    EXPECT_EQ(buf.LineSize(1), 0);
    EXPECT_EQ(buf.LineCapacity(1), 32);

    TempDir dir;
    WriteBytes(dir.File("p.nc"), "G1 X5\r\nM30\r\n");
    ASSERT_TRUE(buf.LoadFromDisk(dir.File("p.nc")));
    EXPECT_EQ(buf.LineCapacity(0), 0) << "still the file's bytes";
    ASSERT_TRUE(Insert(0, 5, "Y"));
    EXPECT_EQ(buf.LineCapacity(0), 16);
    EXPECT_EQ(Lines(buf), "G1 X5Y|M30|");
}
