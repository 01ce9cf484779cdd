// The receive decoder and the receive queue on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "transfer/CByteRing.h"
#include "transfer/ReceiveDecoder.h"

namespace {

// --- The decoder on its own ------------------------------------------------------------

std::string Decode(ReceiveDecoder& d, const std::string& bytes) {
    std::string out;
    d.Decode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), out);
    return out;
}

TEST(ReceiveDecoderTest, LineEndsAndControlCharacters) {
    ReceiveDecoder d;
    EXPECT_EQ(Decode(d, "A\r\nB\rC\nD"), "A\r\nBC\r\nD");
    EXPECT_EQ(Decode(d, std::string("x\0y\x11\x13\x14z", 7)), "xyz");
    EXPECT_EQ(Decode(d, "\xb9\xa4"), "\xb9\xa4") << "GBK passes byte for byte";
}

// Plain text read eight bytes at a time must treat every byte as the one-byte
// rule does, wherever it falls in a word or a batch.
TEST(ReceiveDecoderTest, EveryByteOfPlainTextIsTreatedAloneWhateverItsPlace) {
    const std::string alphabet("\0\t\n\r\x11\x13\x14\x15\x1f AG1\x7f\x80\x94\xb9\xff", 19);
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string bytes(random() % 200, 'N');
        for (char& b : bytes)
            if (random() % 3 == 0)
                b = alphabet[random() % alphabet.size()];
        std::string expected;
        for (char b : bytes) {
            if (b == '\n')
                expected += "\r\n";
            else if (b != '\0' && b != '\r' && b != '\x11' && b != '\x13' && b != '\x14')
                expected += b;
        }
        ReceiveDecoder d;
        std::string got;
        for (size_t at = 0; at < bytes.size();) {
            const size_t n = std::min(bytes.size() - at, size_t(random() % 40));
            got += Decode(d, bytes.substr(at, n));
            at += n;
        }
        ASSERT_EQ(got, expected) << "round " << round;
    }
}

TEST(ReceiveDecoderTest, ByteOrderMarkSwitchesToUtf8UntilTheNextDc2) {
    ReceiveDecoder d;
    // 工件 in UTF-8 is E5 B7 A5 E4 BB B6; in GBK B9 A4 BC FE.
    const std::string utf8 = "\x12\xef\xbb\xbf\xe5\xb7\xa5\xe4\xbb\xb6\n";
    std::string out;
    for (char c : utf8) // one byte at a time: boundaries inside every character
        out += Decode(d, std::string(1, c));
    EXPECT_EQ(out, "\xb9\xa4\xbc\xfe\r\n");
    EXPECT_EQ(d.Encoding(), EncodingUtf8);
    EXPECT_EQ(Decode(d, "\x12\xb9\xa4"), "\xb9\xa4");
    EXPECT_EQ(d.Encoding(), EncodingGbk);
}

TEST(ReceiveDecoderTest, APartialMarkIsKeptAsText) {
    ReceiveDecoder d;
    EXPECT_EQ(Decode(d, "\x12\xef"
                        "A"),
              "\xef"
              "A");
    EXPECT_EQ(Decode(d, "\xef\xbb\xbf"), "\xef\xbb\xbf") << "only right after DC2";
    EXPECT_EQ(Decode(d, "\x12\xef\xbb\x12\xef\xbb\xbfZ"), "\xef\xbbZ");
    EXPECT_EQ(d.Encoding(), EncodingUtf8);
    // A whole mark followed by the next DC2 (an empty UTF-8 program) is no text.
    EXPECT_EQ(Decode(d, "\x12\xef\xbb\xbf\x12"
                        "AB"),
              "AB");
    EXPECT_EQ(Decode(d, "\x12\xef\xbb\xbf"), "");
    EXPECT_EQ(Decode(d, "\x14\x12\xb9\xa4"), "\xb9\xa4") << "nor when DC4 ended that program";
}

TEST(ReceiveDecoderTest, BrokenUtf8BecomesQuestionMarksAndNeverBlocks) {
    ReceiveDecoder d;
    Decode(d, "\x12\xef\xbb\xbf");
    EXPECT_EQ(Decode(d, "\xe5\xb7"
                        "A"),
              "?A")
        << "cut short by a plain byte";
    EXPECT_EQ(Decode(d, "\x80\xff"), "??");
    EXPECT_EQ(Decode(d, "\xe5\xb7\x12"), "?") << "DC2 gives up on the unfinished character";
    Decode(d, "\x12\xef\xbb\xbf");
    EXPECT_EQ(Decode(d, "\xf0\x9f\x98\x80"), "?") << "a character GBK lacks";
}

TEST(ByteRingTest, HoldsCapacityLessOneAndWritesAllOrNothing) {
    CByteRing ring;
    char buf[16];
    EXPECT_EQ(ring.Write("x", 1), RING_NOT_READY);
    EXPECT_EQ(ring.Read(buf, 4), 0);
    ASSERT_EQ(ring.Init(8), RING_OK);
    EXPECT_TRUE(ring.IsEmpty());
    EXPECT_EQ(ring.Write("abcdefgh", 8), RING_FULL);
    EXPECT_TRUE(ring.IsEmpty()) << "nothing of a write that does not fit";
    EXPECT_EQ(ring.Write("abcdefg", 7), RING_OK);
    EXPECT_EQ(ring.Write("h", 1), RING_FULL);
    EXPECT_EQ(ring.Read(buf, 5), 5);
    EXPECT_EQ(std::string(buf, 5), "abcde");
    EXPECT_EQ(ring.Write("hijkl", 5), RING_OK); // wraps
    EXPECT_EQ(ring.Read(buf, 16), 7);
    EXPECT_EQ(std::string(buf, 7), "fghijkl");
    EXPECT_EQ(ring.Write("", 0), RING_BAD_ARG);
    EXPECT_EQ(ring.Write(nullptr, 3), RING_BAD_ARG);
}

TEST(ByteRingTest, RewindOnlyWhenEmptyAndNothingIsLost) {
    CByteRing ring;
    char buf[16];
    ASSERT_EQ(ring.Init(8), RING_OK);
    ASSERT_EQ(ring.Write("abcde", 5), RING_OK);
    ASSERT_EQ(ring.Read(buf, 3), 3);
    ring.Rewind(); // two bytes still wait: no effect
    EXPECT_EQ(ring.Room(), 5);
    EXPECT_EQ(ring.Read(buf, 16), 2);
    EXPECT_EQ(std::string(buf, 2), "de");
    ring.Rewind();
    EXPECT_TRUE(ring.IsEmpty());
    // From the front again: a full ring's worth goes in without wrapping.
    ASSERT_EQ(ring.Write("0123456", 7), RING_OK);
    EXPECT_EQ(ring.Read(buf, 16), 7);
    EXPECT_EQ(std::string(buf, 7), "0123456");
}

} // namespace
