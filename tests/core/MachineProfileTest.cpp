// Machine profiles: how lines look on the wire, the escapes of leaders and
// trailers, and the profile files a person edits.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>

#include "PtyPair.h"
#include "TestHelpers.h"
#include "machine/ProfileFile.h"

namespace {

std::string Shaped(const WireRules& rules, std::string_view line) {
    std::string out;
    return rules.Shape(line, out) ? out : "<skipped>";
}

TEST(WireRulesTest, TheClassicRulesCutAtTheSemicolonAndEndInCrLf) {
    const WireRules classic;
    EXPECT_EQ(Shaped(classic, "N10 G01 X1. ;cut"), "N10 G01 X1. \r\n");
    EXPECT_EQ(Shaped(classic, ";only a comment"), "\r\n");
    EXPECT_EQ(Shaped(classic, ""), "\r\n"); // blank lines go out as they are
    EXPECT_EQ(Shaped(classic, "(KEEP) X1"), "(KEEP) X1\r\n");
    EXPECT_EQ(std::string(classic.EndBytes()), "\r\n");
}

TEST(WireRulesTest, EachControllersEndOfBlockAndStripping) {
    WireRules r;
    r.endOfBlock = WireRules::EndOfBlock::LfCrCr;
    EXPECT_EQ(Shaped(r, "G0 X1"), "G0 X1\n\r\r");
    r.endOfBlock = WireRules::EndOfBlock::Lf;
    r.stripParenComments = true;
    r.stripSpaces = true;
    r.skipBlankLines = true;
    EXPECT_EQ(Shaped(r, "N10 (ROUGH (NESTED) PASS) G01 X1. ;cut"), "N10G01X1.\n");
    EXPECT_EQ(Shaped(r, "(ONLY A COMMENT)"), "<skipped>");
    EXPECT_EQ(Shaped(r, "   "), "<skipped>");
    EXPECT_EQ(Shaped(r, "G0 (UNCLOSED"), "G0\n"); // an unclosed comment runs to the end
    r.stripSemicolonComments = false;
    EXPECT_EQ(Shaped(r, "M30 ;end"), "M30;end\n");
}

TEST(WireRulesTest, EscapesRoundTripEveryByteAndRejectMalformedTexts) {
    std::string out, error;
    ASSERT_TRUE(Unescape("\\0{50}%\\r\\n\\x03", out));
    EXPECT_EQ(out, std::string(50, '\0') + "%\r\n\x03");
    ASSERT_TRUE(Unescape("\\{x} \\{", out)) << "an escaped brace is a brace, not a count";
    EXPECT_EQ(out, "{x} {");
    for (const char* bad : {"\\", "\\q", "\\x4", "\\xZZ", "%{}", "%{0}", "%{4097}", "%{12"}) {
        EXPECT_FALSE(Unescape(bad, out, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    std::mt19937 random(3);
    for (int round = 0; round < 500; ++round) {
        std::string bytes(random() % 40, ' ');
        for (char& b : bytes)
            b = random() % 4 == 0 ? char(random() % 256) : "% \\{}0\x12"[random() % 7];
        if (random() % 5 == 0)
            bytes += std::string(random() % 80, '\0');
        ASSERT_TRUE(Unescape(Escape(bytes), out, &error)) << Escape(bytes) << ": " << error;
        ASSERT_EQ(out, bytes) << Escape(bytes);
    }
}

TEST(ProfileFileTest, EveryPresetSurvivesItsFileAndTheClassicOneIsToday) {
    ASSERT_FALSE(Presets().empty());
    EXPECT_EQ(Presets().front().name, "classic");
    const WireRules classic;
    EXPECT_EQ(Presets().front().wire.endOfBlock, classic.endOfBlock);
    EXPECT_TRUE(Presets().front().wire.stripSemicolonComments);
    EXPECT_TRUE(Presets().front().wire.leader.empty() && Presets().front().wire.trailer.empty());
    EXPECT_EQ(Presets().front().xoffCharacters, 0);
    for (const MachineProfile& preset : Presets()) {
        MachineProfile back;
        std::string error;
        ASSERT_TRUE(ParseProfile(ProfileText(preset), back, error)) << preset.name << ": " << error;
        EXPECT_EQ(ProfileText(back), ProfileText(preset)) << preset.name;
        EXPECT_EQ(back.wire.leader, preset.wire.leader) << preset.name;
    }
    const MachineProfile* fanuc = FindPreset("fanuc-iso");
    ASSERT_TRUE(fanuc);
    EXPECT_EQ(fanuc->xoffCharacters, 10);
    EXPECT_EQ(int(fanuc->line.dataBits), 7);
    EXPECT_EQ(fanuc->line.parity, 'E');
}

TEST(ProfileFileTest, ASlipInAFileIsAnErrorNamingItsLine) {
    MachineProfile p;
    std::string error;
    const auto fails = [&](const std::string& text, const std::string& says) {
        error.clear();
        EXPECT_FALSE(ParseProfile(text, p, error)) << text;
        EXPECT_NE(error.find(says), std::string::npos) << error;
    };
    fails("[machine]\nbaud = 9600\nparity = X\n", "line 3: \"parity\" takes N, O or E");
    fails("[machine]\nbuad = 9600\n", "line 2: unknown key \"buad\"");
    fails("[machine]\nbaud = 96OO\n", "\"baud\" takes a number");
    fails("[machine]\nxoff_characters = -1\n", "\"xoff_characters\" takes a number");
    fails("[machine]\nleader = \\0{9999}\n", "\"leader\"");
    fails("[machine]\nreceive_end_of_line = CRLF\n", "\"receive_end_of_line\" takes LF or CR");
    fails("baud = 9600\n", "expected [machine] first");
    fails("[other]\n", "unknown section");
    fails("", "no [machine] section");
    // Left out keys keep the classic values; comments and blank lines are fine.
    ASSERT_TRUE(ParseProfile("# mine\n\n[machine]\nbaud = 19200\n", p, error)) << error;
    EXPECT_EQ(p.line.baudRate, 19200);
    EXPECT_EQ(p.wire.endOfBlock, WireRules::EndOfBlock::CrLf);
}

TEST(ProfileFileTest, SavedMachinesLiveInTheSettingsFolderAndPresetsStayReadOnly) {
    TempDir home;
    ScopedEnv env("SERMIDA_HOME", home.Path());
    std::string error;
    MachineProfile mine = *FindPreset("fanuc-iso");
    EXPECT_FALSE(SaveMachine(mine, error)) << "a preset is never overwritten";
    mine.preset = false;
    mine.name = "lathe-2";
    mine.line.baudRate = 2400;
    mine.wire.trailer = std::string("%\n") + '\0' + " ";
    mine.wire.waitForDc1 = true;
    mine.receive.lineEnd = ReceiveRules::LineEnd::Cr;
    ASSERT_TRUE(SaveMachine(mine, error)) << error;
    mine.name = "../escape";
    EXPECT_FALSE(SaveMachine(mine, error));
    EXPECT_EQ(SavedMachines(), std::vector<std::string>{"lathe-2"});

    MachineProfile back;
    ASSERT_TRUE(LoadMachine("lathe-2", back, error)) << error;
    EXPECT_EQ(back.line.baudRate, 2400);
    EXPECT_EQ(back.wire.trailer, std::string("%\n") + '\0' + " ");
    EXPECT_TRUE(back.wire.waitForDc1);
    EXPECT_EQ(back.receive.lineEnd, ReceiveRules::LineEnd::Cr);
    mine.name = "lathe-2";
    EXPECT_EQ(ProfileText(back), ProfileText(mine)) << "every field comes back";
    EXPECT_FALSE(back.preset);
    ASSERT_TRUE(LoadMachine("haas", back, error)) << "presets need no file";
    EXPECT_TRUE(back.preset);
    EXPECT_FALSE(LoadMachine("no-such-machine", back, error));
    EXPECT_NE(error.find("sermida-cli machines"), std::string::npos);

    // A damaged file is an error that names the file, not a silent preset.
    std::ofstream(home.Path() + "/machines/haas.ini") << "[machine]\nflow = maybe\n";
    EXPECT_FALSE(LoadMachine("haas", back, error));
    EXPECT_NE(error.find("haas.ini: line 2"), std::string::npos) << error;
}

} // namespace
