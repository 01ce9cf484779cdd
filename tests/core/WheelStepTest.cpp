#include <gtest/gtest.h>

#include "editor/text/WheelStep.h"

namespace {

TEST(WheelStep, AWheelNotchIsOneLineOrOneColumnWhateverItsSize) {
    EXPECT_EQ(WheelStepFor(0, 120, false), WheelStep::LineUp);
    EXPECT_EQ(WheelStepFor(0, -360, false), WheelStep::LineDown);
    EXPECT_EQ(WheelStepFor(0, 1, false), WheelStep::LineUp);
    // A tilt wheel: positive is to the left, as Qt reports it.
    EXPECT_EQ(WheelStepFor(120, 0, false), WheelStep::ColumnLeft);
    EXPECT_EQ(WheelStepFor(-120, 0, false), WheelStep::ColumnRight);
}

TEST(WheelStep, ShiftTurnsTheWheelSideways) {
    EXPECT_EQ(WheelStepFor(0, 120, true), WheelStep::ColumnLeft);
    EXPECT_EQ(WheelStepFor(0, -120, true), WheelStep::ColumnRight);
    EXPECT_EQ(WheelStepFor(-120, 0, true), WheelStep::ColumnRight);
}

TEST(WheelStep, ATouchpadSwipeGoesTheWayItMostlyGoes) {
    EXPECT_EQ(WheelStepFor(3, -40, false), WheelStep::LineDown);
    EXPECT_EQ(WheelStepFor(-40, 3, false), WheelStep::ColumnRight);
    EXPECT_EQ(WheelStepFor(-40, 40, false), WheelStep::LineUp); // a tie stays vertical
}

TEST(WheelStep, AMessageWithoutRotationScrollsNothing) {
    // A touchpad's gesture start and end come without any; they used to
    // scroll the text down a line each.
    EXPECT_EQ(WheelStepFor(0, 0, false), WheelStep::None);
    EXPECT_EQ(WheelStepFor(0, 0, true), WheelStep::None);
}

} // namespace
