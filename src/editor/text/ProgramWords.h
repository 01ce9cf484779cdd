#pragma once

// The word tests of the part-program colouring. Exact, case-sensitive: G01 and
// x are not keywords.
bool IsProgramKeyword(const char* word, int length);
// Decimal digits with + - . e E after the first digit, or 0x followed by hex
// digits (at least one).
bool IsProgramNumber(const char* word, int length);
