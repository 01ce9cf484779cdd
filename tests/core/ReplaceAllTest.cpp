// Replace all in one pass against the Replace step repeated: the same bytes,
// the same range corrections, positions moved alike, and one undo step that
// gives back every byte however many matches there were.
#include <gtest/gtest.h>

#include <random>

#include "TestHelpers.h"
#include "editor/text/ReplaceAll.h"
#include "editor/text/TextSearch.h"

namespace {

// The dialog's Replace step, repeated until a search fails: find, erase the
// match, insert the replacement, go on after it.
int ReplaceStepByStep(CTextBuffer& buf, BufferView* view, const std::string& find,
                      const std::string& replacement, uint32_t flags, TextPos from,
                      ReplaceRange& range) {
    const int32_t shift = int32_t(replacement.size()) - int32_t(find.size());
    int count = 0;
    TextPos at = from;
    for (;;) {
        TextPos found;
        const bool ok = range.bounded ? SearchInRange(buf, find, at, range.begin, range.end, flags,
                                                      false, found)
                                      : SearchText(buf, find, at, flags, false, found);
        if (!ok)
            return count;
        int el, eb;
        EXPECT_TRUE(buf.EraseRange(view, found.y, found.x, found.y, found.x + int32_t(find.size()),
                                   ACTION_REPLACE));
        EXPECT_TRUE(buf.InsertAt(view, found.y, found.x, replacement, el, eb, ACTION_REPLACE));
        for (TextPos* p : {&range.begin, &range.end})
            if (p->y == found.y && p->x > found.x)
                p->x += shift;
        at = {el, eb};
        ++count;
    }
}

std::string RandomText(std::mt19937& rng, std::string_view alphabet, int maxLength) {
    std::string s(size_t(rng() % unsigned(maxLength + 1)), ' ');
    for (char& c : s)
        c = alphabet[rng() % alphabet.size()];
    return s;
}

TextPos RandomPos(std::mt19937& rng, const CTextBuffer& buf) {
    const int y = int(rng() % unsigned(buf.CountLines()));
    return {y, int(rng() % unsigned(buf.LineSize(y) + 1))};
}

TEST(ReplaceAllTest, OnePassReplacesWhatTheStepsWouldAndUndoesInOneStep) {
    std::mt19937 rng(20261208);
    // Letters of both cases, word and non-word bytes, and GBK lead and trail
    // bytes, so that case folding, whole words and double-byte characters all
    // take part; every other round, the bytes either side of the letters.
    const std::string mixed = "aAbG1_ \xb0\xa1;";
    const std::string edges = "azAZ`{@[_ ";
    int replacedRounds = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string& alphabet = round % 2 ? edges : mixed;
        std::vector<std::string> lines(1 + rng() % 4);
        for (auto& line : lines)
            line = RandomText(rng, alphabet, 24);
        std::string find = RandomText(rng, alphabet, 2);
        if (find.empty())
            find = std::string(1, "aAG1"[rng() % 4]);
        const std::string replacement = RandomText(rng, alphabet, 4);
        const uint32_t flags = rng() % 4; // SEARCH_CASE and SEARCH_WORD

        CTextBuffer steps, pass;
        SetLines(steps, lines);
        SetLines(pass, lines);
        RecordingView stepsView, passView;
        steps.AttachView(&stepsView);
        pass.AttachView(&passView);
        const TextPos from = RandomPos(rng, steps);
        ReplaceRange range;
        range.bounded = rng() % 2;
        range.begin = from;
        range.end = RandomPos(rng, steps);
        if (range.end < range.begin)
            std::swap(range.begin, range.end);
        stepsView.caret = passView.caret = RandomPos(rng, steps);
        ReplaceRange stepsRange = range;
        SCOPED_TRACE("round " + std::to_string(round) + ": find '" + find + "' replace '" +
                     replacement + "' flags " + std::to_string(flags) + " in " + Lines(steps) +
                     " caret " + std::to_string(passView.caret.y) + "," +
                     std::to_string(passView.caret.x));

        steps.BeginEditGroup(false);
        const int count =
            ReplaceStepByStep(steps, &stepsView, find, replacement, flags, from, stepsRange);
        steps.EndEditGroup(nullptr);
        LineSubstitution change = CollectReplacements(pass, find, replacement, flags, from, range);
        ASSERT_EQ(int(change.MatchCount()), count);
        if (count == 0)
            continue;
        ++replacedRounds;
        const TextPos lastEnd = change.LastEnd();
        ASSERT_TRUE(pass.Substitute(&passView, std::move(change), ACTION_REPLACE));

        ASSERT_EQ(Lines(pass), Lines(steps));
        EXPECT_EQ(range.begin, stepsRange.begin);
        EXPECT_EQ(range.end, stepsRange.end);
        EXPECT_EQ(passView.caret, stepsView.caret);
        EXPECT_EQ(lastEnd, steps.UndoEntryAt(steps.UndoEntryCount() - 1).end);

        TextPos stepsCursor, passCursor;
        ASSERT_TRUE(steps.UndoLast(stepsCursor));
        ASSERT_TRUE(pass.UndoLast(passCursor));
        ASSERT_EQ(Lines(pass), Lines(steps));
        EXPECT_EQ(passCursor, stepsCursor);
        EXPECT_EQ(passView.caret, stepsView.caret);
        EXPECT_FALSE(pass.HasUndo());
        ASSERT_TRUE(steps.RedoNext(stepsCursor));
        ASSERT_TRUE(pass.RedoNext(passCursor));
        ASSERT_EQ(Lines(pass), Lines(steps));
        EXPECT_EQ(passCursor, stepsCursor);
        EXPECT_EQ(passView.caret, stepsView.caret);
        steps.DetachView(&stepsView);
        pass.DetachView(&passView);
    }
    EXPECT_GT(replacedRounds, 600); // the rounds above really replaced
}

// Far more matches than the history keeps steps, and lines edited on both
// sides of the step: every byte comes back each way.
TEST(ReplaceAllTest, UndoAndRedoAroundLaterEditsGiveBackEveryByte) {
    std::vector<std::string> lines(3000, "N10 G1 X5 g1 Y2 ;\xb0\xa1");
    lines[7] = std::string(40000, 'g') + "1 "; // one long line, many matches
    CTextBuffer buf;
    SetLines(buf, lines);
    const std::string original = Lines(buf);
    ReplaceRange range;
    LineSubstitution change = CollectReplacements(buf, "G1 ", "G01 ", 0, {0, 0}, range);
    ASSERT_EQ(change.MatchCount(), size_t(2999 * 2 + 1));
    ASSERT_TRUE(buf.Substitute(nullptr, std::move(change), ACTION_REPLACE));
    const std::string replaced = Lines(buf);
    EXPECT_EQ(replaced.find("G1 "), std::string::npos);
    EXPECT_EQ(replaced.find("g1 "), std::string::npos);

    int el, eb;
    ASSERT_TRUE(buf.InsertAt(nullptr, 3, 0, "M3 ", el, eb, ACTION_TYPING)); // grows its own block
    TextPos cursor;
    ASSERT_TRUE(buf.UndoLast(cursor));
    ASSERT_TRUE(buf.UndoLast(cursor));
    EXPECT_EQ(Lines(buf), original);
    EXPECT_EQ(cursor, TextPos(0, 7)); // after the first match, as the steps leave it
    EXPECT_FALSE(buf.HasUndo());
    ASSERT_TRUE(buf.RedoNext(cursor));
    EXPECT_EQ(Lines(buf), replaced);
    EXPECT_EQ(cursor, TextPos(2999, 15)); // after the last replacement
    // A new edit drops the step taken back, and with it the texts it kept.
    ASSERT_TRUE(buf.UndoLast(cursor));
    ASSERT_TRUE(buf.InsertAt(nullptr, 0, 0, "%", el, eb, ACTION_TYPING));
    EXPECT_FALSE(buf.HasRedo());
    EXPECT_EQ(Lines(buf), "%" + original);
}

TEST(ReplaceAllTest, RefusesAProtectedTextAndMatchesOutsideTheirLines) {
    CTextBuffer buf;
    SetLines(buf, {"G1 X1", "G1"});
    ReplaceRange range;
    buf.SetWriteProtected(true);
    EXPECT_FALSE(buf.Substitute(nullptr, CollectReplacements(buf, "G1", "G01", 0, {0, 0}, range),
                                ACTION_REPLACE));
    buf.SetWriteProtected(false);
    LineSubstitution outside(2, "G01");
    outside.Add(1, 1); // would reach past the end of "G1"
    EXPECT_FALSE(buf.Substitute(nullptr, std::move(outside), ACTION_REPLACE));
    LineSubstitution missing(2, "G01");
    missing.Add(5, 0);
    EXPECT_FALSE(buf.Substitute(nullptr, std::move(missing), ACTION_REPLACE));
    EXPECT_EQ(Lines(buf), "G1 X1|G1");
    EXPECT_FALSE(buf.HasUndo());
    // A replacement holding a CR would break lines: left to the step loop.
    EXPECT_TRUE(CollectReplacements(buf, "G1", "G\r1", 0, {0, 0}, range).Empty());
}

} // namespace
