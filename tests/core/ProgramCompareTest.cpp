#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "TestHelpers.h"
#include "editor/text/ProgramCompare.h"

namespace {

std::vector<std::string_view> Views(const std::vector<std::string>& lines) {
    return {lines.begin(), lines.end()};
}

CompareResult Compare(const std::vector<std::string>& a, const std::vector<std::string>& b,
                      const CompareOptions& o = {}) {
    return ComparePrograms(Views(a), Views(b), o);
}

std::string Listing(const std::vector<std::string>& a, const std::vector<std::string>& b,
                    const CompareOptions& o = {}) {
    return UnifiedDiff(ComparePrograms(Views(a), Views(b), o), Views(a), Views(b), "a.nc", "b.nc");
}

// Applies a unified listing to a, checking every count and context line on the
// way; what comes out is what the listing says b is. Where runs of left-out
// lines are not listed, b's line numbers run ahead of what comes out.
std::vector<std::string> Apply(const std::vector<std::string>& a, const std::string& listing,
                               bool allListed = true) {
    std::vector<std::string> out;
    std::istringstream in(listing);
    std::string line;
    size_t ia = 0;
    std::getline(in, line); // ---
    std::getline(in, line); // +++
    while (std::getline(in, line)) {
        int as = 0, ac = 1, bs = 0, bc = 1;
        if (std::sscanf(line.c_str(), "@@ -%d,%d +%d,%d @@", &as, &ac, &bs, &bc) != 4) {
            // "-a +b,c" and the like: a count of one is left out.
            ac = bc = 1;
            if (std::sscanf(line.c_str(), "@@ -%d,%d +%d @@", &as, &ac, &bs) == 3)
                bc = 1;
            else if (std::sscanf(line.c_str(), "@@ -%d +%d,%d @@", &as, &bs, &bc) == 3)
                ac = 1;
            else if (std::sscanf(line.c_str(), "@@ -%d +%d @@", &as, &bs) != 2)
                ADD_FAILURE() << "not a hunk header: " << line;
        }
        const size_t from = ac ? size_t(as - 1) : size_t(as);
        EXPECT_GE(from, ia);
        while (ia < from)
            out.push_back(a[ia++]);
        if (allListed) {
            EXPECT_EQ(out.size() + 1, size_t(bc ? bs : bs + 1)) << line;
        }
        int seenA = 0, seenB = 0;
        while (seenA < ac || seenB < bc) {
            if (!std::getline(in, line)) {
                ADD_FAILURE() << "hunk cut short";
                return out;
            }
            const std::string text = line.substr(1);
            if (line[0] == ' ' || line[0] == '-') {
                EXPECT_LT(ia, a.size());
                if (ia < a.size()) {
                    EXPECT_EQ(a[ia], text);
                }
                ++ia, ++seenA;
            }
            if (line[0] == ' ' || line[0] == '+') {
                out.push_back(text);
                ++seenB;
            }
        }
        EXPECT_EQ(seenA, ac);
        EXPECT_EQ(seenB, bc);
    }
    while (ia < a.size())
        out.push_back(a[ia++]);
    return out;
}

CompareOptions KeepAll() {
    CompareOptions o;
    o.keepComments = o.keepBlanks = o.keepPercent = o.keepSpaces = true;
    return o;
}

} // namespace

// --- what a controller changes by itself is no difference --------------------

TEST(ProgramCompare, LineEndsAndAFinalLineEndAreNoDifference) {
    TempDir dir;
    WriteBytes(dir.File("crlf.nc"), "O1000\r\nG0 X0\r\nM30\r\n");
    WriteBytes(dir.File("lf.nc"), "O1000\nG0 X0\nM30");
    CTextBuffer a, b;
    ASSERT_TRUE(a.LoadFromDisk(dir.File("crlf.nc")));
    ASSERT_TRUE(b.LoadFromDisk(dir.File("lf.nc")));
    EXPECT_EQ(ProgramLines(a).size(), 3u);
    const CompareResult r = ComparePrograms(ProgramLines(a), ProgramLines(b), KeepAll());
    EXPECT_TRUE(r.Equal());
    EXPECT_TRUE(r.hunks.empty());
    // A CR LF line in a file read with LF breaks keeps its CR in the buffer.
    EXPECT_TRUE(Compare({"G0 X0\r", "M30"}, {"G0 X0", "M30\r"}, KeepAll()).Equal());
}

TEST(ProgramCompare, PercentFramingIsLeftOutUnlessKept) {
    const std::vector<std::string> stored{"O1000", "G0 X0", "M30"};
    const std::vector<std::string> punched{"", "%", "O1000", "G0 X0", "M30", "%", ""};
    EXPECT_TRUE(Compare(stored, punched).Equal());
    EXPECT_TRUE(Compare(punched, stored).Equal());
    CompareOptions keep;
    keep.keepPercent = true;
    const CompareResult r = Compare(stored, punched, keep);
    EXPECT_FALSE(r.Equal());
    EXPECT_EQ(r.Differences(), 2);
    // Only the first and last lines frame a program: a '%' inside it counts.
    EXPECT_FALSE(Compare({"O1", "G0", "M30"}, {"O1", "%", "G0", "M30"}).Equal());
    EXPECT_FALSE(Compare({"%", "O1", "%"}, {"%", "O1", "%", "%"}).Equal());
}

TEST(ProgramCompare, BlanksAtTheEndsOfALineAreLeftOutUnlessKept) {
    const std::vector<std::string> a{"O1000", "G0 X0", "M30"};
    const std::vector<std::string> b{"O1000 ", "\tG0 X0 \t", "M30"};
    EXPECT_TRUE(Compare(a, b).Equal());
    CompareOptions keep;
    keep.keepSpaces = true;
    EXPECT_EQ(Compare(a, b, keep).Differences(), 1);
    // Blanks inside a line always count.
    EXPECT_FALSE(Compare({"G0 X0"}, {"G0  X0"}).Equal());
    EXPECT_FALSE(Compare({"G0 X0"}, {"G0X0"}).Equal());
}

TEST(ProgramCompare, CommentsAreLeftOutAsTheWireLeavesThemOut) {
    const std::vector<std::string> stored{"O1000 ;part 7", "; roughing", "G0 X0;fast", "M30"};
    const std::vector<std::string> punched{"O1000", "", "G0 X0", "M30"};
    EXPECT_TRUE(Compare(stored, punched).Equal());
    CompareOptions keep;
    keep.keepComments = true;
    const CompareResult r = Compare(stored, punched, keep);
    ASSERT_EQ(r.Differences(), 1);
    EXPECT_EQ(r.hunks[0].aFirst, 0);
    EXPECT_EQ(r.hunks[0].aCount, 3);
    // Parentheses are the program's own text on the classic wire.
    EXPECT_FALSE(Compare({"G0 X0 (fast)"}, {"G0 X0"}).Equal());
    // The listing shows lines as they are in the files.
    EXPECT_EQ(Listing({"G0 X0 ;a", "G1 X1 ;b"}, {"G0 X0", "G1 X2"}),
              "--- a.nc\n+++ b.nc\n@@ -1,2 +1,2 @@\n G0 X0 ;a\n-G1 X1 ;b\n+G1 X2\n");
}

TEST(ProgramCompare, BlankLinesAreLeftOutUnlessKept) {
    const std::vector<std::string> a{"O1", "", "G0 X0", "", "", "M30"};
    const std::vector<std::string> b{"O1", "G0 X0", "  ", "M30", ""};
    EXPECT_TRUE(Compare(a, b).Equal());
    CompareOptions keep;
    keep.keepBlanks = true;
    EXPECT_FALSE(Compare(a, b, keep).Equal());
    // A left-out line beside a real change is listed with it, and the counts
    // still add up on both sides.
    const std::vector<std::string> c{"X", "", "Y", "Z"};
    const std::vector<std::string> d{"X", "Y", "W"};
    EXPECT_EQ(Listing(c, d), "--- a.nc\n+++ b.nc\n@@ -1,4 +1,3 @@\n X\n-\n Y\n-Z\n+W\n");
}

// --- where the differences are ------------------------------------------------

namespace {

std::vector<std::string> Program(int n) {
    std::vector<std::string> lines;
    for (int i = 1; i <= n; ++i)
        lines.push_back("N" + std::to_string(i * 10) + " G1 X" + std::to_string(i));
    return lines;
}

} // namespace

TEST(ProgramCompare, OneChangedBlockIsOneHunkWithContext) {
    const std::vector<std::string> a = Program(20);
    std::vector<std::string> b = a;
    b[9] = "N100 G1 X10.5";
    b[10] = "N110 G1 X11.5";
    const CompareResult r = Compare(a, b);
    ASSERT_EQ(r.hunks.size(), 1u);
    EXPECT_EQ(r.hunks[0].aFirst, 9);
    EXPECT_EQ(r.hunks[0].aCount, 2);
    EXPECT_EQ(r.hunks[0].bFirst, 9);
    EXPECT_EQ(r.hunks[0].bCount, 2);
    EXPECT_EQ(Listing(a, b), "--- a.nc\n+++ b.nc\n@@ -7,8 +7,8 @@\n"
                             " N70 G1 X7\n N80 G1 X8\n N90 G1 X9\n"
                             "-N100 G1 X10\n-N110 G1 X11\n"
                             "+N100 G1 X10.5\n+N110 G1 X11.5\n"
                             " N120 G1 X12\n N130 G1 X13\n N140 G1 X14\n");
}

TEST(ProgramCompare, InsertedAndDeletedBlocksNameTheirLines) {
    const std::vector<std::string> a = Program(30);
    std::vector<std::string> b = a;
    // Three lines inserted after line 5, lines 20..21 of a deleted.
    b.erase(b.begin() + 19, b.begin() + 21);
    b.insert(b.begin() + 5, {"M0", "M1", "M0"});
    const CompareResult r = Compare(a, b);
    ASSERT_EQ(r.hunks.size(), 2u);
    EXPECT_EQ(r.hunks[0].aFirst, 5);
    EXPECT_EQ(r.hunks[0].aCount, 0);
    EXPECT_EQ(r.hunks[0].bFirst, 5);
    EXPECT_EQ(r.hunks[0].bCount, 3);
    EXPECT_EQ(r.hunks[1].aFirst, 19);
    EXPECT_EQ(r.hunks[1].aCount, 2);
    EXPECT_EQ(r.hunks[1].bFirst, 22);
    EXPECT_EQ(r.hunks[1].bCount, 0);
    const std::string listing = Listing(a, b);
    EXPECT_NE(listing.find("\n@@ -3,6 +3,9 @@\n N30 G1 X3\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("\n@@ -17,8 +20,6 @@\n"), std::string::npos) << listing;
    EXPECT_EQ(Apply(a, listing), b);
    // At the very start and end, an empty side names the line before it.
    EXPECT_EQ(Listing({"A"}, {"B", "A"}), "--- a.nc\n+++ b.nc\n@@ -1 +1,2 @@\n+B\n A\n");
    EXPECT_EQ(Listing({"A", "B"}, {"A"}), "--- a.nc\n+++ b.nc\n@@ -1,2 +1 @@\n A\n-B\n");
}

TEST(ProgramCompare, EmptyPrograms) {
    EXPECT_TRUE(Compare({}, {}).Equal());
    EXPECT_TRUE(Compare({}, {"", "%", "%"}).Equal());
    EXPECT_EQ(Listing({}, {"O1", "M30"}), "--- a.nc\n+++ b.nc\n@@ -0,0 +1,2 @@\n+O1\n+M30\n");
    EXPECT_EQ(Listing({"O1"}, {}), "--- a.nc\n+++ b.nc\n@@ -1 +0,0 @@\n-O1\n");
    TempDir dir;
    WriteBytes(dir.File("empty.nc"), "");
    CTextBuffer empty;
    ASSERT_TRUE(empty.LoadFromDisk(dir.File("empty.nc")));
    EXPECT_TRUE(ProgramLines(empty).empty());
}

// Random programs under random edits: the hunks account for every line of
// both files, the lines between them are alike, and the listing turns a into b.
TEST(ProgramCompare, RandomEditsAreListedSoThatTheyCanBeReplayed) {
    std::mt19937 rng(20240611);
    const std::vector<std::string> words{"G0 X1", "G1 Y2", "", "%", "M3 ;on", "M3", " M5 ", "T1"};
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> a;
        const int n = int(rng() % 40);
        for (int i = 0; i < n; ++i)
            a.push_back(words[rng() % words.size()]);
        std::vector<std::string> b = a;
        const int edits = int(rng() % 6);
        for (int e = 0; e < edits; ++e) {
            const size_t at = b.empty() ? 0 : rng() % (b.size() + 1);
            switch (rng() % 3) {
            case 0:
                b.insert(b.begin() + long(at), words[rng() % words.size()]);
                break;
            case 1:
                if (at < b.size())
                    b.erase(b.begin() + long(at));
                break;
            default:
                if (at < b.size())
                    b[at] = words[rng() % words.size()];
            }
        }
        for (const CompareOptions& o : {CompareOptions{}, KeepAll()}) {
            const CompareResult r = Compare(a, b, o);
            int ia = 0, ib = 0, changed = 0; // dels + adds
            for (const CompareHunk& h : r.hunks) {
                ASSERT_EQ(h.aFirst - ia, h.bFirst - ib) << "round " << round;
                ia = h.aFirst + h.aCount;
                ib = h.bFirst + h.bCount;
                changed += (h.aCount + h.bCount) * !h.ignored;
            }
            ASSERT_EQ(n - ia, int(b.size()) - ib) << "round " << round;
            const std::string listing = Listing(a, b, o);
            if (o.keepBlanks) {
                EXPECT_EQ(Apply(a, listing), b) << "round " << round;
                EXPECT_LE(changed, 2 * edits) << "round " << round; // a shortest script
                EXPECT_EQ(r.Equal(), a == b) << "round " << round;
            } else {
                Apply(a, listing, false); // counts and context checked on the way
            }
        }
    }
}
