#include "dnc/TransferLog.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/SettingsFolder.h"
#include "dnc/FolderFiles.h"

namespace {

constexpr std::string_view kPrefix = "transfers-";
constexpr std::string_view kSuffix = ".jsonl";

// "transfers-YYYY-MM-DD.jsonl" and nothing else.
bool IsDayFile(std::string_view name) {
    static constexpr std::string_view kDate = "dddd-dd-dd";
    if (name.size() != kPrefix.size() + kDate.size() + kSuffix.size() ||
        name.substr(0, kPrefix.size()) != kPrefix ||
        name.substr(name.size() - kSuffix.size()) != kSuffix)
        return false;
    const std::string_view date = name.substr(kPrefix.size(), kDate.size());
    for (size_t i = 0; i < kDate.size(); ++i)
        if (kDate[i] == 'd' ? !(date[i] >= '0' && date[i] <= '9') : date[i] != kDate[i])
            return false;
    return true;
}

// Whether the file's last byte is not a line end: a record cut short by a
// power cut or a full disk, which the next record must not be glued to.
// (fd is opened for reading too, for this.)
bool EndsInsideALine(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size == 0)
        return false;
    char last = '\n';
    return ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
}

} // namespace

TransferLog::TransferLog(std::string folder_) : folder(std::move(folder_)) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
}

std::string TransferLog::FileName(LogTimePoint end) {
    return std::string(kPrefix) + UtcDate(end) + std::string(kSuffix);
}

std::string TransferLog::DefaultFolder() {
    return SettingsFolder() + "/dnc/log";
}

bool TransferLog::Append(const TransferRecord& record, std::string& error) const {
    if (!MakeFolders(folder, error))
        return false;
    const std::string path = folder + "/" + FileName(record.end);
    struct stat st {};
    const bool newDay = ::stat(path.c_str(), &st) != 0;
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = SystemError("cannot open " + path, errno);
        return false;
    }
    std::string line = TransferJson(record) + "\n";
    if (EndsInsideALine(fd))
        line.insert(0, 1, '\n');
    ssize_t n;
    do
        n = ::write(fd, line.data(), line.size());
    while (n < 0 && errno == EINTR);
    int code = 0;
    if (n < 0)
        code = errno;
    else if (size_t(n) != line.size())
        code = ENOSPC; // a short write to a file: the disk or the size limit is full
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code != 0) {
        error = SystemError("cannot write to " + path, code);
        return false;
    }
    if (newDay)
        SyncFolder(folder);
    return true;
}

TransferLogContents TransferLog::Read() const {
    TransferLogContents contents;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        if (errno != ENOENT)
            contents.problems.push_back(SystemError("cannot read the folder " + folder, errno));
        return contents;
    }
    std::vector<std::string> days;
    while (const dirent* e = ::readdir(dir))
        if (IsDayFile(e->d_name))
            days.push_back(e->d_name);
    ::closedir(dir);
    std::sort(days.begin(), days.end()); // the names sort by date

    for (const std::string& day : days) {
        const std::string path = folder + "/" + day;
        std::string all;
        int code = 0;
        if (ReadWholeFile(path, all, code) != ReadState::Read) {
            contents.problems.push_back(SystemError("cannot read " + path, code));
            continue;
        }
        std::string_view rest = all;
        while (!rest.empty()) {
            const size_t end = std::min(rest.find('\n'), rest.size());
            std::string_view line = rest.substr(0, end);
            rest.remove_prefix(std::min(end + 1, rest.size()));
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (line.empty())
                continue;
            LoggedTransfer entry;
            if (ParseTransferJson(line, entry.record)) {
                entry.json = line;
                contents.transfers.push_back(std::move(entry));
            } else {
                ++contents.malformed;
            }
        }
    }
    return contents;
}
