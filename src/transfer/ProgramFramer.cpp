#include "transfer/ProgramFramer.h"

void ProgramFramer::SetMarks(std::string start, std::string end) {
    startMark = std::move(start);
    endMark = std::move(end);
    Reset();
}

void ProgramFramer::Reset() {
    inside = startMark.empty();
    pending.clear();
    ended = 0;
}

void ProgramFramer::Filter(std::string_view bytes, std::string& out) {
    for (char c : bytes) {
        const std::string& mark = inside ? endMark : startMark;
        if (mark.empty()) {
            // Inside with no end mark, everything is the program; after an
            // end with no start mark, nothing more is.
            if (inside)
                out += c;
            continue;
        }
        pending += c;
        if (pending == mark) {
            pending.clear();
            ended += inside;
            inside = !inside;
            continue;
        }
        if (mark.compare(0, pending.size(), pending) == 0)
            continue; // perhaps the mark: wait for its next byte
        // Not the mark after all: drop from the front until what is left
        // could still begin it. Inside, the dropped bytes were program text.
        size_t drop = 1;
        while (drop < pending.size() &&
               mark.compare(0, pending.size() - drop, pending, drop, std::string::npos) != 0)
            ++drop;
        if (inside)
            out.append(pending, 0, drop);
        pending.erase(0, drop);
    }
}
