#include "editor/text/ProgramCompare.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

#include "editor/buffer/CTextBuffer.h"
#include "machine/WireRules.h"

namespace {

std::string_view TrimBlanks(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// One program's lines after the options' rules. Every normalised line is a
// part of the original line, so nothing is copied.
struct Side {
    std::vector<std::string_view> norm;
    std::vector<char> skipped; // 1: left out of the comparison (blank, framing)
    std::vector<int> kept;     // line numbers of the lines compared, ascending
    std::vector<uint32_t> ids; // per kept line: equal ids <=> equal normalised text
};

void Normalise(const std::vector<std::string_view>& lines, const CompareOptions& o, Side& s) {
    // The classic wire rules only cut a line at its first ';': what Shape
    // returns (less the end of block) is the start of the line itself.
    WireRules wire;
    wire.stripSemicolonComments = !o.keepComments;
    const size_t endBytes = std::strlen(wire.EndBytes());
    std::string shaped;
    s.norm.resize(lines.size());
    s.skipped.assign(lines.size(), 0);
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        while (!line.empty() && line.back() == '\r') // a CR LF file read with LF breaks
            line.remove_suffix(1);
        wire.Shape(line, shaped);
        line = line.substr(0, shaped.size() - endBytes);
        s.norm[i] = o.keepSpaces ? line : TrimBlanks(line);
        if (!o.keepBlanks && TrimBlanks(s.norm[i]).empty())
            s.skipped[i] = 1;
    }
    if (!o.keepPercent) {
        // The '%' that a controller puts before and after a program it punches.
        auto frame = [&](size_t i) {
            if (TrimBlanks(s.norm[i]) == "%")
                s.skipped[i] = 1;
        };
        size_t first = 0;
        while (first < lines.size() && TrimBlanks(s.norm[first]).empty())
            ++first;
        if (first < lines.size()) {
            frame(first);
            size_t last = lines.size() - 1;
            while (last > first && TrimBlanks(s.norm[last]).empty())
                --last;
            frame(last);
        }
    }
    for (size_t i = 0; i < lines.size(); ++i)
        if (!s.skipped[i])
            s.kept.push_back(static_cast<int>(i));
}

// Gives each distinct normalised line a small number, so that the difference
// compares integers: open addressing on the text's hash, the text compared on
// a hash match.
class Interner {
public:
    explicit Interner(size_t most) {
        size_t cap = 16;
        while (cap < most + most / 2 + 1)
            cap *= 2;
        slots.assign(cap, 0);
        mask = cap - 1;
    }
    uint32_t Id(std::string_view text) {
        const size_t h = std::hash<std::string_view>{}(text);
        for (size_t i = h & mask;; i = (i + 1) & mask) {
            const uint32_t slot = slots[i];
            if (slot == 0) {
                texts.push_back(text);
                hashes.push_back(h);
                slots[i] = static_cast<uint32_t>(texts.size());
                return static_cast<uint32_t>(texts.size() - 1);
            }
            if (hashes[slot - 1] == h && texts[slot - 1] == text)
                return slot - 1;
        }
    }

private:
    std::vector<uint32_t> slots; // 0: free, else 1 + index into texts
    std::vector<std::string_view> texts;
    std::vector<size_t> hashes;
    size_t mask = 0;
};

// Turns the steps through the compared lines into runs over all lines: the
// lines left out that lie before the next compared line on each side are
// paired where their text is alike and otherwise count as left-out changes.
class HunkBuilder {
public:
    HunkBuilder(const Side& a, const Side& b, std::vector<CompareHunk>& out)
        : a(a), b(b), out(out) {}

    void Common() {
        FlushSkipped();
        Close();
        ++ia, ++ib, ++ka, ++kb;
    }
    void Delete() {
        FlushSkipped();
        Change(true, false);
        ++ka;
    }
    void Add() {
        FlushSkipped();
        Change(false, false);
        ++kb;
    }
    void Finish() {
        FlushSkipped();
        Close();
    }

private:
    int NextKept(const Side& s, size_t k) const {
        return k < s.kept.size() ? s.kept[k] : static_cast<int>(s.norm.size());
    }
    void FlushSkipped() {
        const int aEnd = NextKept(a, ka), bEnd = NextKept(b, kb);
        while (ia < aEnd && ib < bEnd) {
            if (a.norm[size_t(ia)] == b.norm[size_t(ib)]) {
                Close();
                ++ia, ++ib;
            } else {
                Change(true, true);
            }
        }
        while (ia < aEnd)
            Change(true, true);
        while (ib < bEnd)
            Change(false, true);
    }
    // One line of A (deleted) or of B (added) differs; advances past it.
    void Change(bool fromA, bool skippedLine) {
        if (!open) {
            open = true;
            run = CompareHunk{ia, 0, ib, 0, true};
        }
        run.ignored = run.ignored && skippedLine;
        if (fromA)
            ++run.aCount, ++ia;
        else
            ++run.bCount, ++ib;
    }
    void Close() {
        if (open)
            out.push_back(run);
        open = false;
    }

    const Side& a;
    const Side& b;
    std::vector<CompareHunk>& out;
    int ia = 0, ib = 0;    // the next line of each file
    size_t ka = 0, kb = 0; // the next compared line of each file
    bool open = false;
    CompareHunk run;
};

void AppendRange(std::string& out, int first, int count) {
    // As diff writes it: an empty range names the line before it.
    out += std::to_string(count ? first + 1 : first);
    if (count != 1) {
        out += ',';
        out += std::to_string(count);
    }
}

void AppendLine(std::string& out, char mark, std::string_view line) {
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    out += mark;
    out += line;
    out += '\n';
}

} // namespace

bool CompareResult::Equal() const {
    return Differences() == 0;
}

int CompareResult::Differences() const {
    return static_cast<int>(
        std::count_if(hunks.begin(), hunks.end(), [](const CompareHunk& h) { return !h.ignored; }));
}

std::vector<std::string_view> ProgramLines(const CTextBuffer& buffer) {
    std::vector<std::string_view> lines;
    int n = buffer.CountLines();
    if (n > 0 && buffer.LineSize(n - 1) == 0)
        --n;
    lines.reserve(size_t(n));
    for (int i = 0; i < n; ++i)
        lines.push_back(buffer.LineView(i));
    return lines;
}

CompareResult ComparePrograms(const std::vector<std::string_view>& aLines,
                              const std::vector<std::string_view>& bLines,
                              const CompareOptions& options) {
    Side a, b;
    Normalise(aLines, options, a);
    Normalise(bLines, options, b);
    Interner interner(a.kept.size() + b.kept.size());
    for (int i : a.kept)
        a.ids.push_back(interner.Id(a.norm[size_t(i)]));
    for (int i : b.kept)
        b.ids.push_back(interner.Id(b.norm[size_t(i)]));

    CompareResult result;
    result.aLines = static_cast<int>(aLines.size());
    result.bLines = static_cast<int>(bLines.size());
    HunkBuilder steps(a, b, result.hunks);

    // Lines alike at the start and the end need no search.
    const size_t na = a.ids.size(), nb = b.ids.size();
    size_t prefix = 0;
    while (prefix < na && prefix < nb && a.ids[prefix] == b.ids[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < na - prefix && suffix < nb - prefix &&
           a.ids[na - 1 - suffix] == b.ids[nb - 1 - suffix])
        ++suffix;
    for (size_t i = 0; i < prefix; ++i)
        steps.Common();
    const std::vector<uint32_t> midA(a.ids.begin() + long(prefix), a.ids.end() - long(suffix));
    const std::vector<uint32_t> midB(b.ids.begin() + long(prefix), b.ids.end() - long(suffix));
    if (midA.empty() || midB.empty()) {
        for (size_t i = 0; i < midA.size(); ++i)
            steps.Delete();
        for (size_t i = 0; i < midB.size(); ++i)
            steps.Add();
    } else {
        dtl::Diff<uint32_t> diff(midA, midB);
        diff.compose();
        for (const auto& step : diff.getSes().getSequence()) {
            switch (step.second.type) {
            case dtl::SES_COMMON:
                steps.Common();
                break;
            case dtl::SES_DELETE:
                steps.Delete();
                break;
            case dtl::SES_ADD:
                steps.Add();
                break;
            }
        }
    }
    for (size_t i = 0; i < suffix; ++i)
        steps.Common();
    steps.Finish();
    return result;
}

std::string UnifiedDiff(const CompareResult& result, const std::vector<std::string_view>& a,
                        const std::vector<std::string_view>& b, std::string_view nameA,
                        std::string_view nameB, int context) {
    std::string out;
    if (result.Equal())
        return out;
    out += "--- ";
    out += nameA;
    out += "\n+++ ";
    out += nameB;
    out += '\n';
    const std::vector<CompareHunk>& hunks = result.hunks;
    context = std::max(context, 0);
    for (size_t first = 0; first < hunks.size();) {
        // Runs whose context would touch or overlap go into one listed hunk;
        // a hunk made only of left-out lines is listed only within another's.
        size_t last = first;
        bool differs = !hunks[first].ignored;
        while (last + 1 < hunks.size() &&
               hunks[last + 1].aFirst - (hunks[last].aFirst + hunks[last].aCount) <= 2 * context) {
            ++last;
            differs = differs || !hunks[last].ignored;
        }
        if (!differs) {
            first = last + 1;
            continue;
        }
        const CompareHunk& h0 = hunks[first];
        const CompareHunk& h1 = hunks[last];
        const int before = std::min(context, std::min(h0.aFirst, h0.bFirst));
        const int aStart = h0.aFirst - before, bStart = h0.bFirst - before;
        const int after = std::min(context, std::min(result.aLines - (h1.aFirst + h1.aCount),
                                                     result.bLines - (h1.bFirst + h1.bCount)));
        const int aEnd = h1.aFirst + h1.aCount + after;
        const int bEnd = h1.bFirst + h1.bCount + after;
        out += "@@ -";
        AppendRange(out, aStart, aEnd - aStart);
        out += " +";
        AppendRange(out, bStart, bEnd - bStart);
        out += " @@\n";
        int ia = aStart;
        for (size_t k = first; k <= last; ++k) {
            const CompareHunk& h = hunks[k];
            for (; ia < h.aFirst; ++ia)
                AppendLine(out, ' ', a[size_t(ia)]);
            for (int i = 0; i < h.aCount; ++i)
                AppendLine(out, '-', a[size_t(h.aFirst + i)]);
            for (int i = 0; i < h.bCount; ++i)
                AppendLine(out, '+', b[size_t(h.bFirst + i)]);
            ia = h.aFirst + h.aCount;
        }
        for (; ia < aEnd; ++ia)
            AppendLine(out, ' ', a[size_t(ia)]);
        first = last + 1;
    }
    return out;
}
