// A machine's program library on real files: what a save keeps, what a
// request finds, and that a failing disk never costs a stored program.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include "TestHelpers.h"
#include "dnc/ProgramLibrary.h"

namespace {

using Outcome = ProgramLibrary::Outcome;

ino_t Inode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Runs body as an ordinary user in a child (root writes anywhere) and returns
// what it reported, "" when all held.
std::string AsOrdinaryUser(const std::function<std::string()>& body) {
    int out[2];
    if (::pipe(out) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(out[0]);
        std::string report = "cannot become an ordinary user";
        if (::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0))
            report = body();
        (void)!::write(out[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string report;
    char chunk[256];
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) > 0;)
        report.append(chunk, size_t(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? report : "the child died";
}

class ProgramLibraryTest : public ::testing::Test {
protected:
    std::string Folder() const { return dir.File("shop/mill-1"); }
    std::string Program(const std::string& name) const { return Folder() + "/" + name + ".nc"; }
    std::string Version(const std::string& name, int n) const {
        return Folder() + "/versions/" + name + ".nc." + std::to_string(n);
    }

    TempDir dir;
    ProgramLibrary library{dir.File("shop/mill-1")};
};

TEST_F(ProgramLibraryTest, SavesANewProgramInAFolderItMakes) {
    const auto r = library.Save("O1234", "%\r\nO1234\r\nM30\r\n%\r\n");
    ASSERT_EQ(r.outcome, Outcome::Saved) << r.error;
    EXPECT_EQ(r.path, Program("O1234"));
    EXPECT_EQ(ReadBytes(r.path), "%\r\nO1234\r\nM30\r\n%\r\n");
    EXPECT_TRUE(r.versionPath.empty());
    EXPECT_FALSE(Exists(Folder() + "/versions"));
}

TEST_F(ProgramLibraryTest, TheSameProgramAgainWritesNothing) {
    ASSERT_EQ(library.Save("O1234", "O1234\nG0 X1\nM30\n").outcome, Outcome::Saved);
    const ino_t before = Inode(Program("O1234"));

    EXPECT_EQ(library.Save("O1234", "O1234\nG0 X1\nM30\n").outcome, Outcome::Identical);
    EXPECT_EQ(library.Save("O1234", "O1234\r\nG0 X1\r\nM30\r\n\r\n  \r\n").outcome,
              Outcome::Identical)
        << "punched back with CR LF and a trailer of blank lines";
    EXPECT_EQ(library.Save("O1234", "O1234\rG0 X1\rM30").outcome, Outcome::Identical);

    EXPECT_EQ(Inode(Program("O1234")), before) << "the file was not rewritten";
    EXPECT_EQ(ReadBytes(Program("O1234")), "O1234\nG0 X1\nM30\n");
    EXPECT_FALSE(Exists(Folder() + "/versions"));
}

TEST_F(ProgramLibraryTest, OnlyLineEndsAndTheTrailerAreForgiven) {
    EXPECT_FALSE(ProgramLibrary::SameProgram("G0 X1\nM30\n", "G0 X10\nM30\n"));
    EXPECT_FALSE(ProgramLibrary::SameProgram("G0\n\nM30\n", "G0\nM30\n"))
        << "a blank line inside the program";
    EXPECT_FALSE(ProgramLibrary::SameProgram("G0 X1\nM30\n", "G0 X1 \nM30\n"))
        << "blanks inside the program";
    EXPECT_FALSE(ProgramLibrary::SameProgram("G0\nM30\n", "  G0\nM30\n"));
    EXPECT_FALSE(ProgramLibrary::SameProgram("M30\n", "M30\n%\n"));
    EXPECT_TRUE(ProgramLibrary::SameProgram("M30", "M30 \t\r\n"));
    EXPECT_TRUE(ProgramLibrary::SameProgram("", "\r\n"));
}

TEST_F(ProgramLibraryTest, EachChangeKeepsThePreviousContentExactly) {
    const std::string first = "O1234\r\nG0 X1\r\nM30\r\n";
    const std::string second = "O1234\nG0 X2\nM30\n";
    const std::string third = "O1234\nG0 X3\nM30\n";
    ASSERT_EQ(library.Save("O1234", first).outcome, Outcome::Saved);

    const auto r2 = library.Save("O1234", second);
    ASSERT_EQ(r2.outcome, Outcome::Versioned) << r2.error;
    EXPECT_EQ(r2.versionPath, Version("O1234", 1));
    const auto r3 = library.Save("O1234", third);
    ASSERT_EQ(r3.outcome, Outcome::Versioned) << r3.error;
    EXPECT_EQ(r3.versionPath, Version("O1234", 2));

    EXPECT_EQ(ReadBytes(Version("O1234", 1)), first);
    EXPECT_EQ(ReadBytes(Version("O1234", 2)), second);
    EXPECT_EQ(ReadBytes(Program("O1234")), third);
    EXPECT_EQ(library.List(), std::vector<std::string>{"O1234"}) << "versions are not programs";
}

TEST_F(ProgramLibraryTest, VersionNumbersGoAboveTheHighest) {
    ASSERT_EQ(library.Save("O1234", "A\n").outcome, Outcome::Saved);
    ::mkdir((Folder() + "/versions").c_str(), 0755);
    WriteBytes(Version("O1234", 7), "OLDER\n");
    WriteBytes(Folder() + "/versions/O1234.nc.x", "?");
    WriteBytes(Version("O12345", 9), "OTHER\n");

    const auto r = library.Save("O1234", "B\n");
    ASSERT_EQ(r.outcome, Outcome::Versioned) << r.error;
    EXPECT_EQ(r.versionPath, Version("O1234", 8));
    EXPECT_EQ(ReadBytes(Version("O1234", 8)), "A\n");
    EXPECT_EQ(ReadBytes(Version("O1234", 7)), "OLDER\n");
}

TEST_F(ProgramLibraryTest, AProgramLinkedFromElsewhereKeepsItsOldContent) {
    ASSERT_EQ(library.Save("O1", "NEW\n").outcome, Outcome::Saved);
    const std::string shared = dir.File("shared.nc");
    WriteBytes(shared, "SHARED OLD\n");
    ASSERT_EQ(::symlink(shared.c_str(), Program("O2").c_str()), 0);

    const auto r = library.Save("O2", "SHARED NEW\n");
    ASSERT_EQ(r.outcome, Outcome::Versioned) << r.error;
    EXPECT_EQ(ReadBytes(r.versionPath), "SHARED OLD\n")
        << "the version holds the content, not a second link to what was overwritten";
    EXPECT_EQ(ReadBytes(shared), "SHARED NEW\n");
}

TEST_F(ProgramLibraryTest, AProgramOnAnotherFileSystemIsCopiedIntoVersions) {
    // A hard link cannot cross file systems: the old content is copied instead.
    char shm[] = "/dev/shm/sermida-lib-XXXXXX";
    struct stat here {
    }, there{};
    if (!::mkdtemp(shm))
        GTEST_SKIP() << "no /dev/shm";
    const std::string shared = std::string(shm) + "/O3.nc";
    WriteBytes(shared, "FAR OLD\r\n");
    ::stat(dir.Path().c_str(), &here);
    ::stat(shm, &there);
    if (here.st_dev != there.st_dev) {
        ASSERT_EQ(library.Save("O1", "X\n").outcome, Outcome::Saved);
        ASSERT_EQ(::symlink(shared.c_str(), Program("O3").c_str()), 0);
        const auto r = library.Save("O3", "FAR NEW\r\n");
        EXPECT_EQ(r.outcome, Outcome::Versioned) << r.error;
        EXPECT_EQ(ReadBytes(r.versionPath), "FAR OLD\r\n");
        EXPECT_EQ(ReadBytes(shared), "FAR NEW\r\n");
    }
    ::unlink(shared.c_str());
    ::rmdir(shm);
    if (here.st_dev == there.st_dev)
        GTEST_SKIP() << "/dev/shm is on the same file system";
}

TEST_F(ProgramLibraryTest, UnsafeNamesAreRefused) {
    for (const char* name : {"../O1", "O1/../../x", "", ".hidden", "a b"}) {
        const auto r = library.Save(name, "X\n");
        EXPECT_EQ(r.outcome, Outcome::Failed) << name;
        EXPECT_FALSE(r.error.empty()) << name;
    }
    EXPECT_FALSE(Exists(dir.File("shop/O1.nc")));
    EXPECT_FALSE(Exists(dir.File("x.nc")));
}

TEST_F(ProgramLibraryTest, FindTakesTheFormsAnOperatorTypes) {
    for (const char* name : {"O0012", "O1234", "PART_A1", "SHAFT.MPF"})
        ASSERT_EQ(library.Save(name, "X\n").outcome, Outcome::Saved);
    ::mkdir(Program("O7").c_str(), 0755);
    WriteBytes(dir.File("shop/O5.nc"), "OUTSIDE\n");

    EXPECT_EQ(library.Find("1234"), Program("O1234"));
    EXPECT_EQ(library.Find("o1234"), Program("O1234"));
    EXPECT_EQ(library.Find("O1234.nc"), Program("O1234"));
    EXPECT_EQ(library.Find("12"), Program("O0012"));
    EXPECT_EQ(library.Find("O012"), Program("O0012"));
    EXPECT_EQ(library.Find("PART_A1"), Program("PART_A1"));
    EXPECT_EQ(library.Find("SHAFT.MPF"), Program("SHAFT.MPF"));

    EXPECT_EQ(library.Find("99"), "");
    EXPECT_EQ(library.Find("7"), "") << "a folder is no program";
    EXPECT_EQ(library.Find("../O5"), "");
    EXPECT_EQ(library.Find("../O5.nc"), "");
    EXPECT_EQ(library.Find("/etc/passwd"), "");
    EXPECT_EQ(library.Find(""), "");
}

TEST_F(ProgramLibraryTest, ListShowsOnlyPrograms) {
    std::string error;
    EXPECT_TRUE(library.List(&error).empty()) << "no folder yet is an empty library";
    EXPECT_EQ(error, "");
    for (const char* name : {"O2", "O10", "A-1"})
        ASSERT_EQ(library.Save(name, "X\n").outcome, Outcome::Saved);
    ASSERT_EQ(library.Save("O2", "Y\n").outcome, Outcome::Versioned);
    WriteBytes(Folder() + "/CREabc123", "a save cut short");
    WriteBytes(Folder() + "/notes.txt", "");
    WriteBytes(Folder() + "/.hidden.nc", "");
    ::mkdir((Folder() + "/dir.nc").c_str(), 0755);
    EXPECT_EQ(library.List(&error), (std::vector<std::string>{"A-1", "O10", "O2"}));
    EXPECT_EQ(error, "");
}

TEST_F(ProgramLibraryTest, AFolderTheServiceCannotWriteFailsAndKeepsTheProgram) {
    ASSERT_EQ(library.Save("O1234", "OLD\n").outcome, Outcome::Saved);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.File("shop").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(Folder().c_str(), 0555), 0);

    const std::string report = AsOrdinaryUser([&] {
        const auto r = library.Save("O1234", "NEW\n");
        if (r.outcome != Outcome::Failed)
            return std::string("the save did not fail");
        if (r.error.find("Permission denied") == std::string::npos)
            return "the reason is not given: " + r.error;
        return std::string();
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(ReadBytes(Program("O1234")), "OLD\n");
    EXPECT_FALSE(Exists(Folder() + "/versions"));
    ::chmod(Folder().c_str(), 0755);
}

TEST_F(ProgramLibraryTest, AFailedReplaceLeavesNoStrayVersion) {
    // versions/ can be written but the program's folder cannot: the old
    // content is kept first, then the replacement fails.
    ASSERT_EQ(library.Save("O1234", "OLD\n").outcome, Outcome::Saved);
    ASSERT_EQ(library.Save("O1234", "OLDER\n").outcome, Outcome::Versioned);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(dir.File("shop").c_str(), 0755), 0);
    ASSERT_EQ(::chmod((Folder() + "/versions").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(Folder().c_str(), 0555), 0);

    const std::string report = AsOrdinaryUser([&] {
        const auto r = library.Save("O1234", "NEW\n");
        if (r.outcome != Outcome::Failed)
            return std::string("the save did not fail");
        if (!r.versionPath.empty())
            return "a version is named: " + r.versionPath;
        return std::string();
    });
    EXPECT_EQ(report, "");
    EXPECT_EQ(ReadBytes(Program("O1234")), "OLDER\n");
    EXPECT_EQ(ReadBytes(Version("O1234", 1)), "OLD\n");
    EXPECT_FALSE(Exists(Version("O1234", 2))) << "nothing changed, so no version";
    ::chmod(Folder().c_str(), 0755);
}

} // namespace
