#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "common/FileError.h"

// Replaces a file without ever leaving it missing or half written: the bytes go
// to a new temporary file "CRE......" in the target's folder, which is synced
// and then renamed over the target. A writer that is not committed removes its
// temporary file and leaves the target as it was.
//
// A read-only target is refused. An existing target keeps its permission bits
// (and, where allowed, its owner); a symbolic link is followed, not replaced.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Open(const std::string& target, FileError* error = nullptr);
    // Buffered; a failure is remembered and reported by Commit as well.
    bool Write(std::string_view bytes, FileError* error = nullptr);
    bool Commit(FileError* error = nullptr);
    void Abort();

    const std::string& TempPath() const { return tempPath; }

private:
    bool Flush(FileError* error);
    bool Fail(FileError* error, const FileStep& step, int code);

    int fd = -1;
    std::string targetPath;
    std::string tempPath;
    std::unique_ptr<char[]> buffer;
    size_t used = 0;
    FileError failure;
    bool failed = false;
};
