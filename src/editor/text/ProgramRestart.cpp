#include "editor/text/ProgramRestart.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>

#include "editor/buffer/CTextBuffer.h"

namespace {

struct Word {
    char letter;
    std::string_view number;
};

// The words of a block, comments ('( )' and from ';' on) left out.
std::vector<Word> Words(std::string_view line) {
    std::vector<Word> words;
    int depth = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ';' && depth == 0)
            break;
        if (c == '(' || c == ')') {
            depth += c == '(' ? 1 : (depth > 0 ? -1 : 0);
            continue;
        }
        if (depth > 0 || !std::isalpha(static_cast<unsigned char>(c)))
            continue;
        size_t j = i + 1;
        while (j < line.size() && line[j] == ' ')
            ++j;
        const size_t start = j;
        if (j < line.size() && (line[j] == '-' || line[j] == '+'))
            ++j;
        while (j < line.size() &&
               (std::isdigit(static_cast<unsigned char>(line[j])) || line[j] == '.'))
            ++j;
        if (j > start)
            words.push_back(
                {char(std::toupper(static_cast<unsigned char>(c))), line.substr(start, j - start)});
        i = j - 1;
    }
    return words;
}

bool IsAxis(char letter) {
    return std::string_view("XYZABCUVWIJKR").find(letter) != std::string_view::npos;
}

} // namespace

int HeaderEnd(const CTextBuffer& text) {
    const int total = text.CountLines();
    for (int i = 0; i < total; ++i)
        for (const Word& w : Words(text.LineView(i)))
            if (IsAxis(w.letter))
                return i;
    return total;
}

int FindBlock(const CTextBuffer& text, const std::string& block) {
    const std::string_view want = !block.empty() && (block[0] == 'N' || block[0] == 'n')
                                      ? std::string_view(block).substr(1)
                                      : std::string_view(block);
    if (want.empty() || want.find_first_not_of("0123456789") != std::string_view::npos)
        return -1;
    const long number = std::strtol(std::string(want).c_str(), nullptr, 10);
    const int total = text.CountLines();
    for (int i = 0; i < total; ++i) {
        const std::vector<Word> words = Words(text.LineView(i));
        if (!words.empty() && words[0].letter == 'N' &&
            std::strtol(std::string(words[0].number).c_str(), nullptr, 10) == number &&
            words[0].number.find_first_not_of("0123456789") == std::string_view::npos)
            return i;
    }
    return -1;
}

std::string BlockNumberOf(const CTextBuffer& text, int line) {
    if (line < 0 || line >= text.CountLines())
        return {};
    const std::vector<Word> words = Words(text.LineView(line));
    if (words.empty() || words[0].letter != 'N' ||
        words[0].number.find_first_not_of("0123456789") != std::string_view::npos)
        return {};
    return "N" + std::string(words[0].number);
}

namespace {
bool HasWord(const std::vector<Word>& words, char letter, long number = -1) {
    for (const Word& w : words)
        if (w.letter == letter &&
            (number < 0 || std::strtol(std::string(w.number).c_str(), nullptr, 10) == number))
            return true;
    return false;
}

bool Moves(const std::vector<Word>& words) {
    for (const Word& w : words)
        if (IsAxis(w.letter))
            return true;
    return false;
}
} // namespace

int ToolChangeBefore(const CTextBuffer& text, int line) {
    for (int i = std::min(line, text.CountLines() - 1); i >= 0; --i) {
        const std::vector<Word> words = Words(text.LineView(i));
        if (HasWord(words, 'T'))
            return i;
        if (!HasWord(words, 'M', 6))
            continue;
        // An M6 alone changes to the tool a T before it chose: start there,
        // or the machine would take whatever tool was chosen last.
        for (int j = i - 1; j >= 0; --j) {
            const std::vector<Word> before = Words(text.LineView(j));
            if (HasWord(before, 'T'))
                return j;
            if (Moves(before))
                break;
        }
        return i;
    }
    return -1;
}

LineRanges RestartRanges(const CTextBuffer& text, int line) {
    const int total = text.CountLines();
    const int header = HeaderEnd(text);
    if (line <= header || line >= total)
        return {{0, total}};
    // A program that moves in its first block has no start to send again.
    if (header == 0)
        return {{line, total}};
    return {{0, header}, {line, total}};
}

std::vector<PreviewLine> RangePreview(const CTextBuffer& text, const std::pair<int, int>& range) {
    constexpr int kShown = 5;
    const auto [first, end] = range;
    std::vector<PreviewLine> lines;
    for (int i = first; i < end && i < first + kShown; ++i)
        lines.push_back({i + 1, text.LineView(i)});
    if (end - first > kShown)
        lines.push_back({0, {}});
    return lines;
}
