// Loading and saving program files: break detection and splitting, exact
// round trips, and saves that fail without harming the file on disk.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "TestHelpers.h"

namespace {

class LoadSaveTest : public ::testing::Test {
protected:
    // Loads bytes from a file and returns the buffer's lines.
    std::vector<std::string> Load(const std::string& bytes, int mode = LINE_END_DETECT) {
        WriteBytes(dir.File("in.nc"), bytes);
        EXPECT_TRUE(buf.LoadFromDisk(dir.File("in.nc"), mode));
        return LineList(buf);
    }
    std::string Resave(const std::string& bytes) {
        Load(bytes);
        EXPECT_TRUE(buf.SaveToDisk(dir.File("out.nc")));
        return ReadBytes(dir.File("out.nc"));
    }

    TempDir dir;
    CTextBuffer buf;
};

using L = std::vector<std::string>;

TEST_F(LoadSaveTest, EmptyFileIsOneEmptyLine) {
    EXPECT_EQ(Load(""), L{""});
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_CRLF);
    EXPECT_FALSE(buf.IsWriteProtected());
    EXPECT_FALSE(buf.IsModified());
}

TEST_F(LoadSaveTest, DetectsTheStyleFromTheFirstLf) {
    EXPECT_EQ(Load("G0\r\nG1\r\n"), (L{"G0", "G1", ""}));
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_CRLF);
    EXPECT_EQ(Load("G0\n\rG1"), (L{"G0", "G1"}));
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_LFCR);
    EXPECT_EQ(Load("G0\nG1\r\nG2"), (L{"G0", "G1\r", "G2"}));
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_LF);
    EXPECT_EQ(Load("\nG1"), (L{"", "G1"}));
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_LF) << "an LF at the very start has no CR before it";
    EXPECT_EQ(Load("G0\rG1\rG2"), (L{"G0\rG1\rG2"}));
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_CRLF);
}

TEST_F(LoadSaveTest, DetectionLooksAtTheFirstBlockOnly) {
    std::string bytes(32768, 'X');
    bytes += "\nG1\n";
    EXPECT_EQ(Load(bytes).size(), 1u) << "no LF in the first 32768 bytes: CR LF mode";
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_CRLF);

    std::string edge(32767, 'X');
    edge += "\n\rG1"; // the LF ends the first block: the CR after it is not seen
    Load(edge);
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_LF);
    EXPECT_EQ(buf.CountLines(), 2);
    EXPECT_EQ(buf.LineView(1), "\rG1");
}

TEST_F(LoadSaveTest, CrLfModeKeepsLoneBytesAndCrCrLfInTheLine) {
    EXPECT_EQ(Load("x\r\na\nb\r\nc\rd\r\ne\r\r\nf"), (L{"x", "a\nb", "c\rd", "e\r\r\nf"}));
    EXPECT_EQ(Load("a\r\r\r\nb"), (L{"a\r\r", "b"})) << "an odd run of CRs before LF breaks";
    EXPECT_EQ(Load("x\r\r\n"), (L{"x\r\r\n"}));
    EXPECT_EQ(Load("x\r"), (L{"x\r"}));
}

TEST_F(LoadSaveTest, LfCrModeMirrorsCrLf) {
    EXPECT_EQ(Load("a\n\rb\n\n\rc\rd\n"), (L{"a", "b\n\n\rc\rd\n"}));
    EXPECT_EQ(Load("a\n\rb\n\n\n\rc"), (L{"a", "b\n\n", "c"}));
}

TEST_F(LoadSaveTest, NulBytesStayInTheLine) {
    const std::string bytes("G1\0X5\r\n\0\0\r\nM30", 14);
    EXPECT_EQ(Load(bytes), (L{std::string("G1\0X5", 5), std::string(2, '\0'), "M30"}));
    EXPECT_EQ(Resave(bytes), bytes);
}

TEST_F(LoadSaveTest, GivenModeOverridesDetection) {
    EXPECT_EQ(Load("a\r\nb\nc", LINE_END_LF), (L{"a\r", "b", "c"}));
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_LF);
}

TEST_F(LoadSaveTest, SaveJoinsWithTheBuffersStyleAndNoFinalBreak) {
    SetLines(buf, {"N10", "N20", "N30"});
    ASSERT_TRUE(buf.SaveToDisk(dir.File("three.nc")));
    EXPECT_EQ(ReadBytes(dir.File("three.nc")), "N10\r\nN20\r\nN30");
    ASSERT_TRUE(buf.SaveToDisk(dir.File("lf.nc"), LINE_END_LF));
    EXPECT_EQ(ReadBytes(dir.File("lf.nc")), "N10\nN20\nN30");
    EXPECT_EQ(buf.GetLineEndMode(), LINE_END_CRLF) << "a mode given to one save is not kept";
    Load("a\n\rb");
    ASSERT_TRUE(buf.SaveToDisk(dir.File("lfcr.nc")));
    EXPECT_EQ(ReadBytes(dir.File("lfcr.nc")), "a\n\rb");
}

TEST_F(LoadSaveTest, LoadNotifiesResetAndClearsHistory) {
    RecordingView view;
    buf.AttachView(&view);
    SetLines(buf, {"x"});
    int el, eb;
    buf.InsertAt(nullptr, 0, 0, "y", el, eb, ACTION_TYPING);
    view.notes.clear();
    Load("G0");
    ASSERT_EQ(view.notes.size(), 1u);
    EXPECT_EQ(view.notes[0].bits, CHANGE_RESET);
    EXPECT_FALSE(buf.HasUndo());
}

TEST_F(LoadSaveTest, EditedLoadedLinesDoNotDisturbTheirNeighbours) {
    Load("aaaa\r\nbbbb\r\ncccc");
    int el, eb;
    ASSERT_TRUE(buf.InsertAt(nullptr, 0, 4, "XYZXYZXYZ", el, eb, ACTION_TYPING));
    ASSERT_TRUE(buf.EraseRange(nullptr, 1, 1, 1, 3, ACTION_DELETE));
    ASSERT_TRUE(buf.InsertAt(nullptr, 1, 2, "QQ", el, eb, ACTION_TYPING));
    EXPECT_EQ(LineList(buf), (L{"aaaaXYZXYZXYZ", "bbQQ", "cccc"}));
}

TEST_F(LoadSaveTest, ReadOnlyFileLoadsWriteProtectedAndIsNotOverwritten) {
    const std::string path = dir.File("ro.nc");
    WriteBytes(path, "O0001\r\nM30");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_TRUE(buf.LoadFromDisk(path));
    EXPECT_TRUE(buf.IsWriteProtected());
    buf.SetWriteProtected(false);
    int el, eb;
    buf.InsertAt(nullptr, 0, 0, "X", el, eb, ACTION_TYPING);
    FileError error;
    EXPECT_FALSE(buf.SaveToDisk(path, LINE_END_DETECT, true, &error));
    EXPECT_EQ(error.code, EACCES);
    EXPECT_TRUE(buf.IsModified()) << "a failed save leaves the text modified";
    EXPECT_EQ(ReadBytes(path), "O0001\r\nM30");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"ro.nc"}) << "no temporary file left";
}

TEST_F(LoadSaveTest, SaveIntoAFolderTheUserCannotWriteFails) {
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const std::string folder = dir.File("locked");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string path = folder + "/p.nc";
    WriteBytes(path, "OLD");
    ::chmod(path.c_str(), 0666);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    SetLines(buf, {"NEW"});
    // Root writes anywhere: run the save as an ordinary user in a child.
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        FileError error;
        bool ok = buf.SaveToDisk(path, LINE_END_DETECT, true, &error);
        ::_exit(ok ? 0 : (error.code == EACCES ? 1 : 2));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the save must fail with a permission error";
    EXPECT_EQ(ReadBytes(path), "OLD");
    ::chmod(folder.c_str(), 0755);
}

TEST_F(LoadSaveTest, SuccessfulSaveClearsModifiedAndLeavesNoTemporaryFile) {
    SetLines(buf, {"G0"});
    EXPECT_TRUE(buf.IsModified());
    ASSERT_TRUE(buf.SaveToDisk(dir.File("p.nc")));
    EXPECT_FALSE(buf.IsModified());
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"p.nc"});
    int el, eb;
    buf.InsertAt(nullptr, 0, 0, "X", el, eb, ACTION_TYPING);
    ASSERT_TRUE(buf.SaveToDisk(dir.File("p.nc"), LINE_END_DETECT, false));
    EXPECT_TRUE(buf.IsModified()) << "asked not to clear the flag";
}

TEST_F(LoadSaveTest, SaveKeepsPermissionsAndFollowsLinks) {
    const std::string real = dir.File("real.nc");
    WriteBytes(real, "old");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.nc", dir.File("link.nc").c_str()), 0);
    SetLines(buf, {"new"});
    ASSERT_TRUE(buf.SaveToDisk(dir.File("link.nc")));
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("link.nc").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadBytes(real), "new");
}

TEST_F(LoadSaveTest, FailedLoadLeavesTheBufferAsItWas) {
    SetLines(buf, {"keep", "me"});
    FileError error;
    EXPECT_FALSE(buf.LoadFromDisk(dir.File("missing.nc"), LINE_END_DETECT, &error));
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_FALSE(buf.LoadFromDisk(dir.Path(), LINE_END_DETECT, &error));
    EXPECT_EQ(error.code, EISDIR);
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(buf.LoadFromDisk(dir.File("fifo"), LINE_END_DETECT, &error))
        << "a FIFO is refused at once, not waited on";
    EXPECT_EQ(Lines(buf), "keep|me");
}

TEST_F(LoadSaveTest, SaveOntoAFolderFails) {
    ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0755), 0);
    SetLines(buf, {"x"});
    EXPECT_FALSE(buf.SaveToDisk(dir.File("sub")));
    EXPECT_FALSE(buf.SaveToDisk(dir.File("nowhere/p.nc")));
}

// Any bytes at all, of lengths around the read block, come back unchanged.
TEST_F(LoadSaveTest, RandomFilesRoundTripByteForByte) {
    std::mt19937 rng(7);
    const std::string alphabet("\r\n\r\n\r\nG1 X-0.5;()\0\xb5\xe7", 20);
    const size_t sizes[] = {0,   1,    2,     3,     17,    255,   256,
                            257, 4096, 32767, 32768, 32769, 65536, 100000};
    for (size_t size : sizes) {
        for (int variant = 0; variant < 3; ++variant) {
            std::string bytes;
            for (size_t i = 0; i < size; ++i)
                bytes += variant == 2 ? char(rng()) : alphabet[rng() % alphabet.size()];
            EXPECT_EQ(Resave(bytes), bytes) << "size " << size << " variant " << variant;
        }
    }
}

TEST_F(LoadSaveTest, VeryLongLine) {
    std::string line(300000, 'X');
    for (size_t i = 0; i < line.size(); i += 7)
        line[i] = char('0' + i % 10);
    const std::string bytes = "%\r\n" + line + "\r\n%";
    EXPECT_EQ(Resave(bytes), bytes);
    EXPECT_EQ(buf.LineSize(1), 300000);
}

} // namespace
