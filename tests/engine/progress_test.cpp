#include "engine/progress.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

TEST(ProgressText, TimesAreHoursMinutesSecondsWithUnpaddedHours) {
  EXPECT_EQ(TimeText(0), "0:00:00");
  EXPECT_EQ(TimeText(3725), "1:02:05");
  EXPECT_EQ(TimeText(90000), "25:00:00");
}

TEST(ProgressText, SpeedIsKilobytesPerSecondWithTwoDecimals) {
  EXPECT_EQ(SpeedText(1048576, 8), "128.00");
  EXPECT_EQ(SpeedText(1000, 3), "0.33");
}

TEST(ProgressText, EstimateIsTheWholeDurationNotTheRemainder) {
  EXPECT_EQ(EstimatedSeconds(10'000'000, 30, 2'500'000), 120);
  EXPECT_EQ(TimeText(EstimatedSeconds(10'000'000, 30, 2'500'000)), "0:02:00");
  EXPECT_EQ(EstimatedSeconds(10'000'000, 30, 0), -1);
  // A tiny amount done early on must not overflow.
  EXPECT_GT(EstimatedSeconds(INT64_MAX / 2, 1000, 1), 0);
}

TEST(ProgressText, PercentagesTruncateAndTheDiskPercentStopsAt100) {
  EXPECT_EQ(PercentOf(2, 3), 66);
  EXPECT_EQ(PercentOf(5, 0), 0);
  EXPECT_EQ(DiskPercent(12'000, 10'000), 100);
  EXPECT_EQ(DiskPercent(9'999, 10'000), 99);
  EXPECT_EQ(PercentText(7), "7 %");
}

TEST(ProgressText, Titles) {
  EXPECT_EQ(MinimizedTitle(42, 3, ""), "Torvex - 42% - [D:\\]");
  EXPECT_EQ(MinimizedTitle(42, 3, "D:\\DATA"), "Torvex - 42% - [D:\\DATA]");
  EXPECT_EQ(RestoredTitle(-1, ""), "Torvex");
  EXPECT_EQ(RestoredTitle(255, ""), "Torvex");
  EXPECT_EQ(RestoredTitle(4, ""), "Torvex - [E:\\]");
  EXPECT_EQ(RestoredTitle(4, "E:\\X"), "Torvex - [E:\\X]");
}

TEST(FormatText, FillsOnlyNumbersAndPercentSigns) {
  EXPECT_EQ(FormatText("The checking is complete (%d%%)\nFiles checked: %ld\n", {42, 7}),
            "The checking is complete (42%)\nFiles checked: 7\n");
  EXPECT_EQ(FormatText("(? %%) %ld", {3}), "(? %) 3");
  // Directives without numbers, and ones it does not know, stay as they are.
  EXPECT_EQ(FormatText("%s and %d", {}), "%s and %d");
  EXPECT_EQ(FormatText("100%", {}), "100%");
  EXPECT_EQ(FormatText(std::string(300, 'x'), {}).size(), 255u);
}

}  // namespace
}  // namespace engine
