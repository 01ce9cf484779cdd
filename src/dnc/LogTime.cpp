#include "dnc/LogTime.h"

#include <cstdio>
#include <ctime>

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads `count` digits at text[at], moving at past them.
bool Digits(std::string_view text, size_t& at, size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!IsDigit(text[at + i]))
            return false;
        value = value * 10 + (text[at + i] - '0');
    }
    at += count;
    return true;
}

bool Expect(std::string_view text, size_t& at, char c) {
    if (at >= text.size() || text[at] != c)
        return false;
    ++at;
    return true;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

struct Fields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

bool Valid(const Fields& f) {
    return f.year >= 1970 && f.month >= 1 && f.month <= 12 && f.day >= 1 &&
           f.day <= DaysInMonth(f.year, f.month) && f.hour < 24 && f.minute < 60 && f.second < 60;
}

std::tm ToTm(const Fields& f) {
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    tm.tm_isdst = -1; // local: let the zone's rules decide
    return tm;
}

LogTimePoint FromTm(std::tm tm, bool utc) {
    return std::chrono::system_clock::from_time_t(utc ? ::timegm(&tm) : std::mktime(&tm));
}

// "YYYY-MM-DD" at text[at].
bool ReadDate(std::string_view text, size_t& at, Fields& f) {
    return Digits(text, at, 4, f.year) && Expect(text, at, '-') && Digits(text, at, 2, f.month) &&
           Expect(text, at, '-') && Digits(text, at, 2, f.day);
}

std::tm Broken(LogTimePoint when, bool utc) {
    const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::floor<seconds>(when));
    std::tm tm{};
    if (utc)
        ::gmtime_r(&t, &tm);
    else
        ::localtime_r(&t, &tm);
    return tm;
}

} // namespace

std::string IsoUtc(LogTimePoint when) {
    const auto whole = std::chrono::floor<seconds>(when);
    const int ms = int(std::chrono::duration_cast<milliseconds>(when - whole).count());
    const std::tm tm = Broken(when, true);
    char text[64];
    const size_t used = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
    std::snprintf(text + used, sizeof text - used, ".%03dZ", ms);
    return text;
}

std::optional<LogTimePoint> ParseIsoUtc(std::string_view text) {
    Fields f;
    size_t at = 0;
    if (!ReadDate(text, at, f) || !Expect(text, at, 'T') || !Digits(text, at, 2, f.hour) ||
        !Expect(text, at, ':') || !Digits(text, at, 2, f.minute) || !Expect(text, at, ':') ||
        !Digits(text, at, 2, f.second) || !Valid(f))
        return std::nullopt;
    long long nanos = 0;
    if (at < text.size() && text[at] == '.') {
        ++at;
        long long scale = 100000000;
        const size_t first = at;
        for (; at < text.size() && IsDigit(text[at]) && at - first < 9; ++at, scale /= 10)
            nanos += (text[at] - '0') * scale;
    }
    if (at + 1 != text.size() || text[at] != 'Z')
        return std::nullopt;
    return FromTm(ToTm(f), true) +
           std::chrono::duration_cast<LogTimePoint::duration>(std::chrono::nanoseconds(nanos));
}

std::string UtcDate(LogTimePoint when) {
    const std::tm tm = Broken(when, true);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

std::string LocalTimeText(LogTimePoint when) {
    const std::tm tm = Broken(when, false);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

std::optional<LogTimeSpan> ParseTimeSpan(std::string_view text) {
    bool utc = false;
    if (!text.empty() && (text.back() == 'Z' || text.back() == 'z')) {
        utc = true;
        text.remove_suffix(1);
    }
    Fields f;
    size_t at = 0;
    if (!ReadDate(text, at, f))
        return std::nullopt;
    enum { Day, Minute, Second } unit = Day;
    if (at < text.size()) {
        if (text[at] != 'T' && text[at] != ' ')
            return std::nullopt;
        ++at;
        if (!Digits(text, at, 2, f.hour) || !Expect(text, at, ':') ||
            !Digits(text, at, 2, f.minute))
            return std::nullopt;
        unit = Minute;
        if (at < text.size()) {
            if (!Expect(text, at, ':') || !Digits(text, at, 2, f.second))
                return std::nullopt;
            unit = Second;
        }
    }
    if (at != text.size() || !Valid(f))
        return std::nullopt;
    LogTimeSpan span;
    span.begin = FromTm(ToTm(f), utc);
    if (unit == Day) {
        // The next midnight, not 24 hours on: a day of a clock change is longer or shorter.
        std::tm next = ToTm(f);
        next.tm_mday += 1;
        span.end = FromTm(next, utc);
    } else {
        span.end = span.begin + (unit == Minute ? seconds(60) : seconds(1));
    }
    return span;
}
