#pragma once
#include <cerrno>
#include <cstring>
#include <string>

#include "common/ErrnoText.h"

// A step of a file operation, named for the command line (English) and for
// the window (Chinese).
struct FileStep {
    const char* english;
    const char* chinese;
};

namespace file_step {
inline constexpr FileStep kNone{"", ""};
inline constexpr FileStep kOpen{"cannot open the file", "无法打开文件"};
inline constexpr FileStep kExamine{"cannot examine the file", "无法读取文件信息"};
inline constexpr FileStep kNotRegular{"not a regular file", "不是普通文件"};
inline constexpr FileStep kTooLarge{"the file is too large (2 GiB at most)",
                                    "文件太大（最大 2 GiB）"};
inline constexpr FileStep kRead{"cannot read the file", "无法读取文件"};
inline constexpr FileStep kLineEndMode{"unknown line-end mode", "未知的行尾格式"};
inline constexpr FileStep kFollowLink{"cannot follow the link", "无法跟随符号链接"};
inline constexpr FileStep kReadOnly{"the file is read-only", "文件是只读的"};
inline constexpr FileStep kTemporary{"cannot create a temporary file in the folder",
                                     "无法在文件夹中创建临时文件"};
inline constexpr FileStep kWrite{"write failed", "写入失败"};
inline constexpr FileStep kNotOpen{"file not open", "文件未打开"};
inline constexpr FileStep kSync{"cannot sync the file to disk", "无法把文件写到磁盘上"};
inline constexpr FileStep kClose{"cannot close the file", "无法关闭文件"};
inline constexpr FileStep kReplace{"cannot replace the file", "无法替换原文件"};
} // namespace file_step

// Why a file operation failed: the step that failed and the errno captured
// right there, so a caller can say what happened without a global "last error".
struct FileError {
    const FileStep* step = &file_step::kNone;
    int code = 0;

    bool Set(const FileStep& what, int err) {
        step = &what;
        code = err;
        return false;
    }
    // For the command line: the step and the system's own reason.
    std::string Describe() const {
        return Join(step->english, code != 0 ? std::strerror(code) : "", ": ");
    }
    // For the window: wholly Chinese.
    std::string DescribeChinese() const {
        return Join(step->chinese, code != 0 ? ErrnoText(code) : "", "：");
    }

private:
    static std::string Join(std::string text, const std::string& reason, const char* colon) {
        if (!reason.empty())
            text += colon + reason;
        return text;
    }
};
