#include <gtest/gtest.h>

#include "editor/text/CookieCache.h"
#include "editor/text/ExpandedLengthCache.h"

namespace {

// A text of line lengths that the caches measure through a counting callback.
struct FakeText {
    std::vector<int> lengths;
    int measured = 0;
    ExpandedLengthCache::Measure Measure() {
        return [this](int line) {
            ++measured;
            return lengths[size_t(line)];
        };
    }
    int Count() const { return int(lengths.size()); }
};

TEST(ExpandedLengthCache, MeasuresOnceAndKnowsTheLongest) {
    FakeText t{{3, 9, 4}};
    ExpandedLengthCache cache;
    EXPECT_EQ(cache.Longest(t.Count(), t.Measure()), 9);
    EXPECT_EQ(t.measured, 3);
    EXPECT_EQ(cache.Length(1, t.Count(), t.Measure()), 9);
    EXPECT_EQ(cache.Longest(t.Count(), t.Measure()), 9);
    EXPECT_EQ(t.measured, 3);
    EXPECT_EQ(cache.Length(7, t.Count(), t.Measure()), 0);
}

TEST(ExpandedLengthCache, OneLineEditCostsOneMeasurement) {
    FakeText t{std::vector<int>(100000, 10)};
    ExpandedLengthCache cache;
    cache.Longest(t.Count(), t.Measure());
    t.measured = 0;
    t.lengths[500] = 12;
    cache.LineChanged(500, t.Measure());
    EXPECT_EQ(cache.Longest(t.Count(), t.Measure()), 12);
    t.lengths[500] = 11;
    cache.LineChanged(500, t.Measure());
    // The longest line shrank: the maximum is found again, among cached values.
    EXPECT_EQ(cache.Longest(t.Count(), t.Measure()), 11);
    EXPECT_EQ(t.measured, 2);
}

TEST(ExpandedLengthCache, InsertedAndRemovedLinesShiftTheCache) {
    FakeText t{{1, 2, 30, 4}};
    ExpandedLengthCache cache;
    cache.Longest(t.Count(), t.Measure());
    // Two lines inserted after line 1 (line 1 itself changed too).
    t.lengths = {1, 5, 6, 7, 30, 4};
    cache.LinesChanged(1, t.Count(), t.Measure());
    for (int i = 0; i < t.Count(); ++i)
        EXPECT_EQ(cache.Length(i, t.Count(), t.Measure()), t.lengths[size_t(i)]) << i;
    EXPECT_EQ(cache.Longest(t.Count(), t.Measure()), 30);
    // Lines 2..4 removed, taking the longest one with them.
    t.lengths = {1, 5, 4};
    cache.LinesChanged(1, t.Count(), t.Measure());
    EXPECT_EQ(cache.Longest(t.Count(), t.Measure()), 5);
    EXPECT_EQ(cache.Length(2, t.Count(), t.Measure()), 4);
    // A much longer line pasted in.
    t.lengths = {1, 5, 80, 4};
    cache.LinesChanged(1, t.Count(), t.Measure());
    EXPECT_EQ(cache.Longest(t.Count(), t.Measure()), 80);
}

// Cookies of a text where every line is scanned by a function of its own.
struct FakeProgram {
    std::vector<uint32_t> toggles; // the cookie is xor-ed with these
    int scans = 0;
    CookieCache::Scan Scan() {
        return [this](uint32_t cookie, int line) {
            ++scans;
            return cookie ^ toggles[size_t(line)];
        };
    }
};

TEST(CookieCache, ScansOnlyWhatIsMissing) {
    FakeProgram p{{0, 4, 0, 0, 4, 0}};
    CookieCache cache;
    EXPECT_EQ(cache.CookieBefore(0, p.Scan()), 0u);
    EXPECT_EQ(p.scans, 0);
    EXPECT_EQ(cache.CookieBefore(3, p.Scan()), 4u);
    EXPECT_EQ(p.scans, 3);
    EXPECT_EQ(cache.CookieBefore(5, p.Scan()), 0u);
    EXPECT_EQ(p.scans, 5);
    EXPECT_EQ(cache.CookieBefore(2, p.Scan()), 4u);
    EXPECT_EQ(p.scans, 5);
}

TEST(CookieCache, AnEditThatKeepsTheCookieKeepsTheRest) {
    FakeProgram p{std::vector<uint32_t>(1000, 0)};
    CookieCache cache;
    cache.CookieBefore(1000, p.Scan());
    p.scans = 0;
    cache.LineChanged(400);
    EXPECT_EQ(cache.ValidCount(), 400);
    cache.LineChanged(400); // typed twice before the next paint
    // Rescanning line 400 gives the old cookie: everything after it stands.
    EXPECT_EQ(cache.CookieBefore(1000, p.Scan()), 0u);
    EXPECT_EQ(p.scans, 1);
}

TEST(CookieCache, AnEditThatChangesTheCookieRescansWhatFollows) {
    FakeProgram p{std::vector<uint32_t>(1000, 0)};
    CookieCache cache;
    cache.CookieBefore(1000, p.Scan());
    p.scans = 0;
    p.toggles[400] = 4; // the line now opens a block comment
    cache.LineChanged(400);
    EXPECT_EQ(cache.CookieBefore(1000, p.Scan()), 4u);
    EXPECT_EQ(p.scans, 600);
    EXPECT_EQ(cache.CookieBefore(401, p.Scan()), 4u);
}

TEST(CookieCache, TwoEditsBeforeARescanKeepOnlyWhatIsSafe) {
    FakeProgram p{std::vector<uint32_t>(100, 0)};
    CookieCache cache;
    cache.CookieBefore(100, p.Scan());
    cache.LineChanged(10);
    p.toggles[50] = 4;
    cache.LineChanged(50);
    EXPECT_EQ(cache.CookieBefore(100, p.Scan()), 4u);
    EXPECT_EQ(cache.CookieBefore(50, p.Scan()), 0u);
    // An earlier edit after a later one.
    cache.LineChanged(60);
    cache.LineChanged(20);
    p.toggles[60] = 4; // cancels the comment opened at 50
    EXPECT_EQ(cache.CookieBefore(100, p.Scan()), 0u);
}

TEST(CookieCache, LineCountChangesDropTheRest) {
    FakeProgram p{std::vector<uint32_t>(10, 0)};
    CookieCache cache;
    cache.CookieBefore(10, p.Scan());
    p.toggles = {0, 0, 4, 0, 0};
    cache.LinesChanged(2, 5);
    EXPECT_EQ(cache.ValidCount(), 2);
    EXPECT_EQ(cache.CookieBefore(5, p.Scan()), 4u);
}

TEST(CookieCache, StoreAfterAGapIsIgnored) {
    CookieCache cache;
    cache.Store(5, 4);
    EXPECT_EQ(cache.ValidCount(), 0);
    cache.Store(0, 4);
    EXPECT_EQ(cache.ValidCount(), 1);
}

} // namespace
