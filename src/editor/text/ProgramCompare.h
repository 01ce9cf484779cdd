#pragma once
#include <string>
#include <string_view>
#include <vector>

class CTextBuffer;

// What a comparison leaves out: by default everything a controller changes by
// itself when a program is punched back. Line-end style is always left out.
struct CompareOptions {
    bool keepComments = false; // off: from the first ';' on is not compared
    bool keepBlanks = false;   // off: blank lines (after the rules above) are not compared
    bool keepPercent = false;  // off: a '%' line first and last in the program is not compared
    bool keepSpaces = false;   // off: blanks at the start and end of a line are not compared
};

// One run of lines that differ: lines [aFirst, aFirst + aCount) of A against
// [bFirst, bFirst + bCount) of B, counted from 0. An empty side's first line
// is where the other side's lines would stand. A run made only of lines the
// options leave out is kept, marked ignored, so that a listing with context
// stays true to both files; it makes no difference.
struct CompareHunk {
    int aFirst = 0;
    int aCount = 0;
    int bFirst = 0;
    int bCount = 0;
    bool ignored = false;
};

struct CompareResult {
    int aLines = 0;
    int bLines = 0;
    std::vector<CompareHunk> hunks; // in file order, never overlapping
    bool Equal() const;
    int Differences() const; // hunks not marked ignored
};

// A program's lines as compared and listed: each line as the buffer holds it,
// except that the empty line after a final line end is no line of its own
// (a program that ends in a line end and one that does not are alike).
std::vector<std::string_view> ProgramLines(const CTextBuffer& buffer);

// Lines are compared as whole strings after the options' rules (the comment
// rule is the classic wire's, as a send applies it), by Myers' difference.
CompareResult ComparePrograms(const std::vector<std::string_view>& a,
                              const std::vector<std::string_view>& b,
                              const CompareOptions& options);

// A unified listing ("--- A", "+++ B", "@@ -a,b +c,d @@" hunks, `context`
// lines around each), lines as in the files, each ended by LF. Empty when the
// programs are equal.
std::string UnifiedDiff(const CompareResult& result, const std::vector<std::string_view>& a,
                        const std::vector<std::string_view>& b, std::string_view nameA,
                        std::string_view nameB, int context = 3);
