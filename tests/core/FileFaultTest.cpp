// Saving when the disk says no (full, over the size limit, mounted read-only)
// and loading a file too large for 32-bit positions: the file on disk stays
// as it was, the reason is given, and the text in memory is kept.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "TestHelpers.h"

namespace {

// Runs body in a forked child (for limits and mounts that must not touch the
// test itself) and returns what it reported: "" when all was as expected,
// "skip: ..." when the machine cannot stage the fault, else what went wrong.
std::string InChild(const std::function<std::string()>& body) {
    int out[2];
    if (::pipe(out) != 0)
        return "pipe failed";
    const pid_t pid = ::fork();
    if (pid < 0)
        return "fork failed";
    if (pid == 0) {
        ::close(out[0]);
        std::string report;
        try {
            report = body();
        } catch (const std::exception& e) {
            report = std::string("exception: ") + e.what();
        }
        (void)!::write(out[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string report;
    char chunk[512];
    for (ssize_t n; (n = ::read(out[0], chunk, sizeof chunk)) != 0;) {
        if (n > 0)
            report.append(chunk, size_t(n));
        else if (errno != EINTR)
            break;
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status))
        return "the child died of signal " + std::to_string(WTERMSIG(status));
    return report;
}

// Collects what does not hold, for a child to report.
struct Findings {
    std::string text;
    void Expect(bool ok, const std::string& what) {
        if (!ok)
            text += what + "; ";
    }
};

bool WriteTo(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    f << text;
    return bool(f);
}

// A private mount namespace in which this process may mount: as root
// directly, otherwise as root of a new user namespace.
std::string EnterMountNamespace() {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid == 0) {
        if (::unshare(CLONE_NEWNS) != 0)
            return std::string("skip: no mount namespace: ") + std::strerror(errno);
    } else {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return std::string("skip: no user namespace: ") + std::strerror(errno);
        if (!WriteTo("/proc/self/setgroups", "deny") ||
            !WriteTo("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteTo("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return "skip: cannot map the user namespace";
    }
    // Nothing mounted here may show outside.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("skip: cannot make mounts private: ") + std::strerror(errno);
    return {};
}

std::string Text(size_t bytes, char fill) {
    std::string text;
    for (size_t i = 0; text.size() < bytes; ++i)
        text += "N" + std::to_string(i) + " G01 X" + fill + "\r\n";
    return text;
}

// A buffer that holds the loaded old file with new text in front of it,
// modified and not saved.
void LoadAndEdit(CTextBuffer& buffer, const std::string& path, const std::string& added) {
    if (!buffer.LoadFromDisk(path))
        throw std::runtime_error("cannot load " + path);
    int endLine = 0, endByte = 0;
    if (!buffer.InsertAt(nullptr, 0, 0, added, endLine, endByte, ACTION_PASTE))
        throw std::runtime_error("cannot edit");
}

class FileFaultTest : public ::testing::Test {
protected:
    void ExpectInChild(const std::function<std::string()>& body) {
        const std::string report = InChild(body);
        if (report.rfind("skip:", 0) == 0)
            GTEST_SKIP() << report;
        EXPECT_EQ(report, "");
    }

    TempDir dir;
    CTextBuffer buf;
    const std::string old = Text(20000, 'O');
};

TEST_F(FileFaultTest, SaveOntoAFullFileSystemKeepsTheOldFileAndTheText) {
    ExpectInChild([&]() -> std::string {
        if (std::string skip = EnterMountNamespace(); !skip.empty())
            return skip;
        if (::mount("tmpfs", dir.Path().c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0)
            return std::string("skip: cannot mount a small tmpfs: ") + std::strerror(errno);
        const std::string path = dir.File("p.nc");
        WriteBytes(path, old);
        Findings f;
        CTextBuffer buffer;
        LoadAndEdit(buffer, path, Text(200000, 'N'));
        FileError error;
        f.Expect(!buffer.SaveToDisk(path, LINE_END_DETECT, true, &error), "the save succeeded");
        f.Expect(error.code == ENOSPC, "error " + error.Describe());
        f.Expect(error.Describe().find(std::strerror(ENOSPC)) != std::string::npos,
                 "the reason does not say the disk is full");
        f.Expect(ReadBytes(path) == old, "the old file changed");
        f.Expect(dir.Entries() == std::vector<std::string>{"p.nc"}, "a temporary file is left");
        f.Expect(buffer.IsModified(), "the text is no longer marked modified");

        // Room again: the same text saves, byte for byte.
        if (::mount(nullptr, dir.Path().c_str(), nullptr, MS_REMOUNT, "size=1m") != 0)
            return f.text + "cannot grow the tmpfs";
        f.Expect(buffer.SaveToDisk(path, LINE_END_DETECT, true, &error),
                 "the save with room failed: " + error.Describe());
        f.Expect(ReadBytes(path) == Text(200000, 'N') + old, "the saved bytes differ");

        // The same file system mounted read-only.
        int endLine = 0, endByte = 0;
        buffer.InsertAt(nullptr, 0, 0, "(RO)", endLine, endByte, ACTION_TYPING);
        const std::string before = ReadBytes(path);
        if (::mount(nullptr, dir.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
            return f.text;
        f.Expect(!buffer.SaveToDisk(path, LINE_END_DETECT, true, &error),
                 "the save on a read-only mount succeeded");
        f.Expect(error.code == EROFS || error.code == EACCES, "error " + error.Describe());
        f.Expect(ReadBytes(path) == before, "the file on the read-only mount changed");
        f.Expect(buffer.IsModified(), "the text is no longer marked modified");
        return f.text;
    });
}

TEST_F(FileFaultTest, SaveBeyondTheFileSizeLimitKeepsTheOldFileAndTheText) {
    const std::string path = dir.File("p.nc");
    WriteBytes(path, old);
    ExpectInChild([&]() -> std::string {
        // As both programs do: a write past the limit fails, it does not kill.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 65536;
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return std::string("skip: setrlimit: ") + std::strerror(errno);
        Findings f;
        CTextBuffer buffer;
        LoadAndEdit(buffer, path, Text(200000, 'N'));
        FileError error;
        f.Expect(!buffer.SaveToDisk(path, LINE_END_DETECT, true, &error), "the save succeeded");
        f.Expect(error.code == EFBIG, "error " + error.Describe());
        f.Expect(ReadBytes(path) == old, "the old file changed");
        f.Expect(dir.Entries() == std::vector<std::string>{"p.nc"}, "a temporary file is left");
        f.Expect(buffer.IsModified(), "the text is no longer marked modified");

        // A text that fits under the limit still saves.
        CTextBuffer small;
        LoadAndEdit(small, path, "(SMALL)");
        f.Expect(small.SaveToDisk(path, LINE_END_DETECT, true, &error),
                 "a small save failed: " + error.Describe());
        f.Expect(ReadBytes(path) == "(SMALL)" + old, "the small save wrote other bytes");
        return f.text;
    });
}

// A sparse file costs no disk; its size alone must be refused before any
// memory is taken for it.
TEST_F(FileFaultTest, AFileBeyondTwoGibibytesIsRefusedAndTheBufferKept) {
    SetLines(buf, {"keep", "me"});
    for (const off_t size : {off_t(INT32_MAX) + 1, off_t(5) << 30}) {
        const std::string path = dir.File("huge.nc");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const bool made = ::ftruncate(fd, size) == 0;
        ::close(fd);
        if (!made)
            GTEST_SKIP() << "this file system cannot hold a sparse file of " << size << " bytes";
        FileError error;
        EXPECT_FALSE(buf.LoadFromDisk(path, LINE_END_DETECT, &error)) << size;
        EXPECT_EQ(error.code, EFBIG) << error.Describe();
        EXPECT_NE(error.Describe().find("too large"), std::string::npos) << error.Describe();
        EXPECT_EQ(Lines(buf), "keep|me");
    }
}

} // namespace
