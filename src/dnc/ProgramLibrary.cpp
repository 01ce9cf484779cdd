#include "dnc/ProgramLibrary.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/AtomicFile.h"
#include "dnc/FolderFiles.h"
#include "dnc/ProgramName.h"

namespace {

constexpr const char* kSuffix = ".nc";
constexpr const char* kVersions = "versions";
// Bounds the search for a free version number when others save at once.
constexpr int kVersionAttempts = 1000;

// The highest N of "<prefix>N" in folder, 0 when there is none.
long HighestVersion(const std::string& folder, const std::string& prefix) {
    long highest = 0;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view entry = e->d_name;
        if (entry.size() <= prefix.size() || entry.size() > prefix.size() + 9 ||
            entry.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string_view number = entry.substr(prefix.size());
        if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        highest = std::max(highest, std::stol(std::string(number)));
    }
    ::closedir(dir);
    return highest;
}

// Creates path (never replacing one) holding bytes, synced. EEXIST when taken.
int WriteNewFile(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno;
    int code = 0;
    while (!bytes.empty() && code == 0) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n > 0)
            bytes.remove_prefix(size_t(n));
        else if (n == 0)
            code = ENOSPC;
        else if (errno != EINTR)
            code = errno;
    }
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code != 0)
        ::unlink(path.c_str());
    return code;
}

bool LinkIsUnsupported(int code) {
    return code == EPERM || code == EXDEV || code == EOPNOTSUPP || code == EMLINK;
}

// Puts the current content of path (which is old) at the next free
// versions/<name>.nc.<N>, durably, before anything replaces it.
bool KeepVersion(const std::string& folder, const std::string& path, const std::string& name,
                 std::string_view old, std::string& versionPath, std::string& error) {
    const std::string versions = folder + "/" + kVersions;
    if (::mkdir(versions.c_str(), 0755) == 0)
        SyncFolder(folder);
    else if (errno != EEXIST) {
        error = SystemError("cannot make the folder " + versions, errno);
        return false;
    }
    const std::string prefix = name + kSuffix + ".";
    long number = HighestVersion(versions, prefix) + 1;
    bool copy = false;
    for (int attempt = 0; attempt < kVersionAttempts; ++attempt, ++number) {
        versionPath = versions + "/" + prefix + std::to_string(number);
        int code = 0;
        // Following a symbolic link: the version must hold the content, since
        // the save will write through the link.
        if (!copy &&
            ::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, versionPath.c_str(), AT_SYMLINK_FOLLOW) != 0)
            code = errno;
        if (!copy && LinkIsUnsupported(code))
            copy = true;
        if (copy)
            code = WriteNewFile(versionPath, old);
        if (code == 0) {
            SyncFolder(versions);
            return true;
        }
        if (code != EEXIST) {
            error = SystemError("cannot keep the previous " + name + " in " + versions, code);
            versionPath.clear();
            return false;
        }
    }
    error = SystemError("cannot keep the previous " + name + " in " + versions, EEXIST);
    versionPath.clear();
    return false;
}

// Line ends as LF and the blanks and line ends at the very end dropped.
std::string Normalised(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    const size_t last = out.find_last_not_of(" \t\n");
    out.resize(last == std::string::npos ? 0 : last + 1);
    return out;
}

} // namespace

ProgramLibrary::ProgramLibrary(std::string folder_) : folder(std::move(folder_)) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
}

bool ProgramLibrary::SameProgram(std::string_view a, std::string_view b) {
    return a == b || Normalised(a) == Normalised(b);
}

ProgramLibrary::SaveResult ProgramLibrary::Save(const std::string& name,
                                                std::string_view bytes) const {
    SaveResult result;
    const auto safe = SafeProgramName(name);
    if (!safe || *safe != name) {
        result.error = "\"" + name + "\" is not a program name (letters, digits, - _ .)";
        return result;
    }
    if (!MakeFolders(folder, result.error))
        return result;
    result.path = folder + "/" + name + kSuffix;

    std::string old;
    int code = 0;
    const ReadState state = ReadWholeFile(result.path, old, code);
    if (state == ReadState::Failed) {
        result.error = SystemError("cannot read " + result.path, code);
        return result;
    }
    if (state == ReadState::Read) {
        if (SameProgram(old, bytes)) {
            result.outcome = Outcome::Identical;
            return result;
        }
        if (!KeepVersion(folder, result.path, name, old, result.versionPath, result.error))
            return result;
    }

    AtomicFile file;
    FileError failure;
    if (!file.Open(result.path, &failure) || !file.Write(bytes, &failure) ||
        !file.Commit(&failure)) {
        result.error = "cannot save " + result.path + ": " + failure.Describe();
        // The old file is still in place: its copy in versions/ would only
        // say that something changed when nothing did.
        if (!result.versionPath.empty())
            ::unlink(result.versionPath.c_str());
        result.versionPath.clear();
        return result;
    }
    result.outcome = state == ReadState::Read ? Outcome::Versioned : Outcome::Saved;
    return result;
}

std::string ProgramLibrary::Find(std::string_view request) const {
    for (const std::string& name : RequestedNames(request)) {
        const std::string path = folder + "/" + name + kSuffix;
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return path;
    }
    return {};
}

std::vector<std::string> ProgramLibrary::List(std::string* error) const {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        if (errno != ENOENT && error)
            *error = SystemError("cannot read the folder " + folder, errno);
        return names;
    }
    const std::string_view suffix = kSuffix;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view entry = e->d_name;
        if (entry.size() <= suffix.size() ||
            entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const auto name = SafeProgramName(entry.substr(0, entry.size() - suffix.size()));
        struct stat st {};
        if (name && ::stat((folder + "/" + std::string(entry)).c_str(), &st) == 0 &&
            S_ISREG(st.st_mode))
            names.push_back(*name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ProgramLibrary::NameOf(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    const std::string_view suffix = kSuffix;
    if (name.size() > suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    return name;
}
