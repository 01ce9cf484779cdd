#include "dnc/ProgramName.h"

#include <algorithm>
#include <cctype>
#include <ctime>

namespace {

constexpr size_t kMaxNameLength = 64;
constexpr size_t kMaxDigits = 8;
// libstdc++'s regex matcher recurses once per character; a controller's line
// is short, so a pathological one must not be able to exhaust the stack.
constexpr size_t kPatternReach = 256;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_' || c == '.' ||
           c == '-';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(s[i])) != prefix[i])
            return false;
    return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() &&
           StartsWithNoCase(s.substr(s.size() - suffix.size()), suffix);
}

// Calls take(line) for each line without its end (LF, CR LF or CR) until it
// returns true.
template <typename Take> void EachLine(std::string_view text, Take take) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        if (take(text.substr(start, end - start)))
            return;
        start = end + 1;
        if (end < text.size() && text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
}

// "%_N_SHAFT_MPF" -> "SHAFT.MPF".
std::optional<std::string> SinumerikName(std::string_view line) {
    if (!StartsWithNoCase(line, "%_N_"))
        return std::nullopt;
    for (const char* kind : {"MPF", "SPF"}) {
        const std::string suffix = std::string("_") + kind;
        if (line.size() > 4 + suffix.size() && EndsWithNoCase(line, suffix)) {
            std::string_view stem = line.substr(4, line.size() - 4 - suffix.size());
            return SafeProgramName(std::string(stem) + "." + kind);
        }
    }
    return std::nullopt;
}

// The name of the program's first block: an O-number or a Fanuc "<NAME>".
std::optional<std::string> FirstBlockName(std::string_view block) {
    const char lead = block.front();
    if (lead == 'O' || lead == 'o' || lead == ':') {
        size_t digits = 0;
        while (1 + digits < block.size() && IsDigit(block[1 + digits]))
            ++digits;
        if (digits == 0 || digits > kMaxDigits)
            return std::nullopt;
        return "O" + std::string(block.substr(1, digits));
    }
    if (lead == '<') {
        const size_t close = block.find('>');
        if (close == std::string_view::npos)
            return std::nullopt;
        return SafeProgramName(block.substr(1, close - 1));
    }
    return std::nullopt;
}

std::optional<std::string> BuiltInName(std::string_view program) {
    std::optional<std::string> name;
    EachLine(program, [&](std::string_view raw) {
        const std::string_view line = Trim(raw);
        if (line.empty())
            return false;
        if (line.front() == '%') {
            name = SinumerikName(line);
            return name.has_value();
        }
        if (line.front() == '(' || line.front() == ';')
            return false;
        name = FirstBlockName(line);
        return true; // only the first block names the program
    });
    return name;
}

} // namespace

bool NamePattern::Set(const std::string& pattern, std::string& error) {
    try {
        std::regex compiled(pattern, std::regex::ECMAScript);
        if (compiled.mark_count() < 1) {
            error = "the name pattern needs a group ( ) around the name";
            return false;
        }
        regex = std::move(compiled);
        set = true;
        return true;
    } catch (const std::regex_error& e) {
        error = std::string("the name pattern is not a regular expression: ") + e.what();
        return false;
    }
}

std::optional<std::string> NamePattern::Match(std::string_view program) const {
    if (!set)
        return std::nullopt;
    std::optional<std::string> name;
    EachLine(program, [&](std::string_view line) {
        line = line.substr(0, std::min(line.size(), kPatternReach));
        std::match_results<std::string_view::const_iterator> m;
        try {
            if (!std::regex_search(line.begin(), line.end(), m, regex))
                return false;
        } catch (const std::regex_error&) {
            return false; // too complex for this line: it names nothing
        }
        name = m[1].matched ? m[1].str() : std::string();
        return true;
    });
    return name;
}

std::optional<std::string> FindProgramName(std::string_view program, const NamePattern* pattern) {
    std::optional<std::string> name =
        pattern && !pattern->Empty() ? pattern->Match(program) : BuiltInName(program);
    if (!name)
        return std::nullopt;
    return SafeProgramName(*name);
}

std::optional<std::string> SafeProgramName(std::string_view name) {
    if (name.empty() || name.size() > kMaxNameLength || name.front() == '.' ||
        name.find("..") != std::string_view::npos ||
        !std::all_of(name.begin(), name.end(), IsNameChar))
        return std::nullopt;
    return std::string(name);
}

std::string FallbackProgramName(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    ::gmtime_r(&t, &utc);
    char text[32];
    std::strftime(text, sizeof text, "RECV-%Y%m%d-%H%M%S", &utc);
    return text;
}

std::vector<std::string> RequestedNames(std::string_view request) {
    request = Trim(request);
    if (request.size() > 3 && EndsWithNoCase(request, ".NC"))
        request.remove_suffix(3);
    std::string_view digits = request;
    if (!digits.empty() && (digits.front() == 'O' || digits.front() == 'o'))
        digits.remove_prefix(1);
    const bool number = !digits.empty() && digits.size() <= kMaxDigits &&
                        std::all_of(digits.begin(), digits.end(), IsDigit);
    if (!number) {
        if (auto name = SafeProgramName(request))
            return {*name};
        return {};
    }
    std::string bare(digits.substr(std::min(digits.find_first_not_of('0'), digits.size() - 1)));
    std::string padded = bare.size() < 4 ? std::string(4 - bare.size(), '0') + bare : bare;
    std::vector<std::string> names;
    for (const std::string& d : {std::string(digits), padded, bare})
        if (std::find(names.begin(), names.end(), "O" + d) == names.end())
            names.push_back("O" + d);
    return names;
}
