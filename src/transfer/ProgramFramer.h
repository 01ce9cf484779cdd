#pragma once
#include <string>
#include <string_view>

// Picks the program out of what a controller punches when its machine frames
// it: everything up to and including the start bytes (a leader of NULs, a
// '%') is dropped, and so is the end (a '%', an ETX) with whatever follows it
// until the next start. Without start bytes the program starts at once and
// nothing follows its end; without end bytes it never ends. The marks may be
// split across reads.
class ProgramFramer {
public:
    void SetMarks(std::string start, std::string end);
    void Reset();
    // Appends the program's bytes among these to out.
    void Filter(std::string_view bytes, std::string& out);
    int ProgramsEnded() const { return ended; }

private:
    std::string startMark, endMark;
    bool inside = true;
    std::string pending; // the awaited mark's first bytes, seen so far
    int ended = 0;
};
