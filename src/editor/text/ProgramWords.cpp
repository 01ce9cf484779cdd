#include "editor/text/ProgramWords.h"

#include <cstring>

namespace {

// The address letters and motion words worth colouring; ends with an empty entry.
const char* const kKeywords[] = {"X", "Y", "Z", "I", "J", "G1", "G2", ""};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

} // namespace

bool IsProgramKeyword(const char* word, int length) {
    if (length <= 0)
        return false;
    for (const char* const* k = kKeywords; **k != '\0'; ++k)
        if (std::strlen(*k) == size_t(length) && std::memcmp(*k, word, size_t(length)) == 0)
            return true;
    return false;
}

bool IsProgramNumber(const char* word, int length) {
    if (length <= 0)
        return false;
    if (length > 2 && word[0] == '0' && word[1] == 'x') {
        for (int i = 2; i < length; ++i)
            if (!IsHexDigit(word[i]))
                return false;
        return true;
    }
    if (!IsDigit(word[0]))
        return false;
    for (int i = 1; i < length; ++i) {
        char c = word[i];
        if (!IsDigit(c) && c != '+' && c != '-' && c != '.' && c != 'e' && c != 'E')
            return false;
    }
    return true;
}
