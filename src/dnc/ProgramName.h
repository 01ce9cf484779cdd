#pragma once
#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

// The name a received program gives itself, used as its file name in the
// library. Built-in rules look at the program's first block only (after '%'
// lines, blank lines and whole-line comments), as the controller does:
//   O1234 / :1234 (ISO)  -> "O1234"  (1 to 8 digits, kept as written)
//   <PART_A1>            -> "PART_A1"
//   %_N_SHAFT_MPF        -> "SHAFT.MPF" (also _SPF): the name the Sinumerik
//                           program manager and its archives show
// Whatever is found must be a safe file name (SafeProgramName), else there is
// no name and the caller falls back to FallbackProgramName.

// A shop's own naming rule: an ECMAScript regular expression whose first
// capture group is the name, tried line by line until it first matches.
class NamePattern {
public:
    // False with the reason when the pattern does not compile or has no group.
    bool Set(const std::string& pattern, std::string& error);
    bool Empty() const { return !set; }
    // The first group of the first line that matches; nullopt when no line does.
    std::optional<std::string> Match(std::string_view program) const;

private:
    std::regex regex;
    bool set = false;
};

// The program's name by the pattern when one is set, else by the built-in rules.
std::optional<std::string> FindProgramName(std::string_view program,
                                           const NamePattern* pattern = nullptr);

// The name itself when it is safe as a file name: 1 to 64 of [A-Za-z0-9_.-],
// not starting with '.', no "..".
std::optional<std::string> SafeProgramName(std::string_view name);

// "RECV-YYYYMMDD-HHMMSS" in UTC, the clock of the transfer log.
std::string FallbackProgramName(std::chrono::system_clock::time_point when);

// The names that a request such as "1234", "o12", "O0012.nc" or "PART_A1" may
// mean, the most literal first: digits get an upper-case 'O', and are tried
// as written, padded to 4 digits and without leading zeros. Empty when the
// request cannot be a safe name.
std::vector<std::string> RequestedNames(std::string_view request);
