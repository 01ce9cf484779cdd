#pragma once
#include <cerrno>
#include <cstring>
#include <string>

// Why a file operation failed: the step that failed and the errno captured
// right there, so a caller can say what happened without a global "last error".
struct FileError {
    const char* step = "";
    int code = 0;

    bool Set(const char* what, int err) {
        step = what;
        code = err;
        return false;
    }
    std::string Describe() const {
        std::string text = step;
        if (code != 0) {
            text += ": ";
            text += std::strerror(code);
        }
        return text;
    }
};
