#pragma once
#include <string>

// The fields of the program's small "key = value" files (profiles, the port
// map, the DNC service's config).

// Without the blanks (spaces, tabs, CR, LF) at either end.
std::string Trim(const std::string& s);
// Digits only (no sign, no blanks), at most 9 of them, within [min, max].
bool ParseNumber(const std::string& text, long min, long max, long& out);
