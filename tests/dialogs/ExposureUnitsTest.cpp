#include "dialogs/ExposureUnits.h"

#include <gtest/gtest.h>

namespace nivexa::dialogs {
namespace {

TEST(ExposureUnitsTest, LargestUnitNotAboveTheTime) {
  EXPECT_EQ(unitFor(2.0), TimeUnit::Seconds);
  EXPECT_EQ(unitFor(1.0), TimeUnit::Milliseconds) << "seconds only above 1";
  EXPECT_EQ(unitFor(0.001), TimeUnit::Milliseconds);
  EXPECT_EQ(unitFor(0.000999), TimeUnit::Microseconds);
  EXPECT_EQ(unitFor(0.000001), TimeUnit::Microseconds);
  EXPECT_EQ(unitFor(0.0000009), TimeUnit::Nanoseconds);
  EXPECT_EQ(
      unitsSpanning(0.00002, 10.0),
      (std::vector<TimeUnit>{TimeUnit::Microseconds, TimeUnit::Milliseconds, TimeUnit::Seconds}));
  EXPECT_EQ(unitsSpanning(0.002, 0.5), std::vector<TimeUnit>{TimeUnit::Milliseconds});
  EXPECT_STREQ(unitName(TimeUnit::Microseconds), "\u00b5s");
}

TEST(ExposureUnitsTest, EditTextKeepsAsManyDecimalsAsTheFractionNeeds) {
  EXPECT_EQ(formatTime(0.5, TimeUnit::Milliseconds), "500");
  EXPECT_EQ(formatTime(0.0125, TimeUnit::Milliseconds), "12.500");
  EXPECT_EQ(formatTime(0.0000126, TimeUnit::Milliseconds), "0.013") << "fraction from 0.001";
  EXPECT_EQ(formatTime(0.0000000126, TimeUnit::Milliseconds), "0.000013");
  EXPECT_EQ(formatTime(2.0, TimeUnit::Seconds), "2");
  EXPECT_EQ(formatTime(0.000123, TimeUnit::Microseconds), "123");
  double seconds = 0.0;
  ASSERT_TRUE(parseTime("12.5", TimeUnit::Milliseconds, seconds));
  EXPECT_DOUBLE_EQ(seconds, 0.0125);
  EXPECT_FALSE(parseTime("12.5ms", TimeUnit::Milliseconds, seconds));
  EXPECT_FALSE(parseTime("", TimeUnit::Milliseconds, seconds));
  EXPECT_FALSE(parseTime("nan", TimeUnit::Milliseconds, seconds));
}

TEST(ExposureUnitsTest, RangeAndMillisecondTexts) {
  EXPECT_EQ(formatRange(0.00002, 10.0, Language::English), "range: 20\u00b5s - 10sec");
  EXPECT_EQ(formatRange(0.00002, 10.0, Language::Japanese), "範囲: 20\u00b5s - 10sec");
  EXPECT_EQ(formatMilliseconds(125, Language::English), "=12.50ms");
}

}  // namespace
}  // namespace nivexa::dialogs
