#include "transfer/TransferFigures.h"

#include <algorithm>

#include "common/MessageSink.h"

void SendFigures::Start(Clock::time_point now) {
    points.clear();
    points.push_back({now, 0});
    sent = 0;
    total = 0;
}

void SendFigures::Sample(int sentLines, int totalLines, Clock::time_point now) {
    sent = std::max(0, sentLines);
    total = std::max(0, totalLines);
    points.push_back({now, sent});
    // Keep one point at or before the window's start, so the pace always
    // spans the whole window once there is one.
    while (points.size() > 2 && points[1].at <= now - kWindow)
        points.pop_front();
}

int SendFigures::Percent() const {
    if (total <= 0)
        return 0;
    return int(std::min<int64_t>(100, int64_t(sent) * 100 / total));
}

std::optional<int64_t> SendFigures::SecondsLeft() const {
    if (points.size() < 2)
        return std::nullopt;
    const Point& first = points.front();
    const Point& last = points.back();
    const double span = std::chrono::duration<double>(last.at - first.at).count();
    const int done = last.lines - first.lines;
    if (span < 1.0 || done <= 0)
        return std::nullopt;
    const int left = std::max(0, total - sent);
    return int64_t(left * span / done + 0.5);
}

std::string SendFigures::Text() const {
    const std::optional<int64_t> left = SecondsLeft();
    return Format("已发送 %d/%d 行 %d%%  剩余 %s", sent, total, Percent(),
                  left ? MinutesSeconds(*left).c_str() : "--:--");
}

std::string MinutesSeconds(int64_t seconds) {
    seconds = std::max<int64_t>(0, seconds);
    if (seconds >= 3600)
        return Format("%lld:%02lld:%02lld", (long long)(seconds / 3600),
                      (long long)(seconds / 60 % 60), (long long)(seconds % 60));
    return Format("%02lld:%02lld", (long long)(seconds / 60), (long long)(seconds % 60));
}

std::string HoursMinutesSeconds(int64_t seconds) {
    seconds = std::max<int64_t>(0, seconds);
    return Format("%02lld:%02lld:%02lld", (long long)(seconds / 3600),
                  (long long)(seconds / 60 % 60), (long long)(seconds % 60));
}

std::string ReceivingText(int64_t bytes, int64_t lines) {
    return Format("已接收 %lld 字节, %lld 行", (long long)bytes, (long long)lines);
}

std::string SendEndText(int lines, int64_t seconds) {
    return Format("发送完成：%d 行，用时 %s", lines, HoursMinutesSeconds(seconds).c_str());
}

std::string ReceiveEndText(int64_t bytes, int64_t lines, int64_t seconds) {
    return Format("接收完成：%lld 字节, %lld 行，用时 %s", (long long)bytes, (long long)lines,
                  HoursMinutesSeconds(seconds).c_str());
}
