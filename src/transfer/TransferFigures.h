#pragma once
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

// The figures an operator watches while a program goes out: how far it is and
// how long it still needs, from the pace of the last few seconds (a hold by
// the controller slows it; the start of a long program does not count for
// ever). Plain values: the window and the command line sample it on their
// own clocks.
class SendFigures {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kWindow{5};

    void Start(Clock::time_point now);
    void Sample(int sentLines, int totalLines, Clock::time_point now);

    int Sent() const { return sent; }
    int Total() const { return total; }
    int Percent() const;
    // None until the pace is known (a second of samples, some progress).
    std::optional<int64_t> SecondsLeft() const;
    // "已发送 n/N 行 p%  剩余 mm:ss"; the time left reads "--:--" while unknown.
    std::string Text() const;

private:
    struct Point {
        Clock::time_point at;
        int lines;
    };
    std::deque<Point> points;
    int sent = 0;
    int total = 0;
};

// "mm:ss", or "h:mm:ss" from an hour on.
std::string MinutesSeconds(int64_t seconds);
// "hh:mm:ss".
std::string HoursMinutesSeconds(int64_t seconds);

// While receiving: "已接收 b 字节, n 行".
std::string ReceivingText(int64_t bytes, int64_t lines);
// At the end: "发送完成：n 行，用时 hh:mm:ss", "接收完成：b 字节, n 行，用时 hh:mm:ss".
std::string SendEndText(int lines, int64_t seconds);
std::string ReceiveEndText(int64_t bytes, int64_t lines, int64_t seconds);
