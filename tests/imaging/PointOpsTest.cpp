#include "imaging/steps/PointOps.h"
#include "imaging/steps/Simd.h"

#include <gtest/gtest.h>

#include "PipelineTestSupport.h"

namespace nivexa::imaging::steps {
namespace {

using testing::Frame;

TEST(Gamma, HandComputedEntries) {
  // 255 (128 / 255)^2 = 64.25; 255 (64 / 255)^0.5 = 127.75
  EXPECT_EQ(gammaValue(128, 50, false), 64);
  EXPECT_EQ(gammaValue(64, 200, false), 127);
  EXPECT_EQ(gammaValue(0, 150, false), 0);
  EXPECT_EQ(gammaValue(255, 150, false), 255);
  // 16-bit samples are on the 12-bit scale: 4095 (2048 / 4095)^2 = 1024.25
  EXPECT_EQ(gammaValue(2048, 50, true), 1024);
  EXPECT_EQ(gammaValue(4095, 37, true), 4095);
  EXPECT_EQ(gammaValue(65535, 150, true), 4095);
}

TEST(Gamma, ZeroMapsEverythingBelowFullScaleToBlack) {
  for (int32_t v : {0, 1, 128, 254}) {
    EXPECT_EQ(gammaValue(v, 0, false), 0) << v;
  }
  EXPECT_EQ(gammaValue(255, 0, false), 255);
  EXPECT_EQ(gammaValue(4094, 0, true), 0);
  EXPECT_EQ(gammaValue(4095, 0, true), 4095);
}

TEST(Contrast, MaximumSplitsAtMidGray) {
  for (int32_t v = 0; v < 127; ++v) {
    EXPECT_EQ(contrastValue(v, 127, false), 0) << v;
  }
  for (int32_t v = 129; v < 256; ++v) {
    EXPECT_EQ(contrastValue(v, 127, false), 255) << v;
  }
  // 256 / 2 x (128 - 127)
  EXPECT_EQ(contrastValue(128, 127, false), 128);
}

TEST(Contrast, HandComputedEntriesBothDepths) {
  // c = 20: 256 / 216 x (100 - 20) = 94.8
  EXPECT_EQ(contrastValue(100, 20, false), 94);
  EXPECT_EQ(contrastValue(19, 20, false), 0);
  EXPECT_EQ(contrastValue(236, 20, false), 255);
  // c = -64 compresses towards mid-gray: 256 / 384 x (0 + 64) = 42.67, 256 / 384 x 319 = 212.67
  EXPECT_EQ(contrastValue(0, -64, false), 42);
  EXPECT_EQ(contrastValue(255, -64, false), 212);
  // 16-bit (12 significant bits), t = 160: 4096 / 3776 x (2000 - 160) = 1995.9
  EXPECT_EQ(contrastValue(2000, 10, true), 1995);
  EXPECT_EQ(contrastValue(159, 10, true), 0);
  EXPECT_EQ(contrastValue(3936, 10, true), 4095);
}

TEST(Brightness, ExtremesMultiplyByElevenOrBlackOut) {
  EXPECT_EQ(brightnessValue(20, 255, false), 220);
  EXPECT_EQ(brightnessValue(24, 255, false), 255);
  EXPECT_EQ(brightnessValue(300, 255, true), 3300);
  EXPECT_EQ(brightnessValue(400, 255, true), 4095);
  for (int32_t v : {0, 1, 200, 255}) {
    EXPECT_EQ(brightnessValue(v, -255, false), 0);
  }
  EXPECT_EQ(brightnessValue(4095, -255, true), 0);
  // 1 + 510 / 255 = 3; 1 - 51 / 255 = 0.8
  EXPECT_EQ(brightnessValue(10, 51, false), 30);
  EXPECT_EQ(brightnessValue(100, -51, false), 80);
}

// The combined table is the three formulas one after another, entry for entry.
TEST(PointTable, EqualsTheChainOfFormulasOnEveryValue) {
  struct P {
    int32_t gamma, contrast, brightness;
  };
  for (bool wide : {false, true}) {
    for (P p : {P{100, 0, 0}, P{45, 0, 0}, P{100, 33, 0}, P{100, 0, -90}, P{170, -20, 40},
                P{0, 127, 255}, P{200, -127, -255}}) {
      const SampleTable& t = pointTable(p.gamma, p.contrast, p.brightness, wide);
      if (p.gamma == 100 && p.contrast == 0 && p.brightness == 0) {
        EXPECT_TRUE(t.empty());
        continue;
      }
      ASSERT_EQ(t.size(), wide ? 65536u : 256u);
      for (int32_t v = 0; v < static_cast<int32_t>(t.size()); ++v) {
        int32_t e = v;
        e = p.gamma != 100 ? gammaValue(e, p.gamma, wide) : e;
        e = p.contrast != 0 ? contrastValue(e, p.contrast, wide) : e;
        e = p.brightness != 0 ? brightnessValue(e, p.brightness, wide) : e;
        ASSERT_EQ(t[static_cast<size_t>(v)], e) << wide << " " << p.gamma << " " << v;
      }
    }
  }
}

// Applying a table over images of every layout equals the reference steps, fourth sample kept.
TEST(PointTable, ApplyingMatchesTheReferenceStepsOnEveryLayout) {
  struct Layout {
    int32_t channels, sampleBytes;
  };
  for (Layout l :
       {Layout{1, 1}, Layout{1, 2}, Layout{3, 1}, Layout{4, 1}, Layout{3, 2}, Layout{4, 2}}) {
    for (const auto& size : testing::checkedSizes()) {
      Frame original(size.width, size.height, l.channels, l.sampleBytes);
      testing::fillRandom(original, l.sampleBytes == 2 ? 65535 : 255, 7);
      Frame fast = original;
      Frame ref = original;
      applyTable(fast.view, pointTable(60, 25, -30, l.sampleBytes == 2));
      Frame scaled = original;
      Frame scaledRef = original;
      brightnessRows(scaled.view, 213, 0, size.height);
      brightnessReference(scaledRef.view, 213);
      ASSERT_TRUE(scaled.samePixels(scaledRef)) << "brightness " << l.channels << " " << size.width;
      gammaReference(ref.view, 60);
      contrastReference(ref.view, 25);
      brightnessReference(ref.view, -30);
      ASSERT_TRUE(fast.samePixels(ref))
          << l.channels << "x" << l.sampleBytes << " " << size.width << "x" << size.height;
      if (l.channels == 4) {
        for (int32_t x = 0; x < size.width; ++x) {
          ASSERT_EQ(fast.at(x, 0, 3), original.at(x, 0, 3));
        }
      }
    }
  }
}

// 8-bit brightness by its integer fast path equals the float arithmetic for every setting and
// every sample value, on rows no multiple of the vector width, with and without the vectors.
TEST(Brightness, EveryByteSettingMatchesTheReference) {
  for (int32_t channels : {1, 3}) {
    Frame original(263, 3, channels, 1);
    for (int32_t y = 0; y < 3; ++y) {
      for (int32_t x = 0; x < 263; ++x) {
        for (int32_t c = 0; c < channels; ++c) {
          original.set(x, y, c, static_cast<uint32_t>(x * channels + c + 101 * y) % 256);
        }
      }
    }
    for (int32_t b = -255; b <= 255; ++b) {
      Frame ref = original;
      brightnessReference(ref.view, b);
      for (bool vectors : {true, false}) {
        setAvx2Allowed(vectors);
        Frame fast = original;
        brightnessRows(fast.view, b, 0, 3);
        setAvx2Allowed(true);
        ASSERT_TRUE(fast.samePixels(ref)) << channels << " " << b << " vectors " << vectors;
      }
    }
  }
}

// 16-bit brightness by its integer fast path equals the float arithmetic for every setting on
// every 16-bit sample value (the 12 significant bits and all above), in rows that leave a tail.
TEST(Brightness, EveryWordSettingMatchesTheReference) {
  constexpr int32_t kWidth = 263;
  constexpr int32_t kRows = 250;  // kWidth x kRows covers all 65536 values
  Frame original(kWidth, kRows, 1, 2);
  for (int32_t y = 0; y < kRows; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      original.set(x, y, 0, static_cast<uint32_t>(y * kWidth + x) % 65536);
    }
  }
  // Brightness 0 is never run (the reference would clamp samples above 12 bits).
  for (int32_t b = -255; b <= 255; ++b) {
    if (b == 0) {
      continue;
    }
    Frame ref = original;
    brightnessReference(ref.view, b);
    for (bool vectors : {true, false}) {
      if (!vectors && b % 17 != 0) {
        continue;  // the float loop, already proven on other layouts, on a sample of settings
      }
      Frame fast = original;
      setAvx2Allowed(vectors);
      brightnessRows(fast.view, b, 0, kRows);
      setAvx2Allowed(true);
      ASSERT_TRUE(fast.samePixels(ref)) << b << " vectors " << vectors;
    }
  }
}

}  // namespace
}  // namespace nivexa::imaging::steps
