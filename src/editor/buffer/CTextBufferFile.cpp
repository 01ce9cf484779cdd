// Loading a program file into the buffer and saving it back, byte for byte.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "common/AtomicFile.h"
#include "common/ByteBlock.h"
#include "editor/buffer/CTextBuffer.h"
#include "editor/buffer/LineSplitter.h"

namespace {

// Every length and position is a signed 32-bit byte count.
constexpr size_t kMaxFileSize = INT32_MAX;

class FileCloser {
public:
    explicit FileCloser(int fd) : fd(fd) {}
    ~FileCloser() {
        if (fd >= 0)
            ::close(fd);
    }

private:
    int fd;
};

// Reads the whole of a regular file into one block.
bool ReadWholeFile(const std::string& path, ByteBlock& block, size_t& size, bool& readOnly,
                   FileError& error) {
    // Non-blocking, so that a FIFO given by mistake cannot hang the open.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return error.Set(file_step::kOpen, errno);
    FileCloser closer(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return error.Set(file_step::kExamine, errno);
    if (!S_ISREG(st.st_mode))
        return error.Set(file_step::kNotRegular, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    if (size_t(st.st_size) > kMaxFileSize)
        return error.Set(file_step::kTooLarge, EFBIG);
    readOnly = (st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // One byte more than the size, to notice a file that grew meanwhile.
    size_t capacity = size_t(st.st_size) + 1;
    block = ByteBlock(capacity);
    if (capacity >= kPrefaultFrom)
        PrefaultBytes(block.get(), capacity);
    size = 0;
    for (;;) {
        if (size == capacity) {
            if (capacity > kMaxFileSize)
                return error.Set(file_step::kTooLarge, EFBIG);
            size_t grown = std::min(capacity * 2, kMaxFileSize + 1);
            ByteBlock bigger(grown);
            std::memcpy(bigger.get(), block.get(), size);
            block = std::move(bigger);
            capacity = grown;
        }
        ssize_t n = ::read(fd, block.get() + size, capacity - size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return error.Set(file_step::kRead, errno);
        }
        if (n == 0)
            break;
        size += size_t(n);
    }
    if (size > kMaxFileSize)
        return error.Set(file_step::kTooLarge, EFBIG);
    return true;
}

} // namespace

bool CTextBuffer::LoadFromDisk(const std::string& path, int mode, FileError* error) {
    FileError local;
    FileError& err = error ? *error : local;
    if (mode < LINE_END_DETECT || mode > LINE_END_LF)
        return err.Set(file_step::kLineEndMode, EINVAL);
    ByteBlock block;
    size_t size = 0;
    bool readOnly = false;
    if (!ReadWholeFile(path, block, size, readOnly, err))
        return false;
    if (mode == LINE_END_DETECT)
        mode = DetectLineEndMode(block.get(), size);
    const TextEncoding detected =
        DetectTextEncoding(std::string_view(block.get(), std::min(size, kDetectBlock)));

    // Lines borrow their bytes from the block until they are first changed.
    size_t count = 0;
    ForEachLine(block.get(), size, mode, [&](const char*, size_t) { ++count; });
    LineTable loaded;
    loaded.reserve(count);
    if (count * sizeof(LineRecord) >= kPrefaultFrom)
        PrefaultBytes(loaded.data(), count * sizeof(LineRecord));
    ForEachLine(block.get(), size, mode, [&](const char* text, size_t length) {
        LineRecord rec;
        rec.text = const_cast<char*>(text);
        rec.length = static_cast<int32_t>(length);
        loaded.push_back(rec);
    });

    ReleaseAll();
    lines = std::move(loaded);
    loadBlock = std::move(block);
    lineEndMode = mode;
    encoding = detected;
    writeProtected = readOnly;
    modified = false;
    ResetUndoState();
    NotifyViews(nullptr, nullptr, CHANGE_RESET, -1);
    return true;
}

bool CTextBuffer::SaveToDisk(const std::string& path, int mode, bool clearModified,
                             FileError* error) {
    FileError local;
    FileError& err = error ? *error : local;
    if (mode == LINE_END_DETECT)
        mode = lineEndMode;
    if (mode < LINE_END_CRLF || mode > LINE_END_LF)
        return err.Set(file_step::kLineEndMode, EINVAL);
    const std::string_view brk = LineBreakBytes(mode);

    AtomicFile file;
    if (!file.Open(path, &err))
        return false;
    const int count = CountLines();
    for (int i = 0; i < count; ++i) {
        if (!file.Write(LineView(i), &err))
            return false;
        if (i + 1 < count && !file.Write(brk, &err))
            return false;
    }
    if (!file.Commit(&err))
        return false;
    if (clearModified) {
        MarkModified(false);
        savedPos = undoPos;
    }
    return true;
}
