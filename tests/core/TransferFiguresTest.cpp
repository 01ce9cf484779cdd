// The figures the status line and the command line show during a transfer,
// and the Chinese reasons in the operator's messages.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/ErrnoText.h"
#include "common/FileError.h"
#include "transfer/TransferFigures.h"

namespace {

using Clock = SendFigures::Clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

TEST(SendFiguresTest, TimeLeftFollowsThePaceOfTheLastSeconds) {
    const Clock::time_point t0{};
    SendFigures f;
    f.Start(t0);
    f.Sample(0, 1000, t0);
    EXPECT_EQ(f.Text(), "已发送 0/1000 行 0%  剩余 --:--");
    // Under a second of samples: no guess yet.
    f.Sample(5, 1000, t0 + milliseconds(500));
    EXPECT_FALSE(f.SecondsLeft());

    // A slow start, 10 lines a second for 20 s ...
    for (int s = 1; s <= 20; ++s)
        f.Sample(10 * s, 1000, t0 + seconds(s));
    EXPECT_EQ(f.SecondsLeft(), 80); // 800 lines at 10 a second
    // ... then 100 a second for the last five: the old pace no longer counts.
    for (int s = 21; s <= 25; ++s)
        f.Sample(200 + 100 * (s - 20), 1000, t0 + seconds(s));
    EXPECT_EQ(f.Sent(), 700);
    EXPECT_EQ(f.SecondsLeft(), 3);
    EXPECT_EQ(f.Text(), "已发送 700/1000 行 70%  剩余 00:03");

    // Held by the controller: no progress for the whole window, no guess.
    for (int s = 26; s <= 32; ++s)
        f.Sample(700, 1000, t0 + seconds(s));
    EXPECT_FALSE(f.SecondsLeft());
    EXPECT_EQ(f.Text(), "已发送 700/1000 行 70%  剩余 --:--");

    // A new transmission starts from nothing.
    f.Start(t0 + seconds(40));
    f.Sample(0, 3, t0 + seconds(40));
    EXPECT_EQ(f.Text(), "已发送 0/3 行 0%  剩余 --:--");
}

TEST(SendFiguresTest, ClockTexts) {
    EXPECT_EQ(MinutesSeconds(0), "00:00");
    EXPECT_EQ(MinutesSeconds(3599), "59:59");
    EXPECT_EQ(MinutesSeconds(3600 * 26 + 61), "26:01:01"); // hours are not cut at a day
    EXPECT_EQ(MinutesSeconds(-5), "00:00");
    EXPECT_EQ(HoursMinutesSeconds(3600 + 62), "01:01:02");
    EXPECT_EQ(SendEndText(252, 19), "发送完成：252 行，用时 00:00:19");
    EXPECT_EQ(ReceivingText(10485760, 291272), "已接收 10485760 字节, 291272 行");
    EXPECT_EQ(ReceiveEndText(24, 3, 0), "接收完成：24 字节, 3 行，用时 00:00:00");
}

// Nothing the window says about a failed file or port is in English.
TEST(ChineseReasonsTest, FileAndPortFailuresReadWhollyChinese) {
    EXPECT_EQ(ErrnoText(ENOENT), "文件或目录不存在");
    EXPECT_EQ(ErrnoText(EACCES), "没有访问权限");
    EXPECT_EQ(ErrnoText(ENOSPC), "磁盘空间不足");
    EXPECT_EQ(ErrnoText(EBUSY), "设备正被占用");
    EXPECT_EQ(ErrnoText(12345), "系统错误（12345）"); // the number stays for the rest

    FileError error;
    error.Set(file_step::kOpen, ENOENT);
    EXPECT_EQ(error.DescribeChinese(), "无法打开文件：文件或目录不存在");
    EXPECT_EQ(error.Describe(), std::string("cannot open the file: ") + std::strerror(ENOENT));
    for (const FileStep* step :
         {&file_step::kOpen, &file_step::kExamine, &file_step::kNotRegular, &file_step::kTooLarge,
          &file_step::kRead, &file_step::kLineEndMode, &file_step::kFollowLink,
          &file_step::kReadOnly, &file_step::kTemporary, &file_step::kWrite, &file_step::kNotOpen,
          &file_step::kSync, &file_step::kClose, &file_step::kReplace}) {
        for (int code : {EACCES, EROFS, EISDIR, EFBIG, EIO, EDQUOT, ENOTDIR, ENAMETOOLONG}) {
            error.Set(*step, code);
            std::string text = error.DescribeChinese();
            if (const size_t unit = text.find("GiB"); unit != std::string::npos)
                text.erase(unit, 3); // a unit, not a word
            ASSERT_EQ(text.find_first_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"),
                      std::string::npos)
                << error.DescribeChinese();
        }
    }
}

} // namespace
