#include "common/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

constexpr size_t kBufferSize = 1 << 20;

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// "CRE" and six random letters or digits, in the given folder.
std::string TempNameIn(const std::string& folder) {
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 gen{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
    std::string name = folder + "/CRE";
    for (int i = 0; i < 6; ++i)
        name += kChars[pick(gen)];
    return name;
}

void SyncFolder(const std::string& folder) {
    int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

} // namespace

AtomicFile::~AtomicFile() {
    Abort();
}

bool AtomicFile::Fail(FileError* error, const FileStep& step, int code) {
    if (!failed) {
        failed = true;
        failure.Set(step, code);
    }
    if (error)
        *error = failure;
    return false;
}

bool AtomicFile::Open(const std::string& target, FileError* error) {
    Abort();
    failed = false;
    targetPath = target;

    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Save through the link into the file it names; the link stays a link.
        char resolved[PATH_MAX];
        if (!::realpath(target.c_str(), resolved))
            return Fail(error, file_step::kFollowLink, errno);
        targetPath = resolved;
    }
    bool exists = false;
    if (::stat(targetPath.c_str(), &st) == 0) {
        exists = true;
        if (!S_ISREG(st.st_mode))
            return Fail(error, file_step::kNotRegular, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        if ((st.st_mode & 0222) == 0 || ::access(targetPath.c_str(), W_OK) != 0)
            return Fail(error, file_step::kReadOnly, EACCES);
    } else if (errno != ENOENT) {
        return Fail(error, file_step::kExamine, errno);
    }

    const std::string folder = FolderOf(targetPath);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = TempNameIn(folder);
        // 0666 lets the umask decide, as for any new file.
        fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            tempPath = std::move(name);
            break;
        }
        if (errno != EEXIST)
            return Fail(error, file_step::kTemporary, errno);
    }
    if (fd < 0)
        return Fail(error, file_step::kTemporary, EEXIST);
    if (exists) {
        ::fchmod(fd, st.st_mode & 07777);
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Only the owner's own files or root can keep the owner; not an error.
        }
    }
    // Not zero-filled: clearing a megabyte would cost more than a typical save.
    buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    used = 0;
    return true;
}

bool AtomicFile::Flush(FileError* error) {
    size_t done = 0;
    while (done < used) {
        ssize_t n = ::write(fd, buffer.get() + done, used - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail(error, file_step::kWrite, errno);
        }
        if (n == 0)
            return Fail(error, file_step::kWrite, ENOSPC);
        done += size_t(n);
    }
    used = 0;
    return true;
}

bool AtomicFile::Write(std::string_view bytes, FileError* error) {
    if (failed || fd < 0)
        return Fail(error, failed ? *failure.step : file_step::kNotOpen, failure.code);
    while (!bytes.empty()) {
        size_t room = kBufferSize - used;
        size_t take = bytes.size() < room ? bytes.size() : room;
        std::memcpy(buffer.get() + used, bytes.data(), take);
        used += take;
        bytes.remove_prefix(take);
        if (used == kBufferSize && !Flush(error))
            return false;
    }
    return true;
}

bool AtomicFile::Commit(FileError* error) {
    if (failed || fd < 0) {
        Fail(error, failed ? *failure.step : file_step::kNotOpen, failure.code);
        Abort();
        return false;
    }
    bool ok = Flush(error);
    if (ok && ::fsync(fd) != 0)
        ok = Fail(error, file_step::kSync, errno);
    int closeResult = ::close(fd);
    fd = -1;
    if (ok && closeResult != 0)
        ok = Fail(error, file_step::kClose, errno);
    if (ok && ::rename(tempPath.c_str(), targetPath.c_str()) != 0)
        ok = Fail(error, file_step::kReplace, errno);
    if (!ok) {
        Abort();
        return false;
    }
    tempPath.clear();
    buffer.reset();
    SyncFolder(FolderOf(targetPath));
    return true;
}

void AtomicFile::Abort() {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
    if (!tempPath.empty()) {
        ::unlink(tempPath.c_str());
        tempPath.clear();
    }
    buffer.reset();
    used = 0;
}
