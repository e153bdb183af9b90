#include "imaging/steps/AutoIris.h"

#include <gtest/gtest.h>

#include "PipelineTestSupport.h"

namespace nivexa::imaging::steps {
namespace {

using testing::FakeHost;
using testing::Frame;

Frame flat(int32_t w, int32_t h, int32_t sampleBytes, uint32_t v) {
  Frame f(w, h, 1, sampleBytes);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      f.set(x, y, 0, v);
    }
  }
  return f;
}

TEST(AutoIris, MeasuringRectanglesAtTruncatedFractions) {
  const auto r = measureRects(2048, 1536);
  EXPECT_EQ(r[0].left, 204);
  EXPECT_EQ(r[0].top, 153);
  EXPECT_EQ(r[0].right, 409);
  EXPECT_EQ(r[0].bottom, 307);
  EXPECT_EQ(r[2].left, 921);
  EXPECT_EQ(r[2].bottom, 844);
  EXPECT_EQ(r[4].right, 1843);
  // Too small for any rectangle: each keeps one pixel inside the frame.
  for (const auto& q : measureRects(1, 1)) {
    EXPECT_EQ(q.left, 0);
    EXPECT_EQ(q.right, 1);
    EXPECT_EQ(q.bottom, 1);
  }
}

TEST(AutoIris, FactorFromTheFiveMeans) {
  EXPECT_EQ(exposureFactorPercent({120, 120, 120, 120, 120}), 100);
  EXPECT_EQ(exposureFactorPercent({210, 210, 210, 210, 210}), 25);
  EXPECT_EQ(exposureFactorPercent({20, 20, 20, 20, 20}), 150);
  EXPECT_EQ(exposureFactorPercent({170, 60, 160, 49, 201}), 90 + 5 + 10 - 15);
  EXPECT_EQ(exposureFactorPercent({50, 100, 99, 161, 200}), 105 + 0 + 5 - 10 - 10);
}

TEST(AutoIris, GainFollowsTheFactorWithinLimits) {
  FakeHost host;
  host.gain = 10;
  autoIris(flat(100, 100, 1, 120).view, 2, host);
  EXPECT_EQ(host.setGainCalls, 0) << "a factor of 1 changes nothing";
  // Factor 1.2 exactly (first mean 50..99, one other +0.05, one +0.10) is outside 0.6..1.2:
  // max(2, 4) x 1.2 = 4.8 truncates to 4, and a rise below 5 stays 4.
  host.gain = 2;
  Frame mixed = flat(100, 100, 1, 120);
  for (int32_t y = 10; y < 20; ++y) {
    for (int32_t x = 10; x < 20; ++x) {
      mixed.set(x, y, 0, 60);       // first rectangle: 1.05
      mixed.set(x, y + 70, 0, 60);  // second: +0.05
      mixed.set(x + 70, y, 0, 10);  // fourth: +0.10
    }
  }
  autoIris(mixed.view, 2, host);
  EXPECT_EQ(host.setGainCalls, 1);
  EXPECT_EQ(host.gain, 4);
  host.gain = 10;
  host.setGainCalls = 0;
  autoIris(flat(100, 100, 1, 210).view, 2, host);
  EXPECT_EQ(host.gain, 2);  // 10 x 0.25
  host.gain = 2;
  autoIris(flat(100, 100, 2, 20 << 4).view, 2, host);
  EXPECT_EQ(host.gain, 6);  // max(2, 4) x 1.5, 16-bit samples measured >> 4
  host.gainMax = 7;
  autoIris(flat(100, 100, 1, 0).view, 2, host);
  EXPECT_EQ(host.gain, 7);  // 9 clamped
  EXPECT_EQ(host.setExposureCalls, 0);
}

TEST(AutoIris, ExposureFollowsTheFactorAndNeverReachesZero) {
  FakeHost host;
  host.exposure = 1000;
  host.exposureMin = 0;
  // 1000 x 0.25 is 250 exactly, not one less from binary rounding.
  autoIris(flat(64, 48, 1, 255).view, 1, host);
  EXPECT_EQ(host.exposure, 250);
  host.exposure = 1;
  autoIris(flat(64, 48, 1, 255).view, 1, host);
  EXPECT_EQ(host.exposure, 1);  // trunc(0.25) = 0 becomes 1
  host.exposureMax = 1200;
  host.exposure = 1000;
  autoIris(flat(1, 1, 2, 0).view, 1, host);  // a one-pixel frame is measured too
  EXPECT_EQ(host.exposure, 1200);
  EXPECT_EQ(host.setGainCalls, 0);
}

}  // namespace
}  // namespace nivexa::imaging::steps
