#include <gtest/gtest.h>

#include "common/Gbk.h"

namespace {

// "中文" in GBK and UTF-8.
const std::string kGbkZhongWen = "\xD6\xD0\xCE\xC4";
const std::string kUtf8ZhongWen = "\xE4\xB8\xAD\xE6\x96\x87";

TEST(Gbk, LeadAndTrailBytes) {
    EXPECT_FALSE(IsGbkLeadByte(0x80));
    EXPECT_TRUE(IsGbkLeadByte(0x81));
    EXPECT_TRUE(IsGbkLeadByte(0xFE));
    EXPECT_FALSE(IsGbkLeadByte(0xFF));
    EXPECT_TRUE(IsGbkTrailByte(0x40));
    EXPECT_FALSE(IsGbkTrailByte(0x7F));
    EXPECT_FALSE(IsGbkTrailByte(0x3F));
}

TEST(Gbk, CharLengthTakesLeadWithTrailOnly) {
    EXPECT_EQ(GbkCharLength(kGbkZhongWen, 0), 2u);
    EXPECT_EQ(GbkCharLength(kGbkZhongWen, 2), 2u);
    EXPECT_EQ(GbkCharLength("A", 0), 1u);
    // A lead byte at the end, or before a byte that cannot trail, stands alone.
    EXPECT_EQ(GbkCharLength("\xD6", 0), 1u);
    EXPECT_EQ(GbkCharLength("\xD6\x20", 0), 1u);
    // Extension area: trail byte in the ASCII range.
    EXPECT_EQ(GbkCharLength("\x81\x40", 0), 2u);
    EXPECT_EQ(GbkCharLength("", 0), 0u);
}

TEST(Gbk, RoundTripsChineseAndAscii) {
    EXPECT_EQ(GbkToUtf8(kGbkZhongWen), kUtf8ZhongWen);
    EXPECT_EQ(Utf8ToGbk(kUtf8ZhongWen), kGbkZhongWen);
    const std::string mixed = "G1 X5 ;" + kGbkZhongWen + "\t\r\n";
    EXPECT_EQ(Utf8ToGbk(GbkToUtf8(mixed)), mixed);
    EXPECT_EQ(GbkToUtf8(""), "");
    EXPECT_EQ(Utf8ToGbk(""), "");
}

TEST(Gbk, BadGbkBytesBecomeOneReplacementEach) {
    // 0xFF never occurs; a lead byte needs a trail byte after it.
    const std::string out = GbkToUtf8("A\xFF"
                                      "B\xD6 "
                                      "C\xD6");
    EXPECT_EQ(out, "A\xEF\xBF\xBD"
                   "B\xEF\xBF\xBD C\xEF\xBF\xBD");
    // The text after a bad byte still converts.
    EXPECT_EQ(GbkToUtf8("\xFF" + kGbkZhongWen), "\xEF\xBF\xBD" + kUtf8ZhongWen);
    // 0x80 is the euro sign in this code page, as on Windows.
    EXPECT_EQ(GbkToUtf8("\x80"), "\xE2\x82\xAC");
}

TEST(Gbk, UnmappableAndMalformedUtf8BecomeQuestionMarks) {
    // U+1F600 has no GBK form: one '?' for the whole 4-byte character.
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80"
                        "b"),
              "a?b");
    // A stray continuation byte and a truncated sequence.
    EXPECT_EQ(Utf8ToGbk("a\x80"
                        "b"),
              "a?b");
    EXPECT_EQ(Utf8ToGbk("a\xE4\xB8"), "a??");
    // Nothing is lost around the bad character.
    EXPECT_EQ(Utf8ToGbk(kUtf8ZhongWen + "\xFF" + kUtf8ZhongWen), kGbkZhongWen + "?" + kGbkZhongWen);
}

TEST(Gbk, CompletePrefixKeepsAnUnfinishedTail) {
    EXPECT_EQ(Utf8CompletePrefix("abc"), 3u);
    EXPECT_EQ(Utf8CompletePrefix(kUtf8ZhongWen), 6u);
    EXPECT_EQ(Utf8CompletePrefix(kUtf8ZhongWen.substr(0, 5)), 3u);
    EXPECT_EQ(Utf8CompletePrefix(kUtf8ZhongWen.substr(0, 4)), 3u);
    EXPECT_EQ(Utf8CompletePrefix("\xF0\x9F\x98"), 0u);
    EXPECT_EQ(Utf8CompletePrefix(""), 0u);
}

TEST(Gbk, LongTextConvertsWhole) {
    // Longer than the converter's internal buffer.
    std::string gbk;
    for (int i = 0; i < 3000; ++i)
        gbk += kGbkZhongWen;
    const std::string utf8 = GbkToUtf8(gbk);
    EXPECT_EQ(utf8.size(), 3000u * 6);
    EXPECT_EQ(Utf8ToGbk(utf8), gbk);
}

} // namespace
