// The name a punched program is filed under, and the names a request means.
#include <gtest/gtest.h>

#include "dnc/ProgramName.h"

namespace {

std::string NameOf(std::string_view program, const NamePattern* pattern = nullptr) {
    return FindProgramName(program, pattern).value_or("<none>");
}

TEST(ProgramName, FanucAndIsoNumbersKeepTheirDigits) {
    EXPECT_EQ(NameOf("O1234\nG0 X0\nM30\n"), "O1234");
    EXPECT_EQ(NameOf("O0012 (SHAFT)\r\nM30\r\n"), "O0012");
    EXPECT_EQ(NameOf("o77(lower case)\n"), "O77");
    EXPECT_EQ(NameOf(":0456\nM30\n"), "O0456") << "ISO writes ':' for O";
    EXPECT_EQ(NameOf("O12345678\n"), "O12345678");
    EXPECT_EQ(NameOf("O123456789\n"), "<none>") << "nine digits is no program number";
    EXPECT_EQ(NameOf("O\nM30\n"), "<none>");
    EXPECT_EQ(NameOf("OABC\n"), "<none>");
}

TEST(ProgramName, OnlyTheFirstBlockNamesTheProgram) {
    EXPECT_EQ(NameOf("%\r\n\r\n   \r\n(MADE BY CAM)\r\n; note\r\n  O2000\r\nM30\r\n%\r\n"), "O2000")
        << "'%' lines, blank lines and whole-line comments come before the name";
    EXPECT_EQ(NameOf("%\rO3000\rM30\r%\r"), "O3000") << "CR-only line ends";
    EXPECT_EQ(NameOf("G21\nO1234\n"), "<none>") << "an O later on is a subprogram call site";
    EXPECT_EQ(NameOf("%\n\n"), "<none>");
    EXPECT_EQ(NameOf(""), "<none>");
}

TEST(ProgramName, FanucNamedProgram) {
    EXPECT_EQ(NameOf("%\n<PART_A1>\nG0\n"), "PART_A1");
    EXPECT_EQ(NameOf("<PART A1>\n"), "<none>") << "a blank cannot be in a file name";
    EXPECT_EQ(NameOf("<PART_A1\n"), "<none>");
}

TEST(ProgramName, SinumerikFileHeader) {
    EXPECT_EQ(NameOf("%_N_SHAFT_MPF\n;$PATH=/_N_MPF_DIR\nN10 G0\n"), "SHAFT.MPF");
    EXPECT_EQ(NameOf("%_N_MY_SHAFT_2_SPF\r\nM17\r\n"), "MY_SHAFT_2.SPF");
    EXPECT_EQ(NameOf("%_N__MPF\n"), "<none>");
    EXPECT_EQ(NameOf("%_N_SHAFT_XYZ\nO1234\n"), "O1234")
        << "another '%' line is passed over like '%'";
}

TEST(ProgramName, UnsafeNamesAreNoNames) {
    EXPECT_EQ(NameOf("<../etc>\n"), "<none>");
    EXPECT_EQ(NameOf("<.hidden>\n"), "<none>");
    EXPECT_EQ(NameOf("<A..B>\n"), "<none>");
    EXPECT_EQ(NameOf("<" + std::string(64, 'A') + ">\n"), std::string(64, 'A'));
    EXPECT_EQ(NameOf("<" + std::string(65, 'A') + ">\n"), "<none>");
    EXPECT_EQ(NameOf("<\xd6\xd0\xce\xc4>\n"), "<none>") << "GBK bytes";
    EXPECT_FALSE(SafeProgramName("O1234/../x"));
    EXPECT_FALSE(SafeProgramName("a/b"));
    EXPECT_FALSE(SafeProgramName(".."));
    EXPECT_FALSE(SafeProgramName(""));
    EXPECT_FALSE(SafeProgramName(std::string("O1\0x", 4)));
    EXPECT_EQ(SafeProgramName("Part-2.v1_a").value_or(""), "Part-2.v1_a");
}

TEST(ProgramName, ShopPatternReplacesTheBuiltInRules) {
    NamePattern pattern;
    std::string error;
    ASSERT_TRUE(pattern.Set(R"(\(DRAWING ([A-Z0-9-]+)\))", error)) << error;
    const std::string program = "O1234\n(DRAWING AB-77)\nM30\n";
    EXPECT_EQ(NameOf(program, &pattern), "AB-77");
    EXPECT_EQ(NameOf("O1234\nM30\n", &pattern), "<none>")
        << "no fallback to the O-number: the shop said how its programs are named";
    EXPECT_EQ(NameOf("(DRAWING ../X)\n", &pattern), "<none>");

    NamePattern unsafe;
    ASSERT_TRUE(unsafe.Set(R"(NAME=(\S+))", error));
    EXPECT_EQ(NameOf("(NAME=../../etc/passwd)\n", &unsafe), "<none>")
        << "what a pattern finds is made safe like any other name";

    NamePattern empty;
    EXPECT_EQ(NameOf(program, &empty), "O1234") << "an unset pattern leaves the built-in rules";
}

TEST(ProgramName, BadPatternsAreRefusedWithAReason) {
    NamePattern pattern;
    std::string error;
    EXPECT_FALSE(pattern.Set("(unclosed", error));
    EXPECT_FALSE(error.empty());
    error.clear();
    EXPECT_FALSE(pattern.Set("O[0-9]+", error)) << "no group to take the name from";
    EXPECT_NE(error.find("group"), std::string::npos);
    EXPECT_TRUE(pattern.Empty());
}

TEST(ProgramName, PatternSurvivesAHugeLine) {
    NamePattern pattern;
    std::string error;
    ASSERT_TRUE(pattern.Set("^(.*)X$", error));
    // A recursive matcher over a megabyte would overflow the stack.
    const std::string program = std::string(1 << 20, 'A') + "\n";
    EXPECT_EQ(NameOf(program, &pattern), "<none>");
}

TEST(ProgramName, FallbackNameIsTheUtcTime) {
    using namespace std::chrono;
    const sys_seconds when = sys_days{2026y / 12 / 1} + 23h + 59min + 58s;
    EXPECT_EQ(FallbackProgramName(when + 999ms), "RECV-20261201-235958");
    EXPECT_TRUE(SafeProgramName(FallbackProgramName(when)));
}

TEST(ProgramName, RequestedNamesTryZeroPaddedForms) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(RequestedNames("1234"), Names{"O1234"});
    EXPECT_EQ(RequestedNames("o1234"), Names{"O1234"});
    EXPECT_EQ(RequestedNames(" O1234.nc "), Names{"O1234"});
    EXPECT_EQ(RequestedNames("12"), (Names{"O12", "O0012"}));
    EXPECT_EQ(RequestedNames("O0012"), (Names{"O0012", "O12"}));
    EXPECT_EQ(RequestedNames("000012"), (Names{"O000012", "O0012", "O12"}));
    EXPECT_EQ(RequestedNames("0"), (Names{"O0", "O0000"}));
    EXPECT_EQ(RequestedNames("PART_A1"), Names{"PART_A1"});
    EXPECT_EQ(RequestedNames("SHAFT.MPF"), Names{"SHAFT.MPF"});
    EXPECT_EQ(RequestedNames("../O1234"), Names{});
    EXPECT_EQ(RequestedNames("O1234/../../x"), Names{});
    EXPECT_EQ(RequestedNames(""), Names{});
    EXPECT_EQ(RequestedNames(".nc"), Names{});
}

} // namespace
