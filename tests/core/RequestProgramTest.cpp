// A controller asking for a program, and the answer when there is none.
#include <gtest/gtest.h>

#include "dnc/RequestProgram.h"

namespace {

TEST(RequestProgram, BothCommentFormsInAnyCase) {
    EXPECT_EQ(ReadRequest("%\nO9999\n(PRG=1234)\nM30\n%\n").wanted, "1234");
    EXPECT_EQ(ReadRequest("O9999 (REQ=O1234)\nM30\n").wanted, "O1234");
    EXPECT_EQ(ReadRequest("o9999\n(req = o0012)\n").wanted, "o0012");
    EXPECT_EQ(ReadRequest("O9999\n( Prg  =  PART_A1 )\n").wanted, "PART_A1");
    EXPECT_EQ(ReadRequest(":9999\r\n(OPERATOR SMITH)\r\n(PRG=77)\r\nM30\r\n").wanted, "77")
        << "the first comment that names a program";
}

TEST(RequestProgram, OnlyTheRequestNumberAsks) {
    const ProgramRequest other = ReadRequest("O1234\n(PRG=5678)\nM30\n");
    EXPECT_FALSE(other.isRequest)
        << "an ordinary program that mentions PRG= is filed, not answered";
    EXPECT_TRUE(other.wanted.empty());
    EXPECT_FALSE(ReadRequest("G0 X0\nO9999\n(PRG=1)\n").isRequest);
    EXPECT_FALSE(ReadRequest("O99990\n(PRG=1)\n").isRequest);

    EXPECT_TRUE(ReadRequest("O8000\n(PRG=1)\n", "8000").isRequest) << "a number of its own";
    EXPECT_TRUE(ReadRequest("O0800\n(PRG=1)\n", "O800").isRequest) << "O0800 is program 800";
    EXPECT_FALSE(ReadRequest("O9999\n(PRG=1)\n", "O8000").isRequest);
}

TEST(RequestProgram, RequestWithoutAUsableName) {
    for (const char* program :
         {"O9999\nM30\n", "O9999\n(PRG=)\n", "O9999\n(PRG=../X)\n", "O9999\n(XPRG=12)\n"}) {
        const ProgramRequest r = ReadRequest(program);
        EXPECT_TRUE(r.isRequest) << program;
        EXPECT_EQ(r.wanted, "") << program;
    }
}

TEST(RequestProgram, NotFoundAnswerIsPlainAscii) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(NotFoundAnswer("1234"), (Lines{"%", "O9999", "(O1234 NOT IN LIBRARY)", "M30", "%"}));
    EXPECT_EQ(NotFoundAnswer("part_a1", "8000"),
              (Lines{"%", "O8000", "(PART_A1 NOT IN LIBRARY)", "M30", "%"}));
    const Lines odd = NotFoundAnswer("X)\xd6\xd0(");
    EXPECT_EQ(odd[2], "(NO PROGRAM NAMED)") << "nothing that could end the comment or garble";
    for (const std::string& line : NotFoundAnswer(std::string(200, '9')))
        for (char c : line)
            EXPECT_TRUE(c >= 0x20 && c < 0x7F);
}

} // namespace
