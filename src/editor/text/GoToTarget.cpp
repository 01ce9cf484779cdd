#include "editor/text/GoToTarget.h"

#include <algorithm>
#include <climits>

#include "editor/buffer/CTextBuffer.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// The digits that start s, without leading zeros ("0" when all are zeros);
// empty when s does not start with a digit.
std::string_view LeadingNumber(std::string_view s) {
    const size_t end = std::find_if_not(s.begin(), s.end(), IsDigit) - s.begin();
    const std::string_view digits = s.substr(0, end);
    if (digits.empty())
        return {};
    const size_t first = digits.find_first_not_of('0');
    return first == std::string_view::npos ? std::string_view("0") : digits.substr(first);
}

// A digit string without leading zeros as an int, stopping at INT_MAX.
int SaturatedInt(std::string_view digits) {
    long long value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value >= INT_MAX)
            return INT_MAX;
    }
    return int(value);
}

} // namespace

GoToTarget ParseGoToTarget(std::string_view entry) {
    entry = TrimBlanks(entry);
    GoToTarget target;
    const bool block = !entry.empty() && (entry.front() == 'N' || entry.front() == 'n');
    if (block)
        entry.remove_prefix(1);
    const std::string_view number = LeadingNumber(entry);
    // The whole entry must be the number: "12a" or "N1 2" is not a place.
    if (number.empty() || entry.find_first_not_of("0123456789") != std::string_view::npos)
        return target;
    if (block) {
        target.kind = GoToTarget::Kind::Block;
        target.block = std::string(number);
    } else if (number != "0") {
        target.kind = GoToTarget::Kind::Line;
        target.line = SaturatedInt(number);
    }
    return target;
}

std::string_view BlockNumberOf(std::string_view line) {
    if (line.substr(0, 3) == "\xEF\xBB\xBF")
        line.remove_prefix(3);
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i]))
        ++i;
    if (i < line.size() && line[i] == '/') {
        ++i;
        while (i < line.size() && IsBlank(line[i]))
            ++i;
    }
    if (i >= line.size() || (line[i] != 'N' && line[i] != 'n'))
        return {};
    return LeadingNumber(line.substr(i + 1));
}

int FindGoToLine(const CTextBuffer& buffer, const GoToTarget& target) {
    const int count = buffer.CountLines();
    switch (target.kind) {
    case GoToTarget::Kind::Line:
        // A text without lines still shows the one empty line of a view.
        return std::clamp(target.line, 1, std::max(count, 1)) - 1;
    case GoToTarget::Kind::Block:
        for (int line = 0; line < count; ++line)
            if (BlockNumberOf(buffer.LineView(line)) == target.block)
                return line;
        return -1;
    case GoToTarget::Kind::None:
        break;
    }
    return -1;
}
