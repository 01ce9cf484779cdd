#include "editor/text/ProgramScanner.h"

#include "editor/text/ProgramWords.h"

namespace {

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsWordByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '.';
}

class BlockWriter {
public:
    explicit BlockWriter(ColourBlocks* blocks) : blocks(blocks) {}

    void Add(int pos, int32_t colour) {
        if (blocks != nullptr)
            blocks->Add(pos, colour);
    }

    void Word(std::string_view line, int start, int end) {
        const char* w = line.data() + start;
        if (IsProgramKeyword(w, end - start))
            Add(start, COLOUR_KEYWORD);
        else if (IsProgramNumber(w, end - start))
            Add(start, COLOUR_NUMBER);
    }

private:
    ColourBlocks* blocks;
};

int32_t RunColour(uint32_t cookie) {
    if (cookie & (COOKIE_LINE_COMMENT | COOKIE_BLOCK_COMMENT))
        return COLOUR_COMMENT;
    if (cookie & (COOKIE_STRING | COOKIE_CHAR))
        return COLOUR_STRING;
    if (cookie & COOKIE_DIRECTIVE)
        return COLOUR_PREPROCESSOR;
    return COLOUR_NORMAL_TEXT;
}

} // namespace

uint32_t ScanProgramLine(uint32_t cookie, std::string_view line, ColourBlocks* blocks) {
    const int n = static_cast<int>(line.size());
    if (n <= 0)
        return cookie & COOKIE_BLOCK_COMMENT;

    const char* s = line.data();
    BlockWriter out(blocks);
    bool firstChar = (cookie & ~uint32_t(COOKIE_BLOCK_COMMENT)) == 0;
    bool newRun = true;
    bool stepBack = false;
    int wordStart = -1;
    int stop = n;

    for (int i = 0;; ++i) {
        if (newRun) {
            out.Add(stepBack ? i - 1 : i, RunColour(cookie));
            newRun = stepBack = false;
        }
        if (i == n)
            break;
        const char c = s[i];
        if (cookie & COOKIE_LINE_COMMENT) {
            out.Add(i, COLOUR_COMMENT);
            stop = i;
            break;
        }
        if (cookie & COOKIE_STRING) {
            if (c == '"' && (i == 0 || s[i - 1] != '\\')) {
                cookie &= ~uint32_t(COOKIE_STRING);
                newRun = true;
            }
            continue;
        }
        if (cookie & COOKIE_CHAR) {
            if (c == '\'' && (i == 0 || s[i - 1] != '\\')) {
                cookie &= ~uint32_t(COOKIE_CHAR);
                newRun = true;
            }
            continue;
        }
        if (cookie & COOKIE_BLOCK_COMMENT) {
            if (i > 0 && c == '/' && s[i - 1] == '*') {
                cookie &= ~uint32_t(COOKIE_BLOCK_COMMENT);
                newRun = true;
            }
            continue;
        }
        if ((i > 0 && c == '/' && s[i - 1] == '/') || c == ';') {
            // A word that runs right up to the comment is classified before the
            // comment block is added; afterwards its block would start before
            // the comment's and be dropped.
            if (wordStart >= 0 && blocks != nullptr)
                out.Word(line, wordStart, i);
            wordStart = -1;
            out.Add(c == ';' ? i : i - 1, COLOUR_COMMENT);
            cookie |= COOKIE_LINE_COMMENT;
            stop = i;
            break;
        }
        if (cookie & COOKIE_DIRECTIVE) {
            if (i > 0 && c == '*' && s[i - 1] == '/') {
                out.Add(i - 1, COLOUR_COMMENT);
                cookie |= COOKIE_BLOCK_COMMENT;
            }
            continue;
        }
        if (c == '"') {
            out.Add(i, COLOUR_STRING);
            cookie |= COOKIE_STRING;
            continue;
        }
        if (c == '\'') {
            out.Add(i, COLOUR_STRING);
            cookie |= COOKIE_CHAR;
            continue;
        }
        if (i > 0 && c == '*' && s[i - 1] == '/') {
            out.Add(i - 1, COLOUR_COMMENT);
            cookie |= COOKIE_BLOCK_COMMENT;
            continue;
        }
        if (firstChar) {
            if (c == '#') {
                out.Add(i, COLOUR_PREPROCESSOR);
                cookie |= COOKIE_DIRECTIVE;
                continue;
            }
            if (!IsAsciiSpace(c))
                firstChar = false;
        }
        if (blocks == nullptr)
            continue;
        if (IsWordByte(c)) {
            if (wordStart == -1)
                wordStart = i;
        } else {
            if (wordStart >= 0)
                out.Word(line, wordStart, i);
            newRun = stepBack = true;
            wordStart = -1;
        }
    }
    if (wordStart >= 0)
        out.Word(line, wordStart, stop);

    if (s[n - 1] == '\\')
        return cookie;
    return cookie & COOKIE_BLOCK_COMMENT;
}
