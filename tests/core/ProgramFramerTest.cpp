// Picking a punched program out of a machine's framing, however the reads
// cut it.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "transfer/ProgramFramer.h"

namespace {

std::string Framed(ProgramFramer& f, const std::string& bytes, std::mt19937& random) {
    std::string out;
    for (size_t at = 0; at < bytes.size();) {
        const size_t n = std::min(bytes.size() - at, size_t(random() % 7));
        f.Filter(std::string_view(bytes).substr(at, n), out);
        at += n;
    }
    return out;
}

TEST(ProgramFramerTest, LeaderMarksAndTrailerFallAwayWhereverTheReadsCut) {
    std::mt19937 random(11);
    const std::string program = "O0001\nG01 X10. (ROUGH)\nM30\n";
    for (int round = 0; round < 200; ++round) {
        ProgramFramer fanuc;
        fanuc.SetMarks("%", "%");
        EXPECT_EQ(Framed(fanuc, std::string(50, '\0') + "%" + program + "%\n\x14\x11", random),
                  program);
        // Two programs in one reception, the noise between them dropped:
        ProgramFramer two;
        two.SetMarks("%\n", "\n%");
        EXPECT_EQ(Framed(two, "junk%\nA\n%\nnoise%\nB\n%", random), "AB");
        EXPECT_EQ(two.ProgramsEnded(), 2);

        // Heidenhain: no start mark, ETX ends it.
        ProgramFramer etx;
        etx.SetMarks("", "\x03");
        EXPECT_EQ(Framed(etx, "BEGIN PGM 1 MM\r\nEND PGM 1 MM\r\n\x03\0\0", random),
                  "BEGIN PGM 1 MM\r\nEND PGM 1 MM\r\n");

        // A mark that repeats its own first byte is still found after a false start.
        ProgramFramer overlap;
        overlap.SetMarks("", "aab");
        EXPECT_EQ(Framed(overlap, "xaaab-tail", random), "xa");
        ProgramFramer none;
        EXPECT_EQ(Framed(none, program, random), program);
    }
}

} // namespace
