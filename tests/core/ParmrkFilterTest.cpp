// The kernel's marks of damaged characters (termios PARMRK) taken out of the
// input: on a real port a parity or framing error is a mark, never a silent
// NUL. A pseudo-terminal cannot make such an error, so the marks are fed here
// as the kernel writes them, cut at every point a read could cut them.
#include <gtest/gtest.h>

#include <string>

#include "serial/ParmrkFilter.h"

namespace {

std::string FilterIn(ParmrkFilter& f, std::string bytes, size_t piece) {
    std::string out;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        std::string part = bytes.substr(at, piece);
        part.resize(f.Filter(part.data(), part.size()));
        out += part;
    }
    return out;
}

TEST(ParmrkFilterTest, DamagedCharactersBecomeQuestionMarksAndAreCounted) {
    // G1 X1<parity error on '0'>0 Y<0xFF><framing error on 'Z'><break>Z
    const std::string in = std::string("G1 X1\377\0"
                                       "00 Y\377\377\377\0Z\377\0\0Z",
                                       20);
    for (size_t piece = 1; piece <= in.size(); ++piece) {
        ParmrkFilter f;
        EXPECT_EQ(FilterIn(f, in, piece), "G1 X1?0 Y\377?Z") << "pieces of " << piece;
        EXPECT_EQ(f.BadCount(), 3) << "two bad characters and a break";
    }
}

TEST(ParmrkFilterTest, TextWithoutMarksPassesUntouched) {
    std::string all;
    for (int i = 0; i < 255; ++i)
        all += char(i); // every byte but 0xFF
    ParmrkFilter f;
    EXPECT_EQ(FilterIn(f, all, 64), all);
    EXPECT_EQ(f.BadCount(), 0);
}

TEST(ParmrkFilterTest, ALoneMarkByteIsDamageNotText) {
    ParmrkFilter f;
    EXPECT_EQ(FilterIn(f, "A\377B", 3), "AB");
    EXPECT_EQ(f.BadCount(), 1);
    std::string half = "\377";
    EXPECT_EQ(f.Filter(half.data(), 1), 0u) << "half a mark waits for its end";
    f.Reset(); // the device was opened again: the old half mark means nothing
    std::string doubled = "\377\377";
    EXPECT_EQ(f.Filter(doubled.data(), 2), 1u);
    EXPECT_EQ(doubled[0], '\377');
}

} // namespace
