#include "FuzzSupport.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

std::string Escaped(std::string_view bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += char(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out + "\"";
}

std::string_view FuzzInput::Bytes(size_t maxLength) {
    size_t n = Byte();
    if (maxLength < 255)
        n %= maxLength + 1;
    n = std::min(n, Left());
    std::string_view s(reinterpret_cast<const char*>(data + at), n);
    at += n;
    return s;
}

std::string_view FuzzInput::Rest() {
    std::string_view s(reinterpret_cast<const char*>(data + at), Left());
    at = size;
    return s;
}

namespace {

std::string scratch;

void RemoveTree(const std::string& path) {
    if (DIR* dir = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            if (e->d_type == DT_DIR)
                RemoveTree(path + "/" + name);
            else
                ::unlink((path + "/" + name).c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(path.c_str());
}

void RemoveScratch() {
    if (!scratch.empty())
        RemoveTree(scratch);
}

} // namespace

void FuzzFail(const char* file, int line, const char* what, const std::string& why) {
    std::fprintf(stderr, "\n%s:%d: check failed: %s\n%s\n", file, line, what, why.c_str());
    std::fflush(stderr);
    RemoveScratch(); // abort skips the exit handlers
    std::abort();
}

void WriteFile(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    FUZZ_CHECK(fd >= 0, path);
    FUZZ_CHECK(::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()), path);
    ::close(fd);
}

std::string ReadFile(const std::string& path) {
    std::string bytes;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    FUZZ_CHECK(fd >= 0, path);
    char buf[65536];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        bytes.append(buf, size_t(n));
    ::close(fd);
    return bytes;
}

const std::string& ScratchFolder() {
    if (scratch.empty()) {
        char templ[] = "/dev/shm/sermida-fuzz-XXXXXX";
        if (!::mkdtemp(templ))
            FuzzFail(__FILE__, __LINE__, "mkdtemp", "cannot create a scratch folder in /dev/shm");
        scratch = templ;
        std::atexit(RemoveScratch);
    }
    return scratch;
}
