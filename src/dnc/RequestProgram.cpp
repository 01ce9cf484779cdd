#include "dnc/RequestProgram.h"

#include <cctype>

#include "dnc/ProgramName.h"

namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// "9999", "o9999" -> "O9999"; anything else upper case as it is.
std::string NumberName(std::string_view number) {
    const std::vector<std::string> names = RequestedNames(number);
    return names.empty() ? Upper(number) : Upper(names.front());
}

// O0099, O99 and 99 are one program number on the controller.
bool SameNumber(std::string_view name, std::string_view number) {
    // Each side's forms include the number without leading zeros.
    for (const std::string& a : RequestedNames(name))
        for (const std::string& b : RequestedNames(number))
            if (Upper(a) == Upper(b))
                return true;
    return false;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

// In a comment's text: "PRG=..." or "REQ=...", any case, blanks around '='.
std::string WantedIn(std::string_view comment) {
    const std::string text = Upper(comment);
    for (const char* key : {"PRG", "REQ"}) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
            if (at > 0 && std::isalnum(static_cast<unsigned char>(text[at - 1])))
                continue; // "XPRG=" is another word
            size_t i = at + 3;
            while (i < text.size() && IsSpace(text[i]))
                ++i;
            if (i >= text.size() || text[i] != '=')
                continue;
            ++i;
            while (i < text.size() && IsSpace(text[i]))
                ++i;
            size_t end = i;
            while (end < comment.size() && !IsSpace(comment[end]) && comment[end] != ',')
                ++end;
            const std::string_view value = comment.substr(i, end - i);
            if (!RequestedNames(value).empty())
                return std::string(value);
        }
    }
    return {};
}

} // namespace

ProgramRequest ReadRequest(std::string_view program, std::string_view requestNumber) {
    ProgramRequest request;
    const auto name = FindProgramName(program);
    if (!name || !SameNumber(*name, requestNumber))
        return request;
    request.isRequest = true;
    for (size_t open = program.find('('); open != std::string_view::npos;
         open = program.find('(', open + 1)) {
        const size_t close = program.find_first_of(")\r\n", open + 1);
        const size_t end = close == std::string_view::npos ? program.size() : close;
        request.wanted = WantedIn(program.substr(open + 1, end - open - 1));
        if (!request.wanted.empty())
            break;
    }
    return request;
}

std::vector<std::string> NotFoundAnswer(std::string_view wanted, std::string_view requestNumber) {
    // Only a safe name goes into the comment: no ')' or byte a controller
    // cannot show can end up there.
    const std::vector<std::string> names = RequestedNames(wanted);
    const std::string comment =
        names.empty() ? "(NO PROGRAM NAMED)" : "(" + Upper(names.front()) + " NOT IN LIBRARY)";
    return {"%", NumberName(requestNumber), comment, "M30", "%"};
}
