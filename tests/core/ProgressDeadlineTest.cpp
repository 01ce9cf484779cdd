// The time allowed for the line to send what the driver holds.
#include <gtest/gtest.h>

#include "serial/ProgressDeadline.h"

namespace {

using namespace std::chrono_literals;

// 2600 bytes at 2400 baud take 10.8 s on the line: longer than the ten
// seconds a line may stand still, and never a failure while it moves.
TEST(ProgressDeadlineTest, ALongLineAtASlowRateNeverRunsOut) {
    auto now = ProgressDeadline::Clock::time_point{};
    ProgressDeadline d(10000ms, now);
    for (long queued = 2600; queued > 0; --queued) {
        ASSERT_TRUE(d.Alive(queued, now)) << queued << " bytes left";
        now += 4167us; // one character at 2400 baud
        ASSERT_TRUE(d.Alive(queued, now));
    }
}

TEST(ProgressDeadlineTest, ALineThatStandsStillFailsAfterTheAllowance) {
    auto now = ProgressDeadline::Clock::time_point{};
    ProgressDeadline d(10000ms, now);
    EXPECT_TRUE(d.Alive(500, now));
    EXPECT_TRUE(d.Alive(400, now + 5s));
    EXPECT_TRUE(d.Alive(400, now + 14900ms));
    EXPECT_FALSE(d.Alive(400, now + 15s));
}

} // namespace
