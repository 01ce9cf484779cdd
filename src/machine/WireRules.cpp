#include "machine/WireRules.h"

#include "machine/NameTable.h"

#include <algorithm>
#include <cstdio>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool Fail(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return false;
}

// The most a {N} may repeat: a leader is a few hundred bytes, not megabytes.
constexpr long kMostRepeats = 4096;

} // namespace

const char* WireRules::EndBytes() const {
    switch (endOfBlock) {
    case EndOfBlock::Lf:
        return "\n";
    case EndOfBlock::Cr:
        return "\r";
    case EndOfBlock::LfCrCr:
        return "\n\r\r";
    case EndOfBlock::CrLf:
        break;
    }
    return "\r\n";
}

bool WireRules::Shape(std::string_view line, std::string& out) const {
    out.clear();
    if (stripSemicolonComments)
        line = line.substr(0, std::min(line.find(';'), line.size()));
    int depth = 0;
    for (char c : line) {
        if (stripParenComments) {
            if (c == '(') {
                ++depth;
                continue;
            }
            if (depth > 0) {
                depth -= c == ')';
                continue;
            }
        }
        if (stripSpaces && (c == ' ' || c == '\t'))
            continue;
        out += c;
    }
    if (skipBlankLines && out.find_first_not_of(" \t") == std::string::npos)
        return false;
    out += EndBytes();
    return true;
}

bool Unescape(std::string_view text, std::string& out, std::string* error) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        char c = text[i++];
        if (c == '\\') {
            if (i >= text.size())
                return Fail(error, "a lone \\ at the end");
            const char e = text[i++];
            switch (e) {
            case '0':
                c = '\0';
                break;
            case 'r':
                c = '\r';
                break;
            case 'n':
                c = '\n';
                break;
            case 't':
                c = '\t';
                break;
            case '\\':
            case '{':
                c = e;
                break;
            case 'x': {
                const int hi = i < text.size() ? HexDigit(text[i]) : -1;
                const int lo = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
                if (hi < 0 || lo < 0)
                    return Fail(error, "\\x needs two hexadecimal digits");
                c = char(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                return Fail(error, std::string("unknown escape \\") + e);
            }
        }
        long repeat = 1;
        if (i < text.size() && text[i] == '{') {
            const size_t close = text.find('}', i);
            if (close == std::string_view::npos || close == i + 1 || close - i > 5)
                return Fail(error, "{N} needs a count from 1 to 4096");
            repeat = 0;
            for (size_t k = i + 1; k < close; ++k) {
                if (text[k] < '0' || text[k] > '9')
                    return Fail(error, "{N} needs a count from 1 to 4096");
                repeat = repeat * 10 + (text[k] - '0');
            }
            if (repeat < 1 || repeat > kMostRepeats)
                return Fail(error, "{N} needs a count from 1 to 4096");
            i = close + 1;
        }
        out.append(size_t(repeat), c);
    }
    return true;
}

std::string Escape(std::string_view bytes) {
    std::string out;
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t run = 1;
        while (i + run < bytes.size() && bytes[i + run] == bytes[i])
            ++run;
        run = std::min<size_t>(run, kMostRepeats);
        std::string one;
        switch (c) {
        case '\0':
            one = "\\0";
            break;
        case '\r':
            one = "\\r";
            break;
        case '\n':
            one = "\\n";
            break;
        case '\t':
            one = "\\t";
            break;
        case '\\':
            one = "\\\\";
            break;
        case '{':
            one = "\\{";
            break;
        case ' ':
            // A space at either end would be lost to the trimming of a value.
            one = i == 0 || i + run == bytes.size() ? "\\x20" : " ";
            break;
        default:
            if (c >= 0x20 && c < 0x7f) {
                one = char(c);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                one = hex;
            }
        }
        if (run >= 4) {
            out += one + "{" + std::to_string(run) + "}";
            i += run;
        } else {
            out += one;
            ++i;
        }
    }
    return out;
}

namespace {
using EndOfBlock = WireRules::EndOfBlock;
constexpr Named<EndOfBlock> kEndOfBlockNames[] = {{EndOfBlock::CrLf, "CRLF"},
                                                  {EndOfBlock::Lf, "LF"},
                                                  {EndOfBlock::Cr, "CR"},
                                                  {EndOfBlock::LfCrCr, "LFCRCR"}};
} // namespace

const char* EndOfBlockName(WireRules::EndOfBlock e) {
    return NameOf(kEndOfBlockNames, e);
}

bool ParseEndOfBlock(std::string_view name, WireRules::EndOfBlock& out) {
    return ValueOf(kEndOfBlockNames, name, out);
}
