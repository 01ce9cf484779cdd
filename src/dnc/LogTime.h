#pragma once
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// The times of the transfer log: stored as ISO 8601 UTC with milliseconds,
// shown and typed by people in local time.

using LogTimePoint = std::chrono::system_clock::time_point;

// "2026-12-01T14:30:05.123Z" (milliseconds rounded down).
std::string IsoUtc(LogTimePoint when);
// Reads IsoUtc's form; the fraction may have 0 to 9 digits.
std::optional<LogTimePoint> ParseIsoUtc(std::string_view text);
// "2026-12-01", the UTC date.
std::string UtcDate(LogTimePoint when);
// "2026-12-01 22:30:05" in the local time zone (TZ).
std::string LocalTimeText(LogTimePoint when);

// The period a person means by a date or a time, as [begin, end):
// "2026-12-01" is that whole day, "2026-12-01 14:30" (or with 'T') that minute,
// "2026-12-01T14:30:05" that second. Local time, or UTC with a trailing 'Z'.
// nullopt when the text is not such a date or names no real day or time.
struct LogTimeSpan {
    LogTimePoint begin;
    LogTimePoint end;
};
std::optional<LogTimeSpan> ParseTimeSpan(std::string_view text);
