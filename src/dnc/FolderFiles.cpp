#include "dnc/FolderFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string SystemError(const std::string& what, int code) {
    return what + ": " + std::strerror(code);
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool MakeFolders(const std::string& path, std::string& error) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty()) {
            if (::mkdir(part.c_str(), 0755) == 0)
                SyncFolder(ParentOf(part));
            else if (errno != EEXIST) {
                error = SystemError("cannot make the folder " + part, errno);
                return false;
            }
        }
        if (slash == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = SystemError("cannot make the folder " + path, ENOTDIR);
        return false;
    }
    return true;
}

ReadState ReadWholeFile(const std::string& path, std::string& out, int& code) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        code = errno;
        return code == ENOENT ? ReadState::Missing : ReadState::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        code = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return ReadState::Failed;
    }
    out.clear();
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            code = errno;
            ::close(fd);
            return ReadState::Failed;
        }
        out.append(chunk, size_t(n));
    }
    ::close(fd);
    return ReadState::Read;
}
