#include "engine/FrameRateCounter.h"

#include <gtest/gtest.h>

namespace nivexa::engine {
namespace {

TEST(FrameRateCounter, ReportsOncePerPeriodOverTheFramesCounted) {
  FrameRateCounter counter(1000);
  float rate = -1.0f;
  for (uint32_t t = 1040; t < 2000; t += 40) {
    EXPECT_FALSE(counter.count(t, rate)) << t;
  }
  EXPECT_TRUE(counter.count(2000, rate));
  EXPECT_FLOAT_EQ(rate, 25.0f);
  EXPECT_FALSE(counter.count(2100, rate)) << "a new period starts at the report";
  EXPECT_TRUE(counter.count(4000, rate));
  EXPECT_FLOAT_EQ(rate, 1.0f) << "two frames over two seconds";
}

TEST(FrameRateCounter, SurvivesTheTickCounterWrapping) {
  FrameRateCounter counter(0xFFFFFF00u);
  float rate = 0.0f;
  EXPECT_FALSE(counter.count(0xFFFFFFF0u, rate));
  EXPECT_TRUE(counter.count(0x00000400u, rate));
  EXPECT_NEAR(rate, 2.0f * 1000.0f / 1280.0f, 1e-4);
}

TEST(TransferRate, OneMebibyteInTenMillisecondsIs800) {
  EXPECT_DOUBLE_EQ(transferRateMbit(1u << 20, 10), 800.0);
  EXPECT_DOUBLE_EQ(transferRateMbit(2048 * 1536 * 2, 40), 1200.0);
  EXPECT_DOUBLE_EQ(transferRateMbit(1023, 1), 0.0) << "only whole KiB count";
}

}  // namespace
}  // namespace nivexa::engine
