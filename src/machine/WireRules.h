#pragma once
#include <string>
#include <string_view>

// How the lines of a document look on the wire for one controller: what is
// taken out of each line, what ends it, and what goes before and after the
// program. The defaults are the classic rules: everything from the first ';'
// on is left out and each line ends in CR LF.
struct WireRules {
    enum class EndOfBlock { CrLf, Lf, Cr, LfCrCr };

    EndOfBlock endOfBlock = EndOfBlock::CrLf;
    bool stripSemicolonComments = true; // from the first ';' to the end of the line
    bool stripParenComments = false;    // "( ... )"; an unclosed '(' runs to the end
    bool stripSpaces = false;
    bool skipBlankLines = false; // lines with nothing but spaces and tabs left are not sent
    std::string leader;          // bytes before the first line
    std::string trailer;         // bytes after the last line
    // The pauses an older controller needs, in milliseconds (0: none).
    int delayBeforeStartMs = 0;
    int delayAfterLineMs = 0;
    int delayPerCharacterMs = 0; // the line then goes out a character at a time
    int delayAfterDc1Ms = 0;     // before going on once a hold ends
    // Nothing goes out until the controller's first DC1 says it is ready to
    // read; after this many seconds without one the transmission ends, with
    // nothing sent (0: it waits until the operator stops it).
    bool waitForDc1 = false;
    int dc1TimeoutSeconds = 60;
    // A transmission in which nothing has moved this long (the controller
    // held it and never let go, or the line takes nothing) is a stall: the
    // operator is warned, and with stopOnStall it stops. 0: never.
    int stallLimitSeconds = 0;
    bool stopOnStall = false;

    // The bytes of one document line on the wire, end of block included;
    // false when the line is not sent at all.
    bool Shape(std::string_view line, std::string& out) const;
    const char* EndBytes() const;
};

// Text with escapes, as a profile writes leaders and trailers: \0, \r, \n,
// \t, \\, \xHH, and {N} after a character or an escape to repeat it N times
// ("\0{50}" is fifty NULs). False, with a reason, for a malformed text.
bool Unescape(std::string_view text, std::string& out, std::string* error = nullptr);
// The inverse: printable ASCII stays, everything else is escaped, runs of
// four or more of one byte are written with {N}.
std::string Escape(std::string_view bytes);

const char* EndOfBlockName(WireRules::EndOfBlock e); // "CRLF", "LF", "CR", "LFCRCR"
bool ParseEndOfBlock(std::string_view name, WireRules::EndOfBlock& out);
