// Sermida.ini and the dialog's initial selections.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "PtyPair.h"
#include "TestHelpers.h"
#include "common/Gbk.h"
#include "common/SettingsFolder.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsProposal.h"

namespace {

const std::string kGbkNone = Utf8ToGbk("无");
const std::string kGbkOdd = Utf8ToGbk("奇校验");
const std::string kGbkEven = Utf8ToGbk("偶校验");

class SettingsFileTest : public ::testing::Test {
protected:
    TempDir home;
    ScopedEnv homeEnv{"SERMIDA_HOME", home.Path()};

    void WriteIni(const std::string& bytes) { WriteBytes(home.File("Sermida.ini"), bytes); }
    SettingsTokens Load() {
        SettingsTokens t;
        EXPECT_TRUE(LoadSettingsFile(t));
        return t;
    }
    static std::string Joined(const SettingsTokens& t) {
        return t.port + "|" + t.baud + "|" + t.dataBits + "|" + t.stopBits + "|" + t.parity;
    }
    static std::string Joined(const DialogProposal& p) {
        return p.port + "|" + p.baud + "|" + p.dataBits + "|" + p.stopBits + "|" + p.parity;
    }
};

PortSettings Unconfigured() {
    return PortSettings{};
}

} // namespace

TEST_F(SettingsFileTest, MissingFileLeavesTokensAloneAndDefaultsAreProposed) {
    SettingsTokens t{"a", "b", "c", "d", "e"};
    EXPECT_FALSE(LoadSettingsFile(t));
    EXPECT_EQ(Joined(t), "a|b|c|d|e");

    DialogProposal p = ProposeSelections(Unconfigured(), nullptr);
    EXPECT_EQ(Joined(p), "COM1|38400|8|1|无");
    DialogSelection s = SelectionOfProposal(p);
    EXPECT_EQ(s.port, 0);
    EXPECT_EQ(s.baud, 2);
    EXPECT_EQ(s.dataBits, 3);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_EQ(s.parity, 0);
}

TEST_F(SettingsFileTest, RateOutsideTheListIsProposedButLeavesTheBaudBoxEmpty) {
    WriteIni("COM3 8800 7 2 " + kGbkEven);
    SettingsTokens t = Load();
    EXPECT_EQ(Joined(t), "COM3|8800|7|2|偶校验");
    DialogSelection s = SelectionOfProposal(ProposeSelections(Unconfigured(), &t));
    EXPECT_EQ(s.port, 2);
    EXPECT_EQ(s.baud, -1);
    EXPECT_EQ(s.dataBits, 2);
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_EQ(s.parity, 2);

    // OK with the empty baud box connects at 38400.
    DialogChoice c{s.port, "", s.dataBits, s.stopBits, s.parity};
    PortSettings chosen = SettingsOfChoice(c);
    EXPECT_EQ(chosen.portNumber, 3);
    EXPECT_EQ(chosen.baudRate, 38400);
    EXPECT_EQ(chosen.dataBits, 7);
    EXPECT_EQ(chosen.stopBits, 2);
    EXPECT_EQ(chosen.parity, 'E');
}

TEST_F(SettingsFileTest, MissingAndUnacceptedTokensFallBackPerPosition) {
    struct Row {
        std::string file;
        std::string expected;
    } rows[] = {
        {"COM5", "COM5|38400|8|1|无"},
        {"COM10 9600 8 1 " + kGbkNone, "COM1|9600|8|1|无"},
        {"com3 9600 8 1 " + kGbkNone, "COM1|9600|8|1|无"}, // case-sensitive
        {"COM0 14400 4 3 " + kGbkOdd, "COM1|14400|8|1|奇校验"},
        {"COM9 56000 5 2 " + kGbkOdd + " trailing words", "COM9|56000|5|2|奇校验"},
        {"COM2\t115200   6 1 " + kGbkEven + "\r\n", "COM2|115200|6|1|偶校验"},
        {"COM2 9600 8 1 无", "COM2|9600|8|1|无"},     // UTF-8 on disk is not GBK...
        {"COM2 9600 8 1 偶校验", "COM2|9600|8|1|无"}, // ...and is not accepted
        {"COM4 09600 8.0 +1 " + kGbkEven + "x", "COM4|38400|8|1|无"},
        {"", "COM1|38400|8|1|无"},
        {"hello world, this is no settings file\n\xff\xfe\x01", "COM1|38400|8|1|无"},
        {"\nCOM3 9600 7 2 " + kGbkEven, "COM1|38400|8|1|无"}, // only the first line counts
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        WriteIni(row.file);
        EXPECT_EQ(Joined(Load()), row.expected);
    }
}

TEST_F(SettingsFileTest, BinaryAndOverlongContentNeverShiftsOrOverflowsTokens) {
    // A token of more than 31 bytes is refused in its own position only.
    WriteIni("COM3 " + std::string(40, '9') + " 7 2 " + kGbkEven);
    EXPECT_EQ(Joined(Load()), "COM3|38400|7|2|偶校验");
    WriteIni(std::string(5000, 'C') + " 9600");
    EXPECT_EQ(Joined(Load()), "COM1|38400|8|1|无");

    // A NUL ends the text.
    WriteIni(std::string("COM6 4800\0 7 2", 14));
    EXPECT_EQ(Joined(Load()), "COM6|4800|8|1|无");

    std::string binary;
    for (int i = 0; i < 3000; ++i)
        binary += char((i * 37 + 11) & 0xFF);
    WriteIni(binary);
    EXPECT_EQ(Joined(Load()), "COM1|38400|8|1|无");

    // Only the first 1023 bytes of a line are looked at.
    WriteIni(std::string(1020, ' ') + "COM7 9600");
    EXPECT_EQ(Load().port, "COM1");
    WriteIni(std::string(1018, ' ') + "COM7 9600");
    EXPECT_EQ(Load().port, "COM7");
}

TEST_F(SettingsFileTest, FolderInsteadOfFileGivesDefaults) {
    ASSERT_EQ(::mkdir(home.File("Sermida.ini").c_str(), 0755), 0);
    SettingsTokens t;
    EXPECT_FALSE(LoadSettingsFile(t));
    EXPECT_EQ(Joined(ProposeSelections(Unconfigured(), nullptr)), "COM1|38400|8|1|无");
}

TEST_F(SettingsFileTest, SavedFileHoldsExactlyTheFiveTokensAndReadsBack) {
    PortSettings s{2, 9600, 8, 1, 'N'};
    ASSERT_TRUE(SaveSettingsFile(TokensOfSettings(s)));
    EXPECT_EQ(ReadBytes(home.File("Sermida.ini")), "COM2 9600 8 1 " + kGbkNone);

    for (char parity : {'N', 'O', 'E'}) {
        for (int rate : {2400, 8800, 115200}) {
            PortSettings w{9, rate, 5, 2, parity};
            ASSERT_TRUE(SaveSettingsFile(TokensOfSettings(w)));
            SettingsTokens back = Load();
            EXPECT_EQ(Joined(back), Joined(TokensOfSettings(w)));
        }
    }
    EXPECT_EQ(ReadBytes(home.File("Sermida.ini")), "COM9 115200 5 2 " + kGbkEven);
    EXPECT_EQ(home.Entries().size(), 1u) << "no temporary file is left behind";

    // A parity the dialog cannot produce is stored as "错误" and read as none.
    ASSERT_TRUE(SaveSettingsFile(TokensOfSettings(PortSettings{1, 9600, 8, 1, 'F'})));
    EXPECT_EQ(ReadBytes(home.File("Sermida.ini")), "COM1 9600 8 1 " + Utf8ToGbk("错误"));
    EXPECT_EQ(Load().parity, "无");
}

TEST_F(SettingsFileTest, UnwritableFileFailsQuietlyAndKeepsNothingHalfWritten) {
    TempDir other;
    WriteBytes(other.File("blocker"), "a file, not a folder");
    {
        ScopedEnv env("SERMIDA_HOME", other.File("blocker") + "/inside");
        EXPECT_FALSE(SaveSettingsFile(TokensOfSettings(PortSettings{2, 9600, 8, 1, 'N'})));
    }
    ASSERT_EQ(::mkdir(home.File("Sermida.ini").c_str(), 0755), 0);
    EXPECT_FALSE(SaveSettingsFile(TokensOfSettings(PortSettings{2, 9600, 8, 1, 'N'})));
    EXPECT_EQ(home.Entries().size(), 1u);
}

TEST_F(SettingsFileTest, ConfiguredViewWinsOverTheFileFieldByField) {
    WriteIni("COM3 8800 7 2 " + kGbkEven);
    SettingsTokens t = Load();

    PortSettings view{4, 19200, 0, 0, 'F'};
    EXPECT_EQ(Joined(ProposeSelections(view, &t)), "COM4|19200|7|2|偶校验");

    PortSettings full{4, 19200, 8, 1, 'O'};
    EXPECT_EQ(Joined(ProposeSelections(full, &t)), "COM4|19200|8|1|奇校验");

    // After a failed open the port is -1 and the rate 0: those come from the file.
    PortSettings failed{-1, 0, 6, 2, 'N'};
    EXPECT_EQ(Joined(ProposeSelections(failed, &t)), "COM3|8800|6|2|无");
    EXPECT_EQ(Joined(ProposeSelections(failed, nullptr)), "COM1|38400|6|2|无");

    // Values outside the accepted sets are not the view's to propose.
    PortSettings odd{12, 12345, 9, 3, 'X'};
    EXPECT_EQ(Joined(ProposeSelections(odd, nullptr)), "COM1|38400|8|1|无");
}

TEST_F(SettingsFileTest, SelectStringMatchesTheFirstEntryBeginningWithTheText) {
    std::vector<std::string_view> ports = {"COM1", "COM2", "COM3"};
    EXPECT_EQ(SelectStringIndex(ports, "com3"), 2);
    EXPECT_EQ(SelectStringIndex(ports, "COM"), 0);
    EXPECT_EQ(SelectStringIndex(ports, "COM10"), -1);
    std::vector<std::string_view> rates = {"115200", "57600", "38400", "19200"};
    EXPECT_EQ(SelectStringIndex(rates, "1"), 0);
    EXPECT_EQ(SelectStringIndex(rates, "14400"), -1);
}

TEST_F(SettingsFileTest, BoxesWithoutSelectionTakeTheirDefaults) {
    PortSettings s = SettingsOfChoice(DialogChoice{});
    EXPECT_EQ(s.portNumber, 1);
    EXPECT_EQ(s.baudRate, 38400);
    EXPECT_EQ(s.dataBits, 8);
    EXPECT_EQ(s.stopBits, 1);
    EXPECT_EQ(s.parity, 'N');

    PortSettings t = SettingsOfChoice(DialogChoice{8, "2400", 0, 1, 1});
    EXPECT_EQ(t.portNumber, 9);
    EXPECT_EQ(t.baudRate, 2400);
    EXPECT_EQ(t.dataBits, 5);
    EXPECT_EQ(t.stopBits, 2);
    EXPECT_EQ(t.parity, 'O');

    PortSettings u = SettingsOfChoice(DialogChoice{9, "0", 4, 2, 3});
    EXPECT_EQ(u.portNumber, 1);
    EXPECT_EQ(u.baudRate, 38400);
    EXPECT_EQ(u.dataBits, 8);
    EXPECT_EQ(u.stopBits, 1);
    EXPECT_EQ(u.parity, 'N');
}

// Where Sermida.ini and the port map live: the override, then the program's own
// folder when it is (or can be) there, then the user's configuration folder.
TEST(SettingsFolderTest, OverrideThenProgramFolderThenUserConfiguration) {
    TempDir root;
    const std::string exe = root.File("bin");
    ::mkdir(exe.c_str(), 0755);

    EXPECT_EQ(SettingsFolderOf((root.Path() + "/mine//").c_str(), exe, nullptr, nullptr),
              root.File("mine"));
    struct stat st {};
    EXPECT_EQ(::stat(root.File("mine").c_str(), &st), 0) << "made when missing";

    // A program folder that can hold the file, or already does.
    EXPECT_EQ(SettingsFolderOf(nullptr, exe, "/nowhere", nullptr), exe);
    EXPECT_EQ(SettingsFolderOf("", exe, "/nowhere", nullptr), exe);

    // A program folder that cannot: the user's configuration folder, made
    // with its parents; a relative XDG_CONFIG_HOME is not used.
    const std::string gone = root.File("gone");
    EXPECT_EQ(SettingsFolderOf(nullptr, gone, root.File("xdg/deep").c_str(), "/h"),
              root.File("xdg/deep/Sermida"));
    EXPECT_EQ(::stat(root.File("xdg/deep/Sermida").c_str(), &st), 0);
    EXPECT_EQ(SettingsFolderOf(nullptr, gone, "relative", root.Path().c_str()),
              root.File(".config/Sermida"));
    EXPECT_EQ(SettingsFolderOf(nullptr, gone, nullptr, root.Path().c_str()),
              root.File(".config/Sermida"));
}
